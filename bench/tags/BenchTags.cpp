// Reads the ID3v2 and ID3v1 tags of 10 000 generated MP3 files and compares
// the rate with stat() and with a bare open()/close() of the same files, the
// floor for any reader that has to look inside a file. Then reads a mixed set
// (MP3 with ID3v2.3, MP3 with ID3v2.4 of several values and unsynchronised
// frames, FLAC, Ogg Vorbis) beside python3-mutagen reading the same files
// (goal: at least 10 times as fast).
//   mirvo_bench_tags [file count] [folder]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "FileRuns.h"
#include "tags/FLACfile.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/OggVorbis.h"
#include "tags/TagFixtures.h"

using namespace tagfixtures;
namespace fs = std::filesystem;

namespace {

std::string FakeMpegFrames() {
    std::string audio(4096, '\0');
    for (std::size_t at = 0; at < audio.size(); at += 418) {
        audio[at] = '\xFF';
        audio[at + 1] = '\xFB';
    }
    return audio;
}

std::string Mp3(int i) {
    std::string n = std::to_string(i);
    std::string frames =
        Id3v2Text(3, "TIT2", "Title number " + n) + Id3v2Text(3, "TPE1", "Artist " + n) +
        Id3v2Text(3, "TALB", "Album " + std::to_string(i / 12)) +
        Id3v2Text(3, "TRCK", std::to_string(i % 12 + 1) + "/12") + Id3v2Text(3, "TYER", "2004") +
        Id3v2Text(3, "TCON", "(17)Rock") +
        Id3v2Frame(3, "COMM", std::string("\0eng\0", 5) + "A comment for track " + n) +
        Id3v2Frame(3, "TENC",
                   std::string("\x01\xFF\xFE"
                               "L\0A\0M\0E\0",
                               11));
    std::string v1 = Id3v1("Title number " + n, "Artist " + n, "Album", "2004", "Comment", 17);
    v1[126] = static_cast<char>(i % 12 + 1);
    return Id3v2Tag(3, frames, 512) + FakeMpegFrames() + v1;
}

// Version 2.4: several values per frame, an unsynchronised UTF-16 title, a
// cover and a player's machine comment beside the real one.
std::string Mp3v24(int i) {
    std::string n = std::to_string(i);
    std::string title = "\x01\xFF\x00\xFE" + std::string("T\0i\0t\0l\0e\0 \0", 12);
    for (char c : n) {
        title += c;
        title += '\0';
    }
    const std::string frames =
        "TIT2" + SyncSafe(static_cast<std::uint32_t>(title.size())) + std::string("\0\x02", 2) +
        title +
        Id3v2Frame(4, "TPE1",
                   "\x03"
                   "Artist " +
                       n + std::string(1, '\0') + "Guest") +
        Id3v2Text(4, "TALB", "Album " + std::to_string(i / 12)) +
        Id3v2Text(4, "TRCK", std::to_string(i % 12 + 1)) + Id3v2Text(4, "TDRC", "2004-05-06") +
        Id3v2Frame(4, "TCON",
                   std::string("\x03"
                               "17\0"
                               "35",
                               6)) +
        Id3v2Frame(4, "APIC", std::string("\0image/jpeg\0\x03\0", 14) + std::string(3000, '\x9C')) +
        Id3v2Frame(4, "COMM", std::string("\0engiTunNORM\0 00000A2B 00000A2B", 31)) +
        Id3v2Frame(4, "COMM", std::string("\0eng\0", 5) + "Said of " + n);
    return Id3v2Tag(4, frames, 256) + FakeMpegFrames();
}

std::string FlacFile(int i) {
    const std::string n = std::to_string(i);
    const std::string comments = VorbisComments(
        "reference libFLAC 1.4.2", {"TITLE=Title " + n, "ARTIST=Artist " + n, "ALBUM=Album",
                                    "TRACKNUMBER=" + std::to_string(i % 12 + 1), "DATE=2004",
                                    "GENRE=Rock", "MUSICBRAINZ_TRACKID=m-" + n});
    return Flac(44100, 2, 16, 441000,
                FlacBlock(4, comments, false) + FlacBlock(1, std::string(1024, '\0'), true)) +
           std::string(4096, '\x55');
}

std::string OggFile(int i) {
    const std::string n = std::to_string(i);
    const std::string head =
        OggVorbisHeaders(2, 44100, 128000, "Xiph.Org libVorbis I 20200704 (Reducing Environment)",
                         {"TITLE=Title " + n, "ARTIST=Artist " + n, "ALBUM=Album",
                          "TRACKNUMBER=" + std::to_string(i % 12 + 1), "DATE=2004"});
    return head + OggPage(0, 22050, 2, std::string(4000, '\x33')) +
           OggPage(4, 44100, 3, std::string(3000, '\x44'));
}

bool ReadTags(const std::string& file) {
    if (file.ends_with(".mp3")) {
        mirvo::TID3v2 v2;
        mirvo::TID3v1 v1;
        return v2.ReadFromFile(file) && v1.ReadFromFile(file) && !v2.Title().empty();
    }
    if (file.ends_with(".flac")) {
        mirvo::TFLACfile flac;
        return flac.ReadFromFile(file) && !flac.Title().empty();
    }
    mirvo::TOggVorbis ogg;
    return ogg.ReadFromFile(file) && !ogg.Title().empty();
}

// Seconds python3-mutagen takes over `list` (best of three, timed inside
// Python so that its start-up does not count); negative when it cannot run.
double MutagenSeconds(const fs::path& list) {
    const fs::path script = list.parent_path() / "mutagen-bench.py";
    std::ofstream(script) << R"(import sys, time
from mutagen.id3 import ID3
from mutagen.flac import FLAC
from mutagen.oggvorbis import OggVorbis
files = open(sys.argv[1]).read().split("\n")
kinds = {"mp3": ID3, "flac": FLAC, "ogg": OggVorbis}
best = 1e9
for run in range(3):
    start = time.perf_counter()
    for f in files:
        tags = kinds[f.rsplit(".", 1)[1]](f)
        if not (tags.get("TIT2") or tags.get("title")):
            sys.exit("no title in " + f)
    best = min(best, time.perf_counter() - start)
print(best)
)";
    const fs::path out = list.parent_path() / "mutagen-seconds";
    // Debian's python, where python3-mutagen is installed.
    const std::string command =
        "/usr/bin/python3 " + script.string() + " " + list.string() + " > " + out.string();
    if (std::system(command.c_str()) != 0) {
        return -1;
    }
    double seconds = -1;
    std::ifstream(out) >> seconds;
    return seconds;
}

using bench::Best;

}  // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    fs::path folder =
        argc > 2 ? fs::path(argv[2])
                 : fs::temp_directory_path() / ("mirvo-bench-tags-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        files.push_back((folder / ("track" + std::to_string(i) + ".mp3")).string());
        WriteFile(files.back(), Mp3(i));
    }

    double statTime = Best(files, [](const std::string& f) {
        struct stat info {};
        return ::stat(f.c_str(), &info) == 0;
    });
    double openTime = Best(files, [](const std::string& f) {
        int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
        return fd >= 0 && ::close(fd) == 0;
    });
    double tagTime = Best(files, [](const std::string& f) {
        mirvo::TID3v2 v2;
        mirvo::TID3v1 v1;
        return v2.ReadFromFile(f) && v1.ReadFromFile(f) && !v2.Title().empty() && v1.Exists();
    });

    std::printf("files: %d (ID3v2.3 and ID3v1 each), best of 3 runs, warm cache\n", count);
    std::printf("stat:              %10.0f files/s\n", count / statTime);
    std::printf("open+close:        %10.0f files/s\n", count / openTime);
    std::printf("TID3v2 + TID3v1:   %10.0f files/s\n", count / tagTime);
    std::printf("tag reading takes %.2fx the time of stat and %.2fx that of open+close\n",
                tagTime / statTime, tagTime / openTime);

    // A quarter of each kind, named by kind so that both readers pick theirs.
    const fs::path mixed = folder / "mixed";
    fs::create_directories(mixed);
    std::vector<std::string> mix;
    std::string listing;
    for (int i = 0; i < count / 2; ++i) {
        const int kind = i % 4;
        std::string name = "t";
        name += std::to_string(i);
        mix.push_back((mixed / name).string() + (kind < 2 ? ".mp3" : kind == 2 ? ".flac" : ".ogg"));
        WriteFile(mix.back(), kind == 0   ? Mp3(i)
                              : kind == 1 ? Mp3v24(i)
                              : kind == 2 ? FlacFile(i)
                                          : OggFile(i));
        listing += listing.empty() ? "" : "\n";
        listing += mix.back();
    }
    WriteFile(folder / "mixed.txt", listing);
    const double mixTime = Best(mix, ReadTags);
    const double mutagen = MutagenSeconds(folder / "mixed.txt");
    std::printf("mixed set: %zu files (ID3v2.3, ID3v2.4, FLAC, Ogg Vorbis)\n", mix.size());
    std::printf("mirvo readers:     %10.0f files/s\n", mix.size() / mixTime);
    if (mutagen > 0) {
        std::printf("python3-mutagen:   %10.0f files/s\n", mix.size() / mutagen);
        std::printf("the readers are %.1fx as fast as python3-mutagen (goal: at least 10x)\n",
                    mutagen / mixTime);
    } else {
        std::printf("python3-mutagen could not read the set (is it installed?)\n");
    }
    if (argc <= 2) {
        fs::remove_all(folder);
    }
    return 0;
}
