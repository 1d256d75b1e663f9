// Reads the ID3v2 and ID3v1 tags of 10 000 generated MP3 files and compares
// the rate with stat() and with a bare open()/close() of the same files, the
// floor for any reader that has to look inside a file.
//   mirvo_bench_tags [file count] [folder]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FileRuns.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/TagFixtures.h"

using namespace tagfixtures;
namespace fs = std::filesystem;

namespace {

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
    std::string audio(4096, '\0');
    for (std::size_t at = 0; at < audio.size(); at += 418) {
        audio[at] = '\xFF';
        audio[at + 1] = '\xFB';
    }
    std::string v1 = Id3v1("Title number " + n, "Artist " + n, "Album", "2004", "Comment", 17);
    v1[126] = static_cast<char>(i % 12 + 1);
    return Id3v2Tag(3, frames, 512) + audio + v1;
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
    if (argc <= 2) {
        fs::remove_all(folder);
    }
    return 0;
}
