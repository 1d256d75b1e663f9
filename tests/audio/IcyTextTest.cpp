// The station texts: which bytes are UTF-8, the Windows-1252 reading of the
// rest, and the first address of playlist answers.
#include <gtest/gtest.h>

#include "audio/IcyText.h"

namespace {

using audio::detail::IsUtf8;
using audio::detail::PlaylistAddress;
using audio::detail::ToUtf8;

TEST(IcyTextTest, TellsUtf8FromOtherBytes) {
    EXPECT_TRUE(IsUtf8("plain ascii"));
    EXPECT_TRUE(IsUtf8("\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb5"));
    EXPECT_FALSE(IsUtf8("caf\xe9"));
    EXPECT_FALSE(IsUtf8("\xc3"));              // cut short at the end
    EXPECT_FALSE(IsUtf8("\xe2\x82"));          // likewise
    EXPECT_FALSE(IsUtf8("\xc0\xaf"));          // overlong
    EXPECT_FALSE(IsUtf8("\xed\xa0\x80"));      // a surrogate
    EXPECT_FALSE(IsUtf8("\xf4\x90\x80\x80"));  // past U+10FFFF
}

TEST(IcyTextTest, ReadsOtherBytesAsWindows1252) {
    EXPECT_EQ(ToUtf8("M\xfcller \x80 \x96 \x9f"),
              "M\xc3\xbcller \xe2\x82\xac \xe2\x80\x93 \xc5\xb8");
    EXPECT_EQ(ToUtf8("hole \x81"), "hole \xef\xbf\xbd");
    EXPECT_EQ(ToUtf8("\xc3\xa9t\xc3\xa9"), "\xc3\xa9t\xc3\xa9");
}

TEST(IcyTextTest, FindsTheFirstAddressOfAPlaylist) {
    EXPECT_EQ(PlaylistAddress("[playlist]\nNumberOfEntries=2\nFile1=http://a/1\nFile2=http://b/2\n",
                              false),
              "http://a/1");
    EXPECT_EQ(PlaylistAddress("[Playlist]\r\nfile1 = https://a:8000/x \r\n", false),
              "https://a:8000/x");
    EXPECT_EQ(PlaylistAddress("#EXTM3U\n#EXTINF:-1,X\nhttp://a/s\nhttp://b/s\n", false),
              "http://a/s");
    EXPECT_EQ(PlaylistAddress("#EXTM3U\nrelative/s.mp3\n", false), "relative/s.mp3");
    EXPECT_EQ(PlaylistAddress("/s.mp3\n", true), "/s.mp3");
    EXPECT_FALSE(PlaylistAddress("/s.mp3\n", false));
    EXPECT_FALSE(PlaylistAddress("[playlist]\nNumberOfEntries=0\n", true));
    EXPECT_FALSE(PlaylistAddress("Server is full\n", false));
    EXPECT_FALSE(PlaylistAddress("", true));
}

}  // namespace
