#include <gtest/gtest.h>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/RowLook.h"
#include "playlist/SchemeFile.h"

namespace mirvo {
namespace {

TEST(SchemeFileTest, ColourText) {
    EXPECT_EQ(ParseColour("#ff0000"), MakeColour(0xFF, 0, 0));
    EXPECT_EQ(ParseColour("FF0000"), MakeColour(0xFF, 0, 0));
    EXPECT_EQ(ParseColour("#FF6F28"), kQueuedOrange);
    EXPECT_EQ(RedOf(*ParseColour("#123456")), 0x12u);
    EXPECT_EQ(BlueOf(*ParseColour("#123456")), 0x56u);
    EXPECT_EQ(ParseColour("ff"), MakeColour(0, 0, 0xFF));
    EXPECT_FALSE(ParseColour("#"));
    EXPECT_FALSE(ParseColour("red"));
    EXPECT_FALSE(ParseColour("#12 456"));
    EXPECT_FALSE(ParseColour("123456789"));
}

TEST(SchemeFileTest, MissingKeysTakeTheDefaults) {
    SystemColours system;
    system.Window = MakeColour(1, 2, 3);
    const SchemeParse only = ParseScheme("[Style]\r\nfont_size=12\r\n", SchemeValues{}, system);
    EXPECT_FALSE(only.Error);
    EXPECT_EQ(only.Values.FontSize, 12);
    EXPECT_EQ(only.Values.FontName, "Tahoma");
    EXPECT_EQ(only.Values.Background, MakeColour(1, 2, 3));
    EXPECT_EQ(only.Values.PlayingItemColorSelected, system.HighlightText);
    EXPECT_TRUE(only.Values.PlayingItemBold);
    EXPECT_EQ(only.Values.QueuedItemColor, kQueuedOrange);
    // The playing-selected text follows the selected text read just before.
    const SchemeParse follows =
        ParseScheme("[style]\nFONT_COLOR_SELECTED=#010203\nfont_bold=1\n", SchemeValues{}, system);
    EXPECT_EQ(follows.Values.PlayingItemColorSelected, MakeColour(1, 2, 3));
    EXPECT_TRUE(follows.Values.FontBold);
}

TEST(SchemeFileTest, AMalformedColourStopsTheRest) {
    SchemeValues current;
    current.QueuedItemColor = MakeColour(9, 9, 9);
    current.PlayingItemBold = false;
    const SchemeParse parse = ParseScheme(
        "[Style]\nbackground_color=#000000\nselection_color=#zz\nqueueditem_color=#010101\n"
        "playingitem_bold=1\n",
        current, SystemColours{});
    ASSERT_TRUE(parse.Error);
    EXPECT_NE(parse.Error->find("#zz"), std::string::npos);
    EXPECT_EQ(parse.Values.Background, MakeColour(0, 0, 0));
    EXPECT_EQ(parse.Values.QueuedItemColor, MakeColour(9, 9, 9));
    EXPECT_FALSE(parse.Values.PlayingItemBold);
}

TEST(SchemeFileTest, BuiltinLooks) {
    SystemColours system;
    const SchemeValues night = BuiltinScheme(1, SchemeValues{}, system, "Sans");
    EXPECT_EQ(night.Background, MakeColour(0xFD, 0x02, 0x47));
    EXPECT_EQ(night.FontName, "Tahoma");  // unchanged
    EXPECT_EQ(night.FontSize, 14);
    const SchemeValues plain = BuiltinScheme(0, night, system, "Sans");
    EXPECT_EQ(plain.FontName, "Sans");
    EXPECT_EQ(plain.Background, system.Window);
    EXPECT_EQ(plain.PlayingItemColor, system.WindowText);
}

class RowLookTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    test::FakePlayer fp{dir.path()};
    Player& p = fp.player;
    SchemeValues s;

    void SetUp() override {
        s.Background = MakeColour(1, 1, 1);
        s.FontColor = MakeColour(2, 2, 2);
        s.FontColorSelected = MakeColour(3, 3, 3);
        s.SelectionColor = MakeColour(4, 4, 4);
        s.SelectionColorPlayingItem = MakeColour(5, 5, 5);
        s.PlayingItemColor = MakeColour(6, 6, 6);
        s.PlayingItemColorSelected = MakeColour(7, 7, 7);
        s.QueuedItemColor = MakeColour(8, 8, 8);
        s.ShuffledItemColor = MakeColour(9, 9, 9);
        p.playlist.PlaylistEntries = {"/m/a.mp3", "/m/b.mp3", "http://radio.example/|Radio",
                                      "/m/a.mp3"};
    }
};

TEST_F(RowLookTest, MarksAndColours) {
    PlaylistState& pl = p.playlist;
    pl.QueueList = {"/m/b.mp3", "/m/a.mp3"};
    pl.ShuffleHistory = {"/m/a.mp3"};
    RowLook look = DescribeRow(p.playlist, p.engine.DeviceReady, s, 0, false);
    // Queued wins over shuffled; both rows with the path carry number 2.
    EXPECT_EQ(look.Text, "2 >   a.mp3");
    EXPECT_EQ(look.TextColour, MakeColour(8, 8, 8));
    EXPECT_EQ(DescribeRow(p.playlist, p.engine.DeviceReady, s, 3, false).Text, "2 >   a.mp3");
    EXPECT_EQ(DescribeRow(p.playlist, p.engine.DeviceReady, s, 2, false).TextColour, kStreamGreen);
    // A selected stream row uses the selection colours.
    look = DescribeRow(p.playlist, p.engine.DeviceReady, s, 2, true);
    EXPECT_EQ(look.TextColour, MakeColour(3, 3, 3));
    EXPECT_EQ(look.Background, MakeColour(4, 4, 4));
    pl.QueueList.clear();
    EXPECT_EQ(DescribeRow(p.playlist, p.engine.DeviceReady, s, 0, false).TextColour,
              MakeColour(9, 9, 9));
    EXPECT_EQ(DescribeRow(p.playlist, p.engine.DeviceReady, s, 1, false).TextColour,
              MakeColour(2, 2, 2));
}

TEST_F(RowLookTest, PlayingRowOnlyWhileTheOutputIsReady) {
    p.playlist.PlayingIndex = 1;
    RowLook look = DescribeRow(p.playlist, p.engine.DeviceReady, s, 1, false);
    EXPECT_EQ(look.TextColour, MakeColour(2, 2, 2));
    EXPECT_FALSE(look.Bold);
    p.engine.DeviceReady = true;
    look = DescribeRow(p.playlist, p.engine.DeviceReady, s, 1, false);
    EXPECT_EQ(look.TextColour, MakeColour(6, 6, 6));
    EXPECT_TRUE(look.Bold);
    look = DescribeRow(p.playlist, p.engine.DeviceReady, s, 1, true);
    EXPECT_EQ(look.Background, MakeColour(5, 5, 5));
    EXPECT_EQ(look.TextColour, MakeColour(7, 7, 7));
    s.PlayingItemBold = false;
    s.FontBold = true;
    EXPECT_FALSE(DescribeRow(p.playlist, p.engine.DeviceReady, s, 1, true).Bold);
    EXPECT_TRUE(DescribeRow(p.playlist, p.engine.DeviceReady, s, 0, true).Bold);
}

}  // namespace
}  // namespace mirvo
