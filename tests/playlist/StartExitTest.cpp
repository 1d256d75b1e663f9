// The automatic playlist between runs and the path a second instance hands over.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/Application.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/PlaylistFiles.h"
#include "support/Files.h"

namespace mirvo {
namespace {

struct Started {
    explicit Started(const std::string& folder) : fp(folder), app(fp.player) {
        app.LoadPlaylistPath = [this](const std::string& path, int mode) {
            LoadPlaylistPath(fp.player, path, mode);
        };
    }
    test::FakePlayer fp;
    Application app;
};

TEST(StartExitTest, PlaylistTxtIsReadAtStartAndWrittenAtExit) {
    test::TempDir dir;
    dir.Write("Playlist.txt", "/m/a.mp3\r\nsub\\b.mp3\r\n");
    {
        Started s(dir.path());
        s.app.CreateMainWindow();
        auto& entries = s.fp.player.playlist.PlaylistEntries;
        EXPECT_EQ(entries, (std::vector<std::string>{"/m/a.mp3", dir / "sub/b.mp3"}));
        EXPECT_EQ(s.fp.view.status[1], "2 Files");
        entries.push_back("http://radio.example/|Radio");
        s.app.Shutdown();
    }
    EXPECT_EQ(*ReadWholeFile(dir / "Playlist.txt"),
              "/m/a.mp3\r\nsub/b.mp3\r\nhttp://radio.example/|Radio\r\n");
    // A read-only automatic playlist stays as it is.
    ::chmod((dir / "Playlist.txt").c_str(), 0444);
    Started again(dir.path());
    again.app.CreateMainWindow();
    again.fp.player.playlist.PlaylistEntries.clear();
    again.app.Shutdown();
    EXPECT_EQ(ReadWholeFile(dir / "Playlist.txt")->size(), 50u);
}

TEST(StartExitTest, StartPathAndHandOver) {
    test::TempDir dir;
    dir.Write("Playlist.txt", "/m/a.mp3\r\n");
    dir.Write("Mirvo.ini", "[General]\r\nEnqueueOption=1\r\n");
    Started s(dir.path());
    s.fp.player.app.StartArgument = "/n/new.ogg";
    s.app.CreateMainWindow();
    auto& entries = s.fp.player.playlist.PlaylistEntries;
    EXPECT_EQ(entries, (std::vector<std::string>{"/m/a.mp3", "/n/new.ogg"}));
    EXPECT_EQ(s.fp.player.playlist.PlayingIndex, 1);
    s.app.ReceivePath("/n/other.mp3");
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_EQ(s.fp.player.playlist.PlayingIndex, 1);
}

}  // namespace
}  // namespace mirvo
