#pragma once
// Favourite playlists: files in the "Favorites" folder of the program folder
// (and below it), titled by their name up to the first ".", in text order.
#include <string>
#include <vector>

namespace mirvo {

struct PlaylistContext;

std::string FavoritesFolder(const PlaylistContext& ctx);
// Every file of the folder and its sub-folders, sorted as list entries are.
std::vector<std::string> CollectFavorites(const PlaylistContext& ctx);
std::string FavoriteTitle(const std::string& path);

// Replaces the list with the favourite; the playing entry stays marked.
void OpenFavorite(const PlaylistContext& ctx, const std::string& file);
// "&Add playlist to favorites...": true when one was saved.
bool AddPlaylistToFavorites(const PlaylistContext& ctx);
// The favourite under a new title in the top folder; a taken name fails.
bool RenameFavorite(const PlaylistContext& ctx, const std::string& file, const std::string& title);

}  // namespace mirvo
