#include "playback/Opener.h"

namespace mirvo {

Opener::Opener() : thread_([this](const std::stop_token& stop) { Run(stop); }) {}

Opener::~Opener() {
    Stop();
}

void Opener::Post(std::function<void()> job) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void Opener::WaitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return (jobs_.empty() && !running_) || stopped_; });
}

void Opener::Stop() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    jobs_.clear();
    idle_.notify_all();
}

void Opener::Run(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); }) || stop.stop_requested()) {
            return;
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        lock.unlock();
        job();
        job = nullptr;  // what it holds goes with it, off the lock
        lock.lock();
        running_ = false;
        if (jobs_.empty()) {
            idle_.notify_all();
        }
    }
}

}  // namespace mirvo
