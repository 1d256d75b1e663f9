#include "tags/ID3v2.h"

#include <gtest/gtest.h>

#include "tags/TagFixtures.h"
#include "tags/TagTestSupport.h"

using mirvo::TID3v2;
using namespace tagfixtures;
using namespace std::string_literals;
using tagtest::Span;

namespace {

const std::string kAudio(600, '\xFF');

TID3v2 Read(const std::string& tag) {
    TID3v2 reader;
    EXPECT_TRUE(reader.ReadFromBuffer(Span(tag + kAudio)));
    return reader;
}

}  // namespace

TEST(ID3v2, Version4TagWithSyncSafeFrameSize) {
    // A 12-byte TIT2 frame: encoding byte and 11 characters.
    std::string frame = Id3v2Text(4, "TIT2", "Hello World");
    ASSERT_EQ(frame.size() - 10, 12u);
    // 200 bytes of data push the frame size past 127, where sync-safe differs.
    std::string tag = Id3v2Tag(
        4, frame + Id3v2Text(4, "TPE1", std::string(200, 'a')) + Id3v2Text(4, "TALB", "Album"), 64);
    TID3v2 r = Read(tag);
    EXPECT_TRUE(r.Exists());
    EXPECT_EQ(r.VersionID(), 4);
    EXPECT_EQ(r.Size(), static_cast<std::int64_t>(tag.size()));
    EXPECT_EQ(r.Title(), "Hello World");
    EXPECT_EQ(r.Artist(), std::string(200, 'a'));
    EXPECT_EQ(r.Album(), "Album");
}

TEST(ID3v2, HeaderDecidesWhetherFramesAreRead) {
    TID3v2 r = Read(Id3v2Tag(5, Id3v2Text(4, "TIT2", "Five")));
    EXPECT_TRUE(r.Exists());
    EXPECT_EQ(r.VersionID(), 5);
    EXPECT_EQ(r.Title(), "");

    std::string tooBig = Id3v2Tag(3, Id3v2Text(3, "TIT2", "Big"));
    tooBig.replace(6, 4, SyncSafe(100000));
    r = Read(tooBig);
    EXPECT_TRUE(r.Exists());
    EXPECT_EQ(r.Size(), 0);
    EXPECT_EQ(r.Title(), "");

    // The footer flag adds 10 bytes.
    r = Read(Id3v2Tag(4, Id3v2Text(4, "TIT2", "Foot"), 0, 0x10) + "3DI" + std::string(7, '\0'));
    EXPECT_EQ(r.Size(), 10 + 15 + 10);

    TID3v2 none;
    EXPECT_TRUE(none.ReadFromBuffer(Span("not a tag at all")));
    EXPECT_FALSE(none.Exists());
    EXPECT_FALSE(none.ReadFromBuffer(Span("ID3\x03")));
}

TEST(ID3v2, DerivedFields) {
    std::string frames = Id3v2Text(3, "TRCK", "3/12") + Id3v2Text(3, "TDRC", "2004-05-06") +
                         Id3v2Text(3, "TCON", "(13)Pop") + Id3v2Text(3, "TIT1", "Group") +
                         Id3v2Text(3, "TOPE", "Original") + Id3v2Text(3, "TOAL", "Orig Album") +
                         Id3v2Text(3, "TCOM", "Composer") + Id3v2Text(3, "TENC", "Enc") +
                         Id3v2Text(3, "TCOP", "(c)") + Id3v2Text(3, "TLAN", "eng") +
                         Id3v2Text(3, "TSIZ", "1234") + Id3v2Frame(3, "UFID", "http://x\0id-42"s);
    TID3v2 r = Read(Id3v2Tag(3, frames));
    EXPECT_EQ(r.Track(), 3);
    EXPECT_EQ(r.TrackString(), "3/12");
    EXPECT_EQ(r.Year(), "2004");
    EXPECT_EQ(r.Genre(), "Pop");
    EXPECT_EQ(r.Title(), "Group");
    EXPECT_EQ(r.Artist(), "Original");
    EXPECT_EQ(r.Album(), "Orig Album");
    EXPECT_EQ(r.Composer(), "Composer");
    EXPECT_EQ(r.Encoder(), "Enc");
    EXPECT_EQ(r.Copyright(), "(c)");
    EXPECT_EQ(r.Language(), "eng");
    EXPECT_EQ(r.SizeText(), "1234");
    EXPECT_EQ(r.UFID(), "http://x\0id-42"s);

    r = Read(Id3v2Tag(3, Id3v2Text(3, "TRCK", "x") + Id3v2Text(3, "TCON", "(13)") +
                             Id3v2Text(3, "TYER", "1999") + Id3v2Text(3, "TDRC", "2004")));
    EXPECT_EQ(r.Track(), 0);
    EXPECT_EQ(r.Genre(), "Pop");
    EXPECT_EQ(r.Year(), "1999");
}

TEST(ID3v2, TextEncodings) {
    std::string frames = Id3v2Frame(3, "TIT2",
                                    "\x01\xFF\xFE"
                                    "T\0\xEF\0t\0\x3D\xD8\x00\xDE\0\0"s) +
                         Id3v2Frame(3, "TPE1", "\x01\xFE\xFF\0B\0\xE9"s) +
                         Id3v2Frame(3, "TALB", "\x02\0A\0l\0b"s) +
                         Id3v2Frame(3, "TCOM",
                                    "\x03"
                                    "Compos\xC3\xA9r\0"s) +
                         Id3v2Frame(3, "TENC", "\0Encod\xE9"s);
    TID3v2 r = Read(Id3v2Tag(3, frames));
    EXPECT_EQ(r.Title(), "T\u00EFt\U0001F600");
    EXPECT_EQ(r.Artist(), "B\u00E9");
    EXPECT_EQ(r.Album(), "Alb");
    EXPECT_EQ(r.Composer(), "Compos\u00E9r");
    EXPECT_EQ(r.Encoder(), "Encod\u00E9");
}

TEST(ID3v2, CommentAndLinkDropTheirDescription) {
    TID3v2 r = Read(Id3v2Tag(3, Id3v2Frame(3, "COMM", "\0eng\0Text"s)));
    EXPECT_EQ(r.Comment(), "Text");

    // UTF-16 description ending in an ASCII letter: its terminator must be
    // found on a unit boundary.
    r = Read(Id3v2Tag(3, Id3v2Frame(3, "COMM",
                                    "\x01"
                                    "eng\xFF\xFE"
                                    "A\0\0\0\xFF\xFEx\0y\0"s) +
                             Id3v2Frame(3, "WXXX",
                                        "\x01\xFF\xFE"
                                        "d\0\0\0http://a.b/\xE9"s)));
    EXPECT_EQ(r.Comment(), "xy");
    EXPECT_EQ(r.Link(), "http://a.b/\u00E9");

    r = Read(Id3v2Tag(3, Id3v2Frame(3, "WXXX", "\0desc\0http://x.y"s)));
    EXPECT_EQ(r.Link(), "http://x.y");
}

TEST(ID3v2, FrameRules) {
    std::string gain = "\0replaygain_track_gain\0-6.50 dB"s;
    std::string frames = Id3v2Text(3, "TIT2", "First") + Id3v2Text(3, "TIT2", "Second") +
                         Id3v2Frame(3, "TXXX", gain) +
                         Id3v2Frame(3, "TXXX",
                                    "\0replaygain_album_peak\x00"
                                    "0.98"s) +
                         Id3v2Text(3, "TPE1", std::string(700, 'z')) +
                         Id3v2Frame(3, "TALB", "\0Compressed"s, 0x80) +
                         Id3v2Text(3, "TCOM", "After");
    TID3v2 r = Read(Id3v2Tag(3, frames));
    EXPECT_EQ(r.Title(), "Second");
    EXPECT_EQ(r.TrackGain(), "-6.50 dB");
    EXPECT_EQ(r.AlbumPeak(), "0.98");
    EXPECT_EQ(r.Artist(), std::string(499, 'z'));  // 500 bytes kept, encoding byte first
    EXPECT_EQ(r.Album(), "");
    EXPECT_EQ(r.Composer(), "After");

    // Padding ends the walk; nothing after it is read.
    r = Read(Id3v2Tag(3, Id3v2Text(3, "TIT2", "Before") + std::string(20, '\0') +
                             Id3v2Text(3, "TPE1", "Hidden")));
    EXPECT_EQ(r.Title(), "Before");
    EXPECT_EQ(r.Artist(), "");
}

TEST(ID3v2, Version22AndExtendedHeader) {
    TID3v2 r = Read(Id3v2Tag(2, Id3v2Text(2, "TT2", "Old") + Id3v2Text(2, "TP1", "Timer") +
                                    Id3v2Frame(2, "COM", "\0engd\0Said"s)));
    EXPECT_EQ(r.VersionID(), 2);
    EXPECT_EQ(r.Title(), "Old");
    EXPECT_EQ(r.Artist(), "Timer");
    EXPECT_EQ(r.Comment(), "Said");

    std::string v3 = BE(6, 4) + std::string(6, '\0') + Id3v2Text(3, "TIT2", "Extended");
    EXPECT_EQ(Read(Id3v2Tag(3, v3, 0, 0x40)).Title(), "Extended");
    std::string v4 = SyncSafe(6) + "\x01\0"s + Id3v2Text(4, "TIT2", "Extended 4");
    EXPECT_EQ(Read(Id3v2Tag(4, v4, 0, 0x40)).Title(), "Extended 4");
    // The flag without the header, as some taggers write it: the frames follow at once.
    for (const int version : {3, 4}) {
        r = Read(Id3v2Tag(version,
                          Id3v2Text(version, "TIT2", "Flag only") + Id3v2Text(version, "TPE1", "A"),
                          0, 0x40));
        EXPECT_EQ(r.Title(), "Flag only") << version;
        EXPECT_EQ(r.Artist(), "A") << version;
    }
}

// Unsynchronisation stores a zero after every FF, so that no tag byte looks
// like the start of an MPEG frame.
std::string Unsynchronised(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        out += c;
        if (c == '\xFF') {
            out += '\0';
        }
    }
    return out;
}

TEST(ID3v2, UnsynchronisationIsUndone) {
    const std::string hi = "\x01\xFF\xFEH\0i\0"s;  // UTF-16 with its byte-order mark
    // Version 2.3: the whole tag after the header; frame sizes count the bytes
    // without the zeros.
    const std::string frames = Id3v2Frame(3, "TIT2", hi) + Id3v2Text(3, "TPE1", "\xFF\xFFx") +
                               Id3v2Text(3, "TALB", "After");
    const std::string body = Unsynchronised(frames + std::string(8, '\0'));
    TID3v2 r = Read("ID3\x03\0\x80"s + SyncSafe(static_cast<std::uint32_t>(body.size())) + body);
    EXPECT_EQ(r.Title(), "Hi");
    EXPECT_EQ(r.Artist(), "\u00FF\u00FFx");
    EXPECT_EQ(r.Album(), "After");

    // Version 2.4: frame by frame (format flag 2, here with the data length
    // of flag 1 before the data), or every frame when the header says so.
    const std::string data = Unsynchronised(hi);
    const std::string frame = "TIT2" + SyncSafe(static_cast<std::uint32_t>(4 + data.size())) +
                              "\0\x03"s + SyncSafe(static_cast<std::uint32_t>(hi.size())) + data;
    r = Read(Id3v2Tag(4, frame + Id3v2Text(4, "TALB", "After")));
    EXPECT_EQ(r.Title(), "Hi");
    EXPECT_EQ(r.Album(), "After");
    r = Read(Id3v2Tag(4, Id3v2Frame(4, "TIT2", data) + Id3v2Text(4, "TALB", "After"), 0, 0x80));
    EXPECT_EQ(r.Title(), "Hi");
    EXPECT_EQ(r.Album(), "After");
}

// A widespread old tagger wrote version 2.4 tags with the plain frame sizes
// of version 2.3; a picture then hid every frame after it.
TEST(ID3v2, PlainFrameSizesInVersion24AreFollowedWhereTheyLead) {
    const auto plain = [](std::string_view id, std::string_view data) {
        return std::string(id) + BE(static_cast<std::uint32_t>(data.size()), 4) + "\0\0"s +
               std::string(data);
    };
    const std::string picture = "\0image/jpeg\0\x03\0"s + std::string(300, '\x55');
    const std::string blob(0x4000, 'b');  // 00 00 40 00: a valid sync-safe size too
    TID3v2 r = Read(Id3v2Tag(4,
                             plain("TIT2", "\0Title"s) + plain("APIC", picture) +
                                 plain("TPE1", "\0Artist"s) + plain("PRIV", blob) +
                                 plain("TALB", "\0Album"s),
                             64));
    EXPECT_EQ(r.Title(), "Title");
    EXPECT_EQ(r.Artist(), "Artist");
    EXPECT_EQ(r.Album(), "Album");
}

TEST(ID3v2, SeveralValuesAreJoinedAndNoZeroByteRemains) {
    TID3v2 r = Read(Id3v2Tag(4, Id3v2Frame(4, "TPE1", "\0One\0Two\0"s) +
                                    Id3v2Frame(4, "TIT2", "\x03\xC3\x84\0B"s) +
                                    Id3v2Frame(4, "TALB", "\x01\xFF\xFEX\0\0\0\xFF\xFEY\0"s) +
                                    Id3v2Frame(4, "TCOM", "\x02\0X\0\0\0Y"s) +
                                    Id3v2Frame(4, "TCON",
                                               "\x03"
                                               "17\0Jazz"s)));
    EXPECT_EQ(r.Artist(), "One / Two");
    EXPECT_EQ(r.Title(), "\u00C4 / B");
    EXPECT_EQ(r.Album(), "X / Y");
    EXPECT_EQ(r.Composer(), "X / Y");
    EXPECT_EQ(r.Genre(), "Rock / Jazz");
}

TEST(ID3v2, TheCommentPeopleWroteAndGenreNames) {
    const std::string said = Id3v2Frame(3, "COMM", "\0eng\0Said"s);
    const std::string machine = Id3v2Frame(3, "COMM", "\0engiTunNORM\0 00000A2B 00000A2B"s);
    EXPECT_EQ(Read(Id3v2Tag(3, said + machine)).Comment(), "Said");
    EXPECT_EQ(Read(Id3v2Tag(3, machine + said)).Comment(), "Said");
    EXPECT_EQ(Read(Id3v2Tag(3, machine)).Comment(), "");
    EXPECT_EQ(Read(Id3v2Tag(3, Id3v2Frame(3, "COMM", "\0engNote\0Written"s) + machine)).Comment(),
              "Written");

    for (const auto& [stored, shown] :
         std::vector<std::pair<std::string, std::string>>{{"(17)", "Rock"},
                                                          {"35", "House"},
                                                          {"(17)Hard Rock", "Hard Rock"},
                                                          {"(4)(17)", "Disco / Rock"},
                                                          {"RX", "Remix"},
                                                          {"(CR)", "Cover"},
                                                          {"Rock (Classic)", "Rock (Classic)"},
                                                          {"((Brackets)", "(Brackets)"},
                                                          {"300", "300"}}) {
        EXPECT_EQ(Read(Id3v2Tag(3, Id3v2Text(3, "TCON", stored))).Genre(), shown) << stored;
    }
}

TEST(ID3v2, HostileSizesAndTruncation) {
    tagtest::ResetAllocationStats();
    std::string huge = Id3v2Text(3, "TIT2", "Title");
    huge.replace(4, 4, "\xFF\xFF\xFF\xFF");
    TID3v2 r = Read(Id3v2Tag(3, huge + Id3v2Text(3, "TPE1", "Artist")));
    EXPECT_EQ(r.Title(), "");  // its data runs past the end of the file
    EXPECT_EQ(r.Artist(), "");

    std::string tag =
        Id3v2Tag(4, Id3v2Text(4, "TIT2", "Title") + Id3v2Frame(4, "TPE1", "\x01\xFF\xFEx\0y\0"s) +
                        Id3v2Text(4, "TRCK", "7"));
    for (std::size_t n = 0; n <= tag.size(); ++n) {
        TID3v2 cut;
        EXPECT_EQ(cut.ReadFromBuffer(Span(tag.substr(0, n))), n >= 10);
        EXPECT_EQ(cut.Title(), n == tag.size() ? "Title" : "");
        EXPECT_EQ(cut.Track(), n == tag.size() ? 7 : 0);
    }
    EXPECT_LT(tagtest::CurrentAllocationStats().largest, 1u << 20);
}
