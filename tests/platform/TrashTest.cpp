// The freedesktop trash on real folders: the home trash, made when missing,
// and a volume's own trash for files that live elsewhere.
#include "platform/Trash.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fakes/TempDir.h"
#include "support/Files.h"

namespace mirvo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

class Trash : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("HOME", home_.path().c_str(), 1);
        ::unsetenv("XDG_DATA_HOME");
    }
    TempDir home_;
};

TEST_F(Trash, HomeTrashIsMadeWhenMissingAndKeepsWhatRestoresTheFile) {
    // No ~/.local/share at all, and the current folder must stay clean.
    TempDir elsewhere;
    const fs::path before = fs::current_path();
    fs::current_path(elsewhere.path());
    const std::string song = home_.Write("Music/My song #1 (live).mp3", "sound");
    ASSERT_TRUE(MoveToFreedesktopTrash(song));
    fs::current_path(before);

    const std::string trash = home_ / ".local/share/Trash";
    EXPECT_EQ(HomeTrashFolder(), trash);
    EXPECT_FALSE(fs::exists(song));
    EXPECT_EQ(ReadWholeFile(trash + "/files/My song #1 (live).mp3"), "sound");
    const auto info = ReadWholeFile(trash + "/info/My song #1 (live).mp3.trashinfo");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->rfind("[Trash Info]\nPath=" + home_.path() +
                              "/Music/My%20song%20%231%20%28live%29.mp3\nDeletionDate=",
                          0),
              0u)
        << *info;
    EXPECT_TRUE(fs::is_empty(elsewhere.path()));
    struct stat st {};
    ASSERT_EQ(::stat(trash.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // The same name again gets a name of its own; nothing is overwritten.
    const std::string again = home_.Write("Music/My song #1 (live).mp3", "other");
    ASSERT_TRUE(MoveToFreedesktopTrash(again));
    EXPECT_EQ(ReadWholeFile(trash + "/files/My song #1 (live).2.mp3"), "other");
    EXPECT_EQ(ReadWholeFile(trash + "/files/My song #1 (live).mp3"), "sound");
    EXPECT_TRUE(fs::exists(trash + "/info/My song #1 (live).2.mp3.trashinfo"));
}

TEST_F(Trash, FollowsXdgDataHome) {
    TempDir data;
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    const std::string file = home_.Write("a.ogg", "x");
    ASSERT_TRUE(MoveToFreedesktopTrash(file));
    EXPECT_TRUE(fs::exists(data / "Trash/files/a.ogg"));
    EXPECT_FALSE(fs::exists(home_ / ".local"));
}

TEST_F(Trash, AFileOnAnotherVolumeGoesToThatVolumesTrash) {
    struct stat here {
    }, shm{};
    if (::stat(home_.path().c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 ||
        here.st_dev == shm.st_dev) {
        GTEST_SKIP() << "no second volume to try";
    }
    std::string folder = "/dev/shm/mirvo-trash-XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const std::string file = folder + "/b.flac";
    { std::ofstream(file) << "y"; }
    const std::string volumeTrash = "/dev/shm/.Trash-" + std::to_string(::getuid());
    const bool existed = fs::exists(volumeTrash);
    ASSERT_TRUE(MoveToFreedesktopTrash(file));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(home_ / ".local/share/Trash/files/b.flac"));  // never copied across
    bool found = false;
    for (const auto& item : fs::directory_iterator(volumeTrash + "/files")) {
        found = found || item.path().filename() == "b.flac" ||
                item.path().filename().string().starts_with("b.");
        if (item.path().filename().string().starts_with("b.")) {
            fs::remove(item.path());
            fs::remove(volumeTrash + "/info/" + item.path().filename().string() + ".trashinfo");
        }
    }
    EXPECT_TRUE(found);
    fs::remove_all(folder);
    if (!existed) {
        fs::remove_all(volumeTrash);
    }
}

TEST_F(Trash, WhatCannotBeTrashedStaysAndSaysSo) {
    EXPECT_FALSE(MoveToFreedesktopTrash(home_ / "missing.mp3"));
    EXPECT_FALSE(MoveToFreedesktopTrash("relative.mp3"));
    EXPECT_FALSE(MoveToFreedesktopTrash(""));
    EXPECT_TRUE(fs::is_empty(home_.path()));  // no trash made for nothing
}

}  // namespace
}  // namespace mirvo
