// The renamer's name rules and its renaming of real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "tools/FilenameRenamer.h"

namespace mirvo {
namespace {

using test::TempDir;

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(RenamerNames, CapitalsStartAfterEveryNonLetterButTheDotAndTheApostrophe) {
    EXPECT_EQ(CapitaliseWords("my song (live) - part two.mp3"), "My Song (Live) - Part Two.mp3");
    EXPECT_EQ(CapitaliseWords("don't stop.mp3"), "Don't Stop.mp3");
    EXPECT_EQ(CapitaliseWords("01-abc_def.ogg"), "01-Abc_Def.ogg");
    EXPECT_EQ(CapitaliseWords("mIxED cASE.MP3"), "MIxED CASE.MP3");  // nothing lower-cased
    EXPECT_EQ(CapitaliseWords("ab"), "ab");
    EXPECT_EQ(CapitaliseWords("a b"), "A B");
    EXPECT_EQ(CapitaliseWords("song a"), "Song A");
}

TEST(RenamerNames, FindIgnoresCaseAnEmptyFindPrefixesAndCaseIgnoresTheFind) {
    EXPECT_EQ(RenamedFileName("Track 01.mp3", "track", "Song"), "Song 01.mp3");
    EXPECT_EQ(RenamedFileName("TRACK track.mp3", "Track", "x"), "x x.mp3");
    EXPECT_EQ(RenamedFileName("a.mp3", "", "01 "), "01 a.mp3");
    EXPECT_EQ(RenamedFileName("my song.mp3", "song", "[case]"), "My Song.mp3");
    EXPECT_EQ(RenamedFileName("a.mp3", "a.mp3", ""), "");
    EXPECT_EQ(RenamedFileName("a.mp3", "", ""), "a.mp3");
}

class Renamer : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"Track 01.mp3", "keep.mp3", "Track 02.mp3", "Song 02.mp3"}) {
            paths_.push_back(dir_.Write(name, name));
        }
        fake_.player.playlist.PlaylistEntries = paths_;
        fake_.player.playback = &playback_;
    }
    // Rows 0, 2 and 3 selected: the two tracks and the song that blocks one of them.
    RenameSources Select(std::vector<int> rows = {0, 2, 3}) {
        fake_.view.SetListSelection(rows);
        return CollectRenameSources(fake_.player.playlist, fake_.view);
    }
    const std::vector<std::string>& entries() { return fake_.player.playlist.PlaylistEntries; }
    const std::vector<test::Notice>& notices() { return fake_.dialogs.notices; }

    TempDir dir_;
    test::FakePlayer fake_{dir_.path()};
    std::vector<std::string> paths_;
    test::FakePlayback playback_;
    const std::vector<bool>& stops_ = playback_.stops;
};

TEST_F(Renamer, RenamesInListOrderAndATakenNameLeavesBothFiles) {
    const RenameSources sources = Select();
    EXPECT_EQ(PreviewFileNames(sources, "track", "Song"),
              (std::vector<std::string>{"Song 01.mp3", "Song 02.mp3", "Song 02.mp3"}));
    ASSERT_TRUE(RenameAll(fake_.player, sources, "track", "Song"));

    EXPECT_EQ(entries(),
              (std::vector<std::string>{dir_ / "Song 01.mp3", paths_[1], paths_[2], paths_[3]}));
    EXPECT_EQ(Contents(dir_ / "Song 01.mp3"), "Track 01.mp3");
    // "Song 02.mp3" was taken: neither file changed, the entry still names its own file.
    EXPECT_EQ(Contents(paths_[2]), "Track 02.mp3");
    EXPECT_EQ(Contents(paths_[3]), "Song 02.mp3");
    ASSERT_EQ(notices().size(), 1u);
    EXPECT_EQ(notices()[0].text,
              "1 files have been renamed.\rCheck your playlist for the updated files.");
    EXPECT_TRUE(stops_.empty());
}

TEST_F(Renamer, AnImpossibleNameRenamesNothing) {
    const RenameSources sources = Select({0, 1});
    EXPECT_FALSE(RenameAll(fake_.player, sources, "keep.mp3", ""));
    ASSERT_EQ(notices().size(), 1u);
    EXPECT_EQ(notices()[0].kind, NoticeKind::Warning);
    EXPECT_EQ(notices()[0].text, "You want to rename\rkeep.mp3\rto ''.\rThat's not possible.");
    EXPECT_EQ(entries(), paths_);
    for (const std::string& path : paths_) {
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
    }
}

// A "/" in a new name would move the file into another folder; "." and ".."
// name folders. Nothing is renamed, nothing moves.
TEST_F(Renamer, ANameWithASlashOrOnlyDotsMovesNothing) {
    std::filesystem::create_directory(dir_ / "sub");
    for (const auto& [find, replace] : std::vector<std::pair<std::string, std::string>>{
             {"Track", "sub/Track"}, {"", "../"}, {"keep.mp3", ".."}, {"keep.mp3", "."}}) {
        fake_.dialogs.notices.clear();
        const RenameSources sources = Select({0, 1});
        EXPECT_FALSE(RenameAll(fake_.player, sources, find, replace)) << replace;
        ASSERT_EQ(notices().size(), 1u);
        EXPECT_EQ(notices()[0].kind, NoticeKind::Warning);
        EXPECT_TRUE(notices()[0].text.ends_with("'.\rThat's not possible.")) << notices()[0].text;
    }
    EXPECT_EQ(entries(), paths_);
    for (const std::string& path : paths_) {
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "sub"));
    EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/../Track 01.mp3"));
}

TEST_F(Renamer, ThePlayingFileStopsWithTheDeviceReleasedAndKeepsItsMark) {
    PlaylistState& pl = fake_.player.playlist;
    pl.PlayingIndex = 2;
    pl.PlayingEntry = paths_[2];
    ASSERT_TRUE(RenameAll(fake_.player, Select({0, 2}), "", "[case]"));
    // Both names are capitalised already: nothing to rename, nothing stops.
    EXPECT_TRUE(stops_.empty());
    EXPECT_EQ(notices().back().text,
              "0 files have been renamed.\rCheck your playlist for the updated files.");
    ASSERT_TRUE(RenameAll(fake_.player, Select({0, 2}), "", "0"));
    EXPECT_EQ(stops_, std::vector<bool>{true});
    EXPECT_EQ(pl.PlayingEntry, dir_ / "0Track 02.mp3");
    EXPECT_EQ(entries()[2], pl.PlayingEntry);
    EXPECT_EQ(pl.PlayingIndex, 2);
    EXPECT_EQ(notices().back().text,
              "2 files have been renamed.\rCheck your playlist for the updated files.");
}

}  // namespace
}  // namespace mirvo
