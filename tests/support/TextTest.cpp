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

}  // namespace
}  // namespace mirvo
