#include "tags/ID3v1.h"

#include <gtest/gtest.h>

#include "tags/TagFixtures.h"
#include "tags/TagTestSupport.h"

using mirvo::GenreNames;
using mirvo::TID3v1;
using namespace tagfixtures;
using tagtest::Span;

namespace {

std::string Audio() {
    return std::string(1000, '\x55');
}

// A tag whose bytes 125 and 126 are set after the comment.
std::string TagWith(char b125, char b126, std::uint8_t genre = 17) {
    std::string tag = Id3v1("Title  ", "Artist", "Album", "1999", "Comment", genre);
    tag[125] = b125;
    tag[126] = b126;
    return tag;
}

}  // namespace

TEST(ID3v1, VersionTestDecidesCommentLengthAndTrack) {
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromBuffer(Span(Audio() + TagWith('\0', 5))));
    EXPECT_TRUE(tag.Exists());
    EXPECT_EQ(tag.VersionID(), 2);
    EXPECT_EQ(tag.Track(), 5);
    EXPECT_EQ(tag.TrackText(), "5");
    EXPECT_EQ(tag.Title(), "Title");
    EXPECT_EQ(tag.Comment(), "Comment");

    ASSERT_TRUE(tag.ReadFromBuffer(Span(Audio() + TagWith('\0', '\0'))));
    EXPECT_EQ(tag.VersionID(), 1);
    EXPECT_EQ(tag.Track(), 0);
    EXPECT_EQ(tag.TrackText(), "");

    ASSERT_TRUE(tag.ReadFromBuffer(Span(Audio() + TagWith(' ', '7'))));
    EXPECT_EQ(tag.VersionID(), 2);
    EXPECT_EQ(tag.Track(), 55);

    // A 30-byte ID3v1.0 comment keeps its last two characters.
    std::string full = Id3v1("T", "A", "B", "2000", std::string(29, 'c') + "d", 0);
    ASSERT_TRUE(tag.ReadFromBuffer(Span(full)));
    EXPECT_EQ(tag.VersionID(), 1);
    EXPECT_EQ(tag.Comment(), std::string(29, 'c') + "d");
}

TEST(ID3v1, FieldsAreLatin1TakenWhole) {
    using namespace std::string_literals;
    std::string tag = Id3v1("Caf\xE9", "A\0B"s, "Album", "99", "", 255);
    TID3v1 v1;
    ASSERT_TRUE(v1.ReadFromBuffer(Span(tag)));
    EXPECT_EQ(v1.Title(), "Caf\u00E9");
    EXPECT_EQ(v1.Artist(), std::string("A\0B", 3));
    EXPECT_EQ(v1.Year(), "99");
    EXPECT_EQ(v1.Genre(), "");
}

TEST(ID3v1, GenreTable) {
    ASSERT_EQ(GenreNames.size(), 148u);
    const std::pair<int, const char*> spots[] = {
        {0, "Blues"},         {12, "Other"},     {17, "Rock"},  {40, "AlternRock"},
        {67, "Psychadelic"},  {79, "Hard Rock"}, {80, "Folk"},  {123, "A capella"},
        {127, "Drum & Bass"}, {132, "BritPop"},  {146, "JPop"}, {147, "Synthpop"}};
    for (auto [index, name] : spots) {
        EXPECT_EQ(GenreNames[index], name) << index;
    }
    TID3v1 tag;
    for (auto [genre, name] :
         {std::pair<int, const char*>{147, "Synthpop"}, {148, ""}, {255, ""}}) {
        ASSERT_TRUE(tag.ReadFromBuffer(Span(TagWith('\0', 1, static_cast<std::uint8_t>(genre)))));
        EXPECT_EQ(tag.GenreID(), genre);
        EXPECT_EQ(tag.Genre(), name);
    }
}

TEST(ID3v1, Lyrics3FieldsReplaceAndNormalise) {
    std::string longTitle(60, 'T');
    std::string block = Lyrics3({{"IND", "11"},
                                 {"ETT", "  " + longTitle + " "},
                                 {"EAR", "Long Artist"},
                                 {"EAL", "Long Album"},
                                 {"INF", "Info \xE9"},
                                 {"AUT", " Author "},
                                 {"IMG", " cover.jpg||\r\n"},
                                 {"LYR", "\r\none\rtwo\r\nthree\nfour \n"}});
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromBuffer(Span(Audio() + block + TagWith('\0', 1))));
    EXPECT_TRUE(tag.LyricsExists());
    EXPECT_EQ(tag.LyricsSize(), static_cast<std::int32_t>(block.size() - 15));
    EXPECT_EQ(tag.Title(), longTitle);
    EXPECT_EQ(tag.Artist(), "Long Artist");
    EXPECT_EQ(tag.Album(), "Long Album");
    EXPECT_EQ(tag.Comment(), "Info \u00E9");
    EXPECT_EQ(tag.Author(), "Author");
    EXPECT_EQ(tag.ImageLink(), " cover.jpg||\r\n");
    EXPECT_EQ(tag.Lyrics(), "one\r\ntwo\r\nthree\nfour");

    // Without a TAG block the footer is looked for right at the end.
    ASSERT_TRUE(tag.ReadFromBuffer(Span(Audio() + block)));
    EXPECT_FALSE(tag.Exists());
    EXPECT_TRUE(tag.LyricsExists());
    EXPECT_EQ(tag.Title(), longTitle);
}

TEST(ID3v1, Lyrics3WalkStopsAtUnknownOrBadField) {
    TID3v1 tag;
    std::string block = Lyrics3({{"ETT", "First"}, {"XYZ", "odd"}, {"EAR", "Never"}});
    ASSERT_TRUE(tag.ReadFromBuffer(Span(Audio() + block + TagWith('\0', 1))));
    EXPECT_EQ(tag.Title(), "First");
    EXPECT_EQ(tag.Artist(), "Artist");

    // A field length running past the block would read the footer and the tag.
    block = Lyrics3({{"ETT", "First"}, {"EAR", "Next"}});
    block.replace(block.find("EAR") + 3, 5, "00200");
    ASSERT_TRUE(tag.ReadFromBuffer(Span(Audio() + block + TagWith('\0', 1))));
    EXPECT_EQ(tag.Title(), "First");
    EXPECT_EQ(tag.Artist(), "Artist");
}

TEST(ID3v1, BadLyrics3SizesMeanNoBlock) {
    tagtest::ResetAllocationStats();
    std::string block = Lyrics3({{"ETT", "Lyrics title"}});
    TID3v1 tag;
    for (std::string size : {"999999", "000000", "12x456", "000030"}) {
        std::string bad = block;
        bad.replace(bad.size() - 15, 6, size);
        ASSERT_TRUE(tag.ReadFromBuffer(Span(bad + TagWith('\0', 1)))) << size;
        EXPECT_FALSE(tag.LyricsExists()) << size;
        EXPECT_EQ(tag.LyricsSize(), 0) << size;
        EXPECT_EQ(tag.Title(), "Title") << size;
    }
    EXPECT_LT(tagtest::CurrentAllocationStats().largest, 1u << 20);
}

TEST(ID3v1, ShortAndMissingFiles) {
    TID3v1 tag;
    EXPECT_TRUE(tag.ReadFromBuffer(Span("TAG short")));
    EXPECT_FALSE(tag.Exists());
    EXPECT_FALSE(tag.ReadFromFile("/nonexistent/mirvo/file.mp3"));
    EXPECT_FALSE(tag.Exists());
}

TEST(ID3v1, EveryTruncationReadsCleanly) {
    std::string file =
        Audio() + Lyrics3({{"ETT", "Lyrics title"}, {"LYR", "la\rla"}}) + TagWith('\0', 3);
    TID3v1 tag;
    for (std::size_t n = 0; n <= file.size(); ++n) {
        std::string cut = file.substr(0, n);
        ASSERT_TRUE(tag.ReadFromBuffer(Span(cut)));
        EXPECT_EQ(tag.Exists(), n == file.size());
        EXPECT_LE(tag.Lyrics().size(), 6u);
    }
}

TEST(ID3v1, FileReadsMatchBufferReads) {
    // Long fields are read past the file reader's small window; short ones from it.
    std::string lyrics;
    for (int i = 0; i < 2000; ++i) {
        lyrics += "line " + std::to_string(i) + "\r";
    }
    std::string file = std::string(20000, '\x55') +
                       Lyrics3({{"LYR", lyrics}, {"ETT", "Window title"}}) + TagWith('\0', 9);
    tagtest::TempDir dir;
    WriteFile(dir / "long.mp3", file);
    TID3v1 fromFile;
    TID3v1 fromBuffer;
    ASSERT_TRUE(fromFile.ReadFromFile(dir / "long.mp3"));
    ASSERT_TRUE(fromBuffer.ReadFromBuffer(Span(file)));
    EXPECT_EQ(fromFile.Lyrics(), fromBuffer.Lyrics());
    EXPECT_EQ(fromFile.Lyrics().size(), lyrics.size() + 1998);  // the last "\r" is trimmed
    EXPECT_EQ(fromFile.Title(), "Window title");
    EXPECT_EQ(fromFile.Track(), 9);
}
