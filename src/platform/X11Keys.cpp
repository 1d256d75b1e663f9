#include "platform/X11Keys.h"

#include <xkbcommon/xkbcommon.h>

#include <utility>

namespace mirvo {

std::uint32_t KeysymOfVirtualKey(unsigned keyCode) {
    // Letters as capitals, so that their names read "A" as the desktop shows them.
    if ((keyCode >= '0' && keyCode <= '9') || (keyCode >= 'A' && keyCode <= 'Z')) {
        return keyCode;
    }
    if (keyCode >= 96 && keyCode <= 105) {
        return XKB_KEY_KP_0 + (keyCode - 96);
    }
    if (keyCode >= 112 && keyCode <= 135) {
        return XKB_KEY_F1 + (keyCode - 112);
    }
    static constexpr std::pair<unsigned, std::uint32_t> kKeys[] = {
        {8, XKB_KEY_BackSpace},
        {9, XKB_KEY_Tab},
        {12, XKB_KEY_Clear},
        {13, XKB_KEY_Return},
        {16, XKB_KEY_Shift_L},
        {17, XKB_KEY_Control_L},
        {18, XKB_KEY_Alt_L},
        {19, XKB_KEY_Pause},
        {20, XKB_KEY_Caps_Lock},
        {27, XKB_KEY_Escape},
        {32, XKB_KEY_space},
        {33, XKB_KEY_Prior},
        {34, XKB_KEY_Next},
        {35, XKB_KEY_End},
        {36, XKB_KEY_Home},
        {37, XKB_KEY_Left},
        {38, XKB_KEY_Up},
        {39, XKB_KEY_Right},
        {40, XKB_KEY_Down},
        {41, XKB_KEY_Select},
        {42, XKB_KEY_Print},
        {43, XKB_KEY_Execute},
        {44, XKB_KEY_Print},
        {45, XKB_KEY_Insert},
        {46, XKB_KEY_Delete},
        {47, XKB_KEY_Help},
        {91, XKB_KEY_Super_L},
        {92, XKB_KEY_Super_R},
        {93, XKB_KEY_Menu},
        {106, XKB_KEY_KP_Multiply},
        {107, XKB_KEY_KP_Add},
        {108, XKB_KEY_KP_Separator},
        {109, XKB_KEY_KP_Subtract},
        {110, XKB_KEY_KP_Decimal},
        {111, XKB_KEY_KP_Divide},
        {144, XKB_KEY_Num_Lock},
        {145, XKB_KEY_Scroll_Lock},
        {166, XKB_KEY_XF86Back},
        {167, XKB_KEY_XF86Forward},
        {168, XKB_KEY_XF86Refresh},
        {169, XKB_KEY_XF86Stop},
        {170, XKB_KEY_XF86Search},
        {171, XKB_KEY_XF86Favorites},
        {172, XKB_KEY_XF86HomePage},
        {173, XKB_KEY_XF86AudioMute},
        {174, XKB_KEY_XF86AudioLowerVolume},
        {175, XKB_KEY_XF86AudioRaiseVolume},
        {176, XKB_KEY_XF86AudioNext},
        {177, XKB_KEY_XF86AudioPrev},
        {178, XKB_KEY_XF86AudioStop},
        {179, XKB_KEY_XF86AudioPlay},
        {180, XKB_KEY_XF86Mail},
        {181, XKB_KEY_XF86AudioMedia},
        {186, XKB_KEY_semicolon},
        {187, XKB_KEY_equal},
        {188, XKB_KEY_comma},
        {189, XKB_KEY_minus},
        {190, XKB_KEY_period},
        {191, XKB_KEY_slash},
        {192, XKB_KEY_grave},
        {219, XKB_KEY_bracketleft},
        {220, XKB_KEY_backslash},
        {221, XKB_KEY_bracketright},
        {222, XKB_KEY_apostrophe},
    };
    for (const auto& [code, keysym] : kKeys) {
        if (code == keyCode) {
            return keysym;
        }
    }
    return 0;
}

std::string X11KeyName(unsigned keyCode) {
    const std::uint32_t keysym = KeysymOfVirtualKey(keyCode);
    char name[64];
    if (keysym == 0 || xkb_keysym_get_name(keysym, name, sizeof name) <= 0) {
        return {};
    }
    return name;
}

}  // namespace mirvo
