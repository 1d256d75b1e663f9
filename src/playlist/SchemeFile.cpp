#include "playlist/SchemeFile.h"

#include "support/IniFile.h"

namespace mirvo {

std::optional<Colour> ParseColour(std::string_view text) {
    if (text.starts_with('#')) {
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t v = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        v = (v << 4) | digit;
    }
    return MakeColour((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

SchemeParse ParseScheme(std::string_view text, const SchemeValues& current,
                        const SystemColours& system) {
    const IniFile ini(text);
    SchemeParse result{current, std::nullopt};
    SchemeValues& v = result.Values;
    // Each colour key in file order; a malformed one stops the rest.
    auto colour = [&](const char* key, Colour& into, Colour fallback) {
        if (result.Error) {
            return;
        }
        const auto value = ini.Get("Style", key);
        if (!value) {
            into = fallback;
            return;
        }
        const auto parsed = ParseColour(*value);
        if (!parsed) {
            result.Error = "'" + *value + "' is not a valid colour value (" + key + ").";
            return;
        }
        into = *parsed;
    };
    auto other = [&](auto&& apply) {
        if (!result.Error) {
            apply();
        }
    };
    colour("background_color", v.Background, system.Window);
    other([&] { v.FontName = ini.ReadString("Style", "font_name", "Tahoma"); });
    other([&] { v.FontSize = ini.ReadInteger("Style", "font_size", 8); });
    other([&] { v.FontBold = ini.ReadBool("Style", "font_bold", false); });
    colour("font_color", v.FontColor, system.WindowText);
    colour("font_color_selected", v.FontColorSelected, system.HighlightText);
    colour("selection_color", v.SelectionColor, system.Highlight);
    colour("selection_color_playingitem", v.SelectionColorPlayingItem, system.Highlight);
    colour("playingitem_color", v.PlayingItemColor, system.WindowText);
    colour("playingitem_color_selected", v.PlayingItemColorSelected, v.FontColorSelected);
    other([&] { v.PlayingItemBold = ini.ReadBool("Style", "playingitem_bold", true); });
    colour("queueditem_color", v.QueuedItemColor, kQueuedOrange);
    colour("shuffleditem_color", v.ShuffledItemColor, system.ButtonShadow);
    return result;
}

SchemeValues BuiltinScheme(int n, const SchemeValues& current, const SystemColours& system,
                           const std::string& windowFontName) {
    SchemeValues v = current;
    if (n == 1) {
        v.Background = MakeColour(0xFD, 0x02, 0x47);
        v.FontSize = 14;
        v.FontBold = false;
        v.FontColor = MakeColour(0xFF, 0xFF, 0xFF);
        v.FontColorSelected = MakeColour(0xFF, 0xFF, 0xFF);
        v.SelectionColor = MakeColour(0x80, 0x00, 0x40);
        v.SelectionColorPlayingItem = v.SelectionColor;
        v.PlayingItemColor = MakeColour(0xFF, 0x80, 0xFF);
        v.PlayingItemColorSelected = MakeColour(0xFF, 0xFF, 0xFF);
        v.PlayingItemBold = true;
        v.QueuedItemColor = MakeColour(0xFF, 0x80, 0xC0);
        v.ShuffledItemColor = system.ButtonShadow;
        return v;
    }
    v.Background = system.Window;
    v.FontName = windowFontName;
    v.FontSize = 8;
    v.FontBold = false;
    v.FontColor = system.WindowText;
    v.FontColorSelected = system.HighlightText;
    v.SelectionColor = system.Highlight;
    v.SelectionColorPlayingItem = system.Highlight;
    v.PlayingItemColor = v.FontColor;
    v.PlayingItemColorSelected = v.FontColorSelected;
    v.PlayingItemBold = true;
    v.QueuedItemColor = kQueuedOrange;
    v.ShuffledItemColor = system.ButtonShadow;
    return v;
}

}  // namespace mirvo
