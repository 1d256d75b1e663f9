#include "playback/LevelMeters.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <span>

namespace mirvo {
namespace {

// About one update's worth of sound, a little more than the 20 ms between updates.
constexpr float kWindowSeconds = 0.021f;
// Far more than 21 ms of any output; a larger answer is an error, not a window.
constexpr std::uint64_t kMaxWindowBytes = 1u << 20;
constexpr std::uint32_t kNoData = 0xFFFFFFFF;
constexpr std::chrono::milliseconds kUpdatePeriod{20};

std::span<const int> Thresholds(int style) {
    if (style == 2) {
        return kLevelThresholds14;
    }
    return kLevelThresholds7;
}

int Magnitude(std::int16_t sample) {
    return std::abs(static_cast<int>(sample));  // -32768 gives 32768
}

}  // namespace

int LedCount(int style, int value) {
    const auto table = Thresholds(style);
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (value >= table[i]) {
            return static_cast<int>(table.size() - i);
        }
    }
    return 0;
}

int DecayLevel(int style, int value) {
    // The last step of each table falls to 0 rather than to its own threshold.
    const auto table = Thresholds(style);
    for (std::size_t i = 0; i + 1 < table.size(); ++i) {
        if (value >= table[i]) {
            return table[i + 1];
        }
    }
    return 0;
}

LevelMeters::LevelMeters(Settings& settings, SettingsValues& values, MeterView& view,
                         LevelSampler& sampler)
    : settings_(settings), values_(values), view_(view), sampler_(sampler) {}

void LevelMeters::UpdateLevels() {
    std::uint64_t window = sampler_.SecondsToBytes(kWindowSeconds);
    window = window > kMaxWindowBytes ? 0 : window / 8 * 8;
    const std::size_t count = window / sizeof(std::int16_t);
    if (samples_.size() < count) {
        samples_.resize(count);
    }

    std::uint32_t delivered = 0;
    if (count > 0) {
        delivered = sampler_.RecentData(samples_.data(), static_cast<std::uint32_t>(window));
        if (delivered == kNoData) {
            delivered = 0;
        }
    }
    const std::size_t valid = std::min<std::size_t>(delivered / sizeof(std::int16_t), count);

    int leftPeak = 0;
    int rightPeak = 0;
    for (std::size_t i = 0; i < valid; i += 2) {
        leftPeak = std::max(leftPeak, Magnitude(samples_[i]));
        if (i + 1 < valid) {
            rightPeak = std::max(rightPeak, Magnitude(samples_[i + 1]));
        }
    }
    if (valid > 0 && sampler_.Channels() == 1) {
        leftPeak = rightPeak = std::max(leftPeak, rightPeak);
    }

    bool decayTick = false;
    if (++decayCounter_ >= 2) {
        decayCounter_ = 0;
        decayTick = true;
    }
    leftLevel_ = NextLevel(leftLevel_, leftPeak, decayTick);
    rightLevel_ = NextLevel(rightLevel_, rightPeak, decayTick);

    const int style = values_.VUStyle;
    if (style == 1 || style == 2) {
        if (style != ledStyle_) {
            ledStyle_ = style;
            leftLeds_ = rightLeds_ = 0;
        }
        leftLeds_ = Leds(style, leftLevel_, leftLeds_);
        rightLeds_ = Leds(style, rightLevel_, rightLeds_);
        view_.SetMeterLeds(style, leftLeds_, rightLeds_);
    }
}

int LevelMeters::Leds(int style, int level, int shown) {
    const int count = LedCount(style, level);
    if (count >= shown) {
        return count;
    }
    // A steady tone's peaks differ a little from window to window: around a
    // threshold they would light and darken its LED on every update. Within
    // 10 % below it the LED stays; the table's steps lie further apart, so a
    // fall by decay is never held.
    const auto table = Thresholds(style);
    const int edge = table[table.size() - static_cast<std::size_t>(shown)];
    return static_cast<std::int64_t>(level) * 10 >= static_cast<std::int64_t>(edge) * 9 ? shown
                                                                                        : count;
}

int LevelMeters::NextLevel(int held, int peak, bool decayTick) const {
    if (peak >= held) {
        return peak;
    }
    if (!decayTick) {
        return held;
    }
    // A fall stops at what is playing now: a steady tone whose peaks differ a
    // little from window to window would otherwise blink one LED on and off.
    return std::max(DecayLevel(values_.VUStyle, held), peak);
}

void LevelMeters::SetLevelMeterStyle(int style) {
    if (style < 0 || style >= kMeterStyleCount) {
        style = 1;
    }
    values_.VUStyle = style;
    view_.ShowLevelMeterStyle(style);
    settings_.WriteInteger("Window", "VUStyle", style);
}

void LevelMeters::ToggleLevelMeterStyle() {
    SetLevelMeterStyle((values_.VUStyle + 1) % kMeterStyleCount);
}

TVUThread::TVUThread(EventLoop& loop, LevelMeters& meters, const int& vuStyle)
    : loop_(loop), meters_(meters), vuStyle_(vuStyle) {}

TVUThread::~TVUThread() {
    if (timer_) {
        loop_.StopTimer(*timer_);
    }
}

void TVUThread::Wake() {
    stopRequested_ = false;
    if (!timer_) {
        timer_ = loop_.StartTimer(kUpdatePeriod, [this] { Tick(); });
    }
}

void TVUThread::RequestStop() {
    stopRequested_ = true;
}

void TVUThread::Tick() {
    if (vuStyle_ > 0) {
        meters_.UpdateLevels();
    }
    if (stopRequested_ && meters_.LeftLevel() == 0 && meters_.RightLevel() == 0) {
        loop_.StopTimer(*timer_);
        timer_.reset();
    }
}

}  // namespace mirvo
