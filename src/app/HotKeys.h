#pragma once
// Global hot keys: registering the stored bindings, their names, and the rules
// of the settings page that edits them (capture field, list, "Set").
#include <string>
#include <vector>

#include "player/Interfaces.h"
#include "player/Settings.h"

namespace mirvo {

struct Player;

// The stored bindings, the desktop that takes them, and where failures show.
struct HotKeyStore {
    HotKeyStore(Player& player);
    Settings& settings;
    HotKeyRegistrar& registrar;
    Dialogs& dialogs;
};

inline constexpr int kHotKeyFunctionCount = 13;
// The functions' list texts; the index is the function number and hot-key id.
extern const char* const kHotKeyFunctions[kHotKeyFunctionCount];

// The modifier words held ("Winkey + Ctrl + "), then the key's name.
std::string KeyDisplayName(HotKeyModifiers modifiers, unsigned keyCode, HotKeyRegistrar& names);

// Registers every stored binding; with `report`, each one that fails is shown.
void RegisterAllHotKeys(const HotKeyStore& keys, bool report);
void UnregisterAllHotKeys(const HotKeyStore& keys);

// One row per function: its text, and the stored binding's name after a tab.
std::vector<std::string> HotKeyListRows(const HotKeyStore& keys);
// What the capture field shows when a row is selected; empty without a binding.
std::string StoredHotKeyName(const HotKeyStore& keys, int row);

// The combination the capture field holds.
struct HotKeyCapture {
    HotKeyModifiers Modifiers = HotKeyModifiers::None;
    unsigned KeyCode = 0;

    // A key pressed in the field (the Windows key counts as held while either
    // one is down); returns the field's new text.
    std::string KeyDown(unsigned keyCode, HotKeyModifiers held, HotKeyRegistrar& names);
};

// "Set": binds the captured combination to `row` and to no other function, or
// removes the row's binding when the capture was cleared. A modifier alone
// stores nothing; without a selected row nothing happens.
void SetHotKey(const HotKeyStore& keys, int row, const HotKeyCapture& captured);

}  // namespace mirvo
