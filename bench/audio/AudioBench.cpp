// Decodes a WAV, MP3, Ogg Vorbis, FLAC, Opus, AAC and ALAC (MP4) and WavPack file
// of the same audio through the library and through each format's reference
// decoder (the `ffmpeg` command line for the formats FFmpeg's libraries decode), and prints frames
// per second as a ratio (library / reference; above 1 means faster). Best of three.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "audio/Audio.h"

namespace {

using Clock = std::chrono::steady_clock;

// `seconds` of 44.1 kHz 16-bit stereo: two tones and some noise, so the lossy
// encoders have something to do.
void WriteWave(const std::string& path, std::uint32_t seconds) {
    const std::uint32_t frames = seconds * 44100;
    std::vector<std::int16_t> samples(std::size_t{frames} * 2);
    std::uint32_t noise = 1;
    for (std::uint32_t f = 0; f < frames; ++f) {
        for (int c = 0; c < 2; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double tone =
                9000.0 * std::sin(2.0 * 3.141592653589793 * (c ? 554.0 : 440.0) * f / 44100.0);
            samples[std::size_t{f} * 2 + c] =
                static_cast<std::int16_t>(tone + static_cast<int>(noise >> 22) - 512);
        }
    }
    const std::uint32_t bytes = frames * 4;
    std::ofstream out(path, std::ios::binary);
    auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    };
    out << "RIFF";
    put(36 + bytes, 4);
    out << "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(44100, 4);
    put(44100 * 4, 4);
    put(4, 2);
    put(16, 2);
    out << "data";
    put(bytes, 4);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

double Best(const std::function<bool()>& run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        if (!run()) {
            return -1.0;
        }
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

// Frames decoded by the library, or 0 on failure.
std::uint64_t DecodeAll(const std::string& path) {
    const audio::Handle h =
        audio::StreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode);
    if (h == 0) {
        return 0;
    }
    std::vector<std::uint8_t> buf(1 << 16);
    std::uint64_t bytes = 0;
    for (;;) {
        const std::uint32_t n = audio::ChannelGetData(h, buf.data(), buf.size());
        if (n == 0 || n == audio::kDataError) {
            break;
        }
        bytes += n;
    }
    audio::StreamFree(h);
    return bytes / 4;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint32_t seconds = argc > 1 ? std::max(60, std::atoi(argv[1])) : 90;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("mirvo-audio-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const std::string base = (dir / "bench").string();
    const std::string wav = base + ".wav";
    std::printf("making %u s of audio in %s\n", seconds, dir.c_str());
    WriteWave(wav, seconds);
    const std::string q = " '" + base;
    if (std::system(("lame --quiet -b 192" + q + ".wav'" + q + ".mp3'").c_str()) != 0 ||
        std::system(("oggenc -Q -q 5 -o" + q + ".ogg'" + q + ".wav'").c_str()) != 0 ||
        std::system(("flac -s -f -o" + q + ".flac'" + q + ".wav'").c_str()) != 0 ||
        std::system(("opusenc --quiet" + q + ".wav'" + q + ".opus'").c_str()) != 0 ||
        std::system(
            ("ffmpeg -v error -y -i" + q + ".wav' -c:a aac -b:a 192k" + q + ".m4a'").c_str()) !=
            0 ||
        std::system(("ffmpeg -v error -y -i" + q + ".wav' -c:a alac" + q + "alac.m4a'").c_str()) !=
            0 ||
        std::system(("wavpack -q -y" + q + ".wav' -o" + q + ".wv'").c_str()) != 0) {
        std::fprintf(stderr, "an encoder failed\n");
        return 1;
    }
    // Decoded to 16-bit samples as the library delivers them, on one thread.
    const auto ffmpeg = [&](const std::string& suffix) {
        return "ffmpeg -nostdin -v error -threads 1 -i" + q + suffix + "' -f s16le -y /dev/null";
    };
    struct Case {
        const char* ext;
        std::string reference;
    };
    const Case cases[] = {
        {"wav", "sox -q" + q + ".wav' -t raw /dev/null"},
        {"mp3", "mpg123 -q -t" + q + ".mp3'"},
        {"ogg", "oggdec -Q -o /dev/null" + q + ".ogg'"},
        {"flac", "flac -s -d -c" + q + ".flac' > /dev/null"},
        {"opus", ffmpeg(".opus")},
        {"m4a", ffmpeg(".m4a")},
        {"alac.m4a", ffmpeg("alac.m4a")},
        {"wv", ffmpeg(".wv")},
    };
    std::printf("%-8s %14s %14s %7s  reference\n", "", "library fr/s", "reference fr/s", "ratio");
    bool ok = true;
    for (const auto& c : cases) {
        const std::string path = base + (c.ext[0] == 'a' ? "" : ".") + c.ext;
        std::uint64_t frames = 0;
        const double ours = Best([&] { return (frames = DecodeAll(path)) > 0; });
        const double theirs = Best([&] { return std::system(c.reference.c_str()) == 0; });
        if (ours <= 0 || theirs <= 0) {
            std::printf("%-8s failed\n", c.ext);
            ok = false;
            continue;
        }
        const double oursRate = static_cast<double>(frames) / ours;
        const double theirRate = static_cast<double>(frames) / theirs;
        std::printf("%-8s %14.0f %14.0f %7.2f  %s\n", c.ext, oursRate, theirRate,
                    oursRate / theirRate, c.reference.c_str());
    }
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
