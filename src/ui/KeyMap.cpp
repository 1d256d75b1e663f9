#include "ui/KeyMap.h"

#include "playback/Commands.h"

namespace mirvo {

int VirtualKey(int key, bool keypad) {
    if (keypad) {
        // Number lock on or off, a keypad key keeps its keypad code.
        switch (key) {
            case Qt::Key_0:
            case Qt::Key_Insert:
                return 96;
            case Qt::Key_1:
            case Qt::Key_End:
                return 97;
            case Qt::Key_2:
            case Qt::Key_Down:
                return 98;
            case Qt::Key_3:
            case Qt::Key_PageDown:
                return 99;
            case Qt::Key_4:
            case Qt::Key_Left:
                return 100;
            case Qt::Key_5:
            case Qt::Key_Clear:
                return 101;
            case Qt::Key_6:
            case Qt::Key_Right:
                return 102;
            case Qt::Key_7:
            case Qt::Key_Home:
                return 103;
            case Qt::Key_8:
            case Qt::Key_Up:
                return 104;
            case Qt::Key_9:
            case Qt::Key_PageUp:
                return 105;
            case Qt::Key_Asterisk:
                return 106;
            case Qt::Key_Plus:
                return 107;
            case Qt::Key_Minus:
                return 109;
            case Qt::Key_Period:
            case Qt::Key_Delete:
                return 110;
            case Qt::Key_Slash:
                return 111;
            case Qt::Key_Enter:
                return kKeyEnter;
            default:
                break;
        }
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return 'A' + (key - Qt::Key_A);
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return '0' + (key - Qt::Key_0);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return 112 + (key - Qt::Key_F1);
    }
    switch (key) {
        case Qt::Key_Backspace:
            return kKeyBack;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:  // Shift+Tab arrives as its own key
            return kKeyTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kKeyEnter;
        case Qt::Key_Pause:
            return kKeyPause;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return kKeySpace;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return kKeyLeft;
        case Qt::Key_Up:
            return kKeyUp;
        case Qt::Key_Right:
            return kKeyRight;
        case Qt::Key_Down:
            return kKeyDown;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return kKeyDelete;
        case Qt::Key_NumLock:
            return 144;
        case Qt::Key_Equal:
        case Qt::Key_Plus:
            return kKeyEquals;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            return kKeyMinus;
        case Qt::Key_Comma:
            return 188;
        case Qt::Key_Period:
            return 190;
        case Qt::Key_Slash:
        case Qt::Key_Question:
            return 191;
        case Qt::Key_QuoteLeft:  // the key left of 1
        case Qt::Key_AsciiTilde:
            return kKeyBackQuote;
        case Qt::Key_MediaTogglePlayPause:
        case Qt::Key_MediaPlay:
            return 179;
        case Qt::Key_MediaStop:
            return 178;
        case Qt::Key_MediaNext:
            return 176;
        case Qt::Key_MediaPrevious:
            return 177;
        case Qt::Key_VolumeUp:
            return 175;
        case Qt::Key_VolumeDown:
            return 174;
        case Qt::Key_VolumeMute:
            return 173;
        default:
            return 0;
    }
}

unsigned ModifierBits(Qt::KeyboardModifiers modifiers) {
    unsigned bits = kNoModifier;
    if (modifiers & Qt::ShiftModifier) {
        bits |= kShift;
    }
    if (modifiers & Qt::AltModifier) {
        bits |= kAlt;
    }
    if (modifiers & Qt::ControlModifier) {
        bits |= kCtrl;
    }
    return bits;
}

}  // namespace mirvo
