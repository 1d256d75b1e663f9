#pragma once
// A stream: a decoder side (a file or a URL), a playback side (channels on the
// device), or both for a file or station played directly.
#include <SDL2/SDL_audio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {

using Clock = std::chrono::steady_clock;

struct Format {
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    SampleType type = SampleType::S16;

    std::uint32_t FrameBytes() const {
        return channels * static_cast<std::uint32_t>(SampleBytes(type));
    }
};

// The decoding half, used from the UI thread and the update thread at once.
class Decoding {
  public:
    virtual ~Decoding() = default;

    // Decodes up to `bytes` (whole frames) into `out`; returns the bytes written.
    virtual std::uint32_t Read(void* out, std::uint32_t bytes) = 0;
    virtual bool Seek(std::uint64_t frame) = 0;
    virtual bool Ended() = 0;
    // Decoding stopped at data that cannot play as the stream was opened.
    virtual bool Failed() { return false; }
    virtual std::uint64_t PositionFrames() = 0;
    virtual std::uint64_t LengthFrames() const = 0;
    // Source bytes the decoder has read, those there to be read, and the
    // source's size (0 when it has none).
    virtual std::uint64_t SourcePosition() = 0;
    virtual std::uint64_t SourceAvailable() { return SourceSize(); }
    virtual std::uint64_t SourceSize() = 0;
    virtual std::uint32_t Activity() { return Ended() ? kActiveStopped : kActivePlaying; }
    virtual bool Seekable() const { return true; }
    virtual std::optional<std::string> Tags(std::uint32_t) { return std::nullopt; }
    // A station's bit rate, kbit/s; 0 when unknown.
    virtual std::uint32_t Kbps() { return 0; }
    // Ends the threads behind the stream, so that whoever lets go of it last
    // (the update thread, say) waits for nothing.
    virtual void Close() {}
    // Waits until a decoding that works ahead of its reader has done all it
    // can without one (the test device's cycles).
    virtual void CatchUp() {}
};

// One decoder over its source, decoding on the caller's thread under a lock.
// Position, end and failure are published as they change, so that reading
// them never waits for a decode that waits for the disk.
class FileDecoding final : public Decoding {
  public:
    FileDecoding(std::unique_ptr<Source> source, std::unique_ptr<Decoder> decoder, SampleType type);

    std::uint32_t Read(void* out, std::uint32_t bytes) override;
    bool Seek(std::uint64_t frame) override;
    bool Ended() override;
    bool Failed() override;
    std::uint64_t PositionFrames() override;
    std::uint64_t LengthFrames() const override { return length_; }
    std::uint64_t SourcePosition() override;
    std::uint64_t SourceSize() override;

  private:
    std::mutex mutex_;
    std::unique_ptr<Source> source_;
    std::unique_ptr<Decoder> decoder_;
    SampleType type_;
    std::uint32_t frameBytes_;
    std::uint64_t length_;
    std::atomic<std::uint64_t> position_{0};
    std::atomic<bool> ended_{false};
    std::atomic<bool> failed_{false};
    std::vector<std::int16_t> scratch_;  // 16-bit samples on their way to 8-bit
};

// A decoder over its source, decoded on a thread of its own into about a
// second of PCM, for decoders that allocate as they decode (FFmpeg's). Reads
// on the update thread copy what is decoded, possibly nothing, and never
// wait; reads elsewhere wait for the decoder. Opening and the first piece
// after it and after each seek are the caller's.
std::unique_ptr<Decoding> DecodeAhead(std::unique_ptr<Source> source,
                                      std::unique_ptr<Decoder> decoder, SampleType type);

// A volume or pan value that can move linearly over a number of device frames.
struct Ramp {
    float value = 1.0f;
    float from = 1.0f;
    float to = 1.0f;
    std::uint64_t total = 0;  // 0 = not moving
    std::uint64_t done = 0;

    void Set(float v);
    void Slide(float target, std::uint64_t frames);
    float At(std::uint64_t offset) const;  // value `offset` frames from now
    void Advance(std::uint64_t frames);
};

struct Dsp {
    DspHandle handle;
    DspProc proc;
    void* user;
    int priority;
};

// The playback half: a ring buffer filled by the update thread and drained by the
// device. Every member is guarded by `mutex`.
class Playback {
  public:
    enum class State { Stopped, Playing, Paused };

    Playback(const Format& format, std::uint32_t bufferMs);
    ~Playback();

    std::mutex mutex;
    std::condition_variable idle;  // signalled when a refill callback returns

    Format format;
    std::uint32_t playRate;  // the frequency attribute
    std::uint64_t bufferBytes;
    std::uint64_t historyBytes;
    std::vector<unsigned char> ring;
    std::uint64_t written = 0;    // totals since the last start
    std::uint64_t read = 0;       // taken from the ring by the device
    std::uint64_t played = 0;     // of that, what the device has rendered
    std::uint64_t outFrames = 0;  // device frames rendered through the converter
    State state = State::Stopped;
    bool ended = false;    // the producer has said so
    bool starved = false;  // the last refill gave nothing
    bool busy = false;     // a refill callback runs
    std::uint64_t generation = 0;
    Ramp volume;
    Ramp pan{0.0f, 0.0f, 0.0f, 0, 0};
    std::vector<Dsp> dsps;

    // Played-position estimate for devices that buffer after rendering.
    std::uint64_t renderRead = 0;
    Clock::time_point renderTime;
    std::uint64_t reported = 0;

    // Rate and channel conversion towards the device, made when needed.
    SDL_AudioStream* converter = nullptr;
    std::uint32_t converterRate = 0;
    bool flushed = false;

    // Clears the buffer and counters; a refill running now is discarded.
    void Reset();
    void Write(const unsigned char* data, std::uint64_t bytes);
    // Copies `bytes` stored at total offset `from` (must still be in the ring).
    void Copy(std::uint64_t from, unsigned char* out, std::uint64_t bytes) const;
};

struct Stream {
    Handle handle = 0;
    Format format;
    std::uint32_t flags = 0;
    std::uint32_t type = 0;
    std::unique_ptr<Decoding> decoding;
    std::unique_ptr<Playback> playback;
    StreamProc feed = nullptr;
    void* user = nullptr;
    // Attributes of decode streams (output channels keep theirs in the playback).
    std::atomic<std::uint32_t> decodeRate{0};
    std::atomic<float> decodeVolume{1.0f};
    std::atomic<float> decodePan{0.0f};

    bool IsModule() const { return (type & 0xFFFF0000u) == kTypeMod; }
};

}  // namespace audio::detail
