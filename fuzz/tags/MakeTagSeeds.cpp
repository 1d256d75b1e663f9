// Writes the seed corpus of the tag fuzz targets: one folder per target.
#include <filesystem>
#include <string>

#include "tags/TagFixtures.h"

using namespace tagfixtures;
namespace fs = std::filesystem;

namespace {

void Seed(const fs::path& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    WriteFile(folder / name, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        return 2;
    }
    const fs::path id3v1 = argv[1], id3v2 = argv[2], flac = argv[3], ogg = argv[4];
    const std::string audio(64, '\xFF');
    std::string v11 = Id3v1("Title", "Artist", "Album", "2001", "Comment", 17);
    v11[126] = 4;
    Seed(id3v1, "v11", audio + v11);
    Seed(id3v1, "v10", Id3v1("T", "A", "B", "1999", std::string(30, 'c'), 200));
    std::string lyrics = Lyrics3({{"IND", "11"},
                                  {"LYR", "a\rb\r\nc\nd"},
                                  {"ETT", "Long title"},
                                  {"EAR", "Artist"},
                                  {"EAL", "Album"},
                                  {"INF", "Info"},
                                  {"AUT", "Author"},
                                  {"IMG", "x.jpg||"}});
    Seed(id3v1, "lyrics", audio + lyrics + v11);
    Seed(id3v1, "lyrics-only", audio + lyrics);

    std::string frames3 =
        Id3v2Text(3, "TIT2", "Title") +
        Id3v2Frame(3, "TPE1",
                   std::string("\x01\xFF\xFE"
                               "A\0r\0",
                               7)) +
        Id3v2Text(3, "TRCK", "3/12") + Id3v2Text(3, "TCON", "(17)Rock") +
        Id3v2Frame(3, "COMM", std::string("\0eng\0text", 9)) +
        Id3v2Frame(3, "WXXX", std::string("\0d\0http://x", 11)) +
        Id3v2Frame(3, "TXXX", std::string("\0replaygain_track_gain\0-6.50 dB", 31)) +
        Id3v2Frame(3, "UFID", std::string("owner\0id", 8));
    Seed(id3v2, "v23", Id3v2Tag(3, frames3, 20) + audio);
    Seed(id3v2, "v24",
         Id3v2Tag(4,
                  Id3v2Text(4, "TIT2", "Title") +
                      Id3v2Frame(4, "TALB", std::string("\x02\0A\0b", 5)) +
                      Id3v2Frame(4, "TCOM", std::string("\x03\xC3\xA9", 3)) +
                      Id3v2Text(4, "TDRC", "2004-05-06"),
                  0, 0x10) +
             "3DI" + std::string(7, '\0') + audio);
    Seed(id3v2, "v22",
         Id3v2Tag(2,
                  Id3v2Text(2, "TT2", "Old") + Id3v2Frame(2, "COM", std::string("\0engd\0c", 7))) +
             audio);
    // Unsynchronised: the whole v2.3 tag, one v2.4 frame (with its data length).
    const std::string hi("\x01\xFF\xFEH\0i\0", 7);
    const std::string unsynced("\x01\xFF\0\xFEH\0i\0", 8);
    const std::string body3 = Id3v2Frame(3, "TIT2", unsynced) + Id3v2Text(3, "TPE1", "\xFF\0x");
    Seed(id3v2, "unsync23",
         std::string("ID3\x03\0\x80", 6) + SyncSafe(static_cast<std::uint32_t>(body3.size())) +
             body3 + audio);
    Seed(id3v2, "unsync24",
         Id3v2Tag(4, "TIT2" + SyncSafe(12) + std::string("\0\x03", 2) + SyncSafe(7) + unsynced +
                         Id3v2Text(4, "TALB", "After")) +
             audio);
    // Plain frame sizes in a v2.4 tag, the extended header flag without one,
    // several values per frame, a machine comment beside the real one.
    const auto plain = [](const std::string& id, const std::string& data) {
        return id + BE(static_cast<std::uint32_t>(data.size()), 4) + std::string(2, '\0') + data;
    };
    Seed(id3v2, "plain24",
         Id3v2Tag(4,
                  plain("APIC", std::string(300, '\x9C')) + plain("TPE1", std::string("\0A", 2))) +
             audio);
    Seed(id3v2, "extflag", Id3v2Tag(4, Id3v2Text(4, "TIT2", "No header"), 0, 0x40) + audio);
    Seed(id3v2, "values24",
         Id3v2Tag(4, Id3v2Frame(4, "TPE1", std::string("\x03One\0Two", 8)) +
                         Id3v2Frame(4, "TIT2",
                                    hi + std::string("\0\0\xFF\xFE"
                                                     "B\0",
                                                     6)) +
                         Id3v2Frame(4, "TCON",
                                    std::string("\0(17)\0"
                                                "35",
                                                9)) +
                         Id3v2Frame(4, "COMM", std::string("\0engiTunNORM\0 0A2B", 18)) +
                         Id3v2Frame(4, "COMM", std::string("\0eng\0Said", 9))) +
             audio);

    std::string comments = VorbisComments(
        "reference libFLAC 1.4.2", {"TITLE=Title", "artist=A", "BPM=120", "LYRICS=l\xC3\xA9"});
    Seed(flac, "plain",
         Flac(44100, 2, 16, 441000,
              FlacBlock(1, std::string(16, '\0'), false) + FlacBlock(4, comments, false) +
                  FlacBlock(1, "pad", true)) +
             audio);
    Seed(flac, "id3",
         Id3v2Tag(3, Id3v2Text(3, "TIT2", "x")) +
             Flac(48000, 6, 24, 48000, FlacBlock(4, comments, true)) + audio);

    std::string head = OggVorbisHeaders(2, 44100, 128000, "Xiph.Org libVorbis I 20020717",
                                        {"TITLE=Title", "ARTIST=", "COMPOSER=C", "DESCRIPTION=D"});
    std::string last = OggPage(4, 44100, 3, std::string(50, '\x11'));
    Seed(ogg, "plain", head + std::string(300, '\0') + last);
    std::string packet = VorbisCommentPacket("vendor", {"ALBUM=" + std::string(300, 'a')});
    // A video's first page before the sound's, its pages in between and last.
    constexpr std::uint32_t kVideo = 0x56494445;
    Seed(ogg, "muxed",
         OggPage(2, 0, 0, "\x80theora" + std::string(34, '\x01'), false, kVideo) +
             OggPage(2, 0, 0, VorbisIdentification(2, 44100, 96000)) +
             OggPage(0, 0, 1, "\x81theora" + std::string(20, '\x02'), false, kVideo) +
             OggPage(0, 0, 1, VorbisCommentPacket("v", {"TITLE=Clip"})) + last +
             OggPage(4, 75, 2, std::string(40, '\x03'), false, kVideo));
    Seed(ogg, "spanning",
         OggPage(2, 0, 0, VorbisIdentification(1, 22050, 64000)) +
             OggPage(0, 0, 1, packet.substr(0, 255), true) + OggPage(1, 0, 2, packet.substr(255)) +
             last);
    return 0;
}
