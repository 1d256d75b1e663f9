#pragma once
// Applying colour schemes to the playlist's list.
#include <string>

#include "playlist/SchemeFile.h"

class QPalette;

namespace mirvo {

struct PlaylistContext;
class THoxelListbox;

// The palette's colours in the roles a missing scheme key falls back to.
SystemColours SystemColoursOf(const QPalette& palette);

// The program folder's "Schemes/" (with the "/"), created when missing.
std::string SchemesFolder(const std::string& programFolder);

// A missing or unreadable file gives the defaults; a malformed colour shows
// an error and leaves the keys after it as they were.
void LoadScheme(const PlaylistContext& ctx, THoxelListbox& list, const std::string& fileName);
// 0 "Windows default", 1 the special look.
void ApplyBuiltinScheme(const PlaylistContext& ctx, THoxelListbox& list, int n);
// When the main window is first shown: the active scheme (a path below the
// program folder) or, without one, the default look.
void ApplyStartScheme(const PlaylistContext& ctx, THoxelListbox& list, std::string activeScheme);

}  // namespace mirvo
