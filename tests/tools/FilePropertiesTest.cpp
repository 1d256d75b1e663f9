// The properties report of files written by the Debian encoders and taggers,
// the "&R" clean-up, and which dialog the command opens.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "support/Text.h"
#include "tags/TagFixtures.h"
#include "tools/FileProperties.h"

namespace mirvo {
namespace {

using test::TempDir;

void Shell(const std::string& command) {
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}

class Report : public ::testing::Test {
  protected:
    void SetUp() override { test::WriteWav(wav_, test::Tone(44100, 1.0, 440), 44100); }

    // The report with its format and length lines checked and taken out.
    std::string Tags(const std::string& file, const std::string& format) {
        const FileReport report = BuildFileReport(file, ",");
        EXPECT_EQ(report.Error, "");
        const std::string head = dir_.path() + "/\r\n\r\nSize: \t\t" +
                                 GroupThousands(std::filesystem::file_size(file), ",") +
                                 " bytes\r\nFormat: \t\t";
        EXPECT_EQ(report.Text.substr(0, head.size()), head);
        const std::string rest = report.Text.substr(std::min(head.size(), report.Text.size()));
        std::smatch m;
        EXPECT_TRUE(std::regex_search(
            rest, m, std::regex("^" + format + "\r\nLength: \t\t0:01:0[0-9][0-9]\r\n\r\n")))
            << rest;
        return rest.substr(static_cast<std::size_t>(m.length(0)));
    }

    TempDir dir_;
    std::string wav_ = dir_ / "tone.wav";
};

TEST_F(Report, WaveShowsFolderSizeFormatAndLengthOnly) {
    const FileReport report = BuildFileReport(wav_, ",");
    EXPECT_EQ(report.Text, dir_.path() +
                               "/\r\n\r\nSize: \t\t176,444 bytes\r\n"
                               "Format: \t\tWAVE 1412 kbps - 44100 Hz 16 bit Stereo\r\n"
                               "Length: \t\t0:01:000\r\n\r\n");
    EXPECT_EQ(report.Error, "");
}

TEST_F(Report, LameTagsInBothVersionsWithTheirOwnCharacterSets) {
    const std::string mp3 = dir_ / "lame.mp3";
    Shell(
        "lame --quiet -b 128 --tt 'Tïtle ☃' --ta 'Ártist' --tl 'Älbum' --ty 2004 --tc 'Cömment' "
        "--tn 3/12 --tg Rock " +
        wav_ + " " + mp3);
    EXPECT_EQ(Tags(mp3, "MP3 1[0-9][0-9] kbps Stereo"),
              "ID3v2.3 Tags:\r\n"
              "Title: \t\tTïtle ☃\r\nArtist: \t\tÁrtist\r\nAlbum: \t\tÄlbum\r\nYear: \t\t2004\r\n"
              "Track: \t\t3/12\r\nGenre: \t\tRock\r\nComposer: \t\r\nEncoder: \t\t\r\n"
              "UFID: \t\t\r\nComment: \tCömment\r\n"
              "\r\nID3v1.1 Tags:\r\n"
              "Title: \t\tTïtle ?\r\nArtist: \t\tÁrtist\r\nAlbum: \t\tÄlbum\r\nYear: \t\t2004\r\n"
              "Track: \t\t3\r\nGenre: \t\tRock\r\nComment:\tCömment\r\nLyrics:\t");
}

TEST_F(Report, Id3v2ToolTagsWithComposer) {
    const std::string mp3 = dir_ / "id3v2.mp3";
    Shell("lame --quiet -b 128 " + wav_ + " " + mp3);
    Shell(
        "id3v2 -t 'Tïtle' -a 'Ártist' -A 'Älbum' -y 2004 -T 3/12 -c 'Cömment' "
        "--TCOM 'Cömposer' " +
        mp3);
    const std::string tags = Tags(mp3, "MP3 1[0-9][0-9] kbps Stereo");
    EXPECT_EQ(tags,
              "ID3v2.3 Tags:\r\n"
              "Title: \t\tTïtle\r\nArtist: \t\tÁrtist\r\nAlbum: \t\tÄlbum\r\nYear: \t\t2004\r\n"
              "Track: \t\t3/12\r\nGenre: \t\t\r\nComposer: \tCömposer\r\nEncoder: \t\t\r\n"
              "UFID: \t\t\r\nComment: \tCömment\r\n"
              "\r\nID3v1.1 Tags:\r\n"
              "Title: \t\tTïtle\r\nArtist: \t\tÁrtist\r\nAlbum: \t\tÄlbum\r\nYear: \t\t2004\r\n"
              "Track: \t\t3\r\nGenre: \t\t\r\nComment:\tCömment\r\nLyrics:\t");
}

TEST_F(Report, FlacCommentsByMetaflacAndNoneWhenTheBlockIsEmpty) {
    const std::string flac = dir_ / "a.flac";
    Shell("flac --silent -f " + wav_ + " -o " + flac);
    EXPECT_EQ(Tags(flac, "FLAC [0-9]+ kbps - 44100 Hz Stereo"), "");
    Shell(
        "metaflac --set-tag='TITLE=Tïtle ☃' --set-tag='ARTIST=Ártist' --set-tag=ALBUM=Älbum "
        "--set-tag=DATE=2004 --set-tag=TRACKNUMBER=3 --set-tag=GENRE=Rock "
        "--set-tag='COMPOSER=Cömposer' "
        "--set-tag=MUSICBRAINZ_TRACKID=0f1e2d3c-aaaa-bbbb-cccc-112233445566 "
        "--set-tag='COMMENT=Cömment' --set-tag='LYRICS=Lá lá' " +
        flac);
    EXPECT_EQ(Tags(flac, "FLAC [0-9]+ kbps - 44100 Hz Stereo"),
              "Title: \t\tTïtle ☃\r\nArtist: \t\tÁrtist\r\nAlbum: \t\tÄlbum\r\nYear: \t\t2004\r\n"
              "Track: \t\t3\r\nGenre: \t\tRock\r\nComposer: \tCömposer\r\nEncoder: \t\t\r\n"
              "MBID: \t\t0f1e2d3c-aaaa-bbbb-cccc-112233445566\r\nComments: \tCömment\r\n"
              "Lyrics: \t\tLá lá");
}

TEST_F(Report, OggCommentsByVorbiscomment) {
    const std::string ogg = dir_ / "a.ogg";
    Shell("oggenc -Q " + wav_ + " -o " + ogg);
    Shell(
        "vorbiscomment -w -t 'TITLE=Tïtle ☃' -t 'ARTIST=Ártist' -t ALBUM=Älbum -t DATE=2004 "
        "-t TRACKNUMBER=3/12 -t GENRE=Rock -t 'COMMENT=Cömment' "
        "-t MUSICBRAINZ_TRACKID=0f1e2d3c-aaaa-bbbb-cccc-112233445566 " +
        ogg);
    std::string tags = Tags(ogg, "OGG [0-9]+ kbps Stereo");
    // The vendor names the libVorbis release, which the encoder line names too.
    const std::regex release("Encoder: \t\t[^\r]+\r\nMBID: \t\t(.*)\r\nVendor: \t\tXiph[^\r]+\r\n");
    EXPECT_TRUE(std::regex_search(tags, release)) << tags;
    tags = std::regex_replace(tags, release, "Encoder: \t\t-\r\nMBID: \t\t$1\r\nVendor: \t\t-\r\n");
    EXPECT_EQ(tags,
              "Title: \t\tTïtle ☃\r\nArtist: \t\tÁrtist\r\nAlbum: \t\tÄlbum\r\nDate: \t\t2004\r\n"
              "Track: \t\t3/12\r\nGenre: \t\tRock\r\nEncoder: \t\t-\r\n"
              "MBID: \t\t0f1e2d3c-aaaa-bbbb-cccc-112233445566\r\nVendor: \t\t-\r\n"
              "Comments: \tCömment\r\n");
}

TEST_F(Report, OpusMp4AndWavPackTagsInTheFormOfTheOthers) {
    const std::string opus = dir_ / "a.opus";
    const std::string m4a = dir_ / "a.m4a";
    const std::string alac = dir_ / "b.m4a";
    const std::string wv = dir_ / "a.wv";
    Shell(
        "opusenc --quiet --title 'Tïtle' --artist 'Ártist' --album Album --date 2004 "
        "--tracknumber 3 --genre Rock --comment 'COMMENT=Cömment' " +
        wav_ + " " + opus);
    const std::string metadata =
        " -metadata 'title=Tïtle' -metadata 'artist=Ártist' -metadata album=Album -metadata "
        "date=2004 -metadata track=3 -metadata genre=Rock -metadata 'comment=Cömment' ";
    Shell("ffmpeg -v error -y -i " + wav_ + " -c:a aac -b:a 96k" + metadata + m4a);
    Shell("ffmpeg -v error -y -i " + wav_ + " -c:a alac" + metadata + alac);
    Shell(
        "wavpack -q -y -w 'Title=Tïtle' -w 'Artist=Ártist' -w Album=Album -w Year=2004 "
        "-w Track=3 -w Genre=Rock -w 'Comment=Cömment' " +
        wav_ + " -o " + wv);
    const std::string tail = "Title: \t\tTïtle\r\nArtist: \t\tÁrtist\r\nAlbum: \t\tAlbum\r\n";
    const std::string rest = "Track: \t\t3\r\nGenre: \t\tRock\r\nComment: \tCömment\r\n";
    // Opus files carry Vorbis comments, whose field is a date.
    EXPECT_EQ(Tags(opus, "OPUS [0-9]+ kbps - 48000 Hz Stereo"), tail + "Date: \t\t2004\r\n" + rest);
    EXPECT_EQ(Tags(m4a, "AAC (9[0-9]|1[0-9][0-9]) kbps - 44100 Hz Stereo"),
              tail + "Year: \t\t2004\r\n" + rest);
    EXPECT_EQ(Tags(alac, "ALAC [0-9]+ kbps - 44100 Hz Stereo"), tail + "Year: \t\t2004\r\n" + rest);
    EXPECT_EQ(Tags(wv, "WAVPACK [0-9]+ kbps - 44100 Hz Stereo"),
              tail + "Year: \t\t2004\r\n" + rest);
    // Untagged: no block, as for FLAC.
    const std::string bare = dir_ / "bare.wv";
    Shell("wavpack -q -y " + wav_ + " -o " + bare);
    EXPECT_EQ(Tags(bare, "WAVPACK [0-9]+ kbps - 44100 Hz Stereo"), "");
}

TEST_F(Report, Id3v1VersionsLyricsAndTheZeroByteOfUfid) {
    using namespace tagfixtures;
    const std::string ufid =
        Id3v2Frame(3, "UFID", std::string("http://musicbrainz.org\0abc-123", 30));
    std::string v10 = Id3v1("T", "A", "B", "1999", "a comment that fills thirty ch", 17);
    std::string v11 = Id3v1("T", "A", "B", "1999", "c", 200);
    v11[126] = 7;
    WriteFile(dir_ / "v10.mp3", Id3v2Tag(3, ufid) + std::string(100, '\xff') +
                                    Lyrics3({{"LYR", "la la\r\nla"}}) + v10);
    WriteFile(dir_ / "v11.mp3", v11);
    EXPECT_EQ(TagReport(dir_ / "v10.mp3"),
              "ID3v2.3 Tags:\r\nTitle: \t\t\r\nArtist: \t\t\r\nAlbum: \t\t\r\nYear: \t\t\r\n"
              "Track: \t\t\r\nGenre: \t\t\r\nComposer: \t\r\nEncoder: \t\t\r\n"
              "UFID: \t\thttp://musicbrainz.org abc-123\r\nComment: \t\r\n"
              "\r\nID3v1.0 Tags:\r\nTitle: \t\tT\r\nArtist: \t\tA\r\nAlbum: \t\tB\r\n"
              "Year: \t\t1999\r\nTrack: \t\t\r\nGenre: \t\tRock\r\n"
              "Comment:\ta comment that fills thirty ch\r\nLyrics:\tla la\r\nla");
    EXPECT_EQ(TagReport(dir_ / "v11.mp3"),
              "\r\nID3v1.1 Tags:\r\nTitle: \t\tT\r\nArtist: \t\tA\r\nAlbum: \t\tB\r\n"
              "Year: \t\t1999\r\nTrack: \t\t7\r\nGenre: \t\t\r\nComment:\tc\r\nLyrics:\t");
    // Only ".mp3" files are read for ID3 tags.
    std::filesystem::copy_file(dir_ / "v11.mp3", dir_ / "v11.wav");
    EXPECT_EQ(TagReport(dir_ / "v11.wav"), "");
}

TEST_F(Report, AFileGoneSinceTheCommandEndsTheReportWithAnError) {
    const FileReport report = BuildFileReport(dir_ / "gone.mp3", ",");
    EXPECT_EQ(report.Text, dir_.path() + "/");
    EXPECT_EQ(report.Error.rfind("Cannot open file \"" + dir_ / "gone.mp3" + "\".", 0), 0u)
        << report.Error;
}

TEST(FileProperties, ThousandsAreGroupedFromTheRight) {
    EXPECT_EQ(GroupThousands(0, ","), "0");
    EXPECT_EQ(GroupThousands(999, ","), "999");
    EXPECT_EQ(GroupThousands(1000, ","), "1,000");
    EXPECT_EQ(GroupThousands(123456, "."), "123.456");
    EXPECT_EQ(GroupThousands(1234567890, "\u202f"), "1\u202f234\u202f567\u202f890");
}

TEST(FileProperties, CleanUpTurnsUnderscoresAndEscapedBlanksIntoSingleBlanks) {
    EXPECT_EQ(CleanUpFileName("a_b%20c__d.mp3"), "a b c d.mp3");
    EXPECT_EQ(CleanUpFileName("a________b.mp3"), "a b.mp3");  // eight blanks, three passes
    EXPECT_EQ(CleanUpFileName("plain.mp3"), "plain.mp3");
}

class Target : public ::testing::Test {
  protected:
    void SetUp() override {
        file_ = dir_.Write("a.mp3", "x");
        other_ = dir_.Write("b.mp3", "x");
        fake_.player.playlist.PlaylistEntries = {file_, other_, "http://radio.example:8000/live",
                                                 dir_ / "gone.mp3"};
    }
    void Select(std::vector<int> rows, int focused) {
        fake_.view.SetListSelection(rows);
        fake_.view.SetListFocusedRow(focused);
    }

    TempDir dir_;
    test::FakePlayer fake_{dir_.path()};
    std::string file_;
    std::string other_;
};

TEST_F(Target, OneEntryOpensItsDialogByKind) {
    Select({0}, 0);
    EXPECT_EQ(ChoosePropertiesTarget(fake_.player), PropertiesTarget::File);
    Select({}, 2);
    EXPECT_EQ(ChoosePropertiesTarget(fake_.player), PropertiesTarget::Station);
    Select({3}, 3);
    EXPECT_EQ(ChoosePropertiesTarget(fake_.player), PropertiesTarget::Nothing);
    ASSERT_EQ(fake_.dialogs.notices.size(), 1u);
    EXPECT_EQ(fake_.dialogs.notices[0].kind, NoticeKind::Warning);
    EXPECT_EQ(fake_.dialogs.notices[0].text, "File not found.\r\r" + dir_ / "gone.mp3");
}

TEST_F(Target, SeveralFilesOpenTheRenamerButNotWithAStation) {
    Select({0, 1}, 1);
    EXPECT_EQ(ChoosePropertiesTarget(fake_.player), PropertiesTarget::Renamer);
    Select({0, 2}, 0);
    EXPECT_EQ(ChoosePropertiesTarget(fake_.player), PropertiesTarget::Nothing);
    ASSERT_EQ(fake_.dialogs.notices.size(), 1u);
    EXPECT_EQ(fake_.dialogs.notices[0].text,
              "Your properties request is invalid.\rPlease select only music items or a single "
              "url item.");
    fake_.player.playlist.PlaylistEntries.clear();
    EXPECT_EQ(ChoosePropertiesTarget(fake_.player), PropertiesTarget::Nothing);
}

}  // namespace
}  // namespace mirvo
