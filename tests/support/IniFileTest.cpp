#include "support/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "fakes/TempDir.h"
#include "fakes/Unprivileged.h"
#include "support/Files.h"

namespace mirvo {
namespace {

using test::TempDir;

TEST(IniFile, MatchesNamesIgnoringCaseAndKeepsValuesAsWritten) {
    const IniFile ini(
        "; comment\r\n[General]\r\nVolume = 700 \r\nName=\" \\ \"\r\n[general]\r\nVolume=1\r\n");
    EXPECT_EQ(ini.ReadInteger("GENERAL", "volume", 0), 700);  // the first section wins
    EXPECT_EQ(ini.ReadString("general", "NAME", ""), "\" \\ \"");
    EXPECT_EQ(ini.ReadString("General", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("Nowhere", "Volume", "dflt"), "dflt");
}

TEST(IniFile, IntegersAndBooleans) {
    const IniFile ini(
        "[s]\nzero=0\nseven=7\nneg=-3\nhex=0x10\ndelphi=$1F\nword=yes\nhuge=99999999999\n"
        "empty=\nspace= 12 \n");
    EXPECT_FALSE(ini.ReadBool("s", "zero", true));
    EXPECT_TRUE(ini.ReadBool("s", "seven", false));
    EXPECT_TRUE(ini.ReadBool("s", "neg", false));  // any non-zero is true
    EXPECT_EQ(ini.ReadInteger("s", "hex", 0), 16);
    EXPECT_EQ(ini.ReadInteger("s", "delphi", 0), 31);
    EXPECT_EQ(ini.ReadInteger("s", "word", 5), 5);
    EXPECT_TRUE(ini.ReadBool("s", "word", true));
    EXPECT_EQ(ini.ReadInteger("s", "huge", 5), 5);
    EXPECT_EQ(ini.ReadInteger("s", "empty", 5), 5);
    EXPECT_EQ(ini.ReadInteger("s", "space", 5), 12);
}

TEST(IniFile, WritingKeepsForeignContentInPlace) {
    IniFile ini(
        "# user note\n[Window]\nWidth=310\nForeign=keep me\n\n[Other]\nx=1\njunk line without "
        "equals\n");
    ini.WriteInteger("window", "width", 400);
    ini.WriteInteger("Window", "Height", 200);
    ini.WriteString("New", "Key", "v");
    EXPECT_EQ(ini.Text(),
              "# user note\n[Window]\nWidth=400\nForeign=keep me\nHeight=200\n\n[Other]\nx=1\n"
              "junk line without equals\n\n[New]\nKey=v\n");
    ini.EraseSection("OTHER");
    EXPECT_FALSE(ini.HasSection("Other"));
    ini.EraseKey("window", "FOREIGN");
    ini.EraseKey("window", "missing");
    EXPECT_EQ(ini.Text(), "# user note\n[Window]\nWidth=400\nHeight=200\n\n[New]\nKey=v\n");
    EXPECT_EQ(IniFile(ini.Text()).ReadString("New", "Key", ""), "v");
}

TEST(IniFile, KeepsCrLfFiles) {
    IniFile ini("[a]\r\nx=1\r\n");
    ini.WriteInteger("a", "y", 2);
    EXPECT_EQ(ini.Text(), "[a]\r\nx=1\r\ny=2\r\n");
}

TEST(IniFile, SurvivesJunk) {
    std::string junk;
    for (int i = 0; i < 4096; ++i) {
        junk += static_cast<char>((i * 7919) % 256);
    }
    junk += "\n[General]\nVolume=5\n" + std::string(1 << 20, 'x') + "\n=novalue\n[";
    IniFile ini(junk);
    EXPECT_EQ(ini.ReadInteger("General", "Volume", 0), 5);
    ini.WriteInteger("General", "Volume", 6);
    EXPECT_EQ(IniFile(ini.Text()).ReadInteger("General", "Volume", 0), 6);
}

TEST(IniFile, SaveReplacesAtomicallyAndCreatesOwnerOnly) {
    TempDir dir;
    const std::string path = dir / "Mirvo.ini";
    IniFile ini;
    ini.WriteString("PlayingHistory", "LastfmPassword", "secret");
    ASSERT_TRUE(ini.Save(path));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A second save replaces the file by rename: a reader holding the old
    // file keeps seeing it whole, and no temporary file is left behind.
    const ino_t before = st.st_ino;
    ini.WriteString("General", "Volume", "1");
    ASSERT_TRUE(ini.Save(path));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_ino, before);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_EQ(IniFile::Load(path).ReadString("PlayingHistory", "LastfmPassword", ""), "secret");
}

TEST(IniFile, AValueWithAControlCharacterIsNeverWritten) {
    IniFile ini("[s]\nk=old\n");
    for (const std::string& value :
         {std::string("a\nb"), std::string("a\rb"), std::string("a\0b", 3), std::string("\x1b["),
          std::string("a\x7f")}) {
        EXPECT_FALSE(ini.WriteString("s", "k", value));
        EXPECT_FALSE(ini.WriteString("s", "new", value));
    }
    EXPECT_FALSE(ini.WriteString("s\n[t]", "k", "x"));
    EXPECT_FALSE(ini.WriteString("s", "k\nx", "x"));
    EXPECT_EQ(ini.Text(), "[s]\nk=old\n");
    EXPECT_TRUE(ini.WriteString("s", "k", "caf\xc3\xa9 \\ \"x\""));
    EXPECT_EQ(ini.ReadString("s", "k", ""), "caf\xc3\xa9 \\ \"x\"");
}

TEST(IniFile, SaveFailsCleanlyInAnUnwritableFolder) {
    EXPECT_FALSE(IniFile().Save("/nonexistent-folder/Mirvo.ini"));
}

TEST(Files, ReadOnlyMeansTheWriteBitIsOff) {
    TempDir dir;
    const std::string path = dir.Write("f", "x");
    EXPECT_FALSE(IsReadOnlyFile(path));
    ::chmod(path.c_str(), 0444);
    EXPECT_TRUE(IsReadOnlyFile(path));
    EXPECT_FALSE(IsReadOnlyFile(dir / "missing"));
    EXPECT_FALSE(ReadWholeFile(dir.path()).has_value());  // a folder is not a file
    EXPECT_FALSE(ReadWholeFile(dir / "missing").has_value());
}

// The executable's folder serves a portable copy, but never an installed one,
// even where the user (root) could write to it.
TEST(Files, ProgramFolderOfPortableAndInstalledCopies) {
    TempDir dir;
    const std::string config = dir / "config";
    ::unsetenv("MIRVO_HOME");
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    dir.Write("portable/bin/mirvo", "");
    std::string error;
    EXPECT_EQ(ResolveProgramFolder(dir / "portable/bin", error), dir / "portable/bin");
    dir.Write("usr/bin/mirvo", "");
    dir.Write("usr/share/applications/mirvo.desktop", "[Desktop Entry]\n");
    EXPECT_EQ(ResolveProgramFolder(dir / "usr/bin", error), config + "/mirvo");
    EXPECT_TRUE(std::filesystem::is_directory(config + "/mirvo"));
    EXPECT_EQ(std::filesystem::status(config + "/mirvo").permissions(),
              std::filesystem::perms::owner_all);
    EXPECT_EQ(error, "");
    ::setenv("MIRVO_HOME", (dir / "home").c_str(), 1);
    EXPECT_EQ(ResolveProgramFolder(dir / "usr/bin", error), dir / "home");
    ::unsetenv("MIRVO_HOME");
    ::unsetenv("XDG_CONFIG_HOME");
}

// The program changes into its folder before it uses it: a relative
// MIRVO_HOME means the folder it names from where the program started.
TEST(Files, ARelativeMirvoHomeIsTakenFromTheStartFolder) {
    TempDir dir;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    ::setenv("MIRVO_HOME", "settings/../mine/", 1);
    std::string error;
    const std::string folder = ResolveProgramFolder("", error);
    ::unsetenv("MIRVO_HOME");
    std::filesystem::current_path(before);
    EXPECT_EQ(folder, dir / "mine");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "mine"));
}

// Anyone may make a folder in /tmp first: one of another user's, one that
// others may write to, or a link is never used.
TEST(Files, APrivateFolderIsThisUsersAndNobodyElseMayWriteToIt) {
    TempDir dir;
    const std::string fresh = dir / "fresh";
    EXPECT_EQ(UsePrivateFolder(fresh), "");
    EXPECT_EQ(std::filesystem::status(fresh).permissions(), std::filesystem::perms::owner_all);
    EXPECT_EQ(UsePrivateFolder(fresh), "");  // again, as the next start finds it

    const std::string open = dir / "open";
    std::filesystem::create_directory(open);
    ::chmod(open.c_str(), 0777);
    EXPECT_NE(UsePrivateFolder(open), "");
    const std::string link = dir / "link";
    std::filesystem::create_directory_symlink(fresh, link);
    EXPECT_NE(UsePrivateFolder(link), "");
    const std::string file = dir.Write("file", "");
    EXPECT_NE(UsePrivateFolder(file), "");
    if (::geteuid() == 0) {
        const std::string theirs = dir / "theirs";
        std::filesystem::create_directory(theirs);
        ::chmod(theirs.c_str(), 0700);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        EXPECT_EQ(UsePrivateFolder(theirs),
                  "will not use " + theirs +
                      ": it is not a folder of this user's that only this user may change");
    }
    EXPECT_NE(UsePrivateFolder(dir / "missing/deeper"), "");
}

// Without HOME (and none in the user database) the program folder is this
// user's own in the temporary folder, never one another user made first.
TEST(Files, WithoutAHomeTheProgramFolderIsPrivate) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to play the other user";
    }
    TempDir tmp;
    ::chmod(tmp.path().c_str(), 01777);  // as /tmp is
    const std::string folder = tmp / ("mirvo-" + std::to_string(test::kNobody));
    // `expected` is the folder it must use, or "" when it must refuse.
    const auto resolves = [&](const std::string& expected) {
        return test::RunUnprivileged([&] {
            ::unsetenv("HOME");
            ::unsetenv("XDG_CONFIG_HOME");
            ::unsetenv("MIRVO_HOME");
            ::setenv("TMPDIR", tmp.path().c_str(), 1);
            std::string error;
            const std::string got = ResolveProgramFolder("", error);
            return got == expected && error.empty() == !expected.empty() ? 0 : 1;
        });
    };
    EXPECT_EQ(resolves(folder), 0);
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
    EXPECT_EQ(resolves(folder), 0);
    std::filesystem::remove(folder);

    std::filesystem::create_directory(folder);  // made by another user (root)
    ::chmod(folder.c_str(), 0777);
    EXPECT_EQ(resolves(""), 0);
    std::filesystem::remove(folder);
    std::filesystem::create_directory_symlink(tmp.path(), folder);
    EXPECT_EQ(resolves(""), 0);
}

}  // namespace
}  // namespace mirvo

namespace mirvo {
namespace {

TEST(Files, ARenameNeverReplacesAFile) {
    test::TempDir dir;
    dir.Write("a.mp3", "A");
    dir.Write("b.mp3", "B");
    EXPECT_FALSE(RenameNoReplace(dir / "a.mp3", dir / "b.mp3"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadWholeFile(dir / "b.mp3"), "B");
    EXPECT_EQ(ReadWholeFile(dir / "a.mp3"), "A");
    EXPECT_TRUE(RenameNoReplace(dir / "a.mp3", dir / "c.mp3"));
    EXPECT_EQ(ReadWholeFile(dir / "c.mp3"), "A");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.mp3"));
    std::filesystem::create_directory(dir / "sub");
    EXPECT_FALSE(RenameNoReplace(dir / "c.mp3", dir / "sub"));
    EXPECT_FALSE(RenameNoReplace(dir / "missing.mp3", dir / "d.mp3"));
}

}  // namespace
}  // namespace mirvo
