#pragma once
// Colour scheme files (".mirvoscheme"): INI text with one section "Style".
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mirvo {

// A colour as the program keeps it: red in the low byte, blue in the high one.
using Colour = std::uint32_t;

constexpr Colour MakeColour(unsigned red, unsigned green, unsigned blue) {
    return (red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16);
}
constexpr unsigned RedOf(Colour c) {
    return c & 0xFF;
}
constexpr unsigned GreenOf(Colour c) {
    return (c >> 8) & 0xFF;
}
constexpr unsigned BlueOf(Colour c) {
    return (c >> 16) & 0xFF;
}

inline constexpr Colour kQueuedOrange = MakeColour(0xFF, 0x6F, 0x28);
inline constexpr Colour kStreamGreen = MakeColour(0x00, 0x80, 0x00);

// The look of the list: what a scheme sets.
struct SchemeValues {
    Colour Background = 0;
    std::string FontName = "Tahoma";
    int FontSize = 8;
    bool FontBold = false;
    Colour FontColor = 0;
    Colour FontColorSelected = 0;
    Colour SelectionColor = 0;
    Colour SelectionColorPlayingItem = 0;
    Colour PlayingItemColor = 0;
    Colour PlayingItemColorSelected = 0;
    bool PlayingItemBold = true;
    Colour QueuedItemColor = kQueuedOrange;
    Colour ShuffledItemColor = 0;
    bool operator==(const SchemeValues&) const = default;
};

// The system colours a missing key falls back to.
struct SystemColours {
    Colour Window = MakeColour(0xFF, 0xFF, 0xFF);
    Colour WindowText = 0;
    Colour Highlight = MakeColour(0x00, 0x78, 0xD7);
    Colour HighlightText = MakeColour(0xFF, 0xFF, 0xFF);
    Colour ButtonShadow = MakeColour(0xA0, 0xA0, 0xA0);
};

// "#RRGGBB" or "RRGGBB" (up to eight hexadecimal digits); nothing when malformed.
std::optional<Colour> ParseColour(std::string_view text);

struct SchemeParse {
    SchemeValues Values;
    // Set when a colour could not be read; the keys from there on keep the
    // values they had before.
    std::optional<std::string> Error;
};

// Reads the keys in their fixed order over `current`, missing ones from `system`.
SchemeParse ParseScheme(std::string_view text, const SchemeValues& current,
                        const SystemColours& system);

// The two built-in looks; 0 "Windows default", 1 the special one. Entries the
// look leaves unchanged come from `current`.
SchemeValues BuiltinScheme(int n, const SchemeValues& current, const SystemColours& system,
                           const std::string& windowFontName);

}  // namespace mirvo
