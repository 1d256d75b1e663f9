#pragma once
// Audio files for the engine tests: WAV written here, MP3 and FLAC made from
// them by the Debian encoders into seekable files, so their gapless headers
// are written. And file input as a slow disk gives it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/Audio.h"

namespace mirvo::test {

// Interleaved 16-bit stereo: `silence` seconds of zeros, then a tone whose
// level falls to nothing over the last `fade` seconds.
inline std::vector<std::int16_t> Tone(int rate, double seconds, double frequency,
                                      double silence = 0.0, double fade = 0.0) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    const auto quiet = static_cast<std::size_t>(silence * rate);
    const auto fadeFrames = static_cast<std::size_t>(fade * rate);
    std::vector<std::int16_t> samples(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        double level = i < quiet ? 0.0 : 0.5;
        if (fadeFrames > 0 && i + fadeFrames >= frames) {
            level *= static_cast<double>(frames - i) / static_cast<double>(fadeFrames);
        }
        const double value = level * 32767.0 * std::sin(2 * M_PI * frequency * i / rate);
        samples[2 * i] = static_cast<std::int16_t>(value);
        samples[2 * i + 1] = static_cast<std::int16_t>(-value);
    }
    return samples;
}

inline void WriteWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate,
                     int channels = 2) {
    std::ofstream out(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(static_cast<std::uint16_t>(channels));
    put32(static_cast<std::uint32_t>(rate));
    put32(static_cast<std::uint32_t>(rate * channels * 2));
    put16(static_cast<std::uint16_t>(channels * 2));
    put16(16);
    out.write("data", 4);
    put32(dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
}

inline bool Encode(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// The whole decoded data of a file, as the engine's sources deliver it.
inline std::vector<std::uint8_t> DecodeAll(const std::string& path) {
    const audio::Handle h =
        audio::StreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode);
    std::vector<std::uint8_t> data;
    if (h == 0) {
        return data;
    }
    std::vector<std::uint8_t> block(65536);
    for (;;) {
        const std::uint32_t got =
            audio::ChannelGetData(h, block.data(), static_cast<std::uint32_t>(block.size()));
        if (got == audio::kDataError || got == 0) {
            break;
        }
        data.insert(data.end(), block.begin(), block.begin() + got);
    }
    audio::StreamFree(h);
    return data;
}

// Every file the audio library opens while this lives is read through it: each
// read takes `delay` longer, and opens, reads and closes are logged with their
// thread. While held, opens wait, except on the threads named to Hold.
class SlowDisk {
  public:
    struct Event {
        enum Kind { Open, Read, Close } kind;
        std::thread::id thread;
        std::string path;
        std::size_t bytes = 0;
    };

    explicit SlowDisk(std::chrono::microseconds delay) : state_(std::make_shared<State>()) {
        SetDelay(delay);
        audio::SetFileReaderWrap(
            [state = state_](std::unique_ptr<audio::Reader> file, const std::string& path) {
                state->WaitUnlessFree();
                state->Log({Event::Open, std::this_thread::get_id(), path});
                return std::unique_ptr<audio::Reader>(
                    std::make_unique<Reader>(state, std::move(file), path));
            });
    }
    ~SlowDisk() {
        Release();
        audio::SetFileReaderWrap({});
    }
    SlowDisk(const SlowDisk&) = delete;
    SlowDisk& operator=(const SlowDisk&) = delete;

    void SetDelay(std::chrono::microseconds delay) { state_->delay = delay.count(); }
    void Hold(std::vector<std::thread::id> free) {
        const std::lock_guard lock(state_->mutex);
        state_->held = true;
        state_->free = std::move(free);
    }
    void Release() {
        {
            const std::lock_guard lock(state_->mutex);
            state_->held = false;
        }
        state_->released.notify_all();
    }
    std::vector<Event> Events() const {
        const std::lock_guard lock(state_->mutex);
        return state_->events;
    }
    // Readers not closed yet.
    int OpenReaders() const {
        const auto events = Events();
        return static_cast<int>(
            std::count_if(events.begin(), events.end(),
                          [](const Event& e) { return e.kind == Event::Open; }) -
            std::count_if(events.begin(), events.end(),
                          [](const Event& e) { return e.kind == Event::Close; }));
    }
    // The readers open once `expected` are (or 5 s passed): a file whose next
    // block the library's read-ahead is reading closes right after that read.
    int OpenReadersComeTo(int expected) const {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (OpenReaders() != expected && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return OpenReaders();
    }
    std::size_t BytesRead(const std::string& path) const {
        std::size_t bytes = 0;
        for (const Event& e : Events()) {
            bytes += e.path == path ? e.bytes : 0;
        }
        return bytes;
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable released;
        std::atomic<std::chrono::microseconds::rep> delay{0};
        bool held = false;
        std::vector<std::thread::id> free;
        std::vector<Event> events;

        void Log(Event e) {
            const std::lock_guard lock(mutex);
            events.push_back(std::move(e));
        }
        void WaitUnlessFree() {
            std::unique_lock lock(mutex);
            released.wait(lock, [&] {
                return !held || std::find(free.begin(), free.end(), std::this_thread::get_id()) !=
                                    free.end();
            });
        }
    };

    class Reader final : public audio::Reader {
      public:
        Reader(std::shared_ptr<State> state, std::unique_ptr<audio::Reader> file, std::string path)
            : state_(std::move(state)), file_(std::move(file)), path_(std::move(path)) {}
        ~Reader() override { state_->Log({Event::Close, std::this_thread::get_id(), path_}); }
        std::size_t Read(void* dst, std::size_t n) override {
            std::this_thread::sleep_for(std::chrono::microseconds(state_->delay.load()));
            const std::size_t got = file_->Read(dst, n);
            state_->Log({Event::Read, std::this_thread::get_id(), path_, got});
            return got;
        }
        bool Seek(std::int64_t pos) override { return file_->Seek(pos); }
        std::int64_t Tell() const override { return file_->Tell(); }
        std::int64_t Size() const override { return file_->Size(); }

      private:
        std::shared_ptr<State> state_;
        std::unique_ptr<audio::Reader> file_;
        std::string path_;
    };

    std::shared_ptr<State> state_;
};

}  // namespace mirvo::test
