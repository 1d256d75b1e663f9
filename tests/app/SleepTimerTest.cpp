// The sleep timer's countdown on the test's clock, with a real engine on the
// test device for the fade.
#include "app/SleepTimer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"

namespace mirvo {
namespace {

class FakeTimerForm : public SleepTimerView {
  public:
    void ShowMinutes(const std::string& text) override { minutes = text; }
    void ShowCounting(bool on) override { counting = on; }
    void HideForm() override { ++hides; }
    bool ShutdownWhenDone() const override { return shutdown; }

    std::string minutes;
    bool counting = false;
    int hides = 0;
    bool shutdown = false;
};

struct Countdown {
    Countdown() : f(dir.path()), engine(f.player, bar) {
        f.player.engine.Device = audio::test::kDevice;
        f.player.app.ProgramTitle = kProgramTitle;
        timer.FormShow();
    }
    ~Countdown() { audio::Free(); }

    // One second of the dialog's timer; false when it is not running.
    bool Tick() {
        for (const auto& [id, timer] : f.loop.timers) {
            if (timer.interval == std::chrono::seconds(1)) {
                const auto tick = timer.tick;  // it may stop itself
                tick();
                return true;
            }
        }
        return false;
    }
    bool Running() const {
        return std::any_of(f.loop.timers.begin(), f.loop.timers.end(), [](const auto& t) {
            return t.second.interval == std::chrono::seconds(1);
        });
    }
    // A second of a long tone from a one-entry list.
    void PlayTone() {
        const std::string tone = dir / "tone.wav";
        test::WriteWav(tone, test::Tone(44100, 90.0, 440), 44100);
        f.player.playlist.PlaylistEntries = {tone};
        engine.PlayEntry(0);
        engine.Settle();
        Play(10);
    }
    // The device plays, refilled as the update thread would.
    static void Play(int tenths) {
        for (int i = 0; i < tenths; ++i) {
            audio::test::Update();
            audio::test::Advance(4410 * 4);
        }
    }
    std::uint32_t Volume() const {
        std::uint32_t volume = 0;
        audio::ChannelGetAttributes(engine.OutputChannel(), nullptr, &volume, nullptr);
        return volume;
    }

    test::TempDir dir;
    test::FakePlayer f;
    test::FakePlaybackView bar;
    Engine engine;
    FakeTimerForm form;
    int exits = 0;
    SleepTimer timer{f.player.ui, f.player.engine, engine, form, [this] { ++exits; }};
};

TEST(SleepTimer, OneMinuteFadesOverTheLastFiftySecondsThenExits) {
    Countdown c;
    c.PlayTone();
    const std::uint32_t full = c.Volume();
    ASSERT_GT(full, 0u);

    EXPECT_EQ(c.form.minutes, "30");
    c.timer.Button1Click("1");
    EXPECT_EQ(c.form.minutes, "1");
    EXPECT_TRUE(c.form.counting);
    EXPECT_EQ(c.timer.SecondsLeft(), 60);
    ASSERT_TRUE(c.Tick());
    EXPECT_EQ(c.form.minutes, "0");
    for (int second = 2; second <= 9; ++second) {
        ASSERT_TRUE(c.Tick());
    }
    c.Play(10);
    EXPECT_EQ(c.Volume(), full);  // no fade before 50 seconds are left

    ASSERT_TRUE(c.Tick());
    EXPECT_EQ(c.timer.SecondsLeft(), 50);
    c.Play(50);
    EXPECT_LT(c.Volume(), full * 95 / 100);
    EXPECT_GT(c.Volume(), full * 80 / 100);

    for (int second = 11; second < 60; ++second) {
        ASSERT_TRUE(c.Tick());
    }
    EXPECT_EQ(c.exits, 0);
    ASSERT_TRUE(c.Tick());
    EXPECT_EQ(c.exits, 1);
    EXPECT_FALSE(c.timer.Counting());
    EXPECT_FALSE(c.Running());
    EXPECT_EQ(c.form.hides, 1);
    EXPECT_TRUE(c.f.dialogs.notices.empty());  // the end is no abort
    EXPECT_EQ(c.f.desktop.shutdowns, 0);
}

TEST(SleepTimer, ASwitchOffThatIsRefusedIsSaidAndGivesTheFadedSoundBack) {
    Countdown c;
    c.PlayTone();
    const std::uint32_t full = c.Volume();
    c.form.shutdown = true;
    c.timer.Button1Click("1");
    for (int second = 1; second <= 60; ++second) {
        ASSERT_TRUE(c.Tick());
        c.Play(10);  // a second of sound, the fade sliding on
    }
    EXPECT_EQ(c.f.desktop.shutdowns, 1);
    EXPECT_LT(c.Volume(), full / 10);
    ASSERT_TRUE(c.f.desktop.shutdownRefused);
    EXPECT_TRUE(c.f.dialogs.notices.empty());

    c.f.desktop.shutdownRefused("org.freedesktop.login1.NoSuchSession: no session");
    EXPECT_EQ(c.Volume(), full);
    c.Play(10);
    EXPECT_EQ(c.Volume(), full);  // no slide goes on
    ASSERT_EQ(c.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(c.f.dialogs.notices[0].text,
              "The computer could not be switched off.\r\r"
              "org.freedesktop.login1.NoSuchSession: no session");
    EXPECT_EQ(c.exits, 0);

    // An answer after the timer is gone changes nothing.
    auto late = c.f.desktop.shutdownRefused;
    {
        SleepTimer gone(c.f.player.ui, c.f.player.engine, c.engine, c.form, [] {});
        gone.Button1Click("0");
        for (const auto& [id, timer] : c.f.loop.timers) {
            if (timer.interval == std::chrono::seconds(1)) {
                const auto tick = timer.tick;
                tick();
                break;
            }
        }
        late = c.f.desktop.shutdownRefused;
    }
    late("too late");
    EXPECT_EQ(c.f.dialogs.notices.size(), 1u);
}

TEST(SleepTimer, ZeroEndsOnTheFirstTickAndCanSwitchTheComputerOff) {
    Countdown c;
    c.form.shutdown = true;
    c.timer.Button1Click("0");
    EXPECT_EQ(c.f.desktop.shutdowns, 0);
    ASSERT_TRUE(c.Tick());
    EXPECT_EQ(c.f.desktop.shutdowns, 1);
    EXPECT_EQ(c.exits, 0);  // the system ends the program, if it agrees
    EXPECT_FALSE(c.timer.Counting());
    EXPECT_EQ(c.form.hides, 1);
}

TEST(SleepTimer, InvalidEntriesStartNothing) {
    Countdown c;
    // 40000000 minutes in seconds would wrap to a countdown that ends at once.
    for (const char* entry : {"", "abc", "1.5", "40000000"}) {
        c.timer.Button1Click(entry);
        EXPECT_FALSE(c.timer.Counting()) << entry;
        EXPECT_FALSE(c.form.counting);
        EXPECT_FALSE(c.Running());
    }
    ASSERT_EQ(c.f.dialogs.notices.size(), 4u);
    EXPECT_EQ(c.f.dialogs.notices[3].kind, NoticeKind::Information);
    EXPECT_EQ(c.f.dialogs.notices[3].text, "No valid entry.");
    c.timer.Button1Click("35000000");  // the longest that fits
    EXPECT_EQ(c.form.minutes, "35000000");
    EXPECT_TRUE(c.timer.Counting());
}

TEST(SleepTimer, CancelOrClosingAbortsAndReopeningStartsFromThirty) {
    Countdown c;
    c.timer.Button1Click("5");
    ASSERT_TRUE(c.Tick());
    c.timer.Button1Click("4");  // the button reads "&Cancel" now
    EXPECT_FALSE(c.timer.Counting());
    EXPECT_FALSE(c.Running());
    EXPECT_EQ(c.form.hides, 1);
    ASSERT_EQ(c.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(c.f.dialogs.notices[0].text, "Sleep timer aborted.");

    c.timer.FormShow();
    EXPECT_EQ(c.form.minutes, "30");
    EXPECT_FALSE(c.form.counting);
    c.timer.Button1Click("30");
    c.timer.FormClose();  // Escape
    EXPECT_FALSE(c.timer.Counting());
    EXPECT_EQ(c.f.dialogs.notices.size(), 2u);
    c.timer.FormClose();  // closing an idle dialog says nothing
    EXPECT_EQ(c.f.dialogs.notices.size(), 2u);
    EXPECT_EQ(c.exits, 0);
}

}  // namespace
}  // namespace mirvo
