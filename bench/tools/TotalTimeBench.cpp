// The length of 10 000 files (MP3 with a LAME Info frame, Ogg Vorbis, FLAC and
// WAV, a quarter each) as the total time command takes it, against reading the
// same files' headers with the tag readers.
//   mirvo_bench_totaltime [file count]
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
#include "engine/EngineFixtures.h"
#include "playback/Format.h"
#include "playlist/Entries.h"
#include "tags/FLACfile.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/OggVorbis.h"
#include "tools/TotalTime.h"

namespace fs = std::filesystem;

namespace {

using bench::Best;

// What the tag readers read of each format: the tags and the stream header.
bool ReadHeaders(const std::string& f) {
    switch (mirvo::AudioFileType(f)) {
        case 0: {
            mirvo::TID3v2 v2;
            mirvo::TID3v1 v1;
            v2.ReadFromFile(f);
            v1.ReadFromFile(f);
            return v2.Exists();
        }
        case 2: {
            mirvo::TOggVorbis ogg;
            return ogg.ReadFromFile(f) && ogg.Duration() > 0;
        }
        case 3: {
            mirvo::TFLACfile flac;
            return flac.ReadFromFile(f) && flac.Duration() > 0;
        }
        default:
            return mirvo::WaveBitsPerSample(f) == 16;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const fs::path folder =
        fs::temp_directory_path() / ("mirvo-bench-totaltime-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string base = folder.string() + "/";
    mirvo::test::WriteWav(base + "tone.wav", mirvo::test::Tone(44100, 5.0, 440), 44100);
    const bool made = mirvo::test::Encode("lame --quiet -b 128 --tt Title --ta Artist '" + base +
                                          "tone.wav' '" + base + "tone.mp3'") &&
                      mirvo::test::Encode("oggenc -Q -q 3 -t Title -a Artist -o '" + base +
                                          "tone.ogg' '" + base + "tone.wav'") &&
                      mirvo::test::Encode("flac -s -f -T TITLE=Title -T ARTIST=Artist -o '" + base +
                                          "tone.flac' '" + base + "tone.wav'");
    if (!made) {
        std::fprintf(stderr, "lame, oggenc and flac are needed\n");
        return 1;
    }
    const char* kinds[] = {"mp3", "ogg", "flac", "wav"};
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const std::string kind = kinds[i % 4];
        files.push_back(base + "t" + std::to_string(i) + "." + kind);
        fs::copy_file(base + "tone." + kind, files.back());
    }

    const auto lengthOk = [](const std::string& f) { return mirvo::PlayingSeconds(f) == 5; };
    const double headers = Best(files, ReadHeaders);
    const double lengths = Best(files, lengthOk);
    for (int kind = 0; kind < 4; ++kind) {
        std::vector<std::string> some;
        for (std::size_t i = static_cast<std::size_t>(kind); i < files.size(); i += 4) {
            some.push_back(files[i]);
        }
        std::printf("%-5s lengths take %.2fx the time of its headers\n", kinds[kind],
                    Best(some, lengthOk) / Best(some, ReadHeaders));
    }

    std::printf("files: %d (MP3, Ogg Vorbis, FLAC, WAV of 5 s), best of 3 runs, warm cache\n",
                count);
    std::printf("tag readers:        %10.0f files/s\n", count / headers);
    std::printf("PlayingSeconds:     %10.0f files/s\n", count / lengths);
    std::printf("lengths take %.2fx the time of reading the headers (goal: at most 2x)\n",
                lengths / headers);
    fs::remove_all(folder);
    return 0;
}
