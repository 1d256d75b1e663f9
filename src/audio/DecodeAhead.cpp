// Decoding ahead of the reader: a thread of the stream's own keeps about a
// second of PCM in a ring, in the sample type the stream was opened with.
// The reader and the decode thread share the ring without a lock: the decode
// thread only writes past `written_`, the reader only reads up to it. Seeks
// stop both sides (the reader's lock, then the decoder's) and start again.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/Library.h"
#include "audio/Stream.h"

namespace audio::detail {
namespace {

constexpr std::size_t kPieceFrames = 4096;

class DecodeAheadDecoding final : public Decoding {
  public:
    DecodeAheadDecoding(std::unique_ptr<Source> source, std::unique_ptr<Decoder> decoder,
                        SampleType type)
        : source_(std::move(source)),
          decoder_(std::move(decoder)),
          type_(type),
          frameBytes_(decoder_->Channels() * static_cast<std::uint32_t>(SampleBytes(type))),
          pieceBytes_(kPieceFrames * frameBytes_),
          length_(decoder_->Frames()),
          sourceSize_(static_cast<std::uint64_t>(std::max<std::int64_t>(source_->Size(), 0))) {
        // Whole pieces, so that each is written in one go.
        const std::size_t pieces =
            std::max<std::size_t>(2, (decoder_->Rate() + kPieceFrames - 1) / kPieceFrames);
        ring_.resize(pieces * pieceBytes_);
        if (type_ == SampleType::U8) {
            scratch_.resize(kPieceFrames * decoder_->Channels());
        }
        // The first piece here, so that the first read finds it.
        DecodePiece();
        thread_ = std::thread([this] { Run(); });
    }
    ~DecodeAheadDecoding() override { Close(); }
    DecodeAheadDecoding(const DecodeAheadDecoding&) = delete;
    DecodeAheadDecoding& operator=(const DecodeAheadDecoding&) = delete;

    void Close() override {
        quit_ = true;
        WakeDecoder();
        produced_.fetch_add(1, std::memory_order_release);
        produced_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // On the update thread only what is decoded, possibly nothing; elsewhere
    // it waits for the decoder as a decode on the caller's thread would.
    std::uint32_t Read(void* out, std::uint32_t bytes) override {
        const bool wait = !OnUpdateThread();
        std::unique_lock lock(readMutex_, std::defer_lock);
        if (wait) {
            lock.lock();
        } else if (!lock.try_lock()) {
            return 0;  // a seek is under way
        }
        auto* dst = static_cast<unsigned char*>(out);
        const std::uint64_t want = bytes - bytes % frameBytes_;
        std::uint64_t read = read_.load(std::memory_order_relaxed);
        std::uint64_t done = 0;
        while (done < want) {
            const std::uint32_t seen = produced_.load(std::memory_order_acquire);
            // The end flag before the count: seen set, the count is final.
            const bool finished = done_.load(std::memory_order_acquire);
            const std::uint64_t n =
                std::min(want - done, written_.load(std::memory_order_acquire) - read);
            if (n == 0) {
                if (finished || !wait || quit_) {
                    break;
                }
                produced_.wait(seen, std::memory_order_acquire);
                continue;
            }
            const auto at = static_cast<std::size_t>(read % ring_.size());
            const auto first =
                static_cast<std::size_t>(std::min<std::uint64_t>(n, ring_.size() - at));
            std::memcpy(dst + done, ring_.data() + at, first);
            std::memcpy(dst + done + first, ring_.data(), static_cast<std::size_t>(n) - first);
            done += n;
            read += n;
            read_.store(read, std::memory_order_release);
            position_ = base_ + read / frameBytes_;
            WakeDecoder();
        }
        return static_cast<std::uint32_t>(done);
    }

    bool Seek(std::uint64_t frame) override {
        const std::lock_guard reading(readMutex_);
        const std::lock_guard decoding(decodeMutex_);
        // The end needs no decoder seek (and FLAC cannot make one); the next seek
        // back positions the decoder.
        if (frame > length_ || (frame < length_ && !decoder_->Seek(frame))) {
            return false;
        }
        base_ = decoded_ = frame;
        read_ = 0;
        written_ = 0;
        failed_ = false;
        ended_ = frame >= length_;
        done_ = ended_.load();
        position_ = frame;
        if (!ended_) {
            DecodePieceLocked();
        }
        WakeDecoder();
        return true;
    }

    bool Ended() override { return Drained() && ended_; }
    bool Failed() override { return Drained() && failed_; }
    // Behind the reader is a stall, as a station's is; failed, the next read tells.
    std::uint32_t Activity() override {
        const bool done = done_.load(std::memory_order_acquire);
        if (Buffered() > 0) {
            return kActivePlaying;
        }
        if (!done) {
            return kActiveStalled;
        }
        return ended_ ? kActiveStopped : kActivePlaying;
    }
    std::uint64_t PositionFrames() override { return position_; }
    std::uint64_t LengthFrames() const override { return length_; }
    std::uint64_t SourcePosition() override { return sourceAt_; }
    std::uint64_t SourceSize() override { return sourceSize_; }
    std::uint32_t Kbps() override { return kbps_; }

    void CatchUp() override {
        for (;;) {
            const std::uint32_t seen = produced_.load(std::memory_order_acquire);
            if (quit_ || !Due()) {
                return;
            }
            produced_.wait(seen, std::memory_order_acquire);
        }
    }

  private:
    void Run() {
        for (;;) {
            const std::uint32_t seen = wake_.load(std::memory_order_acquire);
            if (quit_) {
                return;
            }
            if (!Due()) {
                wake_.wait(seen, std::memory_order_acquire);
                continue;
            }
            DecodePiece();
        }
    }

    std::uint64_t Buffered() const {
        return written_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire);
    }
    // Decoding stopped and the reader has taken all of it.
    bool Drained() const { return done_.load(std::memory_order_acquire) && Buffered() == 0; }
    // Room for a piece, and more to decode.
    bool Due() const { return !done_ && ring_.size() - Buffered() >= pieceBytes_; }

    void WakeDecoder() {
        wake_.fetch_add(1, std::memory_order_release);
        wake_.notify_one();
    }

    void DecodePiece() {
        const std::lock_guard lock(decodeMutex_);
        if (!quit_ && Due()) {
            DecodePieceLocked();
        }
    }

    // The next piece into the ring after `written_`; decodeMutex_ is held.
    void DecodePieceLocked() {
        const std::uint64_t at = decoded_;
        const auto frames =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceFrames, length_ - at));
        const std::uint64_t written = written_.load(std::memory_order_relaxed);
        unsigned char* dst = ring_.data() + written % ring_.size();
        std::size_t got = 0;
        if (frames > 0 && type_ == SampleType::U8) {
            got = decoder_->Read(scratch_.data(), frames);
            for (std::size_t i = 0; i < got * decoder_->Channels(); ++i) {
                dst[i] = static_cast<std::uint8_t>((scratch_[i] >> 8) + 128);
            }
        } else if (frames > 0) {
            got = decoder_->Read(dst, frames);
        }
        decoded_ = at + got;
        // A decoder that runs dry before the length it reported has ended too,
        // unless the data changed its format: reading on fails then.
        const bool failed = got < frames && decoder_->FormatChanged();
        failed_ = failed;
        ended_ = !failed && (decoded_ >= length_ || got < frames);
        sourceAt_ = static_cast<std::uint64_t>(std::max<std::int64_t>(source_->Tell(), 0));
        kbps_ = decoder_->Kbps();
        written_.store(written + got * frameBytes_, std::memory_order_release);
        done_.store(failed_ || ended_, std::memory_order_release);
        produced_.fetch_add(1, std::memory_order_release);
        produced_.notify_all();
    }

    // The decode side's, under decodeMutex_.
    std::mutex decodeMutex_;
    std::unique_ptr<Source> source_;
    std::unique_ptr<Decoder> decoder_;
    std::uint64_t decoded_ = 0;          // the frame the next piece starts at
    std::vector<std::int16_t> scratch_;  // 16-bit samples on their way to 8-bit
    // The reader's, under readMutex_.
    std::mutex readMutex_;
    std::uint64_t base_ = 0;  // the frame the ring's count starts at

    const SampleType type_;
    const std::uint32_t frameBytes_;
    const std::size_t pieceBytes_;
    const std::uint64_t length_;
    const std::uint64_t sourceSize_;
    std::vector<unsigned char> ring_;
    // Totals since the last seek: written by the decode side, read by the reader.
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> read_{0};
    std::atomic<bool> ended_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> done_{false};  // ended or failed; set after written_
    std::atomic<std::uint64_t> position_{0};
    std::atomic<std::uint64_t> sourceAt_{0};
    std::atomic<std::uint32_t> kbps_{0};
    std::atomic<bool> quit_{false};
    std::atomic<std::uint32_t> wake_{0};      // bumped for the decode thread
    std::atomic<std::uint32_t> produced_{0};  // bumped by it after each piece
    std::thread thread_;
};

}  // namespace

std::unique_ptr<Decoding> DecodeAhead(std::unique_ptr<Source> source,
                                      std::unique_ptr<Decoder> decoder, SampleType type) {
    return std::make_unique<DecodeAheadDecoding>(std::move(source), std::move(decoder), type);
}

}  // namespace audio::detail
