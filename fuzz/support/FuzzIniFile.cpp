// Any bytes as a settings file: parsing, reading every kind of value, writing
// and re-parsing must neither crash nor lose what was written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "player/Settings.h"
#include "support/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    mirvo::IniFile ini(text);
    ini.ReadInteger("General", "Volume", 0);
    ini.ReadBool("Window", "Maximized", false);
    for (int i = 0; i < 13; ++i) {
        mirvo::DecodeHotKey(i, ini.ReadString("Global hotkeys", std::to_string(i), ""));
    }
    mirvo::ReadMusicFolders(ini);
    ini.WriteInteger("General", "Volume", 7);
    ini.EraseSection("Root media");
    const mirvo::IniFile again(ini.Text());
    if (again.ReadInteger("General", "Volume", 0) != 7) {
        __builtin_trap();
    }
    return 0;
}
