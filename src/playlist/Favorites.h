#pragma once
// Favourite playlists: files in the "Favorites" folder of the program folder
// (and below it), titled by their name up to the first ".", in text order.
#include <string>
#include <vector>

namespace mirvo {

struct Player;

std::string FavoritesFolder(const Player& player);
// Every file of the folder and its sub-folders, sorted as list entries are.
std::vector<std::string> CollectFavorites(Player& player);
std::string FavoriteTitle(const std::string& path);

// Replaces the list with the favourite; the playing entry stays marked.
void OpenFavorite(Player& player, const std::string& file);
// "&Add playlist to favorites...": true when one was saved.
bool AddPlaylistToFavorites(Player& player);
// The favourite under a new title in the top folder; a taken name fails.
bool RenameFavorite(Player& player, const std::string& file, const std::string& title);

}  // namespace mirvo
