#pragma once
// The engine's worker for opening files: runs posted jobs one after another on
// a thread of its own, so neither the UI thread nor the audio update thread
// waits for a slow disk.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace mirvo {

class Opener {
  public:
    Opener();
    ~Opener();
    Opener(const Opener&) = delete;
    Opener& operator=(const Opener&) = delete;

    void Post(std::function<void()> job);
    // Returns once every job posted so far has run.
    void WaitIdle();
    // Lets the running job finish, drops the waiting ones and ends the thread.
    void Stop();

  private:
    void Run(const std::stop_token& stop);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable_any idle_;
    std::deque<std::function<void()>> jobs_;
    bool running_ = false;
    bool stopped_ = false;
    std::jthread thread_;
};

}  // namespace mirvo
