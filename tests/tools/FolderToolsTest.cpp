// The folder browser's places and listings, the music folder setup, copying
// to a device folder and the total playing time, on real files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "fakes/Unprivileged.h"
#include "playback/Format.h"
#include "playlist/Entries.h"
#include "support/Files.h"
#include "support/Text.h"
#include "tools/CopyToDevice.h"
#include "tools/FolderTree.h"
#include "tools/TotalTime.h"

namespace mirvo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::vector<std::string> Paths(const std::vector<BrowseRoot>& roots) {
    std::vector<std::string> paths;
    for (const BrowseRoot& root : roots) {
        paths.push_back(root.Path);
    }
    return paths;
}

TEST(BrowseRoots, SlashHomeThenRealVolumesOnly) {
    TempDir dir;
    fs::create_directories(dir / "home");
    fs::create_directories(dir / "media/USB STICK");
    fs::create_directories(dir / "cdrom");
    fs::create_directories(dir / "run/user");
    const std::string hostsFile = dir.Write("hosts", "");
    const std::string mounts = dir.Write("mounts",
                                         "overlay / overlay rw 0 0\n"
                                         "proc /proc proc rw 0 0\n"
                                         "sysfs /sys sysfs rw 0 0\n"
                                         "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                                         "tmpfs " +
                                             dir / "run/user" +
                                             " tmpfs rw 0 0\n"
                                             "/dev/sdb1 " +
                                             dir.path() +
                                             "/media/USB\\040STICK vfat rw 0 0\n"
                                             "/dev/sr0 " +
                                             dir / "cdrom" +
                                             " iso9660 ro 0 0\n"
                                             "/dev/sda1 " +
                                             hostsFile +
                                             " ext4 rw 0 0\n"
                                             "/dev/sda2 " +
                                             dir / "home" +
                                             " ext4 rw 0 0\n"
                                             "/dev/sdc1 " +
                                             dir / "unplugged" +
                                             " ext4 rw 0 0\n"
                                             "/dev/sda1 / ext4 rw 0 0\n");
    const std::vector<BrowseRoot> roots = BrowseRoots(mounts, dir / "home/");
    EXPECT_EQ(Paths(roots), (std::vector<std::string>{"/", dir / "home", dir / "media/USB STICK",
                                                      dir / "cdrom"}));
    ASSERT_EQ(roots.size(), 4u);
    EXPECT_TRUE(roots[3].Optical);
    EXPECT_FALSE(roots[2].Optical);
    // No mount table at all still leaves "/" and the home folder.
    EXPECT_EQ(Paths(BrowseRoots(dir / "none", dir / "home")),
              (std::vector<std::string>{"/", dir / "home"}));
}

TEST(Subfolders, FoldersAndLinksToThemButNoFilesOrHiddenOnes) {
    TempDir dir;
    fs::create_directories(dir / "b/inner");
    fs::create_directories(dir / "A");
    fs::create_directories(dir / ".hidden/x");
    dir.Write("file.mp3", "");
    fs::create_directory_symlink(dir / "b", dir / "link");
    fs::create_symlink(dir / "file.mp3", dir / "filelink");
    int error = -1;
    std::vector<std::string> names = SubfolderNames(dir.path(), error);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "link"}));
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(HasSubfolder(dir / "b"));
    EXPECT_FALSE(HasSubfolder(dir / "A"));
    EXPECT_FALSE(HasSubfolder(dir / ".hidden/x"));
    EXPECT_TRUE(SubfolderNames(dir / "missing", error).empty());
    EXPECT_EQ(error, ENOENT);
}

// Listings come from the worker thread one after another.
class Lister : public ::testing::Test {
  protected:
    FolderListing Next() {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(
            wake_.wait_for(lock, std::chrono::seconds(20), [this] { return !got_.empty(); }));
        if (got_.empty()) {
            return {};
        }
        FolderListing listing = std::move(got_.front());
        got_.erase(got_.begin());
        return listing;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<FolderListing> got_;
    FolderLister lister_{[this](FolderListing listing) {
        const std::lock_guard lock(mutex_);
        got_.push_back(std::move(listing));
        wake_.notify_all();
    }};
};

TEST_F(Lister, SortedAndCutAtTheLimitWithTheRestKeptForLater) {
    TempDir dir;
    for (int i = 0; i < 1500; ++i) {
        fs::create_directory(fs::path(dir.path()) / "F" += std::to_string(10000 + i));
    }
    fs::create_directory(dir / "F10003/sub");
    const std::uint64_t ticket = lister_.List(dir.path());
    FolderListing first = Next();
    EXPECT_EQ(first.Ticket, ticket);
    ASSERT_EQ(first.Folders.size(), kSubfolderLimit);
    EXPECT_EQ(first.Rest.size(), 500u);
    EXPECT_EQ(first.Folders[0].Name, "F10000");
    EXPECT_EQ(first.Folders[999].Name, "F10999");
    EXPECT_EQ(first.Rest.front(), "F11000");
    EXPECT_TRUE(first.Folders[3].MayHaveSubfolders);
    EXPECT_FALSE(first.Folders[4].MayHaveSubfolders);
    lister_.Continue(dir.path(), first.Rest);
    const FolderListing second = Next();
    EXPECT_EQ(second.Folders.size(), 500u);
    EXPECT_TRUE(second.Rest.empty());
    EXPECT_EQ(second.Folders.back().Name, "F11499");

    lister_.List(dir / "missing");
    const FolderListing missing = Next();
    EXPECT_EQ(missing.Error, ENOENT);
    EXPECT_TRUE(missing.Folders.empty());
}

class MusicFolderSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", (dir_ / "home").c_str(), 1);
        fs::create_directories(dir_ / "home/Desktop/Albums");
        fs::create_directories(dir_ / "home/Music");
        fs::create_directories(dir_ / "home/Desktop2");
        dir_.Write("prog/Mirvo.ini",
                   "[DirBox]\nLastOpenedDir=/last/\nLastOpenedDrive=All drives\n");
    }
    void TearDown() override { setenv("HOME", home_.c_str(), 1); }

    void Ask(const std::string& desktop) {
        AskMusicFolder(fake_.player.settings, fake_.player.playlist, fake_.player.values,
                       fake_.dialogs, desktop);
    }
    std::string Ini() { return ReadWholeFile(dir_ / "prog/Mirvo.ini").value_or(""); }

    std::string home_;
    TempDir dir_;
    test::FakePlayer fake_{dir_ / "prog"};
};

TEST_F(MusicFolderSetup, TheDesktopAndItsFoldersAreRefusedUntilAnotherOne) {
    fake_.dialogs.folderAnswers = {dir_ / "home/Desktop/", dir_ / "home/Desktop/Albums/",
                                   dir_ / "home/Desktop2/"};
    Ask(dir_ / "home/Desktop");
    ASSERT_EQ(fake_.dialogs.notices.size(), 2u);
    EXPECT_EQ(fake_.dialogs.notices[0].text,
              "The desktop is an invalid folder.\r\rIf you don't have a music folder yet or you "
              "don't know, choose Cancel.\rYou can always set your music folder another time.");
    EXPECT_EQ(fake_.dialogs.folderCaptions, (std::vector<std::string>(3, "Set your music folder")));
    EXPECT_EQ(fake_.player.playlist.MusicFolders,
              std::vector<std::string>{dir_ / "home/Desktop2/"});
    EXPECT_NE(Ini().find("path0=" + dir_ / "home/Desktop2/"), std::string::npos) << Ini();
}

TEST_F(MusicFolderSetup, CancelLeavesNoFolderAndASetFolderAsksNothing) {
    fake_.dialogs.folderAnswers = {dir_ / "home/Desktop/", std::nullopt};
    Ask(dir_ / "home/Desktop");
    EXPECT_TRUE(fake_.player.playlist.MusicFolders.empty());
    EXPECT_EQ(Ini().find("Root media"), std::string::npos);
    EXPECT_EQ(fake_.player.values.LastOpenedDrive, "");

    fake_.dialogs.folderAnswers = {dir_ / "home/Music/"};
    SetRootPath(fake_.player.settings, fake_.dialogs, dir_ / "home/Desktop");
    // The folder browser's own values, saved beside it, are kept.
    EXPECT_NE(Ini().find("LastOpenedDir=/last/"), std::string::npos) << Ini();
    EXPECT_NE(Ini().find("path0=" + dir_ / "home/Music/"), std::string::npos) << Ini();
    fake_.dialogs.folderCaptions.clear();
    Ask(dir_ / "home/Desktop");
    EXPECT_TRUE(fake_.dialogs.folderCaptions.empty());
}

TEST_F(MusicFolderSetup, ADesktopThatIsTheHomeFolderLeavesItsFoldersUsable) {
    fake_.dialogs.folderAnswers = {dir_ / "home/", dir_ / "home/Music/"};
    Ask(dir_ / "home");
    EXPECT_EQ(fake_.dialogs.notices.size(), 1u);
    EXPECT_EQ(fake_.player.playlist.MusicFolders, std::vector<std::string>{dir_ / "home/Music/"});
}

TEST(DeviceFigures, TargetsMegabytesAndUse) {
    EXPECT_EQ(DeviceTargetFolder("/media/stick", "/music/Album/a.mp3"), "/media/stick/Album");
    EXPECT_EQ(DeviceTargetFolder("/media/stick/", "/music/Album/a.mp3"), "/media/stick/Album");
    EXPECT_EQ(DeviceTargetFolder("/media/stick", "/a.mp3"), "/media/stick");
    EXPECT_EQ(FormatMegabytes(1572864, ","), "2");
    EXPECT_EQ(FormatMegabytes(1048576ull * 1234567, "."), "1.234.567");
    EXPECT_EQ(InUseAfterwards({1000, 400}, 100), 70);
    EXPECT_EQ(InUseAfterwards({1000, 100}, 200), 110);
    EXPECT_EQ(InUseAfterwards({0, 0}, 100), std::nullopt);
    TempDir dir;
    const DriveSpace space = DriveSpaceOf(dir.path());
    EXPECT_GT(space.Total, 0u);
    EXPECT_LE(space.Free, space.Total);
    EXPECT_EQ(DriveSpaceOf(dir / "missing").Total, 0u);
}

class Copying : public ::testing::Test {
  protected:
    void SetUp() override {
        a_ = dir_.Write("music/Rock/a.mp3", std::string(100000, 'a'));
        b_ = dir_.Write("music/Jazz/b.mp3", std::string(3000, 'b'));
        c_ = dir_.Write("music/Jazz/c.mp3", "c");
        fs::create_directory(device_);
    }
    // Runs a copy of `files`, answering each "Abort operation?" from `answers`,
    // with the cancel button pressed while file `cancelAt` is copied (-1 never).
    DeviceCopy::Outcome Run(const std::vector<std::string>& files, int cancelAt = -1) {
        std::optional<DeviceCopy::Outcome> outcome;
        std::vector<int> progress;
        DeviceCopy copy(
            fake_.player.ui.loop, fake_.player.ui.dialogs, files, device_,
            [&](int done) { progress.push_back(done); },
            [&](const DeviceCopy::Outcome& o) { outcome = o; });
        copy.Start();
        for (int file = 0; !outcome; ++file) {
            if (file == cancelAt) {
                copy.RequestCancel();
            }
            if (!fake_.loop.WaitForPosted()) {
                ADD_FAILURE() << "no file finished";
                break;
            }
            fake_.loop.RunPosted();
        }
        EXPECT_FALSE(copy.Running());
        EXPECT_EQ(static_cast<int>(progress.size()),
                  outcome ? outcome->Copied + static_cast<int>(outcome->Failures.size()) : -1);
        return outcome.value_or(DeviceCopy::Outcome{});
    }
    std::vector<std::string> Leftovers(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.path().filename().string().starts_with(".mirvo-")) {
                names.push_back(entry.path());
            }
        }
        return names;
    }

    TempDir dir_;
    std::string device_ = dir_ / "device";
    test::FakePlayer fake_{dir_.path()};
    std::string a_, b_, c_;
};

TEST_F(Copying, EachFileGoesToItsAlbumFolderReplacingAnOldCopy) {
    dir_.Write("device/Jazz/b.mp3", "old");
    const DeviceCopy::Outcome outcome = Run({a_, b_, c_});
    EXPECT_EQ(outcome.Copied, 3);
    EXPECT_TRUE(outcome.Failures.empty());
    EXPECT_EQ(ReadWholeFile(device_ + "/Rock/a.mp3"), std::string(100000, 'a'));
    EXPECT_EQ(ReadWholeFile(device_ + "/Jazz/b.mp3"), std::string(3000, 'b'));
    EXPECT_EQ(ReadWholeFile(device_ + "/Jazz/c.mp3"), "c");
    EXPECT_TRUE(fake_.dialogs.questions.empty());
    EXPECT_TRUE(Leftovers(device_).empty());
}

TEST_F(Copying, CancelAsksAfterEachFileUntilYes) {
    fake_.dialogs.yesNoAnswers = {false, true};
    const DeviceCopy::Outcome outcome = Run({a_, b_, c_}, 0);
    EXPECT_EQ(fake_.dialogs.questions,
              (std::vector<std::string>{"Abort operation?", "Abort operation?"}));
    EXPECT_EQ(outcome.Copied, 2);
    EXPECT_TRUE(fs::exists(device_ + "/Jazz/b.mp3"));
    EXPECT_FALSE(fs::exists(device_ + "/Jazz/c.mp3"));
}

TEST_F(Copying, AnUnwritableDeviceSaysWhyAndWritesNothing) {
    // A device folder under a file can be made by nobody, root included.
    const std::string file = dir_.Write("plain", "x");
    device_ = file + "/device";
    const DeviceCopy::Outcome outcome = Run({a_, b_});
    EXPECT_EQ(outcome.Copied, 0);
    ASSERT_EQ(outcome.Failures.size(), 2u);
    EXPECT_EQ(outcome.Failures[0], a_ + ": Not a directory");

    // A read-only folder, for a user whom file modes bind.
    const std::string locked = dir_ / "locked";
    fs::create_directories(locked + "/Rock");
    dir_.Write("locked/Rock/a.mp3", "old");
    test::GiveToTestUser(a_.c_str());
    fs::permissions(locked + "/Rock", fs::perms::owner_read | fs::perms::owner_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
    const int code = test::RunUnprivileged(
        [&] { return CopyFileToFolder(a_, locked + "/Rock") == "Permission denied" ? 0 : 1; });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadWholeFile(locked + "/Rock/a.mp3"), "old");
    EXPECT_TRUE(Leftovers(locked).empty());
}

TEST_F(Copying, ACopyCutShortLeavesTheOldFileWhole) {
    dir_.Write("device/Rock/a.mp3", "old");
    // The file size limit ends the copy half-way, as a full device would.
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{50000, 50000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(CopyFileToFolder(a_, device_ + "/Rock") == "File too large" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadWholeFile(device_ + "/Rock/a.mp3"), "old");
    EXPECT_TRUE(Leftovers(device_).empty());
}

// Real files of known lengths: 5000 seconds in all.
class TotalTime : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new TempDir;
        const TempDir& d = *folder_;
        const std::vector<std::int16_t> silence(static_cast<std::size_t>(8000) * 1000, 0);
        test::WriteWav(d / "mp3.wav", silence, 8000, 1);
        test::WriteWav(d / "a.wav", std::vector<std::int16_t>(1000 * 1000, 0), 1000, 1);
        test::WriteWav(d / "flac.wav", std::vector<std::int16_t>(1000 * 2000, 0), 1000, 1);
        ok_ = test::Encode("lame --quiet -b 8 '" + d / "mp3.wav" + "' '" + d / "a.mp3" + "'") &&
              test::Encode("oggenc -Q -q 0 -o '" + d / "a.ogg" + "' '" + d / "mp3.wav" + "'") &&
              test::Encode("flac -s -f --lax -o '" + d / "a.flac" + "' '" + d / "flac.wav" + "'") &&
              test::Encode("lame --quiet -t -b 8 '" + d / "mp3.wav" + "' '" + d / "bare.mp3" + "'");
    }
    static void TearDownTestSuite() { delete folder_; }

    void SetUp() override {
        ASSERT_TRUE(ok_);
        const TempDir& d = *folder_;
        fake_.player.playlist.PlaylistEntries = {
            d / "a.mp3",    d / "a.wav", "http://radio.example/stream",
            d / "a.flac",   d / "a.ogg", d.Write("junk.mp3", "not audio"),
            d / "gone.mp3", d / "a.wav"};
        // The last row is not selected.
        fake_.view.selectedRows = {0, 1, 2, 3, 4, 5, 6};
    }

    static inline TempDir* folder_ = nullptr;
    static inline bool ok_ = false;
    TempDir home_;
    test::FakePlayer fake_{home_.path()};
};

TEST_F(TotalTime, EachFormatFromItsHeaders) {
    const TempDir& d = *folder_;
    EXPECT_EQ(PlayingSeconds(d / "a.mp3"), 1000);
    EXPECT_EQ(PlayingSeconds(d / "a.wav"), 1000);
    EXPECT_EQ(PlayingSeconds(d / "a.flac"), 2000);
    EXPECT_EQ(PlayingSeconds(d / "a.ogg"), 1000);
    // Without an Info frame the length is estimated from the bit rate.
    EXPECT_EQ(PlayingSeconds(d / "bare.mp3"), 1000);
    // The content decides: an MP3 named .wav, a WAV cut short.
    fs::copy_file(d / "a.mp3", d / "mp3named.wav", fs::copy_options::overwrite_existing);
    EXPECT_EQ(PlayingSeconds(d / "mp3named.wav"), 1000);
    const std::string wav = ReadWholeFile(d / "a.wav").value_or("");
    EXPECT_EQ(PlayingSeconds(d.Write("cut.wav", wav.substr(0, 44 + 2000 * 250))), 250);
    EXPECT_EQ(PlayingSeconds(d.Write("riff.wav", std::string("RIFF\x10\0\0\0WAVEjunk", 16))), 0);
    EXPECT_EQ(PlayingSeconds(d / "junk.mp3"), 0);
    EXPECT_EQ(PlayingSeconds(d / "gone.mp3"), 0);
}

TEST_F(TotalTime, SelectedFilesFlacIncludedGiveMinutesAndSeconds) {
    std::set<std::string> shown;
    fake_.loop.onPending = [&] { shown.insert(fake_.view.status[3]); };
    fake_.player.playlist.PlayingEntry = *folder_ / "a.mp3";
    TotalTimeAcExecute(fake_.player);
    ASSERT_EQ(fake_.dialogs.notices.size(), 1u);
    EXPECT_EQ(fake_.dialogs.notices[0].text, "Total time: 83:20 minutes.");
    EXPECT_EQ(shown, std::set<std::string>{"Calculating time... 0/7 Press ESC to abort"});
    EXPECT_EQ(fake_.view.status[3], "MP3 8 kbps Mono");
    EXPECT_FALSE(fake_.player.playlist.ScanRunning);
}

TEST_F(TotalTime, StatusEveryTenCountedAndEscapeAsksUntilYes) {
    auto& entries = fake_.player.playlist.PlaylistEntries;
    entries.assign(25, folder_->path() + "/a.wav");
    fake_.view.selectedRows.clear();
    for (int i = 0; i < 25; ++i) {
        fake_.view.selectedRows.push_back(i);
    }
    std::vector<std::string> shown;
    fake_.loop.onPending = [&] {
        if (shown.empty() || shown.back() != fake_.view.status[3]) {
            shown.push_back(fake_.view.status[3]);
        }
    };
    TotalTimeAcExecute(fake_.player);
    EXPECT_EQ(shown, (std::vector<std::string>{"Calculating time... 0/25 Press ESC to abort",
                                               "Calculating time... 10/25 Press ESC to abort",
                                               "Calculating time... 20/25 Press ESC to abort"}));
    EXPECT_EQ(fake_.dialogs.notices.back().text, "Total time: 416:40 minutes.");

    // Escape at the fourth entry: No goes on, Escape again and Yes ends without a result.
    fake_.dialogs.notices.clear();
    int runs = 0;
    fake_.loop.onPending = [&] {
        ++runs;
        if (runs == 4 || runs == 9) {
            fake_.player.playlist.AbortRequested = true;
        }
        EXPECT_TRUE(fake_.player.playlist.ScanRunning);
    };
    fake_.dialogs.yesNoAnswers = {false, true};
    TotalTimeAcExecute(fake_.player);
    EXPECT_EQ(fake_.dialogs.questions,
              (std::vector<std::string>{"Abort operation?", "Abort operation?"}));
    EXPECT_EQ(runs, 9);
    EXPECT_TRUE(fake_.dialogs.notices.empty());
    EXPECT_FALSE(fake_.player.playlist.ScanRunning);
}

// An edit while "Abort operation?" is open (or while messages run) does not
// change what is counted: the entries selected when the count began.
TEST_F(TotalTime, TheCountStaysWithTheEntriesSelectedAtItsStart) {
    int runs = 0;
    fake_.loop.onPending = [&] {
        if (++runs == 2) {
            fake_.player.playlist.AbortRequested = true;
        }
    };
    fake_.dialogs.yesNoAnswers = {false};
    fake_.dialogs.meanwhile = [&] {
        auto& entries = fake_.player.playlist.PlaylistEntries;
        entries.insert(entries.begin(), folder_->path() + "/a.flac");
    };
    TotalTimeAcExecute(fake_.player);
    EXPECT_EQ(fake_.dialogs.questions, std::vector<std::string>{"Abort operation?"});
    ASSERT_EQ(fake_.dialogs.notices.size(), 1u);
    EXPECT_EQ(fake_.dialogs.notices[0].text, "Total time: 83:20 minutes.");
}

// The files are opened beside the window: while the disk holds an open, the
// window's messages keep running, and nothing is read on the window's thread.
TEST_F(TotalTime, TheFilesAreReadBesideTheWindowWhichKeepsRunning) {
    // The playing entry's description ends the count; nothing plays, so it
    // comes from the file.
    const std::string playing = *folder_ / "a.flac";
    const std::string description = FormatDescription(playing, 0);
    ASSERT_FALSE(description.empty());
    fake_.player.playlist.PlayingEntry = playing;
    test::FakePlayback playback;
    fake_.player.playback = &playback;
    playback.describe = [](const std::string& entry) {
        return FormatDescription(std::string(EntryAddress(entry)), 0);
    };
    test::SlowDisk disk(std::chrono::microseconds(0));
    disk.Hold({});
    std::atomic<bool> releasedByPumps{false};
    int runs = 0;
    fake_.loop.onPending = [&] {
        if (++runs == 50) {
            releasedByPumps = true;
            disk.Release();
        }
    };
    // Only so that a count which reads here cannot hang the test.
    std::mutex lock;
    std::condition_variable over;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock held(lock);
        over.wait_for(held, std::chrono::seconds(5), [&] { return done; });
        disk.Release();
    });
    TotalTimeAcExecute(fake_.player);
    {
        const std::lock_guard held(lock);
        done = true;
    }
    over.notify_one();
    watchdog.join();
    EXPECT_TRUE(releasedByPumps);
    ASSERT_EQ(fake_.dialogs.notices.size(), 1u);
    EXPECT_EQ(fake_.dialogs.notices[0].text, "Total time: 83:20 minutes.");
    EXPECT_EQ(fake_.view.status[3], description);
    const auto events = disk.Events();
    EXPECT_FALSE(events.empty());
    for (const auto& e : events) {
        EXPECT_NE(e.thread, std::this_thread::get_id()) << e.path;
    }
}

TEST_F(TotalTime, StationsAloneGiveNothing) {
    fake_.player.playlist.PlaylistEntries = {"http://a.example/one", "http://b.example/two"};
    fake_.view.selectedRows = {0, 1};
    TotalTimeAcExecute(fake_.player);
    EXPECT_EQ(fake_.dialogs.notices.back().text, "Total time: 0:00 minutes.");
}

}  // namespace
}  // namespace mirvo
