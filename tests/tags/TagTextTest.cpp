#include "tags/TagText.h"

#include <gtest/gtest.h>

using namespace mirvo::tagtext;
using namespace std::string_literals;

TEST(TagText, Latin1BecomesUtf8) {
    EXPECT_EQ(Latin1ToUtf8("Caf\xE9 \xFF\x80"), "Caf\u00E9 \u00FF\u0080");
    EXPECT_EQ(Latin1ToUtf8("a\0b"s), "a\0b"s);
}

TEST(TagText, Utf16HonoursMarksAndPairs) {
    // "Aÿ😀" with a little-endian mark; ÿ (U+00FF) has 0xFF as its low byte and is kept.
    EXPECT_EQ(Utf16ToUtf8("\xFF\xFE"
                          "A\0\xFF\0\x3D\xD8\x00\xDE"s,
                          ByteOrder::LittleEndian),
              "A\u00FF\U0001F600");
    EXPECT_EQ(Utf16ToUtf8("\xFE\xFF\0A\0\xE9"s, ByteOrder::LittleEndian), "A\u00E9");
    EXPECT_EQ(Utf16ToUtf8("\0A\0B"s, ByteOrder::BigEndian), "AB");
    // Stops at the first zero unit and at a lone trailing byte.
    EXPECT_EQ(Utf16ToUtf8("A\0\0\0B\0"s, ByteOrder::LittleEndian), "A");
    EXPECT_EQ(Utf16ToUtf8("A\0B"s, ByteOrder::LittleEndian), "A");
    // Unpaired surrogates.
    EXPECT_EQ(Utf16ToUtf8("\x3D\xD8"
                          "A\0\x00\xDE"s,
                          ByteOrder::LittleEndian),
              "\uFFFDA\uFFFD");
}

TEST(TagText, Utf8PrefixStopsAtFirstMalformedSequence) {
    EXPECT_EQ(Utf8ValidPrefix("a\u00E9\u20AC\U0001F600"), "a\u00E9\u20AC\U0001F600");
    EXPECT_EQ(Utf8ValidPrefix("ab\xC3"), "ab");              // cut
    EXPECT_EQ(Utf8ValidPrefix("ab\xC3(cd"), "ab");           // bad continuation
    EXPECT_EQ(Utf8ValidPrefix("ab\xC0\x80"), "ab");          // overlong
    EXPECT_EQ(Utf8ValidPrefix("ab\xED\xA0\x80"), "ab");      // surrogate
    EXPECT_EQ(Utf8ValidPrefix("ab\xF4\x90\x80\x80"), "ab");  // past U+10FFFF
    EXPECT_EQ(Utf8ValidPrefix("\x80z"), "");
}

TEST(TagText, TrimAndNumbers) {
    EXPECT_EQ(TrimControls(" \t\0x y\r\n\0"s), "x y");
    EXPECT_EQ(TrimTrailingControls("  x \0"s), "  x");
    EXPECT_EQ(ParseDecimal("00123", 99999), 123u);
    EXPECT_EQ(ParseDecimal("12a", 99999), std::nullopt);
    EXPECT_EQ(ParseDecimal("", 99999), std::nullopt);
    EXPECT_EQ(ParseDecimal("65536", 65535), std::nullopt);
    EXPECT_EQ(FirstCharacters("\u00E9t\u00E9 2004", 3), "\u00E9t\u00E9");
    EXPECT_EQ(AsciiUpper("title\u00E9"), "TITLE\u00E9");
}
