#pragma once
#include <QIcon>

namespace mirvo {

// The program's icon: the installed one from the icon theme, else the copy
// built into the program, so the window and the tray always have one.
QIcon ProgramIcon();

}  // namespace mirvo
