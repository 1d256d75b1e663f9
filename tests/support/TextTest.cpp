#include "support/Text.h"

#include <gtest/gtest.h>

namespace mirvo {
namespace {

TEST(Text, CaseFoldsAsciiLettersOnly) {
    EXPECT_EQ(LowerAscii("MiXed Ä \xC3\x84 [Z]@"), "mixed Ä \xC3\x84 [z]@");
    EXPECT_TRUE(EqualsNoCase("StreamTitle", "streamtitle"));
    EXPECT_FALSE(EqualsNoCase("StreamTitle", "streamtitl"));
    EXPECT_FALSE(EqualsNoCase("\xC3\x84", "\xC3\xA4"));  // Ä and ä stay apart
    EXPECT_FALSE(EqualsNoCase("[", "{"));                // not letters, though 32 apart
    EXPECT_TRUE(EqualsNoCase("", ""));
}

TEST(Text, PrefixAndContainment) {
    EXPECT_TRUE(StartsWithNoCase("#EXTM3U", "#extm"));
    EXPECT_FALSE(StartsWithNoCase("#EXT", "#extm3u"));
    EXPECT_TRUE(StartsWithNoCase("anything", ""));
    EXPECT_TRUE(ContainsNoCase("  <REF href=", "<ref"));
    EXPECT_TRUE(ContainsNoCase("File1=x", "file"));
    EXPECT_FALSE(ContainsNoCase("Fil", "file"));
    EXPECT_TRUE(ContainsNoCase("", ""));
    EXPECT_FALSE(ContainsNoCase("", "a"));
}

TEST(Text, TrimDropsOnlyTheGivenBytesAndOnlyAtTheEnds) {
    EXPECT_EQ(Trim(" \t a  b \r", " \t\r"), "a  b");
    EXPECT_EQ(Trim("\n a \n", " "), "\n a \n");  // not one of the blanks
    EXPECT_EQ(Trim("x", " "), "x");
    EXPECT_EQ(Trim("   ", " "), "");
    EXPECT_EQ(Trim("", " "), "");
    EXPECT_EQ(Trim(" \xC2\xA0 ", " "), "\xC2\xA0");  // a no-break space is text
    const std::string withZero("\0ab\0", 4);
    EXPECT_EQ(Trim(withZero, std::string_view("\0", 1)), "ab");
    EXPECT_EQ(Trim(withZero, " "), withZero);
}

}  // namespace
}  // namespace mirvo
