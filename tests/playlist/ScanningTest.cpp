#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/Adding.h"
#include "playlist/Entries.h"
#include "playlist/Scanning.h"
#include "support/Text.h"

namespace mirvo {
namespace {

using Entries = std::vector<std::string>;

// The sort as the order of exchanges defines it, written the plain recursive
// way over keys lower-cased beforehand.
void ReferenceSort(Entries& keys, Entries& carried, int lo, int hi) {
    const std::string pivot = keys[static_cast<std::size_t>((lo + hi) / 2)];
    int i = lo;
    int j = hi;
    do {
        while (keys[static_cast<std::size_t>(i)] < pivot) {
            ++i;
        }
        while (keys[static_cast<std::size_t>(j)] > pivot) {
            --j;
        }
        if (i <= j) {
            std::swap(keys[static_cast<std::size_t>(i)], keys[static_cast<std::size_t>(j)]);
            std::swap(carried[static_cast<std::size_t>(i)], carried[static_cast<std::size_t>(j)]);
            ++i;
            --j;
        }
    } while (i <= j);
    if (lo < j) {
        ReferenceSort(keys, carried, lo, j);
    }
    if (i < hi) {
        ReferenceSort(keys, carried, i, hi);
    }
}

Entries Lowered(const Entries& texts) {
    Entries lower;
    for (const auto& text : texts) {
        lower.push_back(LowerAscii(text));
    }
    return lower;
}

Entries RandomPaths(std::mt19937& random, int n) {
    // Few letters, so many paths differ only in case or share file names.
    const std::string letters = "aAbB/xxxxxxxxxx";
    Entries paths;
    for (int k = 0; k < n; ++k) {
        std::string path = "/";
        const int length = 1 + static_cast<int>(random() % 24);
        for (int c = 0; c < length; ++c) {
            path += letters[random() % letters.size()];
        }
        paths.push_back(path);
    }
    return paths;
}

TEST(SortTest, OrderAndTiesFollowTheQuicksort) {
    Entries two = {"B", "b"};
    SortEntries(two);
    EXPECT_EQ(two, (Entries{"b", "B"}));
    Entries mixed = {"/m/b.MP3", "/m/A.mp3", "/m/a.mp3", "/m/\xC3\xA9.mp3", "/m/Z.mp3"};
    SortEntries(mixed);
    EXPECT_EQ(mixed, (Entries{"/m/a.mp3", "/m/A.mp3", "/m/b.MP3", "/m/Z.mp3", "/m/\xC3\xA9.mp3"}));
    std::mt19937 random(7);
    // Small lists, and one big enough to be sorted on two threads.
    for (int round = 0; round <= 200; ++round) {
        const int n = round == 200 ? 300000 : 1 + static_cast<int>(random() % 60);
        Entries paths = RandomPaths(random, n);
        if (round % 2 == 1) {
            // No two alike: the fast way must give the same order.
            for (std::size_t k = 0; k < paths.size(); ++k) {
                paths[k].append(k % 2 ? "X" : "y").append(std::to_string(k * 7919 % 100003));
            }
        }
        Entries expected = paths;
        Entries keys = Lowered(paths);
        ReferenceSort(keys, expected, 0, n - 1);
        SortEntries(paths);
        ASSERT_EQ(paths, expected) << "round " << round;

        Entries byName = expected;
        Entries names;
        for (const auto& path : byName) {
            names.emplace_back(FileNamePart(path));
        }
        Entries expectedByName = byName;
        keys = Lowered(names);
        ReferenceSort(keys, expectedByName, 0, n - 1);
        SortByFileName(byName);
        ASSERT_EQ(byName, expectedByName) << "round " << round;
    }
}

TEST(SortTest, ByFileNameIgnoresTheFolder) {
    Entries paths = {"/A/b.mp3", "/Z/a.mp3", "/C/B.mp3"};
    SortByFileName(paths);
    EXPECT_EQ(paths[0], "/Z/a.mp3");
    // A sorted and a reversed million never take quadratic time or deep stacks.
    Entries many;
    for (int i = 0; i < 200000; ++i) {
        many.push_back(std::to_string(1000000 - i));
    }
    SortEntries(many);
    EXPECT_TRUE(std::is_sorted(many.begin(), many.end()));
}

TEST(SortTest, MusicFileFilter) {
    EXPECT_TRUE(IsMusicFile("/a/x.FLAC"));
    EXPECT_TRUE(IsMusicFile("/a/x.flac"));
    EXPECT_TRUE(IsMusicFile("/a/lilac"));
    EXPECT_TRUE(IsMusicFile("x.Ogg"));
    EXPECT_FALSE(IsMusicFile("/a/x.mp2"));
    EXPECT_FALSE(IsMusicFile("/a/x.xm"));
    EXPECT_FALSE(IsMusicFile("ac"));
    for (const char* name : {"/a/x.opus", "/a/x.M4A", "/a/x.mp4", "/a/x.wv", "/a/x.Ape"}) {
        EXPECT_TRUE(IsMusicFile(name)) << name;
    }
    EXPECT_FALSE(IsMusicFile("/a/octopus"));
    EXPECT_FALSE(IsMusicFile("/a/x.m4v"));
}

class ScanTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    test::FakePlayer fp{dir.path()};
    Player& p = fp.player;
    Entries& entries = p.playlist.PlaylistEntries;

    std::string F(const std::string& name) const { return dir / name; }
    std::vector<std::string> NoticeTexts() const {
        std::vector<std::string> texts;
        for (const auto& n : fp.dialogs.notices) {
            texts.push_back(n.text);
        }
        return texts;
    }
};

TEST_F(ScanTest, OpenFolderFiltersAndSorts) {
    dir.Write("m/b.MP3", "");
    dir.Write("m/A.mp3", "");
    dir.Write("m/c.txt", "");
    dir.Write("m/d.Flac", "");
    dir.Write("m/e.mp2", "");
    dir.Write("m/sub/f.ogg", "");
    entries = {"/old.mp3"};
    ScanFolder(p, F("m"), true, false, false);
    EXPECT_EQ(entries, (Entries{F("m/A.mp3"), F("m/b.MP3"), F("m/d.Flac")}));
    EXPECT_EQ(fp.view.rowCount, 3);
    EXPECT_FALSE(p.playlist.ScanRunning);
    EXPECT_FALSE(fp.view.busyCursor);
    EXPECT_EQ(fp.view.status[3], "");
    ScanFolder(p, F("m"), true, false, true);
    EXPECT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3], F("m/sub/f.ogg"));
    // By file name the folder does not count.
    p.playlist.SortingWay = 1;
    dir.Write("m/Z/a.mp3", "");
    ScanFolder(p, F("m"), true, false, true);
    EXPECT_EQ(LowerAscii(FileNamePart(entries[0])), "a.mp3");
    EXPECT_EQ(LowerAscii(FileNamePart(entries[1])), "a.mp3");
    EXPECT_EQ(entries[2], F("m/b.MP3"));
}

TEST_F(ScanTest, Messages) {
    ScanFolder(p, F("none"), true, false, true);
    dir.Write("empty/readme.txt", "");
    ScanFolder(p, F("empty"), true, false, true);
    EXPECT_EQ(NoticeTexts(), (std::vector<std::string>{"Can't open this folder.",
                                                       "No music files found in given folder."}));
    EXPECT_EQ(fp.dialogs.notices[0].kind, NoticeKind::Warning);
    EXPECT_EQ(fp.dialogs.notices[1].kind, NoticeKind::Information);
}

TEST_F(ScanTest, OpeningTheFolderOfThePlayingFileKeepsItMarked) {
    dir.Write("m/a.mp3", "");
    dir.Write("m/b.mp3", "");
    dir.Write("m/c.mp3", "");
    entries = {F("m/b.mp3")};
    p.playlist.PlayingEntry = F("m/b.mp3");
    p.playlist.PlayingIndex = 0;
    ScanFolder(p, F("m"), true, false, false);
    EXPECT_EQ(p.playlist.PlayingIndex, 1);
    EXPECT_EQ(fp.view.selectedRows, std::vector<int>{1});
}

TEST_F(ScanTest, AddingKeepsSelectionAndScroll) {
    dir.Write("m/x.mp3", "");
    for (int i = 0; i < 40; ++i) {
        entries.push_back("/old/" + std::to_string(i) + ".mp3");
    }
    fp.view.rowCount = 40;
    fp.view.selectedRows = {4, 7};
    fp.view.focusedRow = 7;
    fp.view.topRow = 5;
    ScanFolder(p, F("m"), false, true, true);
    EXPECT_EQ(entries.size(), 41u);
    EXPECT_EQ(entries.back(), F("m/x.mp3"));
    EXPECT_EQ(fp.view.selectedRows, (std::vector<int>{4, 7}));
    EXPECT_EQ(fp.view.topRow, 5);
}

TEST_F(ScanTest, SymlinkLoopsAndUnreadableFolders) {
    dir.Write("m/a.mp3", "");
    dir.Write("m/deep/b.mp3", "");
    std::filesystem::create_directory_symlink(F("m"), F("m/deep/loop"));
    std::filesystem::create_directory_symlink(F("m/deep"), F("m/again"));
    dir.Write("m/locked/c.mp3", "");
    ::chmod(F("m/locked").c_str(), 0);
    ScanFolder(p, F("m"), true, false, true);
    Entries expected = {F("m/a.mp3"), F("m/deep/b.mp3")};
    if (::geteuid() == 0) {
        expected.push_back(F("m/locked/c.mp3"));
    }
    // Each folder once, whichever of its names the walk met first.
    ASSERT_EQ(entries.size(), expected.size());
    EXPECT_EQ(entries[0], expected[0]);
    EXPECT_TRUE(fp.dialogs.notices.empty());
}

TEST_F(ScanTest, EscapeAsksAndYesLeavesTheListAlone) {
    for (int i = 0; i < 5; ++i) {
        dir.Write("m/" + std::to_string(i) + "/a.mp3", "");
    }
    entries = {"/keep.mp3"};
    int folders = 0;
    fp.loop.onPending = [&] {
        if (p.playlist.ScanRunning && ++folders == 3) {
            p.playlist.AbortRequested = true;
        }
    };
    fp.dialogs.yesNoAnswers = {true};
    ScanFolder(p, F("m"), true, false, true);
    EXPECT_EQ(fp.dialogs.questions, std::vector<std::string>{"Abort operation?"});
    EXPECT_EQ(entries, Entries{"/keep.mp3"});
    EXPECT_FALSE(p.playlist.AbortRequested);
    EXPECT_FALSE(p.playlist.ScanRunning);
    EXPECT_TRUE(fp.dialogs.notices.empty());
    // No: the walk goes on.
    folders = 0;
    fp.dialogs.yesNoAnswers = {false};
    ScanFolder(p, F("m"), true, false, true);
    EXPECT_EQ(entries.size(), 5u);
}

TEST_F(ScanTest, WaitingForATrackSwitch) {
    dir.Write("m/a.mp3", "");
    int polls = 0;
    test::FakePlayback playback;
    p.playback = &playback;
    playback.transition = [&] { return ++polls < 3; };
    playback.paused = true;
    ScanFolder(p, F("m"), true, false, true);
    EXPECT_EQ(playback.stops, (std::vector<bool>{true, true}));
    EXPECT_EQ(entries.size(), 1u);
    // Escape while waiting ends the command silently; one pressed before
    // the command is not meant for it.
    polls = 0;
    p.playlist.AbortRequested = true;
    playback.transition = [&] {
        if (polls == 1) {
            p.playlist.AbortRequested = true;  // pressed while messages ran
        }
        return ++polls < 3;
    };
    entries.clear();
    ScanFolder(p, F("m"), true, false, true);
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(p.playlist.AbortRequested);
}

TEST_F(ScanTest, ApplySortingWayKeepsThePlayingEntry) {
    entries = {"/Z/a.mp3", "/A/b.mp3", "/M/c.mp3"};
    p.playlist.PlayingIndex = 0;
    ApplySortingWay(p, 0);
    EXPECT_EQ(entries, (Entries{"/A/b.mp3", "/M/c.mp3", "/Z/a.mp3"}));
    EXPECT_EQ(p.playlist.PlayingIndex, 2);
    ApplySortingWay(p, 1);
    EXPECT_EQ(entries, (Entries{"/Z/a.mp3", "/A/b.mp3", "/M/c.mp3"}));
    EXPECT_EQ(p.playlist.PlayingIndex, 0);
    EXPECT_EQ(p.playlist.SortingWay, 1);
}

TEST_F(ScanTest, DropAndAddFiles) {
    dir.Write("drop/z.mp3", "");
    const std::string list = dir.Write("l.m3u", "/from/list.mp3\n");
    DropFiles(p, {"/d/b.mp3", "/d/a.mp3", F("drop"), list, "/d/junk.doc", "/d/c.flac"});
    // Folders and playlists go at once; the sorted batch comes last.
    EXPECT_EQ(entries,
              (Entries{F("drop/z.mp3"), "/from/list.mp3", "/d/c.flac", "/d/a.mp3", "/d/b.mp3"}));
    EXPECT_EQ(fp.view.updateDepth, 0);
    EXPECT_EQ(fp.view.broughtToFront, 1);
    entries.clear();
    fp.dialogs.openFiles = {"/x/y.mp3", "/x/x.flac", "/x/b.xm", "/x/a.wav"};
    OpenFileAc(p);
    EXPECT_EQ(entries, (Entries{"/x/x.flac", "/x/a.wav", "/x/b.xm", "/x/y.mp3"}));
    EXPECT_EQ(fp.view.rowCount, 4);
}

TEST_F(ScanTest, FolderCommands) {
    dir.Write("m/a.mp3", "");
    dir.Write("m/s/b.mp3", "");
    fp.dialogs.musicFolderAnswers = {FolderChoice{F("m"), false}, FolderChoice{F("m"), true},
                                     std::nullopt};
    entries = {"/old.mp3"};
    OpenDirAc(p);
    EXPECT_EQ(entries, Entries{F("m/a.mp3")});
    EXPECT_EQ(p.playlist.CurrentFolder, F("m") + "/");
    AddDirAc(p);
    EXPECT_EQ(entries.size(), 3u);
    AddDirAc(p);
    EXPECT_EQ(entries.size(), 3u);
}

}  // namespace
}  // namespace mirvo
