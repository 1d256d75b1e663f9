// Files made and tagged by the Debian tools; the readers must return what
// those tools wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "scrobble/Scrobbling.h"
#include "tags/FLACfile.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/OggVorbis.h"
#include "tags/TagFixtures.h"
#include "tags/TagLibFile.h"
#include "tags/TagTestSupport.h"

using namespace mirvo;

namespace {

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a command line; the arguments are quoted by the caller.
void Shell(const std::string& command) {
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// One second of a 440 Hz tone, 44100 Hz stereo 16-bit.
void WriteWave(const std::string& path) {
    using tagfixtures::LE32;
    std::string pcm;
    for (int i = 0; i < 44100; ++i) {
        auto v = static_cast<std::int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / 44100));
        std::string frame = {static_cast<char>(v), static_cast<char>(v >> 8)};
        pcm += frame + frame;
    }
    std::string header = "RIFF" + LE32(36 + static_cast<std::uint32_t>(pcm.size())) + "WAVEfmt " +
                         LE32(16) + std::string("\x01\x00\x02\x00", 4) + LE32(44100) +
                         LE32(44100 * 4) + std::string("\x04\x00\x10\x00", 4) + "data" +
                         LE32(static_cast<std::uint32_t>(pcm.size()));
    tagfixtures::WriteFile(path, header + pcm);
}

// Debian's python3-mutagen, the reference reader; the user's own python may lack it.
constexpr const char* kPython = "/usr/bin/python3";

bool HaveMutagen() {
    return std::system((std::string(kPython) + " -c 'import mutagen' 2>/dev/null").c_str()) == 0;
}

// What a command printed.
std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
            out += chunk;
        }
        ::pclose(pipe);
    }
    return out;
}

class RealFiles : public testing::Test {
  protected:
    void SetUp() override { WriteWave(wav_); }
    tagtest::TempDir dir_;
    std::string wav_ = dir_ / "tone.wav";
};

}  // namespace

TEST_F(RealFiles, LameWritesBothId3Versions) {
    if (!HaveTool("lame")) {
        GTEST_SKIP() << "lame missing";
    }
    std::string mp3 = dir_ / "lame.mp3";
    Shell("lame --quiet -b 128 --tt " + Quote("Tïtle ☃") + " --ta " + Quote("Ártist") +
          " --tl Album --ty 2004 --tc " + Quote("Cömment") + " --tn 3/12 --tg Rock " + wav_ + " " +
          mp3);
    TID3v2 v2;
    ASSERT_TRUE(v2.ReadFromFile(mp3));
    EXPECT_TRUE(v2.Exists());
    EXPECT_EQ(v2.VersionID(), 3);
    EXPECT_EQ(v2.Title(), "Tïtle ☃");
    EXPECT_EQ(v2.Artist(), "Ártist");
    EXPECT_EQ(v2.Album(), "Album");
    EXPECT_EQ(v2.Year(), "2004");
    EXPECT_EQ(v2.Comment(), "Cömment");
    EXPECT_EQ(v2.Track(), 3);
    EXPECT_EQ(v2.TrackString(), "3/12");
    EXPECT_EQ(v2.Genre(), "Rock");

    TID3v1 v1;
    ASSERT_TRUE(v1.ReadFromFile(mp3));
    EXPECT_TRUE(v1.Exists());
    EXPECT_EQ(v1.VersionID(), 2);
    EXPECT_EQ(v1.Title(), "Tïtle ?");  // ☃ has no ISO-8859-1 form
    EXPECT_EQ(v1.Artist(), "Ártist");
    EXPECT_EQ(v1.Comment(), "Cömment");
    EXPECT_EQ(v1.Track(), 3);
    EXPECT_EQ(v1.Genre(), "Rock");
}

TEST_F(RealFiles, Id3v2ToolTagsBothVersions) {
    if (!HaveTool("lame") || !HaveTool("id3v2")) {
        GTEST_SKIP() << "lame or id3v2 missing";
    }
    std::string mp3 = dir_ / "id3v2.mp3";
    Shell("lame --quiet -b 128 " + wav_ + " " + mp3);
    // id3lib stores the argument's bytes as ISO-8859-1.
    Shell(
        "id3v2 -t \"$(printf 'Caf\\351')\" -a 'The Band' -A 'Best Of' -y 1999 -T 7/9 -g 17 "
        "-c 'Nice one' " +
        mp3);
    TID3v2 v2;
    ASSERT_TRUE(v2.ReadFromFile(mp3));
    EXPECT_EQ(v2.Title(), "Café");
    EXPECT_EQ(v2.Artist(), "The Band");
    EXPECT_EQ(v2.Album(), "Best Of");
    EXPECT_EQ(v2.Year(), "1999");
    EXPECT_EQ(v2.Track(), 7);
    EXPECT_EQ(v2.Genre(), "Rock");  // id3lib writes "(17)"
    EXPECT_EQ(v2.Comment(), "Nice one");
    TID3v1 v1;
    ASSERT_TRUE(v1.ReadFromFile(mp3));
    EXPECT_EQ(v1.Title(), "Café");
    EXPECT_EQ(v1.Track(), 7);
    EXPECT_EQ(v1.Genre(), "Rock");
}

TEST_F(RealFiles, MetaflacComments) {
    if (!HaveTool("flac") || !HaveTool("metaflac")) {
        GTEST_SKIP() << "flac missing";
    }
    std::string flacName = dir_ / "tone.flac";
    Shell("flac --silent -o " + flacName + " " + wav_);
    Shell("metaflac --set-tag=" + Quote("TITLE=Ünïcødé 🎵") + " --set-tag=ARTIST=Band" +
          " --set-tag=TRACKNUMBER=4 --set-tag=BPM=99 --set-tag=" + Quote("LYRICS=line one") + " " +
          flacName);
    Shell("metaflac --import-picture-from=" + Quote("3|image/png|cover|1x1x24|" + wav_) + " " +
          flacName);
    TFLACfile flac;
    ASSERT_TRUE(flac.ReadFromFile(flacName));
    EXPECT_EQ(flac.Samples(), 44100);
    EXPECT_DOUBLE_EQ(flac.Duration(), 1.0);
    EXPECT_GT(flac.Bitrate(), 0);
    EXPECT_TRUE(flac.Exists());
    EXPECT_EQ(flac.Title(), "Ünïcødé 🎵");
    EXPECT_EQ(flac.Artist(), "Band");
    EXPECT_EQ(flac.TrackString(), "4");
    EXPECT_EQ(flac.Lyrics(), "line one");
    EXPECT_NE(flac.Vendor().find("libFLAC"), std::string::npos);
    ASSERT_EQ(flac.ExtraFields().size(), 1u);
    EXPECT_EQ(flac.ExtraFields()[0].second, "99");
}

TEST_F(RealFiles, VorbiscommentTags) {
    if (!HaveTool("oggenc") || !HaveTool("vorbiscomment")) {
        GTEST_SKIP() << "vorbis-tools missing";
    }
    std::string ogg = dir_ / "tone.ogg";
    Shell("oggenc --quiet -b 128 -t Original -o " + ogg + " " + wav_);
    Shell("vorbiscomment -w -t " + Quote("TITLE=Ťitle 🎶") + " -t ARTIST= -t COMPOSER=Bach" +
          " -t DATE=1721 -t TRACKNUMBER=6 -t GENRE=Baroque " + ogg);
    TOggVorbis reader;
    ASSERT_TRUE(reader.ReadFromFile(ogg));
    EXPECT_TRUE(reader.IsValid());
    EXPECT_EQ(reader.ChannelModeID(), 2);
    EXPECT_EQ(reader.SampleRate(), 44100u);
    EXPECT_EQ(reader.BitRateNominal(), 128);
    EXPECT_EQ(reader.Samples(), 44100);
    EXPECT_DOUBLE_EQ(reader.Duration(), 1.0);
    EXPECT_EQ(reader.Title(), "Ťitle 🎶");
    EXPECT_EQ(reader.Artist(), "Bach");
    EXPECT_EQ(reader.Date(), "1721");
    EXPECT_EQ(reader.TrackString(), "6");
    EXPECT_EQ(reader.Genre(), "Baroque");
    EXPECT_NE(reader.Vendor().find("libVorbis"), std::string::npos);
}

// Version 2.4 tags as python3-mutagen writes them: several values per frame,
// a player's machine data beside the comment, genres by number.
TEST_F(RealFiles, MutagenValuesCommentsAndGenres) {
    if (!HaveTool("lame") || !HaveMutagen()) {
        GTEST_SKIP() << "lame or python3-mutagen missing";
    }
    std::string mp3 = dir_ / "mutagen.mp3";
    Shell("lame --quiet -b 128 " + wav_ + " " + mp3);
    Shell(std::string(kPython) +
          " -c 'import sys\n"
          "from mutagen.id3 import ID3, TIT2, TPE1, TALB, TCON, COMM\n"
          "t = ID3()\n"
          "t.add(TIT2(encoding=1, text=[\"First\", \"Second\"]))\n"
          "t.add(TPE1(encoding=3, text=[\"One\", \"Two\"]))\n"
          "t.add(TALB(encoding=0, text=[\"Album\", \"Other\"]))\n"
          "t.add(TCON(encoding=3, text=[\"35\", \"(17)\"]))\n"
          "t.add(COMM(encoding=3, lang=\"eng\", desc=\"\", text=[\"Said\"]))\n"
          "t.add(COMM(encoding=0, lang=\"eng\", desc=\"iTunNORM\", text=[\" 00000A2B\"]))\n"
          "t.save(sys.argv[1], v2_version=4)' " +
          mp3);
    TID3v2 v2;
    ASSERT_TRUE(v2.ReadFromFile(mp3));
    EXPECT_EQ(v2.VersionID(), 4);
    EXPECT_EQ(v2.Title(), "First / Second");
    EXPECT_EQ(v2.Artist(), "One / Two");
    EXPECT_EQ(v2.Album(), "Album / Other");
    EXPECT_EQ(v2.Genre(), "House / Rock");
    EXPECT_EQ(v2.Comment(), "Said");

    // What the play history sends and keeps holds no zero byte either.
    const ScrobbleTrack track = GatherTrack(mp3, 100);
    EXPECT_EQ(track.Artist, "One / Two");
    const std::string queued = QueueText({{track, 1700000000, 0}});
    EXPECT_EQ(queued.find('\0'), std::string::npos);
    EXPECT_NE(queued.find("One / Two\tFirst / Second\tAlbum / Other"), std::string::npos);
}

// A Theora video with its Vorbis sound, the video's pages first and last, as
// ffmpeg writes one; the length is the sound's, as python3-mutagen reads it.
TEST_F(RealFiles, OggVideoWithVorbisSound) {
    if (!HaveTool("ffmpeg") || !HaveMutagen()) {
        GTEST_SKIP() << "ffmpeg or python3-mutagen missing";
    }
    std::string ogg = dir_ / "clip.ogg";
    Shell(
        "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=3 -f lavfi -i "
        "sine=frequency=440:sample_rate=44100:duration=2 -map 0:v -map 1:a -c:v libtheora "
        "-q:v 8 -c:a libvorbis -metadata title=Clip -metadata artist=Maker " +
        ogg);
    const std::string samples =
        Output(std::string(kPython) +
               " -c 'import sys\nfrom mutagen.oggvorbis import OggVorbis\n"
               "i = OggVorbis(sys.argv[1]).info\nprint(round(i.length * i.sample_rate))' " +
               ogg);
    TOggVorbis reader;
    ASSERT_TRUE(reader.ReadFromFile(ogg));
    EXPECT_TRUE(reader.IsValid());
    EXPECT_EQ(reader.ChannelModeID(), 1);
    EXPECT_EQ(reader.SampleRate(), 44100u);
    EXPECT_EQ(std::to_string(reader.Samples()) + "\n", samples);
    EXPECT_EQ(reader.Title(), "Clip");
    EXPECT_EQ(reader.Artist(), "Maker");
}

namespace {

// The APEv2 tag that ends a file, with its header.
std::string TrailingApeTag(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.size() < 32 || bytes.compare(bytes.size() - 32, 8, "APETAGEX") != 0) {
        return {};
    }
    const auto le32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) {
            v = v << 8 | static_cast<unsigned char>(bytes[bytes.size() - 32 + at + i]);
        }
        return v;
    };
    const std::size_t size = le32(12) + ((le32(20) & 0x80000000u) != 0 ? 32 : 0);
    return size <= bytes.size() ? bytes.substr(bytes.size() - size) : std::string();
}

}  // namespace

// Tags as opusenc, ffmpeg (MP4 atoms) and wavpack (APEv2) write them, read
// through TagLib for the properties and the play history alike. jmac writes
// no tags: its Monkey's Audio file gets the APEv2 tag wavpack wrote.
TEST_F(RealFiles, OpusMp4AndWavPackTagsOfTheirEncoders) {
    const std::string opus = dir_ / "a.opus";
    const std::string m4a = dir_ / "a.m4a";
    const std::string alac = dir_ / "b.M4A";
    const std::string wv = dir_ / "a.wv";
    Shell(
        "opusenc --quiet --title 'Tïtle ☃' --artist 'Ártist' --album 'Älbum' --date 2004 "
        "--tracknumber 3/12 --genre Rock --comment 'COMMENT=Cömment' " +
        Quote(wav_) + " " + Quote(opus));
    const std::string metadata =
        " -metadata 'title=Tïtle ☃' -metadata 'artist=Ártist' -metadata 'album=Älbum' -metadata "
        "date=2004 -metadata track=3/12 -metadata genre=Rock -metadata 'comment=Cömment' ";
    Shell("ffmpeg -v error -y -i " + Quote(wav_) + " -c:a aac" + metadata + Quote(m4a));
    Shell("ffmpeg -v error -y -i " + Quote(wav_) + " -c:a alac" + metadata + "-f ipod " +
          Quote(alac));
    Shell(
        "wavpack -q -y -w 'Title=Tïtle ☃' -w 'Artist=Ártist' -w 'Album=Älbum' -w Year=2004 "
        "-w Track=3/12 -w Genre=Rock -w 'Comment=Cömment' " +
        Quote(wav_) + " -o " + Quote(wv));
    const std::string ape = dir_ / "a.ape";
    Shell("jmac c2 " + Quote(wav_) + " " + Quote(ape));
    const std::string apeTag = TrailingApeTag(wv);
    ASSERT_FALSE(apeTag.empty());
    std::ofstream(ape, std::ios::binary | std::ios::app) << apeTag;
    for (const std::string& file : {opus, m4a, alac, wv, ape}) {
        SCOPED_TRACE(file);
        TTagLibFile tags;
        ASSERT_TRUE(tags.ReadFromFile(file));
        EXPECT_TRUE(tags.Exists());
        EXPECT_EQ(tags.Title(), "Tïtle ☃");
        EXPECT_EQ(tags.Artist(), "Ártist");
        EXPECT_EQ(tags.Album(), "Älbum");
        EXPECT_EQ(tags.Year(), "2004");
        EXPECT_EQ(tags.TrackString(), "3/12");
        EXPECT_EQ(tags.Genre(), "Rock");
        EXPECT_EQ(tags.Comment(), "Cömment");
        const ScrobbleTrack track = GatherTrack(file, 1);
        EXPECT_EQ(track.Title, "Tïtle ☃");
        EXPECT_EQ(track.Artist, "Ártist");
        EXPECT_EQ(track.Album, "Älbum");
        EXPECT_EQ(track.TrackNumber, 3);
    }
    // Untagged, and tags of one container under the name of another.
    const std::string bare = dir_ / "bare.wv";
    Shell("wavpack -q -y " + Quote(wav_) + " -o " + Quote(bare));
    std::filesystem::create_directory(dir_ / "folder.opus");
    TTagLibFile tags;
    EXPECT_TRUE(tags.ReadFromFile(bare));
    EXPECT_FALSE(tags.Exists());
    std::filesystem::copy_file(opus, dir_ / "opus.m4a");
    EXPECT_FALSE(tags.ReadFromFile(dir_ / "opus.m4a"));
    EXPECT_EQ(tags.Title(), "");
    EXPECT_FALSE(tags.ReadFromFile(dir_ / "missing.opus"));
    EXPECT_FALSE(tags.ReadFromFile(dir_ / "folder.opus"));
    EXPECT_FALSE(tags.ReadFromFile(opus + ".ogg"));
}
