#include <gtest/gtest.h>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/Entries.h"

namespace mirvo {
namespace {

TEST(EntryKindTest, ClassifiesByExtensionAndAddress) {
    EXPECT_EQ(EntryKind("/music/Song.MP3"), kKindAudio);
    EXPECT_EQ(EntryKind("/m/a.mp2"), kKindAudio);
    EXPECT_EQ(EntryKind("/m/a.IT"), kKindModule);
    EXPECT_EQ(EntryKind("/m/a.Flac"), kKindFlac);
    EXPECT_EQ(EntryKind("/m/a.Flac|any title.mp3"), kKindFlac);
    EXPECT_EQ(EntryKind("/m/list.TXT"), kKindTextPlaylist);
    EXPECT_EQ(EntryKind("/m/list.m3u"), kKindM3u);
    EXPECT_EQ(EntryKind("/m/list.pls"), kKindPls);
    EXPECT_EQ(EntryKind("/m/list.asx"), kKindAsx);
    EXPECT_EQ(EntryKind("/m/list.b4s"), kKindB4s);
    EXPECT_EQ(EntryKind("/m/list.m3u8"), kKindUnknown);
    EXPECT_EQ(EntryKind("/m/a.wma"), kKindUnknown);
    for (const char* name : {"/m/a.opus", "/m/a.M4A", "/m/a.mp4", "/m/a.wv", "/m/a.APE"}) {
        EXPECT_EQ(EntryKind(name), kKindAudio) << name;
    }
    EXPECT_EQ(EntryKind("/m/a.mp3.bak"), kKindUnknown);
    EXPECT_EQ(EntryKind("/m.mp3/noext"), kKindUnknown);
    EXPECT_EQ(EntryKind("C:\\Music\\Song.MP3"), kKindAudio);
    // Streams: longer than 6 characters and holding "://".
    EXPECT_EQ(EntryKind("abc://d"), kKindStream);
    EXPECT_EQ(EntryKind("http://x|Station"), kKindStream);
    EXPECT_EQ(EntryKind("a://b"), kKindUnknown);
    EXPECT_EQ(EntryKind("abc://"), kKindUnknown);
    EXPECT_EQ(EntryKind(""), kKindUnknown);
}

TEST(EntryKindTest, AudioFileTypeUsesTheLastDotOfTheName) {
    EXPECT_EQ(AudioFileType("/a/b.MP3"), 0);
    EXPECT_EQ(AudioFileType("b.wav"), 1);
    EXPECT_EQ(AudioFileType("b.ogg"), 2);
    EXPECT_EQ(AudioFileType("b.flac"), 3);
    EXPECT_EQ(AudioFileType("b.mp3.bak"), -1);
    EXPECT_EQ(AudioFileType("http://radio"), -1);
}

TEST(EntryPartsTest, AddressAndTitle) {
    EXPECT_EQ(EntryAddress("http://host:8000/|Jazz|FM"), "http://host:8000/");
    EXPECT_EQ(EntryTitle("http://host:8000/|Jazz|FM"), "Jazz|FM");
    EXPECT_EQ(EntryTitle("http://host:8000/"), "http://host:8000/");
    const std::string longTitle = "http://x|" + std::string(1500, 'a');
    EXPECT_EQ(EntryTitle(longTitle).size(), 1000u);
    // The limit never splits a UTF-8 character.
    const std::string utf8 = "http://x|" + std::string(999, 'a') + "\xC3\xA9";
    EXPECT_EQ(EntryTitle(utf8), std::string(999, 'a'));
    EXPECT_EQ(FileNamePart("/a/b:c.mp3"), "b:c.mp3");
    EXPECT_EQ(FileNamePart("D:\\x\\y.mp3"), "y.mp3");
    EXPECT_EQ(FileNamePart("D:y.mp3"), "y.mp3");
    EXPECT_EQ(ExtensionOf("/a.b/c"), "");
}

class DisplayTest : public ::testing::Test {
  protected:
    PlaylistState pl;
    void SetUp() override {
        pl.MusicFolders = {"/home/u/Music/"};
        pl.PlaylistEntries = {"/home/u/Music/Artist/Album/01 Song.mp3",
                              "http://r.example/|Radio One", "http://r.example/x"};
    }
};

TEST_F(DisplayTest, ThreeViews) {
    EXPECT_EQ(DisplayText(pl, 0), "01 Song.mp3");
    pl.ViewFormat = 1;
    EXPECT_EQ(DisplayText(pl, 0), "/home/u/Music/Artist/Album/01 Song.mp3");
    pl.ViewFormat = 2;
    EXPECT_EQ(DisplayText(pl, 0), "Artist / Album / 01 Song");
    // Streams show their title in every view; without one, the address.
    EXPECT_EQ(DisplayText(pl, 1), "Radio One");
    EXPECT_EQ(DisplayText(pl, 2), "http://r.example/x");
    EXPECT_EQ(DisplayText(pl, 3), "");
}

TEST_F(DisplayTest, RelativeView) {
    EXPECT_EQ(RelativeText(pl, "/mnt/e/Other/x.ogg"), "mnt / e / Other / x");
    EXPECT_EQ(RelativeText(pl, "\\\\server\\share\\x.mp3"), "server / share / x");
    EXPECT_EQ(RelativeText(pl, "E:\\Other\\x.ogg"), "Other / x");
    EXPECT_EQ(RelativeText(pl, "/home/u/Music/a.s"), "a.s");
    // Every occurrence of the extension text goes, as does the folder in any case.
    EXPECT_EQ(RelativeText(pl, "/HOME/u/music/a.mp3 b.mp3"), "a b");
    pl.RelativeDelimiter = " \\ ";
    EXPECT_EQ(RelativeText(pl, "/home/u/Music/A/b.flac"), "A \\ b");
}

TEST(CaptionTest, CleanTitleAndCaption) {
    EXPECT_EQ(CleanTitle("My%20Song%20[1]"), "My Song ");
    test::TempDir dir;
    test::FakePlayer fp(dir.path());
    std::vector<std::string> described;
    test::FakePlayback playback;
    test::FakeShell shell;
    fp.player.playback = &playback;
    fp.player.shell = &shell;
    playback.describe = [&](const std::string& d) {
        described.push_back(d);
        return "MP3 128 kbps Stereo";
    };
    SetCaptionTitle(fp.player, "My_Song%20[1].mp3", "/m/My_Song%20[1].mp3");
    EXPECT_EQ(fp.view.caption, "My Song .mp3 - Mirvo");
    EXPECT_EQ(fp.view.status[3], "MP3 128 kbps Stereo");
    // A caption already shown is not set again and the description is not rebuilt.
    SetCaptionTitle(fp.player, "My_Song%20[1].mp3", "/m/My_Song%20[1].mp3");
    EXPECT_EQ(described.size(), 1u);
    EXPECT_EQ(shell.hints, (std::vector<std::string>(2, "/m/My_Song%20[1].mp3")));
}

// A context kept from before the engine and the window attached (the station
// lists and the caption keep one) sees at each call what is attached then.
TEST(CaptionTest, AKeptContextSeesWhatAttachesLater) {
    test::TempDir dir;
    test::FakePlayer fp(dir.path());
    const PlaylistContext ctx(fp.player);
    SetCaptionTitle(ctx, "a.mp3", "/m/a.mp3");
    EXPECT_EQ(fp.view.caption, "a.mp3 - Mirvo");
    EXPECT_EQ(fp.view.status[3], "");
    test::FakePlayback playback;
    test::FakeShell shell;
    playback.describe = [](const std::string&) { return "FLAC 44100 Hz Stereo"; };
    fp.player.playback = &playback;
    fp.player.shell = &shell;
    SetCaptionTitle(ctx, "b.mp3", "/m/b.mp3");
    EXPECT_EQ(fp.view.status[3], "FLAC 44100 Hz Stereo");
    EXPECT_EQ(shell.hints, std::vector<std::string>{"/m/b.mp3"});
    // Gone again: nothing is asked of them.
    fp.player.playback = nullptr;
    fp.player.shell = nullptr;
    SetCaptionTitle(ctx, "c.mp3", "/m/c.mp3");
    EXPECT_EQ(fp.view.caption, "c.mp3 - Mirvo");
    EXPECT_EQ(fp.view.status[3], "FLAC 44100 Hz Stereo");
    EXPECT_EQ(shell.hints.size(), 1u);
}

}  // namespace
}  // namespace mirvo
