#include "support/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "fakes/TempDir.h"
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
    EXPECT_EQ(ResolveProgramFolder(dir / "portable/bin"), dir / "portable/bin");
    dir.Write("usr/bin/mirvo", "");
    dir.Write("usr/share/applications/mirvo.desktop", "[Desktop Entry]\n");
    EXPECT_EQ(ResolveProgramFolder(dir / "usr/bin"), config + "/mirvo");
    EXPECT_TRUE(std::filesystem::is_directory(config + "/mirvo"));
    ::setenv("MIRVO_HOME", (dir / "home").c_str(), 1);
    EXPECT_EQ(ResolveProgramFolder(dir / "usr/bin"), dir / "home");
    ::unsetenv("MIRVO_HOME");
    ::unsetenv("XDG_CONFIG_HOME");
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
