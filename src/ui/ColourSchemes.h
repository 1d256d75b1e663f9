#pragma once
// Applying colour schemes to the playlist's list.
#include <string>

#include "playlist/SchemeFile.h"

class QPalette;

namespace mirvo {

struct Player;
class THoxelListbox;

// The palette's colours in the roles a missing scheme key falls back to.
SystemColours SystemColoursOf(const QPalette& palette);

// The program folder's "Schemes/" (with the "/"), created when missing.
std::string SchemesFolder(const Player& player);

// A missing or unreadable file gives the defaults; a malformed colour shows
// an error and leaves the keys after it as they were.
void LoadScheme(Player& player, THoxelListbox& list, const std::string& fileName);
// 0 "Windows default", 1 the special look.
void ApplyBuiltinScheme(Player& player, THoxelListbox& list, int n);
// When the main window is first shown: "ActiveScheme" or the default look.
void ApplyStartScheme(Player& player, THoxelListbox& list);

}  // namespace mirvo
