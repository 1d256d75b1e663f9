#pragma once
// Helpers shared by the audio tests.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Signal.h"
#include "audio/Audio.h"

namespace audio_fixtures {

inline std::string Path(const std::string& name) {
    return std::string(MIRVO_AUDIO_FIXTURES) + "/" + name;
}

inline audio::Handle OpenDecode(const std::string& name, std::uint32_t flags = 0) {
    const std::string path = Path(name);
    return audio::StreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode | flags);
}

// Everything a decode stream delivers from where it stands, in blocks of `block` bytes.
inline std::vector<std::uint8_t> ReadAll(audio::Handle handle, std::uint32_t block = 65536) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buf(block);
    for (;;) {
        const std::uint32_t got = audio::ChannelGetData(handle, buf.data(), block);
        if (got == audio::kDataError || got == 0) {
            break;
        }
        out.insert(out.end(), buf.begin(), buf.begin() + got);
    }
    return out;
}

inline std::vector<std::int16_t> AsSamples(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The test signal as interleaved stereo 16-bit samples.
inline std::vector<std::int16_t> Expected(std::uint32_t frames, std::uint32_t seed = 0) {
    std::vector<std::int16_t> out;
    out.reserve(frames * 2);
    for (std::uint32_t f = 0; f < frames; ++f) {
        out.push_back(Sample(f, 0, seed));
        out.push_back(Sample(f, 1, seed));
    }
    return out;
}

// A reader that stops at its next read until let go (or 10 s pass).
class GateWrap {
  public:
    GateWrap() {
        audio::SetFileReaderWrap([this](std::unique_ptr<audio::Reader> file,
                                        const std::string&) -> std::unique_ptr<audio::Reader> {
            return std::make_unique<Gated>(*this, std::move(file));
        });
    }
    // A file freed while the read-ahead reads it closes after that read, on the
    // read-ahead thread: the readers must be gone before their owner is.
    ~GateWrap() {
        Open();
        for (int i = 0; i < 5000 && readers_ > 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        audio::SetFileReaderWrap({});
    }
    void Close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    void Open() {
        {
            const std::lock_guard lock(mutex_);
            closed_ = false;
        }
        changed_.notify_all();
    }
    void WaitForAStoppedRead() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_; });
    }
    // A read gave up waiting: nobody opened the gate in time.
    bool TimedOut() {
        const std::lock_guard lock(mutex_);
        return timedOut_;
    }
    // Files open through the gate.
    int Readers() const { return readers_; }

  private:
    class Gated final : public audio::Reader {
      public:
        Gated(GateWrap& owner, std::unique_ptr<audio::Reader> file)
            : owner_(owner), file_(std::move(file)) {
            ++owner_.readers_;
        }
        ~Gated() override { --owner_.readers_; }
        std::size_t Read(void* dst, std::size_t n) override {
            {
                std::unique_lock lock(owner_.mutex_);
                owner_.waiting_ = owner_.closed_;
                owner_.changed_.notify_all();
                if (!owner_.changed_.wait_for(lock, std::chrono::seconds(10),
                                              [&] { return !owner_.closed_; })) {
                    owner_.timedOut_ = true;
                }
            }
            return file_->Read(dst, n);
        }
        bool Seek(std::int64_t pos) override { return file_->Seek(pos); }
        std::int64_t Tell() const override { return file_->Tell(); }
        std::int64_t Size() const override { return file_->Size(); }

      private:
        GateWrap& owner_;
        std::unique_ptr<audio::Reader> file_;
    };

    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    bool waiting_ = false;
    bool timedOut_ = false;
    std::atomic<int> readers_{0};
};

}  // namespace audio_fixtures
