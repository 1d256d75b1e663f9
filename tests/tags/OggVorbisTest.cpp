#include "tags/OggVorbis.h"

#include <gtest/gtest.h>

#include "tags/TagFixtures.h"
#include "tags/TagTestSupport.h"

using mirvo::TOggVorbis;
using namespace tagfixtures;
using tagtest::Span;

namespace {

// Headers, filler and a last page holding `samples`, `size` bytes in all,
// the last page starting `lastPageDistance` bytes before the end.
std::string OggFile(std::size_t size, std::uint64_t samples,
                    const std::vector<std::string>& comments = {}, int channels = 2,
                    std::size_t lastPageDistance = 200) {
    std::string head =
        OggVorbisHeaders(channels, 44100, 128000, "Xiph.Org libVorbis I 20020717", comments);
    std::string last = OggPage(4, samples, 9, std::string(lastPageDistance - 28, '\x11'));
    std::string filler(size - head.size() - last.size(), '\x22');
    return head + filler + last;
}

TOggVorbis Read(const std::string& bytes) {
    TOggVorbis ogg;
    EXPECT_TRUE(ogg.ReadFromBuffer(Span(bytes)));
    return ogg;
}

}  // namespace

TEST(OggVorbis, DurationAndBitRateOfTheExample) {
    TOggVorbis ogg = Read(OggFile(160000, 441000));
    EXPECT_EQ(ogg.FileSize(), 160000);
    EXPECT_EQ(ogg.ChannelModeID(), 2);
    EXPECT_EQ(ogg.SampleRate(), 44100u);
    EXPECT_EQ(ogg.BitRateNominal(), 128);
    EXPECT_EQ(ogg.Samples(), 441000);
    EXPECT_DOUBLE_EQ(ogg.Duration(), 10.0);
    EXPECT_EQ(ogg.BitRate(), 128);
    EXPECT_TRUE(ogg.IsValid());
    EXPECT_EQ(ogg.EncoderVersion(), "1.0");

    // A last page beyond the 50 windows: the nominal bit rate gives the length.
    ogg = Read(OggFile(160000, 441000, {}, 2, 12100));
    EXPECT_EQ(ogg.Samples(), 0);
    EXPECT_DOUBLE_EQ(ogg.Duration(), 160000.0 / 128 / 2 / 125 * 2);

    EXPECT_FALSE(Read(OggFile(160000, 441000, {}, 4)).IsValid());
    EXPECT_TRUE(Read(OggFile(160000, 441000, {}, 6)).IsValid());

    // An ID3v2 tag in front.
    std::string id3 = Id3v2Tag(3, Id3v2Text(3, "TIT2", "x"), 100);
    ogg = Read(id3 + OggFile(160000 - id3.size(), 441000));
    EXPECT_EQ(ogg.ID3v2Size(), static_cast<std::int64_t>(id3.size()));
    EXPECT_EQ(ogg.BitRate(), 128);
}

TEST(OggVorbis, CommentRules) {
    std::string longValue(300, 'v');
    TOggVorbis ogg = Read(OggFile(
        20000, 44100,
        {"TITLE=First", "title=Second", "ARTIST=", "COMPOSER=Comp", "DESCRIPTION=Desc",
         "GENRE= Trimmed \t", "DATE=2004", "TRACKNUMBER=3", "ALBUM=Alb\xC3\xA9 \xF0\x9F\x8E\xB5",
         "MUSICBRAINZ_TRACKID=id", "ALBUM2=ignored", "COMMENT=" + longValue}));
    EXPECT_EQ(ogg.Title(), "Second");
    EXPECT_EQ(ogg.Artist(), "Comp");
    EXPECT_EQ(ogg.Composer(), "Comp");
    EXPECT_EQ(ogg.Comment(), std::string(250 - 8, 'v'));
    EXPECT_EQ(ogg.Genre(), "Trimmed");
    EXPECT_EQ(ogg.Date(), "2004");
    EXPECT_EQ(ogg.TrackString(), "3");
    EXPECT_EQ(ogg.Album(), "Alb\u00E9 \U0001F3B5");
    EXPECT_EQ(ogg.MusicBrainzTrackID(), "id");

    ogg = Read(OggFile(20000, 44100, {"DESCRIPTION=Desc"}));
    EXPECT_EQ(ogg.Comment(), "Desc");
}

TEST(OggVorbis, EncoderLabels) {
    auto label = [](const std::string& vendor) {
        std::string bytes = OggVorbisHeaders(2, 44100, 128000, vendor, {}) + std::string(5000, 0);
        return Read(bytes).EncoderVersion();
    };
    EXPECT_EQ(label("AO; aoTuV b2 [20040420]  (based on Xiph.Org's 1.0.1)"), "1.0.1 aoTuV beta 2");
    EXPECT_EQ(label("Xiph.Org libVorbis I 20040920"), "1.1 with impulse_trigger_profile");
    EXPECT_EQ(label("xiph.org libVorbis I 20040920"), "xiph.org libVorbis I 20040920");
    EXPECT_EQ(label("Xiph.Org libVorbis I 20200704 (Reducing Environment)"),
              "Xiph.Org libVorbis I 20200704 (Reducing Environment)");
}

TEST(OggVorbis, CommentPacketAcrossPages) {
    std::string packet =
        VorbisCommentPacket("vendor", {"ARTIST=" + std::string(400, 'a'), "TITLE=Late"});
    std::string head = OggPage(2, 0, 0, VorbisIdentification(2, 44100, 128000)) +
                       OggPage(0, 0, 1, packet.substr(0, 255), true) +
                       OggPage(1, 0, 2, packet.substr(255));
    TOggVorbis ogg = Read(head + std::string(5000, '\0'));
    EXPECT_EQ(ogg.Vendor(), "vendor");
    EXPECT_EQ(ogg.Title(), "Late");
    EXPECT_EQ(ogg.Artist(), std::string(250 - 7, 'a'));
}

TEST(OggVorbis, NotVorbisReadsAsFalse) {
    TOggVorbis ogg;
    EXPECT_FALSE(ogg.ReadFromBuffer(Span(std::string(1000, 'x'))));
    std::string notVorbis = OggPage(2, 0, 0,
                                    "\x01"
                                    "flacxx" +
                                        std::string(23, '\0')) +
                            std::string(500, 0);
    EXPECT_FALSE(ogg.ReadFromBuffer(Span(notVorbis)));
    EXPECT_EQ(ogg.FileSize(), 0);
    EXPECT_FALSE(ogg.ReadFromFile("/nonexistent/mirvo/file.ogg"));
}

TEST(OggVorbis, HostileCountsAndTruncation) {
    std::string file = OggFile(6000, 44100, {"TITLE=Only"});
    std::size_t count = file.find("Only") - 6 - 4 - 4;  // count, length, "TITLE="
    file.replace(count, 4, "\xFF\xFF\xFF\xFF");
    tagtest::ResetAllocationStats();
    TOggVorbis ogg = Read(file);
    EXPECT_EQ(ogg.Title(), "Only");
    std::string vendorLength = OggFile(6000, 44100, {"TITLE=Only"});
    vendorLength.replace(vendorLength.find("Xiph") - 4, 4, "\xFF\xFF\xFF\x7F");
    EXPECT_EQ(Read(vendorLength).Title(), "");
    EXPECT_LT(tagtest::CurrentAllocationStats().largest, 1u << 20);

    for (std::size_t n = 0; n <= file.size(); n += (n < 400 ? 1 : 97)) {
        TOggVorbis cut;
        cut.ReadFromBuffer(Span(file.substr(0, n)));
        EXPECT_LE(cut.Title().size(), 4u);
    }
}

// A video's first page before the sound's, its pages among the sound's and
// 20 KB of it after the sound's last page: tags and length are the sound's.
TEST(OggVorbis, TheVorbisStreamBesideAVideo) {
    constexpr std::uint32_t kVideo = 0x56494445;
    const std::string video(4000, '\x33');
    std::string file = OggPage(2, 0, 0, "\x80theora" + std::string(34, '\x01'), false, kVideo) +
                       OggPage(2, 0, 0, VorbisIdentification(2, 44100, 128000)) +
                       OggPage(0, 0, 1, "\x81theora" + std::string(20, '\x02'), false, kVideo) +
                       OggPage(0, 0, 1, VorbisCommentPacket("v", {"TITLE=Clip", "ARTIST=Maker"})) +
                       OggPage(4, 88200, 2, std::string(500, '\x11'));
    for (std::uint32_t n = 2; n < 7; ++n) {
        file += OggPage(0, n * 10, n, video, false, kVideo);
    }
    TOggVorbis ogg = Read(file);
    EXPECT_EQ(ogg.Title(), "Clip");
    EXPECT_EQ(ogg.Artist(), "Maker");
    EXPECT_EQ(ogg.ChannelModeID(), 2);
    EXPECT_EQ(ogg.Samples(), 88200);
    EXPECT_TRUE(ogg.IsValid());
    // Without a Vorbis stream among the first pages there is nothing to read.
    TOggVorbis none;
    EXPECT_FALSE(
        none.ReadFromBuffer(Span(file.substr(0, 70) + OggPage(0, 10, 1, video, false, kVideo))));
}
