// Level meters: LED counts, fall-off and the worker's sleep, on fakes.
#include "playback/LevelMeters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"

namespace mirvo {
namespace {

class FakeMeterView : public MeterView {
  public:
    void ShowLevelMeterStyle(int style) override { styles.push_back(style); }
    void SetMeterLeds(int style, int left, int right) override {
        leds.push_back({style, left, right});
    }
    void ShowVolumeBar(VolumeBarCause) override {}
    void HideVolumeBar() override {}

    struct Leds {
        int style, left, right;
        bool operator==(const Leds&) const = default;
    };
    std::vector<int> styles;
    std::vector<Leds> leds;
};

// 44.1 kHz output whose most recent sound the test sets.
class FakeSampler : public LevelSampler {
  public:
    std::uint64_t SecondsToBytes(float seconds) override {
        return playing ? static_cast<std::uint64_t>(seconds * 44100) * 2 * channels : ~0ull;
    }
    std::uint32_t RecentData(std::int16_t* out, std::uint32_t bytes) override {
        requested = bytes;
        if (!playing || dataError) {
            return 0xFFFFFFFF;
        }
        const std::size_t n = std::min<std::size_t>(bytes / 2, samples.size());
        std::memcpy(out, samples.data(), n * 2);
        return static_cast<std::uint32_t>(n * 2);
    }
    int Channels() override { return playing ? channels : 0; }

    void Constant(std::int16_t left, std::int16_t right) {
        samples.clear();
        for (int i = 0; i < 2000; ++i) {
            samples.push_back(left);
            samples.push_back(right);
        }
    }

    bool playing = true;
    bool dataError = false;
    int channels = 2;
    std::vector<std::int16_t> samples;
    std::uint32_t requested = 0;
};

struct Meters {
    explicit Meters(int style)
        : fake(dir.path()), meters(fake.player.settings, fake.player.values, view, sampler) {
        fake.player.values.VUStyle = style;
    }
    FakeMeterView::Leds Update() {
        meters.UpdateLevels();
        return view.leds.back();
    }
    test::TempDir dir;
    test::FakePlayer fake;
    FakeMeterView view;
    FakeSampler sampler;
    LevelMeters meters;
};

TEST(LevelMeters, LedCountsFollowTheThresholdTables) {
    EXPECT_EQ(LedCount(1, 32768), 7);
    EXPECT_EQ(LedCount(1, 32767), 6);
    EXPECT_EQ(LedCount(1, 33), 1);
    EXPECT_EQ(LedCount(1, 32), 0);
    EXPECT_EQ(LedCount(2, 0), 1);  // the 14-step meter never goes dark while sampled
    EXPECT_EQ(LedCount(2, 20676), 12);
    EXPECT_EQ(LedCount(2, 20675), 11);
    for (std::size_t i = 0; i < kLevelThresholds14.size(); ++i) {
        EXPECT_EQ(LedCount(2, kLevelThresholds14[i]), static_cast<int>(14 - i));
    }
    // One decay step lowers the count by exactly one LED until the bottom.
    for (int style : {1, 2}) {
        int value = 32768;
        for (int leds = style == 1 ? 7 : 14; leds > (style == 1 ? 0 : 1); --leds) {
            ASSERT_EQ(LedCount(style, value), leds) << style;
            value = DecayLevel(style, value);
        }
        EXPECT_EQ(value, 0);
        EXPECT_EQ(DecayLevel(style, 0), 0);
    }
    EXPECT_EQ(DecayLevel(1, 1037), 33);
    EXPECT_EQ(DecayLevel(1, 1036), 0);  // below the last step but one: dark at once
    EXPECT_EQ(DecayLevel(2, 32767), 20676);
    EXPECT_EQ(DecayLevel(1, 33), 0);
    EXPECT_EQ(DecayLevel(2, 33), 0);
}

TEST(LevelMeters, PeaksPerSideAndFullScaleNegative) {
    Meters m(1);
    m.sampler.samples = {100, -5, -32768, 200, 300, 32767, -40, -26029};
    EXPECT_EQ(m.Update(), (FakeMeterView::Leds{1, 7, 6}));
    EXPECT_EQ(m.meters.LeftLevel(), 32768);
    EXPECT_EQ(m.meters.RightLevel(), 32767);
    // 21 ms of 44.1 kHz stereo: 926 frames of 4 bytes, rounded down to 8 bytes.
    EXPECT_EQ(m.sampler.requested, 3704u);
}

TEST(LevelMeters, MonoLightsBothBars) {
    Meters m(2);
    m.sampler.channels = 1;
    m.sampler.samples = {10, 20, 16423, -30};  // consecutive mono samples
    EXPECT_EQ(m.Update(), (FakeMeterView::Leds{2, 11, 11}));
    EXPECT_EQ(m.meters.LeftLevel(), m.meters.RightLevel());
}

// A steady tone whose peaks fall on either side of a step from window to
// window lights the same LEDs throughout; a real fall still shows.
TEST(LevelMeters, ASteadyToneOnAStepEdgeDoesNotFlicker) {
    for (const auto& [style, edge] : {std::pair{1, 11627}, std::pair{2, 8231}}) {
        Meters m(style);
        std::vector<int> counts;
        for (int i = 0; i < 40; ++i) {
            const auto peak = static_cast<std::int16_t>(i % 2 == 0 ? edge + 30 : edge - 30);
            m.sampler.Constant(peak, peak);
            counts.push_back(m.Update().left);
        }
        EXPECT_EQ(std::count(counts.begin(), counts.end(), counts.front()), 40) << style;
        m.sampler.Constant(static_cast<std::int16_t>(edge * 3 / 4), 0);
        int left = counts.front();
        for (int i = 0; i < 4; ++i) {
            left = m.Update().left;
        }
        EXPECT_EQ(left, counts.front() - 1) << style;
    }
}

TEST(LevelMeters, SilenceAfterLoudMusicFallsOneStepEverySecondUpdate) {
    Meters m(2);
    m.sampler.Constant(-32768, 32767);
    EXPECT_EQ(m.Update(), (FakeMeterView::Leds{2, 14, 13}));
    m.sampler.Constant(0, 0);
    std::vector<int> left;
    for (int i = 0; i < 30; ++i) {
        left.push_back(m.Update().left);
    }
    // Update 2 is the first decay tick; 13 ticks (26 updates) bring 14 LEDs down to 1.
    for (int i = 0; i < 26; ++i) {
        EXPECT_EQ(left[i], 14 - (i + 2) / 2) << i;
    }
    EXPECT_EQ(left[25], 1);
    EXPECT_EQ(left[29], 1);
    EXPECT_EQ(m.meters.LeftLevel(), 0);
    EXPECT_EQ(m.meters.RightLevel(), 0);
}

TEST(LevelMeters, ALouderPeakIsTakenAtOnceEvenOnADecayTick) {
    Meters m(1);
    m.sampler.Constant(5828, 5828);
    EXPECT_EQ(m.Update().left, 3);
    m.sampler.Constant(32767, 100);
    // Second update is a decay tick: left rises to the new peak, right falls one step.
    EXPECT_EQ(m.Update(), (FakeMeterView::Leds{1, 6, 2}));
    EXPECT_EQ(m.meters.RightLevel(), 1037);
}

TEST(LevelMeters, ASteadyToneHoldsItsLedsWhileItsPeaksWaver) {
    // Windows of one tone peak a little differently; the meter must not blink.
    for (const int style : {1, 2}) {
        Meters m(style);
        for (int i = 0; i < 20; ++i) {
            const std::int16_t peak = i % 2 == 0 ? 12000 : 11700;
            m.sampler.Constant(peak, peak);
            const auto leds = m.Update();
            EXPECT_EQ(leds.left, LedCount(style, 11700)) << style << " update " << i;
            EXPECT_EQ(leds.right, leds.left);
        }
        // Quieter by more than a step: it still falls one step every second update.
        m.sampler.Constant(0, 0);
        const int before = m.Update().left;
        EXPECT_EQ(m.Update().left, before - 1);
    }
}

TEST(LevelMeters, NothingPlayingCountsAsSilence) {
    Meters m(1);
    m.sampler.Constant(32767, 32767);
    m.Update();
    m.sampler.dataError = true;
    for (int i = 0; i < 6; ++i) {
        m.Update();
    }
    EXPECT_EQ(m.view.leds.back(), (FakeMeterView::Leds{1, 3, 3}));
    m.sampler.playing = false;
    for (int i = 0; i < 6; ++i) {
        m.Update();
    }
    EXPECT_EQ(m.view.leds.back(), (FakeMeterView::Leds{1, 0, 0}));
    EXPECT_EQ(m.meters.LeftLevel(), 0);
}

TEST(LevelMeters, StyleIsStoredShownAndWritten) {
    Meters m(1);
    m.meters.SetLevelMeterStyle(2);
    EXPECT_EQ(m.fake.player.values.VUStyle, 2);
    EXPECT_EQ(m.fake.player.settings.ReadInteger("Window", "VUStyle", -1), 2);
    m.meters.ToggleLevelMeterStyle();  // 14 LEDs -> none
    EXPECT_EQ(m.fake.player.values.VUStyle, 0);
    m.meters.ToggleLevelMeterStyle();  // none -> 7 LEDs
    EXPECT_EQ(m.fake.player.values.VUStyle, 1);
    m.meters.SetLevelMeterStyle(7);
    EXPECT_EQ(m.fake.player.values.VUStyle, 1);
    EXPECT_EQ(m.view.styles, (std::vector<int>{2, 0, 1, 1}));
    EXPECT_EQ(m.fake.player.settings.ReadInteger("Window", "VUStyle", -1), 1);
}

// Runs one tick of the worker's timer, as the event loop would.
bool Tick(test::FakeEventLoop& loop) {
    if (loop.timers.empty()) {
        return false;
    }
    EXPECT_EQ(loop.timers.size(), 1u);
    EXPECT_EQ(loop.timers.begin()->second.interval, std::chrono::milliseconds(20));
    auto tick = loop.timers.begin()->second.tick;  // the tick may stop its own timer
    tick();
    return true;
}

TEST(TVUThread, FallsOffAfterStopThenSleepsUntilWoken) {
    Meters m(1);
    TVUThread worker(m.fake.loop, m.meters, m.fake.player.values.VUStyle);
    EXPECT_TRUE(worker.Suspended());
    worker.Wake();
    worker.Wake();
    EXPECT_FALSE(worker.Suspended());
    m.sampler.Constant(32767, 1037);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(Tick(m.fake.loop));
    }
    worker.RequestStop();
    m.sampler.playing = false;
    int ticks = 0;
    while (Tick(m.fake.loop)) {
        ASSERT_LT(++ticks, 100);
    }
    // Six LED steps to dark, one every second update, the first on the first tick.
    EXPECT_EQ(ticks, 11);
    EXPECT_TRUE(worker.Suspended());
    EXPECT_EQ(m.view.leds.back(), (FakeMeterView::Leds{1, 0, 0}));

    worker.Wake();
    EXPECT_FALSE(worker.Suspended());
    m.sampler.playing = true;
    ASSERT_TRUE(Tick(m.fake.loop));
    EXPECT_EQ(m.view.leds.back().left, 6);
}

TEST(TVUThread, WithoutAMeterItDoesNotSampleAndSleepsOnlyWhenDark) {
    Meters m(1);
    TVUThread worker(m.fake.loop, m.meters, m.fake.player.values.VUStyle);
    worker.Wake();
    m.sampler.Constant(32767, 32767);
    Tick(m.fake.loop);
    m.fake.player.values.VUStyle = 0;
    const std::size_t shown = m.view.leds.size();
    worker.RequestStop();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(Tick(m.fake.loop));
    }
    EXPECT_EQ(m.view.leds.size(), shown);
    EXPECT_EQ(m.meters.LeftLevel(), 32767);

    // Back to a meter: the held levels fall off and the pending stop takes effect.
    m.fake.player.values.VUStyle = 1;
    m.sampler.playing = false;
    int ticks = 0;
    while (Tick(m.fake.loop)) {
        ASSERT_LT(++ticks, 100);
    }
    EXPECT_TRUE(worker.Suspended());
}

TEST(TVUThread, StopsItsTimerWhenDestroyed) {
    Meters m(1);
    {
        TVUThread worker(m.fake.loop, m.meters, m.fake.player.values.VUStyle);
        worker.Wake();
        EXPECT_EQ(m.fake.loop.timers.size(), 1u);
    }
    EXPECT_TRUE(m.fake.loop.timers.empty());
}

}  // namespace
}  // namespace mirvo
