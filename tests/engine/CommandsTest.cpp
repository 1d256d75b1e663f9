// The key dispatcher on a real engine and the test device.
#include "playback/Commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"

namespace mirvo {
namespace {

using test::TempDir;

struct Keys {
    explicit Keys(int files = 3) : f(dir.path()) {
        const std::string tone = dir / "tone.wav";
        test::WriteWav(tone, test::Tone(44100, 5.0, 440), 44100);
        for (int i = 0; i < files; ++i) {
            const std::string path =
                dir / std::string("k").append(std::to_string(i)).append(".wav");
            std::filesystem::create_hard_link(tone, path);
            f.player.playlist.PlaylistEntries.push_back(path);
        }
        f.view.rowCount = files;
        f.view.focusedRow = 0;
        f.player.engine.Device = audio::test::kDevice;
        f.player.app.ProgramTitle = kProgramTitle;
        engine = std::make_unique<Engine>(f.player, bar);
        commands = std::make_unique<Commands>(f.player, *engine);
    }
    ~Keys() {
        commands.reset();
        engine.reset();
        audio::Free();
    }
    // A key, and the start it may have asked for landed.
    bool Press(int key, unsigned modifiers = kNoModifier) {
        const bool handled = commands->DispatchKey(key, modifiers);
        engine->Settle();
        return handled;
    }
    int Playing() const { return f.player.playlist.PlayingIndex; }

    TempDir dir;
    test::FakePlayer f;
    test::FakePlaybackView bar;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<Commands> commands;
};

TEST(Commands, PlayPauseAndStopTwice) {
    Keys k;
    k.f.view.focusedRow = 1;
    EXPECT_TRUE(k.Press(kKeyEnter));
    EXPECT_EQ(k.Playing(), 1);
    EXPECT_EQ(k.engine->OutputState(), audio::kActivePlaying);

    EXPECT_TRUE(k.Press(kKeySpace));
    EXPECT_TRUE(k.engine->IsPaused());
    EXPECT_EQ(k.f.view.status[3], "Paused");
    // Enter on the paused playing row resumes it.
    EXPECT_TRUE(k.Press(kKeyEnter));
    EXPECT_EQ(k.engine->OutputState(), audio::kActivePlaying);

    // Numpad 0: the first press pauses, the second stops and releases the device.
    EXPECT_TRUE(k.Press(kKeyNumpad0));
    EXPECT_TRUE(k.engine->IsPaused());
    EXPECT_TRUE(k.Press(kKeyNumpad0));
    EXPECT_EQ(k.engine->OutputChannel(), 0u);
    EXPECT_FALSE(k.f.player.engine.DeviceReady);
    // Nothing ready: Numpad 0 does nothing, Space plays the focused row.
    EXPECT_TRUE(k.Press(kKeyNumpad0));
    EXPECT_EQ(k.engine->OutputChannel(), 0u);
    k.f.view.focusedRow = 2;
    EXPECT_TRUE(k.Press(kKeySpace));
    EXPECT_EQ(k.Playing(), 2);

    // The stop button does both presses in one click.
    k.commands->StopButton();
    k.engine->Settle();
    EXPECT_FALSE(k.f.player.engine.DeviceReady);
    k.commands->PlayPauseButton();
    k.engine->Settle();
    EXPECT_EQ(k.engine->OutputState(), audio::kActivePlaying);
    k.commands->PlayPauseButton();
    k.engine->Settle();
    EXPECT_TRUE(k.engine->IsPaused());
}

TEST(Commands, NextAndPreviousFollowThePlayMode) {
    Keys k;
    k.Press(kKeyEnter);
    k.f.player.engine.PlayMode = 2;
    k.f.player.playlist.PlayingIndex = 2;
    const audio::Handle before = k.engine->OutputChannel();
    EXPECT_TRUE(k.Press(kKeyTab));  // last row in "Play list": nothing
    EXPECT_EQ(k.engine->OutputChannel(), before);
    k.f.player.engine.PlayMode = 0;
    EXPECT_TRUE(k.Press(kKeyTab));
    EXPECT_EQ(k.Playing(), 0);
    EXPECT_TRUE(k.Press(kKeyTab, kShift));
    EXPECT_EQ(k.Playing(), 2);
    k.f.player.engine.PlayMode = 1;
    EXPECT_TRUE(k.Press(kKeyTab));  // the same entry from its start
    EXPECT_EQ(k.Playing(), 2);
    k.f.player.engine.PlayMode = 3;
    const audio::Handle current = k.engine->OutputChannel();
    EXPECT_TRUE(k.Press(kKeyTab));
    EXPECT_EQ(k.engine->OutputChannel(), current);
    EXPECT_FALSE(k.Press(kKeyTab, kCtrl));

    // The queue before everything, whatever the mode, even at the end of "Play list".
    k.f.player.engine.PlayMode = 2;
    k.f.player.playlist.PlayingIndex = 2;
    k.f.player.playlist.QueueList = {k.f.player.playlist.PlaylistEntries[1]};
    EXPECT_TRUE(k.Press(kKeyTab));
    EXPECT_EQ(k.Playing(), 1);
    EXPECT_TRUE(k.f.player.playlist.QueueList.empty());

    // Next while paused: the new track waits paused.
    k.f.player.engine.PlayMode = 0;
    k.Press(kKeySpace);
    k.Press(kKeyTab);
    EXPECT_EQ(k.Playing(), 2);
    EXPECT_TRUE(k.engine->IsPaused());
}

TEST(Commands, SeekingWithTheArrowsHappensOnRelease) {
    Keys k;
    k.Press(kKeyEnter);
    EXPECT_TRUE(k.Press(kKeyRight, kCtrl));  // 60 s forward: past the end
    EXPECT_TRUE(k.engine->SeekPending);
    EXPECT_EQ(k.bar.position, 5000);
    EXPECT_EQ(k.engine->CurrentPositionBytes(), 0);  // not yet
    k.commands->KeyUp(kKeyRight);
    EXPECT_FALSE(k.engine->SeekPending);
    EXPECT_EQ(k.engine->CurrentPositionBytes(), 4 * 176400);  // one second before the end
    k.Press(kKeySpace);
    k.Press(kKeyLeft);
    k.commands->KeyUp(kKeyLeft);
    EXPECT_TRUE(k.engine->IsPaused());
    EXPECT_EQ(k.engine->CurrentPositionBytes(), 2 * 176400);  // 5000 - 3000 ms
    k.Press(kKeyLeft, kShift);
    EXPECT_EQ(k.bar.position, 1900);
    EXPECT_EQ(k.f.view.timeLabel, "0:01 / 0:05 / -0:03");
    k.commands->KeyUp(kKeyLeft);
    EXPECT_TRUE(k.Press(kKeyBack));
    EXPECT_EQ(k.engine->CurrentPositionBytes(), 0);
    EXPECT_EQ(k.f.view.timeLabel, "0:00* / 0:05 / -0:05");
}

TEST(Commands, VolumeKeysAndSoftMute) {
    Keys k;
    k.f.player.values.SoftmutePercent = 30;
    EXPECT_TRUE(k.Press(kKeyPause));
    EXPECT_EQ(k.f.player.engine.Volume, 300);
    EXPECT_EQ(k.f.player.engine.MutedVolume, 1000);
    EXPECT_TRUE(k.Press(kKeyPause));
    EXPECT_EQ(k.f.player.engine.Volume, 1000);
    EXPECT_EQ(k.f.player.engine.MutedVolume, -1);

    EXPECT_TRUE(k.Press(kKeySubtract));
    EXPECT_EQ(k.f.player.engine.Volume, 970);
    EXPECT_TRUE(k.Press(kKeyMinus, kShift));
    EXPECT_EQ(k.f.player.engine.Volume, 969);
    EXPECT_TRUE(k.Press(kKeyAdd, kCtrl));
    EXPECT_EQ(k.f.player.engine.Volume, 999);
    // A volume key while muted ends the mute at the new volume.
    k.Press(kKeyPause);
    k.Press(kKeyEquals);
    EXPECT_EQ(k.f.player.engine.Volume, 330);
    EXPECT_EQ(k.f.player.engine.MutedVolume, -1);
}

TEST(Commands, ListKeys) {
    Keys k(5);
    PlaylistState& pl = k.f.player.playlist;
    const auto entries = pl.PlaylistEntries;

    EXPECT_TRUE(k.Press('A', kCtrl));
    EXPECT_EQ(k.f.view.selectedRows, (std::vector<int>{0, 1, 2, 3, 4}));

    k.f.view.selectedRows = {1, 2};
    k.f.view.focusedRow = 2;
    pl.PlayingIndex = 1;
    EXPECT_TRUE(k.Press(kKeyUp, kCtrl));
    EXPECT_EQ(pl.PlaylistEntries, (std::vector<std::string>{entries[1], entries[2], entries[0],
                                                            entries[3], entries[4]}));
    EXPECT_EQ(pl.PlayingIndex, 0);
    EXPECT_EQ(k.f.view.selectedRows, (std::vector<int>{0, 1}));
    EXPECT_TRUE(k.Press(kKeyUp, kCtrl));  // row 0 selected: nothing moves
    EXPECT_EQ(pl.PlaylistEntries[0], entries[1]);
    EXPECT_TRUE(k.Press(kKeyDown, kCtrl));
    EXPECT_EQ(pl.PlaylistEntries, entries);
    EXPECT_EQ(pl.PlayingIndex, 1);

    // Ctrl+C puts the display texts of the selected rows on the clipboard.
    k.f.view.selectedRows = {0, 3};
    EXPECT_TRUE(k.Press('C', kCtrl));
    EXPECT_EQ(k.f.desktop.clipboard, "k0.wav\r\nk3.wav\r\n");

    // Del removes the selected rows, the queue entries with them, and keeps the playing entry.
    pl.QueueList = {entries[3], entries[4]};
    pl.PlayingIndex = 4;
    EXPECT_TRUE(k.Press(kKeyDelete));
    EXPECT_EQ(pl.PlaylistEntries, (std::vector<std::string>{entries[1], entries[2], entries[4]}));
    EXPECT_EQ(pl.PlayingIndex, 2);
    EXPECT_EQ(pl.QueueList, std::vector<std::string>{entries[4]});

    // Up with the focus scrolled out of view selects the last visible row instead.
    k.f.view.topRow = 0;
    k.f.view.focusedRow = 40;
    k.f.view.rowCount = 3;
    k.f.view.clientHeight = 32;  // two rows visible
    EXPECT_TRUE(k.Press(kKeyUp));
    EXPECT_EQ(k.f.view.focusedRow, 1);
    EXPECT_EQ(k.f.view.selectedRows, std::vector<int>{1});
    EXPECT_FALSE(k.Press(kKeyUp));  // now in view: the list moves the cursor itself
}

TEST(Commands, FindAsYouTypeAndUnknownKeys) {
    Keys k;
    std::string typed;
    k.commands->OpenFind = [&](char c) { typed += c; };
    EXPECT_TRUE(k.Press('M'));
    EXPECT_TRUE(k.Press('X', kShift));
    EXPECT_TRUE(k.Press('7'));
    EXPECT_EQ(typed, "mx7");
    EXPECT_FALSE(k.Press('0'));          // the digit 0 is no search
    EXPECT_FALSE(k.Press('5', kShift));  // nor digits with Shift
    EXPECT_FALSE(k.Press(115));          // F4 is no dispatcher key
    EXPECT_TRUE(k.commands->KeyDown('Q', kNoModifier));
    EXPECT_TRUE(k.commands->SwallowCharacter());
    EXPECT_FALSE(k.commands->KeyDown(115, kNoModifier));
    EXPECT_FALSE(k.commands->SwallowCharacter());
}

TEST(Commands, BusyDispatcherDropsKeys) {
    Keys k;
    k.commands->CommandBusy = true;
    EXPECT_FALSE(k.Press(kKeyEnter));
    EXPECT_EQ(k.engine->OutputChannel(), 0u);
}

TEST(Commands, PlayModesAndHotKeys) {
    Keys k;
    k.f.player.playlist.QueueList = {k.f.player.playlist.PlaylistEntries[0]};
    k.commands->TogglePlayMode();
    EXPECT_EQ(k.f.player.engine.PlayMode, 1);
    EXPECT_EQ(k.f.view.status[2], "Repeat file");
    EXPECT_TRUE(k.f.player.playlist.QueueList.empty());
    k.commands->TogglePlayMode(true);
    k.commands->TogglePlayMode(true);
    EXPECT_EQ(k.f.player.engine.PlayMode, 4);
    EXPECT_EQ(k.f.view.status[2], "Shuffle");
    k.commands->TogglePlayMode();
    EXPECT_EQ(k.f.player.engine.PlayMode, 0);
    EXPECT_EQ(k.f.view.status[2], "");

    k.commands->HotKey(0);
    k.engine->Settle();
    EXPECT_EQ(k.engine->OutputState(), audio::kActivePlaying);
    k.commands->HotKey(1);
    k.engine->Settle();
    EXPECT_TRUE(k.engine->IsPaused());
    k.commands->HotKey(5);
    k.engine->Settle();
    EXPECT_EQ(k.f.player.engine.Volume, 1000);
    k.commands->HotKey(6);
    k.engine->Settle();
    EXPECT_EQ(k.f.player.engine.Volume, 970);
    k.commands->HotKey(2);
    k.engine->Settle();
    EXPECT_EQ(k.engine->OutputChannel(), 0u);
    int exits = 0;
    k.commands->ExitApplication = [&] { ++exits; };
    k.commands->SettingsDialogShown = [] { return true; };
    k.commands->HotKey(9);
    k.engine->Settle();
    EXPECT_EQ(exits, 0);  // ignored while the settings dialog shows
    k.commands->SettingsDialogShown = nullptr;
    k.commands->HotKey(9);
    k.engine->Settle();
    EXPECT_EQ(exits, 1);
    k.commands->HotKey(8);
    k.engine->Settle();
    EXPECT_EQ(k.f.view.broughtToFront, 1);
}

TEST(Commands, LoveModeNeedsItsPlaylist) {
    Keys k;
    EXPECT_TRUE(k.Press(kKeyNumpad7));
    ASSERT_EQ(k.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(k.f.dialogs.notices[0].text.rfind("To enter Mirvo's love mode", 0), 0u);

    k.f.player.playlist.PlayingEntry.clear();
    std::ofstream(k.dir / "love.txt") << k.f.player.playlist.PlaylistEntries[2] << "\n";
    k.f.player.engine.Volume = 200;
    EXPECT_TRUE(k.Press(kKeyNumpad7));
    EXPECT_EQ(k.f.player.playlist.PlaylistEntries.size(), 1u);
    EXPECT_EQ(k.f.player.engine.PlayMode, 4);
    EXPECT_EQ(k.f.player.engine.Volume, 1000);
    EXPECT_TRUE(k.f.view.maximized);
    EXPECT_EQ(k.engine->OutputState(), audio::kActivePlaying);
}

TEST(Commands, SelectPlayingItem) {
    Keys k;
    k.Press(kKeyBackQuote);
    EXPECT_TRUE(k.f.dialogs.notices.empty());  // nothing played yet
    k.f.view.focusedRow = 2;
    k.Press(kKeyEnter);
    k.f.view.selectedRows = {0};
    k.Press(kKeyBackQuote);
    EXPECT_EQ(k.f.view.selectedRows, std::vector<int>{2});
    k.f.player.playlist.PlayingIndex = -1;
    k.Press(kKeyBackQuote);
    ASSERT_EQ(k.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(k.f.dialogs.notices[0].text,
              k.f.player.playlist.PlayingEntry +
                  "\ris not in the current playlist or the list has been changed.");
}

// Next and Previous over entries that cannot play: each is checked off the UI
// thread, which opens none of them; queued ones that cannot play still leave
// the queue with the one that plays.
TEST(Commands, NextOverWhatCannotPlayReadsNothingOnTheUiThread) {
    test::SlowDisk disk(std::chrono::microseconds(0));
    Keys k(2);
    PlaylistState& pl = k.f.player.playlist;
    const std::string last = pl.PlaylistEntries[1];
    pl.PlaylistEntries.pop_back();
    for (int i = 0; i < 20; ++i) {
        const std::string junk = k.dir / ("junk" + std::to_string(i) + ".mp3");
        std::ofstream(junk) << "no sound in " << i;
        pl.PlaylistEntries.push_back(junk);
        pl.PlaylistEntries.push_back(k.dir / ("gone" + std::to_string(i) + ".wav"));
    }
    pl.PlaylistEntries.push_back(last);
    const int end = static_cast<int>(pl.PlaylistEntries.size()) - 1;
    k.f.view.rowCount = end + 1;
    k.Press(kKeyEnter);
    EXPECT_EQ(k.Playing(), 0);
    k.Press(kKeyTab);
    EXPECT_EQ(k.Playing(), end);
    k.Press(kKeyTab, kShift);
    EXPECT_EQ(k.Playing(), 0);
    pl.QueueList = {pl.PlaylistEntries[1], pl.PlaylistEntries[2], last, pl.PlaylistEntries[3]};
    k.Press(kKeyTab);
    EXPECT_EQ(k.Playing(), end);
    EXPECT_EQ(pl.QueueList, std::vector<std::string>{pl.PlaylistEntries[3]});
    // Shuffle draws past what cannot play too.
    k.f.player.engine.PlayMode = 4;
    k.Press(kKeyTab);
    EXPECT_TRUE(k.Playing() == 0 || k.Playing() == end) << k.Playing();
    EXPECT_FALSE(pl.ShuffleHistory.empty());
    EXPECT_EQ(k.engine->OutputState(), audio::kActivePlaying);

    const std::thread::id ui = std::this_thread::get_id();
    for (const test::SlowDisk::Event& e : disk.Events()) {
        EXPECT_TRUE(e.kind == test::SlowDisk::Event::Close || e.thread != ui) << e.path;
    }
    EXPECT_TRUE(k.f.dialogs.notices.empty());
}

}  // namespace
}  // namespace mirvo
