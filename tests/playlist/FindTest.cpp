// Find as you type: the filter, the key arithmetic and the dialog's commands.
#include "playlist/Find.h"

#include <gtest/gtest.h>

#include <random>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"

namespace mirvo {
namespace {

using Indices = std::vector<std::int32_t>;

TEST(Find, TheWholeEntryIsSearchedIgnoringCase) {
    const std::vector<std::string> entries = {"/C/music/Abba.mp3", "/home/x/Bach.flac",
                                              "/m/Cure - Lullaby.ogg", "/m/other.wav"};
    FindFilter f;
    EXPECT_EQ(f.Filter(entries, "c"), (Indices{0, 1, 2}));  // the folder /C counts
    EXPECT_EQ(f.Filter(entries, "cu"), (Indices{2}));
    EXPECT_EQ(f.Filter(entries, "CURE - l"), (Indices{2}));
    EXPECT_EQ(f.Filter(entries, ""), (Indices{0, 1, 2, 3}));
    EXPECT_EQ(f.Filter(entries, ".WAV"), (Indices{3}));
    EXPECT_EQ(f.Filter(entries, "zz"), Indices{});
}

TEST(Find, NarrowingAsYouTypeFindsWhatAFreshSearchFinds) {
    std::mt19937 random(7);
    const std::string letters = "abcAB-. ";
    std::vector<std::string> entries(3000);
    for (auto& e : entries) {
        for (int i = 0; i < 12; ++i) {
            e += letters[random() % letters.size()];
        }
    }
    FindFilter typing;
    for (int round = 0; round < 40; ++round) {
        std::string query;
        for (int i = 0; i < 4; ++i) {
            query += letters[random() % letters.size()];
            FindFilter fresh;
            ASSERT_EQ(typing.Filter(entries, query), fresh.Filter(entries, query)) << query;
        }
        // A list that changed under the dialog is searched afresh.
        entries.pop_back();
        FindFilter fresh;
        ASSERT_EQ(typing.Filter(entries, query), fresh.Filter(entries, query));
    }
}

TEST(Find, KeysMoveByTheirRules) {
    // 30 rows, 10 visible from row 5.
    EXPECT_EQ(FindKeyRow(FindKey::Down, 5, 5, 10, 30), 6);
    EXPECT_EQ(FindKeyRow(FindKey::Up, 0, 0, 10, 30), 0);
    EXPECT_EQ(FindKeyRow(FindKey::PageDown, 14, 5, 10, 30), 24);  // from the last visible row
    EXPECT_EQ(FindKeyRow(FindKey::PageDown, 7, 5, 10, 30), 14);   // elsewhere: the last visible
    EXPECT_EQ(FindKeyRow(FindKey::PageDown, 24, 15, 10, 30), 29);
    EXPECT_EQ(FindKeyRow(FindKey::PageUp, 5, 5, 10, 30), 0);
    EXPECT_EQ(FindKeyRow(FindKey::PageUp, 9, 5, 10, 30), 5);
    EXPECT_EQ(FindKeyRow(FindKey::Other, 9, 5, 10, 30), 0);
    EXPECT_EQ(FindKeyRow(FindKey::Down, 0, 0, 10, 0), 0);
}

TEST(Find, SelectingAndQueueingLeaveThePlayingMark) {
    test::TempDir dir;
    test::FakePlayer f(dir.path());
    PlaylistState& pl = f.player.playlist;
    pl.PlaylistEntries = {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/d.mp3"};
    f.view.rowCount = 4;
    pl.PlayingIndex = 0;
    pl.PlayingEntry = "/m/a.mp3";
    FindSelect(f.player, 2);
    EXPECT_EQ(pl.PlayingIndex, 0);
    EXPECT_EQ(f.view.focusedRow, 2);
    EXPECT_EQ(f.view.selectedRows, (std::vector<int>{2}));

    FindQueue(f.player, 1);
    EXPECT_EQ(pl.QueueList, (std::vector<std::string>{"/m/b.mp3"}));
    EXPECT_EQ(pl.PlayingIndex, 0);
    EXPECT_EQ(f.view.focusedRow, 2);  // the row after the queued one
    FindQueue(f.player, 1);
    EXPECT_TRUE(pl.QueueList.empty());

    test::FakePlayback playback;
    f.player.playback = &playback;
    const std::vector<int>& played = playback.played;
    FindPlay(f.player, 3);
    EXPECT_EQ(played, (std::vector<int>{3}));
    EXPECT_EQ(pl.PlayingIndex, 3);
    FindPlay(f.player, 9);  // a row the list no longer has
    EXPECT_EQ(played.size(), 1u);
}

TEST(Find, RowsShowTheChosenForm) {
    test::TempDir dir;
    test::FakePlayer f(dir.path());
    f.player.playlist.PlaylistEntries = {"/m/rock/song.mp3"};
    EXPECT_EQ(FindRowText(f.player.playlist, 0, 0), "/m/rock/song.mp3");
    EXPECT_EQ(FindRowText(f.player.playlist, 0, 1), "song.mp3");
    EXPECT_EQ(FindRowText(f.player.playlist, 0, 2),
              RelativeText(f.player.playlist, "/m/rock/song.mp3"));
    EXPECT_EQ(FindRowText(f.player.playlist, 1, 1), "");
}

}  // namespace
}  // namespace mirvo
