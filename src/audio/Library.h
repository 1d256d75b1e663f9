#pragma once
// The library's state behind the calls: the handle table, the configuration, the
// device and the update thread. One instance stands for the process, like the
// sound device it drives.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "audio/Device.h"
#include "audio/Stream.h"

namespace audio::detail {

// Sets this thread's error code; returns `result` for use in return statements.
template <typename T>
T Fail(int code, T result);
bool Fail(int code);
void Succeed();
int LastError();

bool OnUpdateThread();

// Refills output channels: every update period, when woken, or (test device)
// only when the test asks for a cycle.
class Updater {
  public:
    Updater(std::shared_ptr<Device> device, bool manual);
    ~Updater();
    void Wake();
    // Runs one cycle on the update thread and waits for it.
    void RunOnce();

  private:
    void Loop();
    void Cycle();
    void Refill(Stream& stream);

    std::shared_ptr<Device> device_;
    bool manual_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    bool quit_ = false;
    bool woken_ = false;
    std::uint64_t requested_ = 0;
    std::uint64_t completed_ = 0;
    // Update thread only; reused each cycle so that steady play allocates nothing.
    std::vector<unsigned char> block_;
    std::vector<std::shared_ptr<Stream>> streams_;
    std::vector<Dsp> dsps_;
    std::thread thread_;
};

class Library {
  public:
    static Library& Get();
    ~Library();

    bool Init(int device, std::uint32_t freq);
    bool Free();

    std::shared_ptr<Stream> Find(Handle handle);
    // Adds a stream (attaching an output channel to the device); 0 when an output
    // channel has no device.
    Handle Add(std::shared_ptr<Stream> stream);
    std::shared_ptr<Stream> Remove(Handle handle);
    Handle NewHandle();

    std::shared_ptr<Device> CurrentDevice();
    void WakeUpdater();
    // Test hook: one update cycle, after every decoding caught up if asked;
    // false without the test device.
    bool RunUpdate(bool catchUp);

    std::atomic<std::uint32_t> bufferMs{3000};
    std::atomic<std::uint32_t> updateMs{100};
    std::atomic<std::uint32_t> maxVolume{1000};
    std::atomic<std::uint32_t> netTimeoutMs{12000};

  private:
    Library();

    std::mutex deviceMutex_;  // serialises Init and Free
    std::mutex mutex_;        // the table and the device pointers
    std::unordered_map<Handle, std::shared_ptr<Stream>> streams_;
    Handle lastHandle_ = 0;
    std::shared_ptr<Device> device_;
    std::shared_ptr<Updater> updater_;
};

template <typename T>
T Fail(int code, T result) {
    Fail(code);
    return result;
}

}  // namespace audio::detail
