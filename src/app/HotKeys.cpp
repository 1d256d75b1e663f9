#include "app/HotKeys.h"

#include "player/Player.h"
#include "support/IniFile.h"

namespace mirvo {
namespace {

constexpr const char* kSection = "Global hotkeys";

bool Holds(HotKeyModifiers set, HotKeyModifiers flag) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(flag)) != 0;
}

bool IsModifierKey(unsigned keyCode) {
    return keyCode == 16 || keyCode == 17 || keyCode == 18 || keyCode == 91 || keyCode == 92;
}

const char* FixedKeyName(unsigned keyCode) {
    switch (keyCode) {
        case 19:
            return "Pause";
        case 33:
            return "Page Up";
        case 34:
            return "Page Down";
        case 35:
            return "End";
        case 36:
            return "Home";
        case 45:
            return "Insert";
        case 46:
            return "Delete";
        case 144:
            return "Num Lock";
        case 170:
            return "Media key: BrowserSearch";
        case 171:
            return "Media key: BrowserFavorites";
        case 172:
            return "Media key: BrowserHome";
        case 173:
            return "Media key: Mute/Unmute";
        case 174:
            return "Media key: Volume Down";
        case 175:
            return "Media key: Volume Up";
        case 176:
            return "Media key: Next";
        case 177:
            return "Media key: Previous";
        case 178:
            return "Media key: Stop";
        case 179:
            return "Media key: Play/Pause";
        case 255:
            return "Key 255";
        default:
            return nullptr;
    }
}

// The stored form "WCAS-" without the key code.
std::string ModifierPart(HotKeyModifiers modifiers) {
    using enum HotKeyModifiers;
    std::string value;
    for (const HotKeyModifiers flag : {Windows, Ctrl, Alt, Shift}) {
        value += Holds(modifiers, flag) ? '1' : '0';
    }
    return value + "-";
}

std::string StoredValue(const IniFile& ini, int id) {
    return ini.ReadString(kSection, std::to_string(id), "");
}

}  // namespace

const char* const kHotKeyFunctions[kHotKeyFunctionCount] = {"Play",
                                                            "Play/Pause",
                                                            "Stop",
                                                            "Next track",
                                                            "Previous track",
                                                            "Volume up",
                                                            "Volume down",
                                                            "Soft mute",
                                                            "Focus Mirvo",
                                                            "Exit Mirvo",
                                                            "Find box",
                                                            "Open dir box",
                                                            "Copy playing title"};

std::string KeyDisplayName(HotKeyModifiers modifiers, unsigned keyCode, HotKeyRegistrar& names) {
    using enum HotKeyModifiers;
    std::string text;
    static constexpr std::pair<HotKeyModifiers, const char*> kWords[] = {
        {Windows, "Winkey + "}, {Ctrl, "Ctrl + "}, {Alt, "Alt + "}, {Shift, "Shift + "}};
    for (const auto& [flag, word] : kWords) {
        if (Holds(modifiers, flag)) {
            text += word;
        }
    }
    if (IsModifierKey(keyCode)) {
        return text;
    }
    const char* fixed = FixedKeyName(keyCode);
    return text + (fixed ? std::string(fixed) : names.KeyName(keyCode));
}

HotKeyStore::HotKeyStore(Player& player)
    : settings(player.settings), registrar(player.ui.hotKeys), dialogs(player.ui.dialogs) {}

void RegisterAllHotKeys(const HotKeyStore& keys, bool report) {
    const IniFile ini = IniFile::Load(keys.settings.Path());
    for (int id = 0; id < kHotKeyFunctionCount; ++id) {
        const auto key = DecodeHotKey(id, StoredValue(ini, id));
        if (key && !keys.registrar.RegisterHotKey(*key) && report) {
            keys.dialogs.ShowNotice(NoticeKind::Error,
                                    std::string("Can't register global hotkey ") +
                                        kHotKeyFunctions[id] +
                                        ".\rDisable other global key binding software.");
        }
    }
}

void UnregisterAllHotKeys(const HotKeyStore& keys) {
    for (int id = 0; id < kHotKeyFunctionCount; ++id) {
        keys.registrar.UnregisterHotKey(id);
    }
}

std::vector<std::string> HotKeyListRows(const HotKeyStore& keys) {
    const IniFile ini = IniFile::Load(keys.settings.Path());
    std::vector<std::string> rows;
    for (int id = 0; id < kHotKeyFunctionCount; ++id) {
        std::string row = kHotKeyFunctions[id];
        if (const auto key = DecodeHotKey(id, StoredValue(ini, id))) {
            row += "\t " + KeyDisplayName(key->Modifiers, key->KeyCode, keys.registrar);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string StoredHotKeyName(const HotKeyStore& keys, int row) {
    const auto key = DecodeHotKey(row, keys.settings.ReadString(kSection, std::to_string(row), ""));
    return key ? KeyDisplayName(key->Modifiers, key->KeyCode, keys.registrar) : std::string();
}

std::string HotKeyCapture::KeyDown(unsigned keyCode, HotKeyModifiers held, HotKeyRegistrar& names) {
    Modifiers = HotKeyModifiers::None;
    KeyCode = 0;
    if ((keyCode == 8 || keyCode == 46) && held == HotKeyModifiers::None) {
        return {};
    }
    Modifiers = held;
    KeyCode = keyCode;
    return KeyDisplayName(Modifiers, KeyCode, names);
}

void SetHotKey(const HotKeyStore& keys, int row, const HotKeyCapture& captured) {
    if (row < 0 || row >= kHotKeyFunctionCount || IsModifierKey(captured.KeyCode)) {
        return;
    }
    const std::string value = ModifierPart(captured.Modifiers) + std::to_string(captured.KeyCode);
    keys.settings.Update([&](IniFile& ini) {
        if (captured.KeyCode == 0) {
            ini.EraseKey(kSection, std::to_string(row));
            return;
        }
        for (int id = 0; id < kHotKeyFunctionCount; ++id) {
            if (id != row && StoredValue(ini, id) == value) {
                ini.WriteString(kSection, std::to_string(id), "");
            }
        }
        ini.WriteString(kSection, std::to_string(row), value);
    });
}

}  // namespace mirvo
