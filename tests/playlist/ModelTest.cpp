#include <gtest/gtest.h>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/Model.h"

namespace mirvo {
namespace {

class ModelTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    test::FakePlayer fp{dir.path()};
    Player& p = fp.player;
    test::FakeMainView& view = fp.view;

    void Fill(int n) {
        p.playlist.PlaylistEntries.clear();
        for (int i = 0; i < n; ++i) {
            p.playlist.PlaylistEntries.push_back("/m/" + std::to_string(i) + ".mp3");
        }
    }
};

TEST_F(ModelTest, CountText) {
    EXPECT_EQ(CountText(0), "0 Files");
    EXPECT_EQ(CountText(1), "1 File");
    EXPECT_EQ(CountText(2), "2 Files");
    Fill(25);
    RefreshListView(p, false, false);
    EXPECT_EQ(view.status[1], "25 Files");
    EXPECT_EQ(view.rowCount, 25);
    EXPECT_EQ(view.updateDepth, 0);
}

TEST_F(ModelTest, RefreshKeepsFocusSelectionAndScroll) {
    Fill(100);
    RefreshListView(p, false, false);
    EXPECT_EQ(view.selectedRows, std::vector<int>{0});
    EXPECT_EQ(view.focusedRow, 0);
    view.selectedRows = {3, 5, 40};
    view.focusedRow = 40;
    view.topRow = 30;
    Fill(120);
    RefreshListView(p, true, true);
    EXPECT_EQ(view.selectedRows, (std::vector<int>{3, 5, 40}));
    EXPECT_EQ(view.focusedRow, 40);
    EXPECT_EQ(view.topRow, 30);
    // Without restoring, only the focused row stays selected.
    RefreshListView(p, true, false);
    EXPECT_EQ(view.selectedRows, std::vector<int>{40});
    // Shrinking past the focused row focuses the new last row.
    view.selectedRows = {3, 5, 40};
    Fill(10);
    RefreshListView(p, true, true);
    EXPECT_EQ(view.selectedRows, (std::vector<int>{3, 5, 9}));
    EXPECT_EQ(view.focusedRow, 9);
}

TEST_F(ModelTest, RefreshOnAnEmptyListSelectsTheFirstRow) {
    Fill(5);
    view.topRow = 3;
    view.focusedRow = 4;
    RefreshListView(p, true, true);
    EXPECT_EQ(view.selectedRows, std::vector<int>{0});
    EXPECT_EQ(view.focusedRow, 0);
    // The view menu's check follows the format.
    p.playlist.ViewFormat = 2;
    RefreshListView(p, true, true);
    EXPECT_FALSE(view.viewChecked[0]);
    EXPECT_TRUE(view.viewChecked[2]);
}

TEST_F(ModelTest, SelectOnlyIgnoresRowsOutsideTheList) {
    Fill(3);
    RefreshListView(p, false, false);
    SelectOnly(p.ui.view, 2);
    EXPECT_EQ(view.selectedRows, std::vector<int>{2});
    SelectOnly(p.ui.view, 3);
    SelectOnly(p.ui.view, -1);
    EXPECT_EQ(view.selectedRows, std::vector<int>{2});
    EXPECT_EQ(view.focusedRow, 2);
}

TEST_F(ModelTest, ShowPlayingEntry) {
    Fill(100);
    RefreshListView(p, false, false);
    EXPECT_EQ(VisibleRowCount(p.ui.view), 11);  // 183 / 16
    p.playlist.PlayingIndex = 5;
    ShowPlayingEntry(p);
    EXPECT_EQ(view.topRow, 0);
    // The last visible row counts as outside: it moves to the third row.
    p.playlist.PlayingIndex = 10;
    ShowPlayingEntry(p);
    EXPECT_EQ(view.topRow, 8);
    // Shuffle puts it near the middle.
    p.engine.PlayMode = 4;
    p.playlist.PlayingIndex = 50;
    ShowPlayingEntry(p);
    EXPECT_EQ(view.topRow, 46);
    p.engine.PlayMode = 0;
    p.playlist.PlayingIndex = 1;
    view.topRow = 20;
    ShowPlayingEntry(p);
    EXPECT_EQ(view.topRow, 0);
}

TEST_F(ModelTest, ToggleQueue) {
    PlaylistState& pl = p.playlist;
    pl.PlayingEntry = "/m/playing.mp3";
    ToggleQueue(pl, "/m/a.mp3");
    ToggleQueue(pl, "/m/b.mp3");
    ToggleQueue(pl, "/m/playing.mp3");
    ToggleQueue(pl, "http://radio.example/|Radio");
    EXPECT_EQ(pl.QueueList, (std::vector<std::string>{"/m/a.mp3", "/m/b.mp3"}));
    ToggleQueue(pl, "/m/a.mp3");
    EXPECT_EQ(pl.QueueList, std::vector<std::string>{"/m/b.mp3"});
    // Exact comparison: a different case is a different entry.
    ToggleQueue(pl, "/m/B.mp3");
    EXPECT_EQ(pl.QueueList.size(), 2u);
}

TEST_F(ModelTest, FindPlayingEntryAgain) {
    Fill(4);
    p.playlist.PlaylistEntries.push_back("/m/2.mp3");
    p.playlist.PlayingEntry = "/m/2.mp3";
    FindPlayingEntryAgain(p.playlist);
    EXPECT_EQ(p.playlist.PlayingIndex, 2);
    p.playlist.PlayingEntry = "/M/2.mp3";
    FindPlayingEntryAgain(p.playlist);
    EXPECT_EQ(p.playlist.PlayingIndex, -1);
}

TEST_F(ModelTest, ViewCommands) {
    Fill(3);
    RefreshListView(p, false, false);
    ViewFormatPathAc(p);
    EXPECT_EQ(p.playlist.ViewFormat, 1);
    test::FakeShell shell;
    p.shell = &shell;
    const int& setups = shell.folderSetups;
    View3Ac(p);
    EXPECT_EQ(p.playlist.ViewFormat, 2);
    ASSERT_EQ(fp.dialogs.notices.size(), 1u);
    EXPECT_EQ(fp.dialogs.notices[0].text,
              "Before you start viewing in relative path style, please set your music folder "
              "first.");
    EXPECT_EQ(setups, 1);
    ViewFormatPathAc(p);
    EXPECT_EQ(p.playlist.ViewFormat, 0);
    EXPECT_TRUE(view.viewChecked[0]);
    p.playlist.MusicFolders = {"/m/"};
    View3Ac(p);
    EXPECT_EQ(fp.dialogs.notices.size(), 1u);
    View2Ac(p);
    View1Ac(p);
    EXPECT_EQ(p.playlist.ViewFormat, 0);
}

}  // namespace
}  // namespace mirvo
