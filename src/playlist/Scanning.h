#pragma once
// Filling the playlist from folders, dialogs and drops, and its two sort orders.
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

struct PlaylistContext;

// Folder scans pick up files whose name ends in mp3, wav, ogg or lac, in any case.
bool IsMusicFile(std::string_view path);

enum class WalkResult { Complete, Aborted, Failed };

// Depth first, in the order the file system lists names; symlinked folders are
// walked once. Lets pending messages run at every folder and asks
// "Abort operation?" when Escape was pressed.
WalkResult CollectFolderFiles(const PlaylistContext& ctx, std::vector<std::string>& buffer,
                              const std::string& folder, bool recursive);
void ScanFolder(const PlaylistContext& ctx, const std::string& folder, bool replace,
                bool keepSelection, bool recursive);

// In place by lower-cased text, with the ties the middle-pivot quicksort leaves.
void SortEntries(std::vector<std::string>& list);
// In place by lower-cased file name, ties likewise.
void SortByFileName(std::vector<std::string>& paths);
void ApplySortingWay(const PlaylistContext& ctx, int way);

// "&Open folder...", "&Add folder...".
void OpenDirAc(const PlaylistContext& ctx);
void AddDirAc(const PlaylistContext& ctx);

}  // namespace mirvo
