#pragma once
// The stereo peak meters beside the progress bar: sampling what is playing,
// holding and dropping the levels step by step, and the 20 ms worker.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "player/Interfaces.h"
#include "player/Settings.h"

namespace mirvo {

// The sound the meters look at: the most recent output of the playing channel.
class LevelSampler {
  public:
    virtual ~LevelSampler() = default;
    // Bytes of 16-bit output that `seconds` of sound take; ~0 when nothing plays.
    virtual std::uint64_t SecondsToBytes(float seconds) = 0;
    // Copies up to `bytes` of the most recent interleaved 16-bit output into
    // `samples` without consuming it; the bytes delivered, or 0xFFFFFFFF when
    // nothing plays.
    virtual std::uint32_t RecentData(std::int16_t* samples, std::uint32_t bytes) = 0;
    // Channels of the playing output; 0 when nothing plays.
    virtual int Channels() = 0;
};

// Why the volume bar takes the meter's place.
enum class VolumeBarCause { Keys, Drag };

// The meter area of the main window.
class MeterView {
  public:
    virtual ~MeterView() = default;
    // Shows the meter of `style` (0 none, 1 seven steps, 2 fourteen steps),
    // hides the others and lays the progress panel out around it.
    virtual void ShowLevelMeterStyle(int style) = 0;
    // Lit LEDs of the left and right bar of the meter of `style` (1 or 2).
    virtual void SetMeterLeds(int style, int left, int right) = 0;
    // Puts the volume bar in place of the current meter while the volume changes.
    virtual void ShowVolumeBar(VolumeBarCause cause) = 0;
    // Gives the meter its place back.
    virtual void HideVolumeBar() = 0;
};

inline constexpr int kMeterStyleCount = 3;
inline constexpr std::array<int, 7> kLevelThresholds7 = {32768, 26029, 18427, 11627,
                                                         5828,  1037,  33};
inline constexpr std::array<int, 14> kLevelThresholds14 = {
    32768, 26029, 20676, 16423, 13046, 10363, 8231, 5828, 3277, 1843, 1037, 328, 33, 0};

// Lit LEDs for an amplitude on the meter of `style` (1 or 2).
int LedCount(int style, int value);
// The amplitude one LED step below `value` on the meter of `style` (1 or 2).
int DecayLevel(int style, int value);

class LevelMeters {
  public:
    // The style is `values.VUStyle`, stored in `settings` when it changes.
    LevelMeters(Settings& settings, SettingsValues& values, MeterView& view, LevelSampler& sampler);

    // One sample of the playing sound, turned into LEDs.
    void UpdateLevels();
    // Switches the layout and stores the style; values outside 0..2 mean 1.
    void SetLevelMeterStyle(int style);
    // The next style in the cycle 0, 1, 2, 0.
    void ToggleLevelMeterStyle();

    int LeftLevel() const { return leftLevel_; }
    int RightLevel() const { return rightLevel_; }

  private:
    // The held level after this update: a louder peak at once, a quieter one
    // one table step down on every second update.
    int NextLevel(int held, int peak, bool decayTick) const;
    // The LEDs to show for `level` when `shown` are lit: one step is given up
    // only once the level is clearly below it.
    static int Leds(int style, int level, int shown);

    Settings& settings_;
    SettingsValues& values_;
    MeterView& view_;
    LevelSampler& sampler_;
    int leftLevel_ = 0;
    int rightLevel_ = 0;
    int decayCounter_ = 0;
    int leftLeds_ = 0;
    int rightLeds_ = 0;
    int ledStyle_ = 0;  // the style the counts above were shown for
    std::vector<std::int16_t> samples_;
};

// The meters' worker: a 20 ms timer on the UI thread that samples while a
// meter is shown and goes to sleep once a stop was asked for and both levels
// have fallen to dark.
class TVUThread {
  public:
    TVUThread(EventLoop& loop, LevelMeters& meters, const int& vuStyle);
    ~TVUThread();
    TVUThread(const TVUThread&) = delete;
    TVUThread& operator=(const TVUThread&) = delete;

    // A track starts or resumes: clear the stop request and tick again.
    void Wake();
    // Playback stopped or paused: let the meters fall off, then sleep.
    void RequestStop();
    bool Suspended() const { return !timer_; }

  private:
    void Tick();

    EventLoop& loop_;
    LevelMeters& meters_;
    const int& vuStyle_;
    bool stopRequested_ = false;
    std::optional<EventLoop::TimerId> timer_;
};

}  // namespace mirvo
