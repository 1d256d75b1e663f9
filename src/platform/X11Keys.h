#pragma once
// Windows virtual-key codes as X keysyms, and the names X gives them.
#include <cstdint>
#include <string>

namespace mirvo {

// 0 when the code has no keysym here.
std::uint32_t KeysymOfVirtualKey(unsigned keyCode);
// The keysym's name ("A", "F5", "KP_Add", "XF86AudioPlay"); empty without one.
std::string X11KeyName(unsigned keyCode);

}  // namespace mirvo
