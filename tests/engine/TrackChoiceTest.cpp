// Choosing the next and previous track: queue first, the play modes at the
// ends of the list, shuffle without repetition, the back-histories.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"

namespace mirvo {
namespace {

using test::TempDir;

// A list of `count` playable files (hard links to one small WAV).
struct Choice {
    explicit Choice(int count) : f(dir.path()) {
        const std::string source = dir / "tone.wav";
        test::WriteWav(source, test::Tone(44100, 0.2, 440), 44100);
        for (int i = 0; i < count; ++i) {
            const std::string path =
                dir / std::string("t").append(std::to_string(i)).append(".wav");
            std::filesystem::create_hard_link(source, path);
            f.player.playlist.PlaylistEntries.push_back(path);
        }
        f.view.rowCount = count;
        f.player.engine.Device = audio::test::kDevice;
        engine = std::make_unique<Engine>(f.player, view);
    }
    ~Choice() {
        engine.reset();
        audio::Free();
    }
    const std::string& Entry(int i) const {
        return f.player.playlist.PlaylistEntries[static_cast<std::size_t>(i)];
    }
    int Next() { return engine->ChooseTrack(false); }
    int Previous() { return engine->ChooseTrack(true); }

    TempDir dir;
    test::FakePlayer f;
    test::FakePlaybackView view;
    std::unique_ptr<Engine> engine;
};

TEST(TrackChoice, PlayModesAtTheEndsOfTheList) {
    Choice c(3);
    PlaylistState& pl = c.f.player.playlist;
    int& mode = c.f.player.engine.PlayMode;

    pl.PlayingIndex = 2;
    mode = 0;
    EXPECT_EQ(c.Next(), 0);  // wraps
    pl.PlayingIndex = 0;
    EXPECT_EQ(c.Previous(), 2);
    mode = 1;
    EXPECT_EQ(c.Next(), 0);  // the same entry again
    mode = 2;
    pl.PlayingIndex = 2;
    EXPECT_EQ(c.Next(), -1);
    pl.PlayingIndex = 0;
    EXPECT_EQ(c.Previous(), -1);
    EXPECT_EQ(c.Next(), 1);
    mode = 3;
    EXPECT_EQ(c.Next(), -1);
    pl.PlaylistEntries.clear();
    mode = 0;
    EXPECT_EQ(c.Next(), -1);
}

TEST(TrackChoice, UnplayableEntriesAreSkipped) {
    Choice c(4);
    PlaylistState& pl = c.f.player.playlist;
    pl.PlaylistEntries[1] = c.dir / "gone.mp3";
    pl.PlaylistEntries[2] = "http://radio.example:8000/stream|Radio";
    pl.PlayingIndex = 0;
    EXPECT_EQ(c.Next(), 3);
    EXPECT_TRUE(c.f.dialogs.notices.empty());  // choosing shows no warnings
}

TEST(TrackChoice, TheQueueComesFirstAndLosesNothing) {
    Choice c(6);
    PlaylistState& pl = c.f.player.playlist;
    pl.PlayingIndex = 0;
    c.f.player.engine.PlayMode = 2;
    pl.QueueList = {c.Entry(4), c.Entry(2)};
    EXPECT_EQ(c.Next(), 4);
    EXPECT_EQ(pl.QueueList, std::vector<std::string>{c.Entry(2)});
    pl.PlayingIndex = 4;
    EXPECT_EQ(c.Next(), 2);
    EXPECT_TRUE(pl.QueueList.empty());
    EXPECT_EQ(c.engine->QueueBackHistory[0], c.Entry(2));
    EXPECT_EQ(c.engine->QueueBackHistory[1], c.Entry(4));

    // A radio entry that found its way into the queue takes no file entry with it.
    pl.PlaylistEntries[5] = "http://radio.example/live|Live";
    pl.QueueList = {pl.PlaylistEntries[5], c.Entry(1), c.Entry(3)};
    pl.PlayingIndex = 0;
    EXPECT_EQ(c.Next(), 1);
    EXPECT_EQ(pl.QueueList, std::vector<std::string>{c.Entry(3)});
    EXPECT_EQ(c.Next(), 3);
}

TEST(TrackChoice, PreviousReturnsToTheQueuedEntriesPlayed) {
    Choice c(5);
    PlaylistState& pl = c.f.player.playlist;
    pl.QueueList = {c.Entry(3), c.Entry(1)};
    pl.PlayingIndex = 0;
    EXPECT_EQ(c.Next(), 3);
    EXPECT_EQ(c.Next(), 1);
    // Slot 0 is the entry playing now; Previous goes to the one before it.
    EXPECT_EQ(c.Previous(), 3);
}

TEST(TrackChoice, ShufflePlaysEveryEntryOncePerPass) {
    Choice c(1000);
    PlaylistState& pl = c.f.player.playlist;
    c.f.player.engine.PlayMode = 4;
    for (int pass = 0; pass < 2; ++pass) {
        std::set<int> played;
        for (int i = 0; i < 1000; ++i) {
            const int next = c.Next();
            ASSERT_GE(next, 0);
            EXPECT_TRUE(played.insert(next).second) << "repeated " << next << " in pass " << pass;
            // What starting the track does in shuffle mode.
            pl.ShuffleHistory.push_back(c.Entry(next));
            c.engine->PushShuffleBack(c.Entry(next));
            pl.PlayingIndex = next;
        }
        EXPECT_EQ(played.size(), 1000u);
    }
}

TEST(TrackChoice, ShuffleSkipsWhatCannotPlayAndEmptiesTheHistoryAtTheEnd) {
    Choice c(60);
    PlaylistState& pl = c.f.player.playlist;
    std::set<int> playable;
    for (int i = 0; i < 60; ++i) {
        if (i % 3 != 0) {
            playable.insert(i);
        } else {
            pl.PlaylistEntries[static_cast<std::size_t>(i)] =
                c.dir / std::string("gone").append(std::to_string(i)).append(".wav");
        }
    }
    c.f.player.engine.PlayMode = 4;
    const auto start = [&](int next) {
        pl.ShuffleHistory.push_back(c.Entry(next));
        c.engine->PushShuffleBack(c.Entry(next));
        pl.PlayingIndex = next;
    };
    for (int pass = 0; pass < 3; ++pass) {
        std::set<int> played;
        for (std::size_t i = 0; i < playable.size(); ++i) {
            const int next = c.Next();
            ASSERT_EQ(playable.count(next), 1u) << next;
            EXPECT_TRUE(played.insert(next).second) << "repeated " << next << " in pass " << pass;
            if (i == 0 && pass > 0) {
                // The new pass began with an empty history: nothing of the last one is left.
                for (int old : playable) {
                    EXPECT_EQ(std::count(pl.ShuffleHistory.begin(), pl.ShuffleHistory.end(),
                                         c.Entry(old)),
                              0)
                        << old;
                }
            }
            start(next);
        }
        EXPECT_EQ(played, playable);
    }
    EXPECT_TRUE(c.f.dialogs.notices.empty());
}

TEST(TrackChoice, PreviousInShuffleGoesBackTenSteps) {
    Choice c(30);
    PlaylistState& pl = c.f.player.playlist;
    c.f.player.engine.PlayMode = 4;
    std::vector<int> order;
    for (int i = 0; i < 12; ++i) {
        const int next = c.Next();
        order.push_back(next);
        pl.ShuffleHistory.push_back(c.Entry(next));
        c.engine->PushShuffleBack(c.Entry(next));
        pl.PlayingIndex = next;
    }
    for (int back = 1; back <= 10; ++back) {
        EXPECT_EQ(c.Previous(), order[order.size() - 1 - static_cast<std::size_t>(back)]) << back;
    }
}

TEST(TrackChoice, ChangingThePlayModeEmptiesQueueAndHistory) {
    Choice c(3);
    PlaylistState& pl = c.f.player.playlist;
    pl.QueueList = {c.Entry(1)};
    pl.ShuffleHistory = {c.Entry(2)};
    c.f.player.engine.PlayMode = 3;
    c.engine->ApplyPlayMode();
    EXPECT_TRUE(pl.QueueList.empty());
    EXPECT_TRUE(pl.ShuffleHistory.empty());
    EXPECT_EQ(c.f.view.status[2], "Play file     ");
}

}  // namespace
}  // namespace mirvo
