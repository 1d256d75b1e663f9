// Any bytes as a colour scheme file: a colour read back from its "#RRGGBB"
// form is the same colour, and a scheme read without error sets every value,
// whatever the look was before.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "FuzzRequire.h"
#include "playlist/SchemeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirvo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto colour = ParseColour(text)) {
        char again[8];
        std::snprintf(again, sizeof again, "#%02X%02X%02X", RedOf(*colour), GreenOf(*colour),
                      BlueOf(*colour));
        Require(ParseColour(again) == colour);
    }
    SchemeValues other;
    other.FontName = "Other";
    other.FontSize = 99;
    other.FontBold = true;
    other.PlayingItemBold = false;
    other.Background = other.FontColor = other.QueuedItemColor = MakeColour(1, 2, 3);
    const SchemeParse first = ParseScheme(text, SchemeValues{}, SystemColours{});
    const SchemeParse second = ParseScheme(text, other, SystemColours{});
    Require(first.Error == second.Error);
    if (!first.Error) {
        Require(first.Values == second.Values);
    }
    return 0;
}
