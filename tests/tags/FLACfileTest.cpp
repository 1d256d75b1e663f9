#include "tags/FLACfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tags/TagFixtures.h"
#include "tags/TagTestSupport.h"

using mirvo::TFLACfile;
using namespace tagfixtures;
using tagtest::Span;

namespace {

const std::string kFrames(500, '\xF8');

std::string CommentBlock(const std::vector<std::string>& comments, bool last = true) {
    return FlacBlock(4, VorbisComments("reference libFLAC 1.4.2 20221022", comments), last);
}

}  // namespace

TEST(FLACfile, DurationAndBitrateOfTheExample) {
    tagtest::TempDir dir;
    std::string name = dir / "example.flac";
    // STREAMINFO, then padding up to offset 8192, then a sparse 25 000 000-byte file.
    std::string head =
        Flac(44100, 2, 16, 10584000, FlacBlock(1, std::string(8192 - 46, '\0'), true));
    ASSERT_EQ(head.size(), 8192u);
    WriteFile(name, head);
    ASSERT_EQ(truncate(name.c_str(), 25000000), 0);

    TFLACfile flac;
    ASSERT_TRUE(flac.ReadFromFile(name));
    EXPECT_EQ(flac.FileName(), name);
    EXPECT_EQ(flac.SampleRate(), 44100);
    EXPECT_EQ(flac.Channels(), 2);
    EXPECT_EQ(flac.BitsPerSample(), 16);
    EXPECT_EQ(flac.Samples(), 10584000);
    EXPECT_DOUBLE_EQ(flac.Duration(), 240.0);
    EXPECT_EQ(flac.AudioOffset(), 8192);
    EXPECT_EQ(flac.Bitrate(), 833);
    EXPECT_EQ(flac.PaddingIndex(), 1);
    EXPECT_EQ(flac.PaddingSize(), 8192 - 46);
    EXPECT_TRUE(flac.PaddingLast());
    EXPECT_FALSE(flac.PaddingFragments());
    EXPECT_FALSE(flac.Exists());

    EXPECT_FALSE(flac.ReadFromFile(dir / "missing.flac"));
    EXPECT_EQ(flac.FileName(), "");
}

TEST(FLACfile, CommentRules) {
    std::string blocks =
        FlacBlock(1, std::string(10, '\0'), false) +
        CommentBlock(
            {"title=Lower", "ARTIST=", "ARTIST=Second", "ARTIST=Third", "BPM=120", "no equals sign",
             "COMMENT=Caf\xC3\xA9 \xF0\x9F\x98\x80 ", "TONES=Major", "MUSICBRAINZ_TRACKID=abc",
             "REPLAYGAIN_TRACK_GAIN=-6.5 dB", "LYRICS=la\xC3(la", std::string("n\x81\0E=v", 6)},
            false) +
        FlacBlock(1, std::string(5, '\0'), true);
    TFLACfile flac;
    ASSERT_TRUE(flac.ReadFromBuffer(Span(Flac(48000, 1, 24, 48000, blocks) + kFrames)));
    EXPECT_TRUE(flac.Exists());
    EXPECT_EQ(flac.Vendor(), "reference libFLAC 1.4.2 20221022");
    EXPECT_EQ(flac.Title(), "Lower");
    EXPECT_EQ(flac.Artist(), "Second");
    EXPECT_EQ(flac.Comment(), "Caf\u00E9 \U0001F600 ");
    EXPECT_EQ(flac.Tones(), "Major");
    EXPECT_EQ(flac.Field("TONES"), "Major");
    EXPECT_EQ(flac.MusicBrainzTrackID(), "abc");
    EXPECT_EQ(flac.TrackGain(), "-6.5 dB");
    EXPECT_EQ(flac.Lyrics(), "la");  // decoding stops at the malformed sequence
    ASSERT_EQ(flac.ExtraFields().size(), 2u);
    EXPECT_EQ(flac.ExtraFields()[0], std::make_pair(std::string("BPM"), std::string("120")));
    // Found by fuzzing: a name that is no UTF-8 came out unchanged.
    EXPECT_EQ(flac.ExtraFields()[1], std::make_pair(std::string("N"), std::string("v")));
    EXPECT_EQ(flac.VorbisIndex(), 2);
    EXPECT_EQ(flac.VorbisOffset(), 42 + 4 + 10 + 4);
    EXPECT_EQ(flac.PaddingIndex(), 1);
    EXPECT_FALSE(flac.PaddingLast());
    EXPECT_TRUE(flac.PaddingFragments());
    EXPECT_EQ(flac.AudioOffset(), static_cast<std::int64_t>(42 + blocks.size()));
}

TEST(FLACfile, BlockWalkRules) {
    TFLACfile flac;
    // An ID3v2 tag of Size 4096 in front.
    std::string id3 = Id3v2Tag(3, Id3v2Text(3, "TIT2", "id3"), 4096 - 10 - 14);
    ASSERT_EQ(id3.size(), 4096u);
    ASSERT_TRUE(flac.ReadFromBuffer(
        Span(id3 + Flac(44100, 2, 16, 44100, CommentBlock({"TITLE=x"})) + kFrames)));
    EXPECT_EQ(flac.Title(), "x");
    EXPECT_EQ(flac.VorbisOffset(), 4096 + 42 + 4);

    // A zero-length block ends the walk before the comments.
    std::string zero = FlacBlock(2, "", false) + CommentBlock({"TITLE=x"});
    ASSERT_TRUE(flac.ReadFromBuffer(Span(Flac(44100, 2, 16, 44100, zero) + kFrames)));
    EXPECT_EQ(flac.Title(), "");
    EXPECT_EQ(flac.AudioOffset(), 46);

    // A picture block is a known type; a type above it makes the file invalid.
    std::string picture = FlacBlock(6, std::string(100, 'p'), false) + CommentBlock({"TITLE=x"});
    ASSERT_TRUE(flac.ReadFromBuffer(Span(Flac(44100, 2, 16, 44100, picture) + kFrames)));
    EXPECT_EQ(flac.Title(), "x");
    std::string invalid = FlacBlock(7, "abc", false) + CommentBlock({"TITLE=x"});
    EXPECT_FALSE(flac.ReadFromBuffer(Span(Flac(44100, 2, 16, 44100, invalid) + kFrames)));
    EXPECT_EQ(flac.Title(), "");
    EXPECT_EQ(flac.Bitrate(), 0);

    // All 36 bits of the sample count.
    ASSERT_TRUE(flac.ReadFromBuffer(Span(Flac(44100, 2, 16, 0x123456789ull, "") + kFrames)));
    EXPECT_EQ(flac.Samples(), 0x123456789);

    EXPECT_FALSE(flac.ReadFromBuffer(Span("OggS" + std::string(100, '\0'))));
    EXPECT_EQ(flac.AudioOffset(), 0);
    EXPECT_EQ(flac.Bitrate(), 0);
}

TEST(FLACfile, HostileSizes) {
    TFLACfile flac;
    // 10 000 zero-length blocks.
    std::string many;
    for (int i = 0; i < 10000; ++i) {
        many += FlacBlock(2, "", false);
    }
    tagtest::ResetAllocationStats();
    EXPECT_TRUE(flac.ReadFromBuffer(Span(Flac(44100, 2, 16, 44100, many) + kFrames)));

    // A comment count of 2^32 - 1 and item lengths past the block.
    std::string comments = VorbisComments("v", {"TITLE=one"});
    comments.replace(5, 4, "\xFF\xFF\xFF\xFF");
    ASSERT_TRUE(flac.ReadFromBuffer(
        Span(Flac(44100, 2, 16, 44100, FlacBlock(4, comments, true)) + kFrames)));
    EXPECT_EQ(flac.Title(), "one");
    for (std::size_t at : {0u, 9u}) {
        std::string bad = comments;
        bad.replace(at, 4, "\xFF\xFF\xFF\xFF");
        EXPECT_TRUE(flac.ReadFromBuffer(
            Span(Flac(44100, 2, 16, 44100, FlacBlock(4, bad, true)) + kFrames)));
        EXPECT_EQ(flac.Title(), "");
    }
    // A block length past the end of the file: what is there is read.
    std::string longBlock = FlacBlock(4, comments, true);
    longBlock.replace(1, 3, "\xFF\xFF\xFF");
    EXPECT_TRUE(flac.ReadFromBuffer(Span(Flac(44100, 2, 16, 44100, longBlock))));
    EXPECT_EQ(flac.Title(), "one");
    EXPECT_LE(flac.AudioOffset(), flac.FileLength());
    EXPECT_LT(tagtest::CurrentAllocationStats().largest, 1u << 20);

    std::string file = Id3v2Tag(3, Id3v2Text(3, "TIT2", "t")) +
                       Flac(44100, 2, 16, 44100, CommentBlock({"TITLE=x", "A=b"})) + kFrames;
    for (std::size_t n = 0; n <= file.size(); ++n) {
        flac.ReadFromBuffer(Span(file.substr(0, n)));
        EXPECT_LE(flac.ExtraFields().size(), 1u);
    }
}
