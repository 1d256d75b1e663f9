// The automatic playlist between runs and the path a second instance hands over.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app/Application.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "fakes/Unprivileged.h"
#include "playlist/PlaylistFiles.h"
#include "support/Files.h"
#include "support/IniFile.h"

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

std::vector<std::string> TemporaryFiles(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        const std::string name = item.path().filename().string();
        if (name.starts_with(".mirvo-")) {
            found.push_back(name);
        }
    }
    return found;
}

TEST(StartExitTest, AnAutomaticPlaylistThatCannotBeReadIsKeptAtExit) {
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const std::string list = dir.Write("Playlist.txt", "/m/a.mp3\r\n/m/b.mp3\r\n");
    test::GiveToTestUser(list.c_str());
    ::chmod(list.c_str(), 0200);
    const int code = test::RunUnprivileged([&] {
        Started s(dir.path());
        s.app.CreateMainWindow();
        const auto& notices = s.fp.dialogs.notices;
        const bool told = notices.size() == 1 && notices[0].text.starts_with("Error 12");
        s.fp.player.playlist.PlaylistEntries.push_back("/m/new.mp3");
        s.app.Shutdown();
        return told ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadWholeFile(list), "/m/a.mp3\r\n/m/b.mp3\r\n");
    EXPECT_TRUE(TemporaryFiles(dir.path()).empty());
}

TEST(StartExitTest, CrLinesAndUtf16ListsComeBackAsTheyWere) {
    test::TempDir dir;
    std::string crOnly;
    std::string lines;
    for (int i = 0; i < 1000; ++i) {
        crOnly += "/m/" + std::to_string(i) + ".mp3\r";
        lines += "/m/" + std::to_string(i) + ".mp3\r\n";
    }
    dir.Write("Playlist.txt", crOnly);
    {
        Started s(dir.path());
        s.app.CreateMainWindow();
        EXPECT_EQ(s.fp.player.playlist.PlaylistEntries.size(), 1000u);
        s.app.Shutdown();
    }
    EXPECT_EQ(ReadWholeFile(dir / "Playlist.txt"), lines);

    // "/Müsik/🎵.mp3" and "/b.mp3", as Notepad saves UTF-16.
    const std::u16string text = u"\uFEFF/M\u00FCsik/\U0001F3B5.mp3\r\n/b.mp3\r\n";
    std::string utf16;
    for (const char16_t unit : text) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    dir.Write("Playlist.txt", utf16);
    {
        Started s(dir.path());
        s.app.CreateMainWindow();
        s.app.Shutdown();
    }
    EXPECT_EQ(ReadWholeFile(dir / "Playlist.txt"),
              "/M\xC3\xBCsik/\xF0\x9F\x8E\xB5.mp3\r\n/b.mp3\r\n");
}

TEST(StartExitTest, SavesGoThroughLinksToTheirTargets) {
    test::TempDir dir;
    test::TempDir synced;
    const std::string target = synced.Write("lists/Playlist.txt", "/old.mp3\r\n");
    // A chain: a relative link to an absolute one.
    std::filesystem::create_symlink(target, synced / "current");
    std::filesystem::create_symlink(
        "../" + std::filesystem::path(synced.path()).filename().string() + "/current",
        dir / "Playlist.txt");
    const std::string ini = synced.Write("Mirvo.ini", "[Custom]\nkeep=1\n");
    std::filesystem::create_symlink(ini, dir / "Mirvo.ini");
    {
        Started s(dir.path());
        s.app.CreateMainWindow();
        EXPECT_EQ(s.fp.player.playlist.PlaylistEntries, std::vector<std::string>{"/old.mp3"});
        s.fp.player.playlist.PlaylistEntries.push_back("/new.mp3");
        s.fp.player.engine.Volume = 420;
        s.app.Shutdown();
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "Playlist.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(synced / "current"));
    EXPECT_EQ(ReadWholeFile(target), "/old.mp3\r\n/new.mp3\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "Mirvo.ini"));
    EXPECT_EQ(IniFile::Load(ini).ReadInteger("General", "Volume", 0), 420);
    EXPECT_EQ(IniFile::Load(ini).ReadInteger("Custom", "keep", 0), 1);
    EXPECT_TRUE(TemporaryFiles(dir.path()).empty());
    EXPECT_TRUE(TemporaryFiles(synced / "lists").empty());
}

TEST(StartExitTest, TheStartRemovesOnlyTheLeftoversOfDeadSaves) {
    test::TempDir dir;
    dir.Write(".mirvo-AbC123", "half a playlist");
    const std::string live = dir.Write(".mirvo-Live01", "being written");
    const int held = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);  // a save in progress in another process
    dir.Write(".mirvo-notours", "x");
    dir.Write("mirvo-XyZ789", "x");
    std::filesystem::create_directory(dir / ".mirvo-Dir001");
    std::filesystem::create_symlink(dir / "mirvo-XyZ789", dir / ".mirvo-Lnk001");
    Started s(dir.path());
    s.app.CreateMainWindow();
    std::vector<std::string> left = TemporaryFiles(dir.path());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".mirvo-Dir001", ".mirvo-Live01", ".mirvo-Lnk001",
                                              ".mirvo-notours"}));
    EXPECT_TRUE(std::filesystem::exists(dir / "mirvo-XyZ789"));
    ::close(held);
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
    s.app.LoadPlaylistPath = [&](const std::string& path, int mode) {
        loaded.push_back(path);
        LoadPlaylistPath(s.fp.player, path, mode);
    };
    // The next hand-over arrives at every point where the scan lets messages run.
    int arrivals = 0;
    s.fp.loop.onPending = [&] {
        if (arrivals < 3) {
            const std::string path = music / (arrivals == 0 ? "b.mp3" : "c.mp3");
            ++arrivals;
            EXPECT_TRUE(s.app.ReceivePath(path));
        }
    };
    EXPECT_TRUE(s.app.ReceivePath(music / "a.mp3"));
    EXPECT_EQ(loaded, (std::vector<std::string>{music / "a.mp3", music / "b.mp3", music / "c.mp3",
                                                music / "c.mp3"}));
    EXPECT_EQ(s.fp.player.playlist.PlaylistEntries,
              (std::vector<std::string>{music / "a.mp3", music / "b.mp3", music / "c.mp3"}));
}

// "-quit" from a later start comes after the paths handed over before it:
// they are answered at once, so the quit must not drop them.
TEST(StartExitTest, AQuitFromALaterStartComesAfterThePathsBeforeIt) {
    test::TempDir dir;
    test::TempDir music;
    for (const char* name : {"a.mp3", "b.mp3"}) {
        music.Write(name, "");
    }
    test::TempDir other;
    other.Write("c.mp3", "");
    Started s(dir.path());
    s.app.CreateMainWindow();
    bool sent = false;
    s.fp.loop.onPending = [&] {
        if (!sent) {
            sent = true;
            EXPECT_TRUE(s.app.ReceivePath(other / "c.mp3"));
            s.app.QuitAfterReceivedPaths();
            EXPECT_EQ(s.fp.loop.quits, 0);
        }
    };
    EXPECT_TRUE(s.app.ReceivePath(music / "a.mp3"));
    EXPECT_EQ(s.fp.loop.quits, 1);
    EXPECT_EQ(s.fp.player.playlist.PlaylistEntries, std::vector<std::string>{other / "c.mp3"});

    // Nothing waits: at once, also with a question open (closed by the quit).
    Started idle(dir.path());
    idle.app.CreateMainWindow();
    idle.fp.dialogs.meanwhile = [&] { idle.app.QuitAfterReceivedPaths(); };
    idle.fp.player.ui.dialogs.AskYesNo("Record has been stopped.\rSave record?");
    EXPECT_EQ(idle.fp.loop.quits, 1);
}

TEST(StartExitTest, QuittingDropsTheWaitingHandOvers) {
    test::TempDir dir;
    test::TempDir music;
    music.Write("a.mp3", "");
    music.Write("b.mp3", "");
    Started s(dir.path());
    s.app.CreateMainWindow();
    s.fp.loop.onPending = [&] {
        if (s.fp.loop.quits == 0) {
            EXPECT_TRUE(s.app.ReceivePath(music / "b.mp3"));
            s.fp.loop.Quit();
        }
    };
    EXPECT_TRUE(s.app.ReceivePath(music / "a.mp3"));
    // The scan stopped too: only the path itself is in the list.
    EXPECT_EQ(s.fp.player.playlist.PlaylistEntries, std::vector<std::string>{music / "a.mp3"});
    // Refused once quitting, so that its sender hands it to the next owner.
    EXPECT_FALSE(s.app.ReceivePath(music / "b.mp3"));
}

}  // namespace
}  // namespace mirvo
