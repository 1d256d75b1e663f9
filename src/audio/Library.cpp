#include "audio/Library.h"

#include <algorithm>

#include "audio/Download.h"
#include "audio/TestDevice.h"

namespace audio::detail {
namespace {

thread_local int tlsError = kOk;
thread_local bool tlsUpdateThread = false;

}  // namespace

bool Fail(int code) {
    tlsError = code;
    return false;
}

void Succeed() {
    tlsError = kOk;
}

int LastError() {
    return tlsError;
}

bool OnUpdateThread() {
    return tlsUpdateThread;
}

Updater::Updater(std::shared_ptr<Device> device, bool manual)
    : device_(std::move(device)), manual_(manual), thread_([this] { Loop(); }) {}

Updater::~Updater() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Updater::Wake() {
    if (manual_) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void Updater::RunOnce() {
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = ++requested_;
    wake_.notify_all();
    done_.wait(lock, [&] { return completed_ >= ticket || quit_; });
}

void Updater::Loop() {
    tlsUpdateThread = true;
    auto& library = Library::Get();
    std::unique_lock lock(mutex_);
    while (!quit_) {
        const auto period = std::chrono::milliseconds(library.updateMs.load());
        if (manual_) {
            wake_.wait(lock, [&] { return quit_ || requested_ > completed_; });
        } else {
            wake_.wait_for(lock, period, [&] { return quit_ || woken_; });
        }
        if (quit_) {
            break;
        }
        woken_ = false;
        const std::uint64_t target = requested_;
        lock.unlock();
        Cycle();
        lock.lock();
        completed_ = target;
        done_.notify_all();
    }
    done_.notify_all();
}

void Updater::Cycle() {
    device_->CopyStreams(streams_);
    for (const auto& stream : streams_) {
        Refill(*stream);
    }
    streams_.clear();  // keeps its room
}

void Updater::Refill(Stream& stream) {
    Playback& pb = *stream.playback;
    std::uint64_t generation = 0;
    std::uint32_t want = 0;
    const std::uint32_t frameBytes = pb.format.FrameBytes();
    {
        std::lock_guard lock(pb.mutex);
        const bool running =
            pb.state == Playback::State::Playing || pb.state == Playback::State::Paused;
        if (!running || pb.ended || pb.busy) {
            return;
        }
        const std::uint64_t space = pb.bufferBytes - (pb.written - pb.read);
        want = static_cast<std::uint32_t>(std::min<std::uint64_t>(space, 0x40000000));
        want -= want % frameBytes;
        if (want == 0) {
            return;
        }
        pb.busy = true;
        generation = pb.generation;
        dsps_.assign(pb.dsps.begin(), pb.dsps.end());
    }
    block_.resize(want);
    std::uint32_t bytes = 0;
    bool end = false;
    // No library lock is held from here to the end of the callbacks.
    if (stream.feed != nullptr) {
        const std::uint32_t result = stream.feed(stream.handle, block_.data(), want, stream.user);
        end = (result & kFeedEnd) != 0;
        bytes = std::min(result & ~kFeedEnd, want);
        bytes -= bytes % frameBytes;
    } else {
        bytes = stream.decoding->Read(block_.data(), want);
        end = stream.decoding->Ended();
    }
    if (bytes > 0) {
        for (const Dsp& dsp : dsps_) {
            dsp.proc(dsp.handle, stream.handle, block_.data(), bytes, dsp.user);
        }
    }
    std::lock_guard lock(pb.mutex);
    pb.busy = false;
    if (generation == pb.generation) {
        pb.Write(block_.data(), bytes);
        pb.ended = pb.ended || end;
        pb.starved = bytes == 0 && !end;
    }
    pb.idle.notify_all();
}

Library& Library::Get() {
    static Library library;
    return library;
}

// libcurl's global state (and OpenSSL's exit handler) comes first, so that at
// exit it is torn down only after the library has ended its URL streams.
Library::Library() {
    InitNetwork();
}

Library::~Library() {
    Free();
}

bool Library::Init(int device, std::uint32_t freq) {
    if (OnUpdateThread()) {
        return Fail(kErrorBusy);
    }
    std::lock_guard serial(deviceMutex_);
    if (CurrentDevice() != nullptr) {
        return Fail(kErrorAlready);
    }
    if (freq == 0) {
        freq = 44100;
    }
    if (!RateSupported(freq)) {
        return Fail(kErrorFrequency);
    }
    std::shared_ptr<Device> output;
    if (device == 0) {
        output = std::make_shared<NullDevice>(freq);
    } else if (device == 1 || device == -1) {
        output = std::make_shared<SdlDevice>(freq, std::string());
    } else if (device == test::kDevice) {
        output = std::make_shared<TestDevice>(freq);
    } else if (device >= 2) {
        const auto name = SdlDeviceName(device - 2);
        if (!name) {
            return Fail(kErrorDevice);
        }
        output = std::make_shared<SdlDevice>(freq, *name);
    } else {
        return Fail(kErrorDevice);
    }
    if (!output->Start()) {
        return Fail(kErrorDriver);
    }
    auto updater = std::make_shared<Updater>(output, output->Manual());
    std::lock_guard lock(mutex_);
    device_ = std::move(output);
    updater_ = std::move(updater);
    Succeed();
    return true;
}

bool Library::Free() {
    if (OnUpdateThread()) {
        return Fail(kErrorBusy);
    }
    std::lock_guard serial(deviceMutex_);
    std::shared_ptr<Device> device;
    std::shared_ptr<Updater> updater;
    std::vector<std::shared_ptr<Stream>> channels;
    {
        std::lock_guard lock(mutex_);
        if (device_ == nullptr) {
            return Fail(kErrorInit);
        }
        device = std::move(device_);
        updater = std::move(updater_);
        for (auto it = streams_.begin(); it != streams_.end();) {
            if (it->second->playback != nullptr) {
                channels.push_back(std::move(it->second));
                it = streams_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Callbacks still running finish before the thread ends; no lock is held here.
    updater.reset();
    device->Stop();
    Succeed();
    return true;
}

std::shared_ptr<Stream> Library::Find(Handle handle) {
    std::lock_guard lock(mutex_);
    const auto it = streams_.find(handle);
    if (it == streams_.end()) {
        Fail(kErrorHandle);
        return nullptr;
    }
    return it->second;
}

Handle Library::NewHandle() {
    std::lock_guard lock(mutex_);
    do {
        ++lastHandle_;
    } while (lastHandle_ == 0 || streams_.contains(lastHandle_));
    return lastHandle_;
}

Handle Library::Add(std::shared_ptr<Stream> stream) {
    const Handle handle = NewHandle();
    stream->handle = handle;
    std::lock_guard lock(mutex_);
    if (stream->playback != nullptr) {
        if (device_ == nullptr) {
            return Fail(kErrorInit, Handle{0});
        }
        device_->Attach(stream);
    }
    streams_.emplace(handle, std::move(stream));
    Succeed();
    return handle;
}

std::shared_ptr<Stream> Library::Remove(Handle handle) {
    std::shared_ptr<Stream> stream;
    std::shared_ptr<Device> device;
    {
        std::lock_guard lock(mutex_);
        const auto it = streams_.find(handle);
        if (it == streams_.end()) {
            Fail(kErrorHandle);
            return nullptr;
        }
        stream = std::move(it->second);
        streams_.erase(it);
        device = device_;
    }
    if (stream->playback != nullptr && device != nullptr) {
        device->Detach(stream.get());
    }
    return stream;
}

std::shared_ptr<Device> Library::CurrentDevice() {
    std::lock_guard lock(mutex_);
    return device_;
}

void Library::WakeUpdater() {
    std::shared_ptr<Updater> updater;
    {
        std::lock_guard lock(mutex_);
        updater = updater_;
    }
    if (updater != nullptr) {
        updater->Wake();
    }
}

bool Library::RunUpdate(bool catchUp) {
    if (OnUpdateThread()) {
        return false;
    }
    std::shared_ptr<Device> device;
    std::shared_ptr<Updater> updater;
    std::vector<std::shared_ptr<Stream>> decoding;
    {
        std::lock_guard lock(mutex_);
        device = device_;
        updater = updater_;
        for (const auto& [handle, stream] : streams_) {
            if (catchUp && stream->decoding != nullptr) {
                decoding.push_back(stream);
            }
        }
    }
    if (device == nullptr || !device->Manual()) {
        return false;
    }
    for (const auto& stream : decoding) {
        stream->decoding->CatchUp();
    }
    updater->RunOnce();
    return true;
}

}  // namespace audio::detail
