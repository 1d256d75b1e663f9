#include "player/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/Application.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "fakes/Unprivileged.h"
#include "support/Files.h"
#include "support/IniFile.h"

namespace mirvo {
namespace {

using test::FakePlayer;
using test::TempDir;

std::string Ini(const TempDir& dir) {
    return ReadWholeFile(dir / "Mirvo.ini").value_or("");
}

TEST(Settings, FirstStartUsesDefaults) {
    TempDir dir;
    FakePlayer f(dir.path());
    f.view.screen = {0, 0, 1000, 800};
    Application(f.player).CreateMainWindow();

    EXPECT_EQ(f.view.bounds, (Bounds{1000 / 2 - 155, 800 / 2 - 185, 310, 370}));
    EXPECT_FALSE(f.view.maximized);
    EXPECT_EQ(f.player.engine.Volume, 1000);
    EXPECT_EQ(f.player.engine.PlayMode, 0);
    EXPECT_TRUE(f.view.playBar && f.view.progressPanel && f.view.statusBar);
    EXPECT_EQ(f.player.playlist.PlayingIndex, -1);
    EXPECT_EQ(f.player.app.StartEnqueueOption, -1);
    EXPECT_EQ(f.view.caption, "Mirvo 1.04i");
    EXPECT_TRUE(f.player.values.MinimizeToTray);
    EXPECT_EQ(f.player.values.SoftmutePercent, 30);
    EXPECT_EQ(f.player.values.RecordTempPath, TempFolder());
    EXPECT_TRUE(f.dialogs.notices.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "Mirvo.ini"));  // nothing written by reading
}

TEST(Settings, LoadsEveryGroupOfValues) {
    TempDir dir;
    dir.Write("Mirvo.ini",
              "[Window]\nWidth=500\nHeight=400\nLeft=10\nTop=20\nMaximized=1\nPlayBar=0\n"
              "ProgressPanel=0\nStatusBar=0\nVUStyle=2\n"
              "[Window2]\nWidth=600\nHeight=450\nLeft=30\nTop=40\n"
              "[Playlist]\nTrack=7\nSortingWay=1\nViewFormat=2\n"
              "[DirBox]\nLastOpenedDir=/music/\n"
              "[Root media]\npath0=/a/\npath1=/b/\npath2=\npath3=/d/\n"
              "[Tweak]\nRelativeDelimiter=\" | \"\nsoftmute_percent=50\n"
              "[General]\nPlayMode=4\nVolume=640\nEnqueueOption=1\n"
              "[Global hotkeys]\n1=0000-179\n2=1100-65\n3=0000-abc\n4=0000-\n");
    FakePlayer f(dir.path());
    Application(f.player).CreateMainWindow();
    const Player& p = f.player;

    EXPECT_EQ(f.view.bounds, (Bounds{10, 20, 500, 400}));
    EXPECT_TRUE(f.view.maximized);
    EXPECT_FALSE(f.view.playBar || f.view.progressPanel || f.view.statusBar);
    EXPECT_EQ(p.values.VUStyle, 2);
    EXPECT_EQ(p.playlist.PlayingIndex, 7);
    EXPECT_EQ(p.playlist.SortingWay, 1);
    EXPECT_EQ(p.playlist.ViewFormat, 2);
    EXPECT_EQ(p.playlist.CurrentFolder, "/music/");
    EXPECT_EQ(p.playlist.MusicFolders, (std::vector<std::string>{"/a/", "/b/"}));
    EXPECT_EQ(p.playlist.RelativeDelimiter, " | ");
    EXPECT_EQ(p.values.SoftmutePercent, 50);
    EXPECT_EQ(p.engine.PlayMode, 4);
    EXPECT_EQ(p.engine.Volume, 640);
    // Without a start path the enqueue option is not used.
    EXPECT_EQ(p.app.StartEnqueueOption, -1);
    // The value with a key part that is not a number and the short one bind nothing.
    using enum HotKeyModifiers;
    EXPECT_EQ(f.hotKeys.registered, (std::vector<HotKey>{{1, None, 179}, {2, Windows | Ctrl, 65}}));
}

TEST(Settings, StartedWithAPathUsesWindow2AndNeverMaximises) {
    TempDir dir;
    dir.Write("Mirvo.ini",
              "[Window]\nWidth=500\nMaximized=1\n[Window2]\nWidth=600\nHeight=450\nLeft=30\n"
              "Top=40\n[General]\nEnqueueOption=1\n");
    FakePlayer f(dir.path());
    f.player.app.StartArgument = "/music/a.mp3";
    Application app(f.player);
    app.CreateMainWindow();
    EXPECT_EQ(f.view.bounds, (Bounds{30, 40, 600, 450}));
    EXPECT_FALSE(f.view.maximized);
    EXPECT_EQ(f.player.app.StartEnqueueOption, 1);

    app.FirstShow();
    app.WindowGeometryChanged({35, 45, 610, 460}, false);
    app.Shutdown();
    const IniFile ini(Ini(dir));
    EXPECT_EQ(ini.ReadInteger("Window2", "Left", 0), 35);
    EXPECT_EQ(ini.ReadInteger("Window2", "Width", 0), 610);
    EXPECT_EQ(ini.ReadInteger("Window", "Width", 0), 500);
    EXPECT_TRUE(ini.ReadBool("Window", "Maximized", false));
}

TEST(Settings, OffScreenAndBrokenGeometryFallsBack) {
    for (const char* window : {"Left=5000\n", "Top=5000\n", "Width=5000\n", "Height=-20\n",
                               "Left=-900\nWidth=300\n", "Width=junk\nLeft=99999999999\n"}) {
        TempDir dir;
        dir.Write("Mirvo.ini", std::string("[Window]\n") + window);
        FakePlayer f(dir.path());
        f.view.screen = {0, 0, 1024, 768};
        Application(f.player).CreateMainWindow();
        if (std::string(window).find("junk") != std::string::npos) {
            // Unreadable values take their defaults, which fit the screen.
            EXPECT_EQ(f.view.bounds, (Bounds{512 - 155, 384 - 185, 310, 370}));
        } else {
            EXPECT_EQ(f.view.bounds, (Bounds{20, 20, 300, 400})) << window;
        }
    }
}

TEST(Settings, OutOfRangeValuesTakeDefaults) {
    TempDir dir;
    dir.Write("Mirvo.ini",
              "[General]\nVolume=5000\nPlayMode=9\n[Playlist]\nViewFormat=-1\n[Window]\n"
              "VUStyle=7\n");
    FakePlayer f(dir.path());
    LoadSettings(f.player);
    EXPECT_EQ(f.player.engine.Volume, 1000);
    EXPECT_EQ(f.player.engine.PlayMode, 0);
    EXPECT_EQ(f.player.playlist.ViewFormat, 0);
    EXPECT_EQ(f.player.values.VUStyle, 1);
}

TEST(Settings, ExitWhileMaximisedWritesOnlyMaximized) {
    TempDir dir;
    dir.Write("Mirvo.ini", "[Window]\nWidth=500\nHeight=400\nLeft=10\nTop=20\n");
    FakePlayer f(dir.path());
    Application app(f.player);
    app.CreateMainWindow();
    app.FirstShow();
    f.view.maximized = true;
    app.WindowGeometryChanged({0, 0, 1920, 1080}, true);
    // Maximising saves the geometry at once, before exit.
    EXPECT_TRUE(IniFile(Ini(dir)).ReadBool("Window", "Maximized", false));
    app.Shutdown();
    const IniFile ini(Ini(dir));
    EXPECT_TRUE(ini.ReadBool("Window", "Maximized", false));
    EXPECT_EQ(ini.ReadInteger("Window", "Width", 0), 500);
    EXPECT_EQ(ini.ReadInteger("Window", "Left", 0), 10);
}

TEST(Settings, FullSaveWritesStateAndKeepsForeignKeys) {
    TempDir dir;
    dir.Write("Mirvo.ini", "; mine\n[Custom]\nx=1\n[Playlist]\nTrack=3\n");
    FakePlayer f(dir.path());
    Application app(f.player);
    app.CreateMainWindow();
    app.FirstShow();
    Player& p = f.player;
    p.playlist.PlayingIndex = 9;  // an empty list does not store the track
    p.engine.Volume = 300;        // soft mute on: the reduced volume is stored
    p.engine.MutedVolume = 1000;
    p.engine.PlayMode = 2;
    p.playlist.CurrentFolder = "/home/u/Music/";
    SaveSettings(p, false, ResumeSnapshot{61000, 1});

    const std::string text = Ini(dir);
    EXPECT_EQ(text.rfind("; mine\n[Custom]\nx=1\n", 0), 0u);
    const IniFile ini(text);
    EXPECT_EQ(ini.ReadInteger("Playlist", "Track", 0), 3);
    EXPECT_EQ(ini.ReadInteger("General", "Volume", 0), 300);
    EXPECT_EQ(ini.ReadInteger("General", "PlayMode", 0), 2);
    EXPECT_EQ(ini.ReadInteger("Playlist", "ResumePos", 0), 61000);
    EXPECT_EQ(ini.ReadInteger("Playlist", "ResumeState", 0), 1);
    EXPECT_EQ(ini.ReadString("DirBox", "LastOpenedDir", ""), "/home/u/Music/");
    EXPECT_FALSE(ini.ReadBool("Window", "Maximized", true));

    p.playlist.PlaylistEntries = {"/a.mp3"};
    SaveSettings(p, false);
    EXPECT_EQ(IniFile(Ini(dir)).ReadInteger("Playlist", "Track", 0), 9);
}

TEST(Settings, ReadOnlyFileIsNeverWritten) {
    TempDir dir;
    const std::string path = dir.Write("Mirvo.ini", "[General]\nVolume=500\n");
    ::chmod(path.c_str(), 0444);
    FakePlayer f(dir.path());
    Application app(f.player);
    app.CreateMainWindow();
    EXPECT_EQ(f.player.engine.Volume, 500);  // a frozen file is still read
    app.FirstShow();
    f.player.engine.Volume = 100;
    app.Shutdown();
    f.player.settings.WriteInteger("General", "Volume", 1);
    f.player.settings.WriteEnqueueOption(0);
    f.player.playlist.MusicFolders = {"/x"};
    f.player.settings.SaveMusicFolders(f.player.playlist, f.player.values);
    EXPECT_EQ(Ini(dir), "[General]\nVolume=500\n");
    EXPECT_EQ(f.player.settings.ReadInteger("General", "Volume", 0), 500);
}

TEST(Settings, AFileThatCannotBeReadIsNeverWritten) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const std::string text =
        "[General]\nVolume=500\n[PlayingHistory]\nLastfmUsername=me\n"
        "[Global hotkeys]\n1=0000-179\n[Root media]\npath0=/music/\n";
    const std::string path = dir.Write("Mirvo.ini", text);
    // Writable but not readable for its owner: every writer would start from nothing.
    test::GiveToTestUser(path.c_str());
    ::chmod(path.c_str(), 0200);
    const int code = test::RunUnprivileged([&] {
        FakePlayer f(dir.path());
        Application app(f.player);
        app.CreateMainWindow();
        app.FirstShow();
        const bool defaults = f.player.engine.Volume == 1000;
        app.Shutdown();
        const Settings& s = f.player.settings;
        s.WriteInteger("General", "Volume", 1);
        s.WriteEnqueueOption(0);
        s.SaveMusicFolders(f.player.playlist, f.player.values);
        SaveSettings(f.player, true);
        return defaults ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Ini(dir), text);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0200u);
}

TEST(Settings, MusicFoldersAndFixedKeyForms) {
    TempDir dir;
    dir.Write("Mirvo.ini", "[Root media]\npath0=/old/\npath5=/stale/\n");
    FakePlayer f(dir.path());
    const Settings& s = f.player.settings;
    f.player.playlist.MusicFolders = {"/music", "/podcasts/"};
    f.player.playlist.CurrentFolder = "/music/rock/";
    s.SaveMusicFolders(f.player.playlist, f.player.values);
    const IniFile ini(Ini(dir));
    EXPECT_EQ(ini.ReadString("Root media", "path0", ""), "/music/");
    EXPECT_EQ(ini.ReadString("Root media", "path1", ""), "/podcasts/");
    EXPECT_FALSE(ini.Get("Root media", "path5").has_value());
    EXPECT_EQ(ini.ReadString("DirBox", "LastOpenedDir", ""), "/music/rock/");
    PlaylistState loaded;
    s.LoadMusicFolders(loaded);
    EXPECT_EQ(loaded.MusicFolders, (std::vector<std::string>{"/music/", "/podcasts/"}));

    EXPECT_EQ(s.ReadEnqueueOption(), 2);
    s.WriteEnqueueOption(0);
    EXPECT_EQ(s.ReadEnqueueOption(), 0);
    EXPECT_FALSE(s.ReadAssociationFlag("mp3"));
    s.WriteAssociationFlag("mp3", true);
    EXPECT_TRUE(s.ReadAssociationFlag("MP3"));
    EXPECT_EQ(IniFile(Ini(dir)).ReadString("Associations", "mp3", ""), "1");
}

// Folder names may hold line breaks; written as they are, they would add
// keys and sections, such as another play-history host for the password.
TEST(Settings, ValuesWithLineBreaksAddNoKeysOrSections) {
    TempDir dir;
    dir.Write("Mirvo.ini",
              "[DirBox]\nLastOpenedDir=/music/old/\n[PlayingHistory]\nLastfmEnable=1\n");
    const std::string evil = "\n[PlayingHistory]\nLastfmHost=http://evil.example\n[x";
    FakePlayer f(dir.path());
    f.player.playlist.CurrentFolder = "/music/a" + evil;
    f.player.playlist.MusicFolders = {"/music/", "/bad\r" + evil, "/podcasts/"};
    SaveSettings(f.player, false);
    const Settings& s = f.player.settings;
    s.SaveMusicFolders(f.player.playlist, f.player.values);
    for (const char* key : {"DevicePath", "RecordTempPath", "PlaylistFolder"}) {
        s.WriteString("General", key, std::string("/media/stick") + evil);
    }
    s.WriteString("General", "Tab", "a\tb");
    const std::string text = Ini(dir);
    EXPECT_EQ(text.find("evil"), std::string::npos) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find('\t'), std::string::npos);
    const IniFile ini(text);
    EXPECT_EQ(ini.ReadString("PlayingHistory", "LastfmHost", "none"), "none");
    // What could not be written kept its old value, and the music folders
    // stay numbered without a gap.
    EXPECT_EQ(ini.ReadString("DirBox", "LastOpenedDir", ""), "/music/old/");
    EXPECT_EQ(ini.ReadString("Root media", "path0", ""), "/music/");
    EXPECT_EQ(ini.ReadString("Root media", "path1", ""), "/podcasts/");
    EXPECT_EQ(ini.ReadString("Root media", "path2", "none"), "none");
    EXPECT_EQ(ini.ReadString("General", "DevicePath", "none"), "none");
    EXPECT_EQ(ini.ReadInteger("General", "Volume", 0), 1000);  // the rest was saved
}

TEST(Settings, UnwritableProgramFolderStillStarts) {
    FakePlayer f("/proc/nonexistent-mirvo-folder");
    Application app(f.player);
    app.CreateMainWindow();
    app.FirstShow();
    app.Shutdown();  // the write fails silently
    EXPECT_EQ(f.player.engine.Volume, 1000);
}

TEST(HotKeys, DecodesTheStoredForm) {
    using enum HotKeyModifiers;
    EXPECT_EQ(DecodeHotKey(3, "0000-176"), (HotKey{3, None, 176}));
    EXPECT_EQ(DecodeHotKey(0, "1111-65"), (HotKey{0, Windows | Ctrl | Alt | Shift, 65}));
    EXPECT_EQ(DecodeHotKey(0, "0001-65"), (HotKey{0, Shift, 65}));
    EXPECT_EQ(DecodeHotKey(0, "0100-65"), (HotKey{0, Ctrl, 65}));
    EXPECT_FALSE(DecodeHotKey(0, "0000-").has_value());
    EXPECT_FALSE(DecodeHotKey(0, "0000-x1").has_value());
    EXPECT_FALSE(DecodeHotKey(0, "").has_value());
}

}  // namespace
}  // namespace mirvo

namespace mirvo {
namespace {

TEST(Snapping, EdgesWithinTenPixelsSnap) {
    const Bounds area{0, 0, 1920, 1040};
    EXPECT_EQ(SnapToWorkArea({7, 300, 310, 370}, area), (Bounds{0, 300, 310, 370}));
    EXPECT_EQ(SnapToWorkArea({10, 300, 310, 370}, area), (Bounds{0, 300, 310, 370}));
    EXPECT_EQ(SnapToWorkArea({11, 300, 310, 370}, area), (Bounds{11, 300, 310, 370}));
    EXPECT_EQ(SnapToWorkArea({-9, -10, 310, 370}, area), (Bounds{0, 0, 310, 370}));
    // Right and bottom edges: the window keeps its size.
    EXPECT_EQ(SnapToWorkArea({1605, 675, 310, 370}, area), (Bounds{1610, 670, 310, 370}));
    EXPECT_EQ(SnapToWorkArea({1620, 600, 310, 370}, area), (Bounds{1610, 600, 310, 370}));
    EXPECT_EQ(SnapToWorkArea({1621, 659, 310, 370}, area), (Bounds{1621, 659, 310, 370}));
    // A work area that does not start at 0 (a panel on the left).
    EXPECT_EQ(SnapToWorkArea({52, 5, 310, 370}, Bounds{48, 0, 1872, 1080}),
              (Bounds{48, 0, 310, 370}));
}

}  // namespace
}  // namespace mirvo
