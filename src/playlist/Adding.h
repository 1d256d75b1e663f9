#pragma once
// Files added one by one, by the add-files command or a drop: folders are
// walked, playlists go through the loader, playable files straight in.
#include <string>
#include <vector>

namespace mirvo {

struct PlaylistContext;

// "Add &file(s)...".
void OpenFileAc(const PlaylistContext& ctx);
// Paths dropped on the main window, in the order the desktop gave them.
void DropFiles(const PlaylistContext& ctx, const std::vector<std::string>& paths);

}  // namespace mirvo
