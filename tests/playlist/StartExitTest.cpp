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

TEST(StartExitTest, AHandOverDuringAFolderScanWaitsForIt) {
    test::TempDir dir;
    test::TempDir music;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
        music.Write(name, "");
    }
    Started s(dir.path());  // default enqueue option: play the file and open its folder
    s.app.CreateMainWindow();
    std::vector<std::string> loaded;
    // The next hand-over arrives at every point where the scan lets messages run.
    int arrivals = 0;
    s.fp.loop.onPending = [&] {
        if (arrivals < 3) {
            const std::string path = music / (arrivals == 0 ? "b.mp3" : "c.mp3");
            ++arrivals;
            s.app.ReceivePath(path, [&loaded, path] { loaded.push_back(path); });
        }
    };
    s.app.ReceivePath(music / "a.mp3", [&] { loaded.push_back(music / "a.mp3"); });
    EXPECT_EQ(loaded, (std::vector<std::string>{music / "a.mp3", music / "b.mp3", music / "c.mp3",
                                                music / "c.mp3"}));
    EXPECT_EQ(s.fp.player.playlist.PlaylistEntries,
              (std::vector<std::string>{music / "a.mp3", music / "b.mp3", music / "c.mp3"}));
}

TEST(StartExitTest, QuittingDropsTheWaitingHandOversUnanswered) {
    test::TempDir dir;
    test::TempDir music;
    music.Write("a.mp3", "");
    Started s(dir.path());
    s.app.CreateMainWindow();
    int answered = 0;
    s.fp.loop.onPending = [&] {
        if (s.fp.loop.quits == 0) {
            s.app.ReceivePath(music / "a.mp3", [&] { ++answered; });
            s.fp.loop.Quit();
        }
    };
    s.app.ReceivePath(music / "a.mp3", [&] { ++answered; });
    // Only the running load answered; the waiting sender hands its path to the
    // next owner.
    EXPECT_EQ(answered, 1);
    // The scan stopped too: only the path itself is in the list.
    EXPECT_EQ(s.fp.player.playlist.PlaylistEntries, std::vector<std::string>{music / "a.mp3"});
}

}  // namespace
}  // namespace mirvo
