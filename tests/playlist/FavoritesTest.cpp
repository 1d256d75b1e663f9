// Favourite playlists on disk.
#include "playlist/Favorites.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/PlaylistFiles.h"
#include "support/Files.h"

namespace mirvo {
namespace {

using Strings = std::vector<std::string>;

struct Favourites : ::testing::Test {
    Favourites() : f(dir.path()) {
        f.player.playlist.PlaylistEntries = {dir / "a.mp3", dir / "b.mp3"};
    }
    Strings Titles() {
        Strings titles;
        for (const std::string& file : CollectFavorites(f.player)) {
            titles.push_back(FavoriteTitle(file));
        }
        return titles;
    }
    test::TempDir dir;
    test::FakePlayer f;
};

TEST_F(Favourites, AreListedInTextOrderWithTheirTitles) {
    EXPECT_TRUE(Titles().empty());  // no folder yet
    dir.Write("Favorites/1 Rock.txt", "");
    dir.Write("Favorites/02 Jazz.2004.txt", "");
    dir.Write("Favorites/old/Blues.txt", "");
    dir.Write("Favorites/notes.doc", "");
    EXPECT_EQ(Titles(), (Strings{"02 Jazz", "1 Rock", "notes", "Blues"}));
}

TEST_F(Favourites, TheProposedNameIsTheFoldersAlsoWithATrailingSlash) {
    for (const auto& [current, proposed] : std::vector<std::pair<std::string, std::string>>{
             {"/music/Live.2004/", "Live"}, {"/music/Jazz//", "Jazz"}, {"/", ""}, {"", ""}}) {
        f.player.playlist.CurrentFolder = current;
        f.dialogs.textAnswers = {std::nullopt};
        EXPECT_FALSE(AddPlaylistToFavorites(f.player));
        EXPECT_EQ(f.dialogs.initialTexts.back(), proposed) << current;
    }
}

TEST_F(Favourites, AddingAsksForANameAndNeverReplacesUnasked) {
    f.player.playlist.CurrentFolder = "/music/Best.Of";
    f.dialogs.textAnswers = {"Mix"};
    ASSERT_TRUE(AddPlaylistToFavorites(f.player));
    EXPECT_EQ(f.dialogs.initialTexts, Strings{"Best"});
    const std::string mix = dir / "Favorites/Mix.txt";
    const auto saved = ReadWholeFile(mix);
    ASSERT_TRUE(saved);
    EXPECT_NE(saved->find("a.mp3"), std::string::npos);

    // The same name again: No keeps the old file, Yes replaces it.
    f.player.playlist.PlaylistEntries = {dir / "c.mp3"};
    f.dialogs.textAnswers = {"Mix"};
    f.dialogs.yesNoAnswers = {false};
    EXPECT_FALSE(AddPlaylistToFavorites(f.player));
    EXPECT_EQ(ReadWholeFile(mix), saved);
    f.dialogs.textAnswers = {"Mix"};
    f.dialogs.yesNoAnswers = {true};
    EXPECT_TRUE(AddPlaylistToFavorites(f.player));
    EXPECT_NE(ReadWholeFile(mix)->find("c.mp3"), std::string::npos);

    // A name with a forbidden character is refused and asked again.
    f.dialogs.textAnswers = {"AC/DC", "AC-DC"};
    EXPECT_TRUE(AddPlaylistToFavorites(f.player));
    ASSERT_EQ(f.dialogs.notices.size(), 1u);
    EXPECT_EQ(f.dialogs.notices[0].text,
              "Your playlist could not be saved.\r\r"
              "The title may not have any of the following characters:\r\\ / : ? \" <> |");
    EXPECT_EQ(f.dialogs.initialTexts.back(), "AC/DC");
    EXPECT_TRUE(std::filesystem::exists(dir / "Favorites/AC-DC.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Favorites/AC"));

    f.player.playlist.PlaylistEntries.clear();
    EXPECT_FALSE(AddPlaylistToFavorites(f.player));
    EXPECT_EQ(f.dialogs.notices.back().text,
              "Your playlist is empty, please add some files first.");
}

TEST_F(Favourites, RenamingMovesUpAndNeverReplacesAnother) {
    dir.Write("Favorites/old/Blues.txt", "x\r\n");
    dir.Write("Favorites/Rock.txt", "r\r\n");
    EXPECT_TRUE(RenameFavorite(f.player, dir / "Favorites/old/Blues.txt", "Blue"));
    EXPECT_EQ(ReadWholeFile(dir / "Favorites/Blue.txt"), "x\r\n");
    EXPECT_FALSE(RenameFavorite(f.player, dir / "Favorites/Blue.txt", "Rock"));
    EXPECT_EQ(ReadWholeFile(dir / "Favorites/Rock.txt"), "r\r\n");
    EXPECT_EQ(ReadWholeFile(dir / "Favorites/Blue.txt"), "x\r\n");
    EXPECT_FALSE(RenameFavorite(f.player, dir / "Favorites/Blue.txt", "a:b"));
}

TEST_F(Favourites, OpeningKeepsThePlayingEntryMarked) {
    const std::string playing = dir / "b.mp3";
    dir.Write("a.mp3", "");
    dir.Write("b.mp3", "");
    dir.Write("Favorites/Two.txt", dir / "a.mp3" + "\r\n" + playing + "\r\n");
    f.player.playlist.PlayingEntry = playing;
    OpenFavorite(f.player, dir / "Favorites/Two.txt");
    EXPECT_EQ(f.player.playlist.PlaylistEntries, (Strings{dir / "a.mp3", playing}));
    EXPECT_EQ(f.player.playlist.PlayingIndex, 1);
    EXPECT_EQ(f.player.playlist.CurrentFolder, dir / "Favorites/Two.txt");
}

}  // namespace
}  // namespace mirvo
