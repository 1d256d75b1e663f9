#include "app/SleepTimer.h"

#include <limits>

#include "playback/Engine.h"
#include "player/EngineState.h"
#include "support/IniFile.h"

namespace mirvo {

namespace {
constexpr int kFadeSeconds = 50;
}  // namespace

SleepTimer::SleepTimer(Services& ui, const EngineState& state, Engine& engine, SleepTimerView& view,
                       std::function<void()> exitProgram)
    : ui_(ui), state_(state), engine_(engine), view_(view), exitProgram_(std::move(exitProgram)) {}

SleepTimer::~SleepTimer() {
    StopTimer();
}

void SleepTimer::FormShow() {
    view_.ShowCounting(false);
    view_.ShowMinutes("30");
}

void SleepTimer::Button1Click(const std::string& minutes) {
    if (Counting()) {
        FormClose();
        return;
    }
    const auto number = ParseInteger(minutes);
    // Seconds that do not fit would wrap to a countdown that ends at once.
    constexpr int kLimit = std::numeric_limits<int>::max() / 60;
    if (!number || *number > kLimit || *number < -kLimit) {
        ui_.dialogs.ShowNotice(NoticeKind::Information, "No valid entry.");
        return;
    }
    secondsLeft_ = *number * 60;
    view_.ShowMinutes(std::to_string(secondsLeft_ / 60));
    timer_ = ui_.loop.StartTimer(std::chrono::seconds(1), [this] { Tick(); });
    view_.ShowCounting(true);
}

void SleepTimer::FormClose() {
    view_.HideForm();
    if (Counting()) {
        StopTimer();
        ui_.dialogs.ShowNotice(NoticeKind::Information, "Sleep timer aborted.");
    }
}

void SleepTimer::Tick() {
    --secondsLeft_;
    view_.ShowMinutes(std::to_string(secondsLeft_ / 60));
    if (secondsLeft_ < 1) {
        Finish();
    } else if (secondsLeft_ == kFadeSeconds) {
        audio::ChannelSlideAttributes(engine_.OutputChannel(), -1, 0, -101, kFadeSeconds * 1000);
    }
}

void SleepTimer::Finish() {
    StopTimer();
    FormClose();
    if (view_.ShutdownWhenDone()) {
        // The program stays until the system ends it, and stays on when refused.
        ui_.desktop.ShutdownComputer(
            [self = std::weak_ptr<SleepTimer*>(self_)](const std::string& reason) {
                if (const auto timer = self.lock()) {
                    (*timer)->ShutdownRefused(reason);
                }
            });
    } else if (exitProgram_) {
        exitProgram_();
    }
}

void SleepTimer::ShutdownRefused(const std::string& reason) {
    engine_.SetVolume(state_.Volume);
    ui_.dialogs.ShowNotice(NoticeKind::Warning,
                           "The computer could not be switched off.\r\r" + reason);
}

void SleepTimer::StopTimer() {
    if (Counting()) {
        ui_.loop.StopTimer(timer_);
        timer_ = kNoTimer;
    }
}

}  // namespace mirvo
