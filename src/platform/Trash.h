#pragma once
// The freedesktop trash: the home trash for files on the home trash's volume,
// the volume's own trash for files elsewhere. No Qt here: plain system calls.
#include <string>

namespace mirvo {

// Moves `path` into a trash the desktop's file managers list, with the
// information needed to restore it. False, with the file left in place, when
// no such trash can be used.
bool MoveToFreedesktopTrash(const std::string& path);

// The home trash: $XDG_DATA_HOME/Trash, by default ~/.local/share/Trash.
std::string HomeTrashFolder();

}  // namespace mirvo
