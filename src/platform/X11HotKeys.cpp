#include "platform/X11HotKeys.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/X11Keys.h"

namespace mirvo {

struct X11HotKeys::Connection {
    struct Grab {
        int id;
        xcb_keycode_t code;
        std::uint16_t modifiers;
    };

    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_key_symbols_t* symbols = nullptr;
    std::uint16_t numLock = 0;
    std::uint16_t alt = XCB_MOD_MASK_1;
    std::uint16_t super = XCB_MOD_MASK_4;
    std::vector<Grab> grabs;

    ~Connection() {
        for (const Grab& g : grabs) {
            xcb_ungrab_key(c, g.code, root, g.modifiers);
        }
        if (symbols != nullptr) {
            xcb_key_symbols_free(symbols);
        }
        if (c != nullptr) {
            xcb_flush(c);
            xcb_disconnect(c);
        }
    }

    // Every keycode that makes `keysym` in the current keyboard map.
    std::vector<xcb_keycode_t> KeyCodes(xcb_keysym_t keysym) const {
        std::vector<xcb_keycode_t> codes;
        if (xcb_keycode_t* list = xcb_key_symbols_get_keycode(symbols, keysym)) {
            for (xcb_keycode_t* k = list; *k != XCB_NO_SYMBOL; ++k) {
                codes.push_back(*k);
            }
            std::free(list);
        }
        return codes;
    }

    // Which of Mod1..Mod5 the keys making each keysym sit on.
    void ReadModifierMap() {
        const xcb_get_modifier_mapping_cookie_t cookie = xcb_get_modifier_mapping(c);
        xcb_get_modifier_mapping_reply_t* reply =
            xcb_get_modifier_mapping_reply(c, cookie, nullptr);
        if (reply == nullptr) {
            return;
        }
        const xcb_keycode_t* map = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        const auto maskOf = [&](xcb_keysym_t keysym, std::uint16_t fallback) {
            const std::vector<xcb_keycode_t> codes = KeyCodes(keysym);
            for (int mod = 0; mod < 8; ++mod) {
                for (int i = 0; i < perModifier; ++i) {
                    const xcb_keycode_t k = map[mod * perModifier + i];
                    for (const xcb_keycode_t code : codes) {
                        if (k != 0 && k == code) {
                            return static_cast<std::uint16_t>(1u << mod);
                        }
                    }
                }
            }
            return fallback;
        };
        numLock = maskOf(XKB_KEY_Num_Lock, 0);
        alt = maskOf(XKB_KEY_Alt_L, XCB_MOD_MASK_1);
        super = maskOf(XKB_KEY_Super_L, XCB_MOD_MASK_4);
        std::free(reply);
    }

    std::uint16_t ModifierMask(HotKeyModifiers modifiers) const {
        const auto held = [&](HotKeyModifiers flag) {
            return (static_cast<unsigned>(modifiers) & static_cast<unsigned>(flag)) != 0;
        };
        std::uint16_t mask = 0;
        mask |= held(HotKeyModifiers::Shift) ? XCB_MOD_MASK_SHIFT : 0;
        mask |= held(HotKeyModifiers::Ctrl) ? XCB_MOD_MASK_CONTROL : 0;
        mask |= held(HotKeyModifiers::Alt) ? alt : 0;
        mask |= held(HotKeyModifiers::Windows) ? super : 0;
        return mask;
    }

    void Ungrab(int id) {
        std::erase_if(grabs, [&](const Grab& g) {
            if (g.id != id) {
                return false;
            }
            xcb_ungrab_key(c, g.code, root, g.modifiers);
            return true;
        });
        // A round trip: once it is answered the server has let the keys go, so
        // another program may take them at once.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
};

X11HotKeys::X11HotKeys(const std::string& display) {
    xcb_connection_t* c = xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr);
    if (xcb_connection_has_error(c) != 0) {
        xcb_disconnect(c);
        return;
    }
    x_ = std::make_unique<Connection>();
    x_->c = c;
    x_->root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    x_->symbols = xcb_key_symbols_alloc(c);
    x_->ReadModifierMap();
    notifier_ = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11HotKeys::ReadEvents);
}

X11HotKeys::~X11HotKeys() {
    delete notifier_;  // before its socket closes
}

bool X11HotKeys::RegisterHotKey(const HotKey& key) {
    if (!x_) {
        return false;
    }
    UnregisterHotKey(key.Id);
    const xcb_keysym_t keysym = KeysymOfVirtualKey(key.KeyCode);
    const std::vector<xcb_keycode_t> codes =
        keysym != 0 ? x_->KeyCodes(keysym) : std::vector<xcb_keycode_t>{};
    if (codes.empty()) {
        return false;
    }
    // The grab must hold whatever the lock keys are.
    const std::uint16_t base = x_->ModifierMask(key.Modifiers);
    const std::uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, x_->numLock,
                                   static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | x_->numLock)};
    std::vector<std::pair<Connection::Grab, xcb_void_cookie_t>> requests;
    for (const xcb_keycode_t code : codes) {
        for (const std::uint16_t lock : locks) {
            const auto modifiers = static_cast<std::uint16_t>(base | lock);
            const bool repeated = std::any_of(requests.begin(), requests.end(), [&](const auto& r) {
                return r.first.code == code && r.first.modifiers == modifiers;
            });
            if (!repeated) {
                requests.push_back(
                    {{key.Id, code, modifiers},
                     xcb_grab_key_checked(x_->c, 1, x_->root, modifiers, code, XCB_GRAB_MODE_ASYNC,
                                          XCB_GRAB_MODE_ASYNC)});
            }
        }
    }
    bool held = true;
    for (auto& [grab, cookie] : requests) {
        if (xcb_generic_error_t* error = xcb_request_check(x_->c, cookie)) {
            held = false;  // BadAccess: another client grabbed it first
            std::free(error);
        } else {
            x_->grabs.push_back(grab);
        }
    }
    if (!held) {
        x_->Ungrab(key.Id);
    }
    // Waiting for the answers may have queued events the notifier will not report.
    QTimer::singleShot(0, this, &X11HotKeys::ReadEvents);
    return held;
}

void X11HotKeys::UnregisterHotKey(int id) {
    if (x_) {
        x_->Ungrab(id);
    }
}

std::string X11HotKeys::KeyName(unsigned keyCode) {
    return X11KeyName(keyCode);
}

void X11HotKeys::ReadEvents() {
    if (!x_) {
        return;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(x_->c)) {
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_KEY_PRESS) {
            const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
            const auto modifiers = static_cast<std::uint16_t>(
                press->state & ~(XCB_MOD_MASK_LOCK | x_->numLock) & 0xff);
            for (const Connection::Grab& g : x_->grabs) {
                if (g.code == press->detail && g.modifiers == modifiers) {
                    if (OnHotKey) {
                        OnHotKey(g.id);
                    }
                    break;
                }
            }
        } else if (type == XCB_MAPPING_NOTIFY) {
            xcb_refresh_keyboard_mapping(x_->symbols,
                                         reinterpret_cast<xcb_mapping_notify_event_t*>(event));
        }
        std::free(event);
    }
    if (xcb_connection_has_error(x_->c) != 0) {
        notifier_->setEnabled(false);  // the X server went away
    }
}

}  // namespace mirvo
