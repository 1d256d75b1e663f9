// Streams on a station's address: the connect (redirects and playlists followed,
// the format told from the answer), then a decode thread that keeps about a
// second of PCM ahead of the reader, so that the compressed data waits in the
// download buffer and the reader never blocks.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "audio/Audio.h"
#include "audio/Download.h"
#include "audio/IcyText.h"
#include "audio/Library.h"

namespace audio {

using detail::Codec;
using detail::Download;
using detail::Fail;
using detail::Library;

namespace {

// Redirects are curl's; these are hops through playlist answers.
constexpr int kMaxPlaylistHops = 4;
constexpr std::size_t kMaxPlaylist = 64 * 1024;
// Enough of the answer to tell the format: the first Ogg page or MPEG frame.
constexpr std::size_t kSniff = 1024;
constexpr std::size_t kChunkFrames = 2048;
// After a stall decoding resumes once this much of the station is buffered.
constexpr std::uint64_t kRefillSeconds = 2;

detail::Opened OpenCodec(Codec codec, detail::Source& source, detail::SampleType type) {
    switch (codec) {
        case Codec::Mpeg:
            return detail::OpenMpegStream(source, type);
        case Codec::Vorbis:
            return detail::OpenVorbisStream(source, type);
        case Codec::Opus:
            return detail::OpenOpusStream(source, type);
        case Codec::Aac:
            return detail::OpenAacStream(source, type);
        case Codec::Flac:
            return detail::OpenFlacOggStream(source, type);
        case Codec::None:
            break;
    }
    return {nullptr, kErrorFileFormat};
}

// Blanks and bytes outside ASCII percent-encoded, as the address of a station
// can be stored with blanks; everything else as it is.
std::string Escape(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

class UrlDecoding final : public detail::Decoding {
  public:
    // Without a decoder the stream only holds the station's headers and metadata.
    UrlDecoding(std::shared_ptr<Download> download, std::unique_ptr<detail::Source> source,
                std::unique_ptr<detail::Decoder> decoder, std::uint32_t frameBytes)
        : download_(std::move(download)),
          source_(std::move(source)),
          decoder_(std::move(decoder)),
          frameBytes_(frameBytes) {
        if (decoder_ == nullptr) {
            ended_ = true;
            return;
        }
        const std::size_t second = std::size_t{decoder_->Rate()} * frameBytes_;
        ring_.resize(std::max(second, 2 * kChunkFrames * frameBytes_));
        thread_ = std::thread([this] { DecodeLoop(); });
    }
    ~UrlDecoding() override { Close(); }

    void Close() override {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        space_.notify_all();
        download_->Abort();  // a decoder waiting for data gets the end
        if (thread_.joinable()) {
            thread_.join();
        }
        download_->Stop();
    }

    // Never waits for the decoder: what is decoded, possibly nothing.
    std::uint32_t Read(void* out, std::uint32_t bytes) override {
        std::uint64_t n = 0;
        {
            const std::lock_guard lock(mutex_);
            n = std::min<std::uint64_t>(bytes - bytes % frameBytes_, written_ - read_);
            auto* dst = static_cast<unsigned char*>(out);
            std::uint64_t done = 0;
            while (done < n) {
                const std::size_t at = static_cast<std::size_t>((read_ + done) % ring_.size());
                const std::size_t take =
                    std::min<std::size_t>(static_cast<std::size_t>(n - done), ring_.size() - at);
                std::memcpy(dst + done, ring_.data() + at, take);
                done += take;
            }
            read_ += n;
        }
        if (n > 0) {
            space_.notify_one();
        }
        return static_cast<std::uint32_t>(n);
    }
    bool Seek(std::uint64_t) override { return false; }
    bool Ended() override {
        const std::lock_guard lock(mutex_);
        return ended_ && read_ == written_;
    }
    std::uint32_t Activity() override {
        const std::lock_guard lock(mutex_);
        if (read_ < written_) {
            return kActivePlaying;
        }
        return ended_ ? kActiveStopped : kActiveStalled;
    }
    std::uint64_t PositionFrames() override {
        const std::lock_guard lock(mutex_);
        return read_ / frameBytes_;
    }
    std::uint64_t LengthFrames() const override { return 0; }
    std::uint64_t SourcePosition() override { return download_->Consumed(); }
    std::uint64_t SourceAvailable() override { return download_->Received(); }
    std::uint64_t SourceSize() override { return 0; }
    bool Seekable() const override { return false; }
    std::uint32_t Kbps() override { return kbps_; }
    std::optional<std::string> Tags(std::uint32_t tags) override {
        if (tags == kTagHttp) {
            return download_->HeaderBlock();
        }
        if (tags == kTagMeta) {
            return download_->Meta();
        }
        return std::nullopt;
    }

  private:
    void DecodeLoop() {
        const std::size_t chunk = kChunkFrames * frameBytes_;
        std::vector<unsigned char> scratch(chunk);
        std::string title;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                space_.wait(lock,
                            [&] { return quit_ || ring_.size() - (written_ - read_) >= chunk; });
                if (quit_) {
                    return;
                }
            }
            // Blocks on the download; fewer frames only at its end.
            const std::size_t frames = decoder_->Read(scratch.data(), kChunkFrames);
            if (std::string now = decoder_->Title(); !now.empty() && now != title) {
                title = std::move(now);
                download_->SetCommentMeta("StreamTitle='" + title + "';");
            }
            const std::uint64_t consumed = download_->Consumed();
            NoteKbps(consumed, frames);
            const std::lock_guard lock(mutex_);
            for (std::size_t done = 0; done < frames * frameBytes_;) {
                const std::size_t at = static_cast<std::size_t>(written_ % ring_.size());
                const std::size_t take = std::min(frames * frameBytes_ - done, ring_.size() - at);
                std::memcpy(ring_.data() + at, scratch.data() + done, take);
                done += take;
                written_ += take;
            }
            if (frames < kChunkFrames) {
                ended_ = true;
                return;
            }
            // The station's data rate so far gives the reserve after a stall.
            download_->SetRefill(consumed * decoder_->Rate() / (written_ / frameBytes_) *
                                 kRefillSeconds);
        }
    }

    // The decoder's word for it, else the data it took per second of sound,
    // counted from its first chunk so that what it reads ahead cancels out.
    void NoteKbps(std::uint64_t consumed, std::size_t frames) {
        if (const std::uint32_t said = decoder_->Kbps(); said > 0) {
            kbps_ = said;
            return;
        }
        if (!counting_) {
            counting_ = true;
            firstConsumed_ = consumed;
            return;
        }
        countedFrames_ += frames;
        if (countedFrames_ > 0 && consumed > firstConsumed_) {
            kbps_ = static_cast<std::uint32_t>((consumed - firstConsumed_) * 8 * decoder_->Rate() /
                                               countedFrames_ / 1000);
        }
    }

    std::shared_ptr<Download> download_;
    std::unique_ptr<detail::Source> source_;
    std::unique_ptr<detail::Decoder> decoder_;
    const std::uint32_t frameBytes_;
    std::atomic<std::uint32_t> kbps_{0};
    // Decode thread only.
    bool counting_ = false;
    std::uint64_t firstConsumed_ = 0;
    std::uint64_t countedFrames_ = 0;
    std::mutex mutex_;
    std::condition_variable space_;
    std::vector<unsigned char> ring_;
    std::uint64_t written_ = 0;
    std::uint64_t read_ = 0;
    bool ended_ = false;
    bool quit_ = false;
    std::thread thread_;
};

// Aborts the download a connect waits on as soon as the caller's flag is set,
// from a thread of its own, so that every wait of the connect ends at once.
class CancelWatch {
  public:
    explicit CancelWatch(const std::atomic<bool>* cancel) : cancel_(cancel) {
        if (cancel_ != nullptr) {
            thread_ = std::thread([this] { Watch(); });
        }
    }
    ~CancelWatch() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    CancelWatch(const CancelWatch&) = delete;
    CancelWatch& operator=(const CancelWatch&) = delete;

    void Track(std::shared_ptr<Download> download) {
        const std::lock_guard lock(mutex_);
        current_ = std::move(download);
        if (fired_) {
            current_->Abort();
        }
    }
    bool Cancelled() const { return cancel_ != nullptr && cancel_->load(); }

  private:
    void Watch() {
        std::unique_lock lock(mutex_);
        while (!done_) {
            if (cancel_->load()) {
                fired_ = true;
                if (current_ != nullptr) {
                    current_->Abort();
                }
                return;
            }
            wake_.wait_for(lock, std::chrono::milliseconds(20));
        }
    }

    const std::atomic<bool>* cancel_;
    std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_.
    std::shared_ptr<Download> current_;
    bool done_ = false;
    bool fired_ = false;
    std::thread thread_;
};

struct Connected {
    std::shared_ptr<Download> download;
    Codec codec = Codec::None;
    int error = kOk;
};

Connected Failed(int error) {
    return {nullptr, Codec::None, error};
}

// Connects, following playlist answers, until a station answers with audio.
Connected Connect(std::string url, bool headersOnly, Download::Clock::time_point deadline,
                  std::chrono::milliseconds timeout, CancelWatch& watch) {
    for (int hop = 0; hop <= kMaxPlaylistHops; ++hop) {
        auto download = std::make_shared<Download>(Escape(url), headersOnly, timeout);
        watch.Track(download);
        switch (download->WaitHeaders(deadline)) {
            case Download::Answer::TimedOut:
                return Failed(kErrorTimeout);
            case Download::Answer::Ended: {
                const int error = download->Error();
                return Failed(error != kOk ? error : kErrorFileOpen);
            }
            case Download::Answer::Headers:
                break;
        }
        const int status = download->Status();
        if (status < 200 || status >= 300) {
            return Failed(kErrorFileOpen);
        }
        if (const std::string metaint = download->Header("icy-metaint");
            !metaint.empty() && !detail::ValidMetaInterval(metaint)) {
            return Failed(kErrorMetaInterval);
        }
        const std::string type = detail::MediaType(download->Header("content-type"));
        const bool listType = detail::IsPlaylistType(type);
        if (headersOnly && !listType) {
            return {download, Codec::None, kOk};
        }
        std::string head = download->Peek(listType ? kMaxPlaylist : kSniff, deadline);
        if (listType || detail::LooksLikePlaylist(head)) {
            head = download->Peek(kMaxPlaylist, deadline);
            const auto next = detail::PlaylistAddress(head, listType);
            if (!next) {
                return Failed(kErrorNotAudio);
            }
            url = detail::Resolve(download->EffectiveUrl(), *next);
            continue;
        }
        if (head.empty()) {
            const int error = download->Error();
            return Failed(!download->Ended() ? kErrorTimeout
                          : error != kOk     ? error
                                             : kErrorNotAudio);
        }
        const Codec codec = detail::Sniff(head, type);
        if (codec == Codec::None) {
            return Failed(kErrorNotAudio);  // a web page, a text, a file of another kind
        }
        return {download, codec, kOk};
    }
    return Failed(kErrorFileFormat);  // a playlist leading to playlists
}

}  // namespace

Handle StreamCreateURL(const char* url, std::uint32_t, std::uint32_t flags, DownloadProc, void*,
                       const std::atomic<bool>* cancel) {
    if (url == nullptr || *url == '\0') {
        return Fail(kErrorParameter, Handle{0});
    }
    const std::string address = detail::Lower(std::string_view(url).substr(0, 8));
    if (!address.starts_with("http://") && !address.starts_with("https://")) {
        return Fail(kErrorFileOpen, Handle{0});
    }
    if (detail::OnUpdateThread()) {
        return Fail(kErrorBusy, Handle{0});
    }
    const bool decode = (flags & kStreamDecode) != 0;
    const bool headersOnly = !decode && (flags & kStreamStatus) != 0;
    const std::chrono::milliseconds timeout(Library::Get().netTimeoutMs.load());
    const auto deadline = Download::Clock::now() + timeout;
    CancelWatch watch(cancel);
    Connected connected = Connect(url, headersOnly, deadline, timeout, watch);
    if (watch.Cancelled()) {
        return Fail(kErrorCancelled, Handle{0});
    }
    if (connected.download == nullptr) {
        return Fail(connected.error, Handle{0});
    }
    auto stream = std::make_shared<detail::Stream>();
    stream->flags = flags & (kSampleFloat | kStreamDecode);
    if (headersOnly) {
        stream->decoding = std::make_unique<UrlDecoding>(connected.download, nullptr, nullptr, 1);
        return Library::Get().Add(std::move(stream));
    }
    const detail::SampleType type =
        (flags & kSampleFloat) != 0 ? detail::SampleType::F32 : detail::SampleType::S16;
    auto source = detail::OpenDownloadSource(connected.download);
    // The decoder's first reads wait no longer than the station had to answer.
    connected.download->SetReadDeadline(deadline);
    detail::Opened opened = OpenCodec(connected.codec, *source, type);
    connected.download->SetReadDeadline(std::nullopt);
    if (watch.Cancelled()) {
        return Fail(kErrorCancelled, Handle{0});
    }
    if (opened.decoder == nullptr) {
        const int error = connected.download->Error();
        return Fail(connected.download->ReadTimedOut() ? kErrorTimeout
                    : error != kOk                     ? error
                                                       : opened.error,
                    Handle{0});
    }
    stream->format = {opened.decoder->Rate(), opened.decoder->Channels(), type};
    stream->type = opened.decoder->Type();
    stream->decodeRate = stream->format.rate;
    const std::uint32_t frameBytes = stream->format.FrameBytes();
    stream->decoding = std::make_unique<UrlDecoding>(connected.download, std::move(source),
                                                     std::move(opened.decoder), frameBytes);
    if (!decode) {
        stream->playback =
            std::make_unique<detail::Playback>(stream->format, Library::Get().bufferMs.load());
    }
    return Library::Get().Add(std::move(stream));
}

std::uint32_t StreamGetBitrate(Handle handle) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return 0;
    }
    const std::uint32_t kbps = stream->decoding != nullptr ? stream->decoding->Kbps() : 0;
    if (kbps == 0) {
        Fail(kErrorNotAvailable);
    } else {
        detail::Succeed();
    }
    return kbps;
}

std::optional<std::string> StreamGetTags(Handle handle, std::uint32_t tags) {
    auto stream = Library::Get().Find(handle);
    if (stream == nullptr) {
        return std::nullopt;
    }
    auto block = stream->decoding != nullptr ? stream->decoding->Tags(tags) : std::nullopt;
    if (!block) {
        Fail(kErrorNotAvailable);
    } else {
        detail::Succeed();
    }
    return block;
}

}  // namespace audio
