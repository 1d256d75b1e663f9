#pragma once
// Output devices: one mixer over the attached output channels, driven by a clock
// of its own ("No sound"), by SDL's audio callback, or by the test.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/Stream.h"

namespace audio::detail {

class Device {
  public:
    explicit Device(const Format& output) : output_(output) {}
    virtual ~Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    virtual bool Start() = 0;
    // Ends rendering; no render runs once it returns.
    virtual void Stop() = 0;
    // The test device leaves the update cycles to the test.
    virtual bool Manual() const { return false; }

    void Attach(std::shared_ptr<Stream> stream);
    void Detach(const Stream* stream);
    std::vector<std::shared_ptr<Stream>> Streams();
    // The same into `out`, whose room is reused: the update thread's copy
    // allocates nothing once it has grown.
    void CopyStreams(std::vector<std::shared_ptr<Stream>>& out);

    // Bytes of `playback` heard by now; called with its mutex held.
    std::uint64_t Played(Playback& playback, Clock::time_point now) const;
    // The device's buffer in its own frames (0 when it has none).
    std::uint32_t BufferFrames() const { return bufferFrames_; }
    std::uint32_t Rate() const { return output_.rate; }

  protected:
    // Mixes every playing channel into `out` (the output format), advancing
    // buffers, positions and slides by `frames`.
    void Render(void* out, std::uint32_t frames);

    Format output_;
    std::uint32_t bufferFrames_ = 0;
    std::uint32_t latencyFrames_ = 0;  // frames the device holds after a render

  private:
    void Mix(Playback& playback, std::uint32_t frames, Clock::time_point now);
    std::uint32_t Pull(Playback& playback, std::uint32_t frames);
    std::uint32_t Convert(Playback& playback, std::uint32_t frames);

    std::mutex listMutex_;
    std::vector<std::shared_ptr<Stream>> streams_;
    // Render scratch, used only on the rendering thread.
    std::vector<float> mix_;
    std::vector<float> channel_;
    std::vector<unsigned char> bytes_;
};

// Device 0: consumes in real time on the steady clock and plays nothing.
class NullDevice final : public Device {
  public:
    explicit NullDevice(std::uint32_t rate);
    ~NullDevice() override { Stop(); }
    bool Start() override;
    void Stop() override;

  private:
    std::thread thread_;
    std::atomic<bool> quit_{false};
};

// Devices 1.. through SDL's audio subsystem.
class SdlDevice final : public Device {
  public:
    // `name` empty = the system's default output.
    SdlDevice(std::uint32_t rate, std::string name);
    ~SdlDevice() override { Stop(); }
    bool Start() override;
    void Stop() override;

  private:
    static void Callback(void* self, std::uint8_t* stream, int len);
    std::string name_;
    std::uint32_t id_ = 0;
};

// The test device: 16-bit stereo, consumed only when the test says so.
class TestDevice final : public Device {
  public:
    explicit TestDevice(std::uint32_t rate);
    bool Start() override { return true; }
    void Stop() override;
    bool Manual() const override { return true; }
    // Plays `bytes` (whole frames) now, on the calling thread.
    std::vector<std::uint8_t> Advance(std::uint64_t bytes);

  private:
    std::mutex renderMutex_;
    bool stopped_ = false;
};

// SDL's names of output devices, for devices 2 upward.
std::optional<std::string> SdlDeviceName(int index);

}  // namespace audio::detail
