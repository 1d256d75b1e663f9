#pragma once
// The sleep timer: counts down the minutes, fades the sound out over the last
// 50 seconds, then ends the program or switches the computer off.
#include <functional>
#include <memory>
#include <string>

#include "player/Interfaces.h"

namespace mirvo {

struct Services;
struct EngineState;
class Engine;

// The timer dialog as the countdown sees it.
class SleepTimerView {
  public:
    virtual ~SleepTimerView() = default;
    // The minutes field.
    virtual void ShowMinutes(const std::string& text) = 0;
    // Counting: the button reads "&Cancel" and the field is locked; else "&Start".
    virtual void ShowCounting(bool counting) = 0;
    virtual void HideForm() = 0;
    // "&Shutdown computer when done".
    virtual bool ShutdownWhenDone() const = 0;
};

class SleepTimer {
  public:
    // `exitProgram` is the normal way out of the program; `state` holds the
    // volume the fade gives back when the computer will not switch off.
    SleepTimer(Services& ui, const EngineState& state, Engine& engine, SleepTimerView& view,
               std::function<void()> exitProgram);
    ~SleepTimer();
    SleepTimer(const SleepTimer&) = delete;
    SleepTimer& operator=(const SleepTimer&) = delete;

    // The dialog appears: idle, at 30 minutes.
    void FormShow();
    // "&Start" with the minutes field's text, or "&Cancel".
    void Button1Click(const std::string& minutes);
    // The dialog closes by any means; a running countdown is aborted.
    void FormClose();

    bool Counting() const { return timer_ != kNoTimer; }
    int SecondsLeft() const { return secondsLeft_; }

  private:
    static constexpr EventLoop::TimerId kNoTimer = -1;

    void Tick();
    void Finish();
    void StopTimer();
    // The system would not switch off: the faded sound comes back.
    void ShutdownRefused(const std::string& reason);

    Services& ui_;
    const EngineState& state_;
    Engine& engine_;
    SleepTimerView& view_;
    std::function<void()> exitProgram_;
    int secondsLeft_ = 0;
    EventLoop::TimerId timer_ = kNoTimer;
    // An answer that comes after this timer is gone finds it expired.
    std::shared_ptr<SleepTimer*> self_ = std::make_shared<SleepTimer*>(this);
};

}  // namespace mirvo
