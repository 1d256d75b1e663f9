// Files that are damaged, truncated, not audio or not there: the right error
// code or a clean end of data, never a crash or a hang.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "AudioTestUtil.h"

namespace {

using namespace audio_fixtures;
namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), {});
}

class BadInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A unique folder: the tests of this file run as parallel processes.
        std::string pattern = (fs::temp_directory_path() / "mirvo-audio-bad-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path dir_;
};

// Opens a file and, when it opens, reads it to the end with a seek on the way;
// the data never exceeds the length reported. Returns the error code.
int OpenAndDrain(bool mem, const void* file, std::uint64_t length) {
    const audio::Handle h = audio::StreamCreateFile(mem, file, 0, length, audio::kStreamDecode);
    if (h == 0) {
        const int error = audio::ErrorGetCode();
        EXPECT_NE(error, audio::kOk);
        return error;
    }
    const std::uint64_t total = audio::StreamGetLength(h);
    EXPECT_NE(total, audio::kPositionError);
    std::vector<std::uint8_t> buf(16384);
    std::uint64_t got = 0;
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t n = audio::ChannelGetData(h, buf.data(), 16384);
        EXPECT_NE(n, audio::kDataError);
        if (n == 0 || n == audio::kDataError) {
            break;
        }
        got += n;
        if (i == 3) {
            audio::ChannelSetPosition(h, total / 3);
            got = audio::ChannelGetPosition(h);
        }
    }
    EXPECT_LE(got, total);
    EXPECT_EQ(audio::ChannelIsActive(h), audio::kActiveStopped);
    EXPECT_TRUE(audio::StreamFree(h));
    return audio::kOk;
}

int OpenPath(const std::string& path) {
    return OpenAndDrain(false, path.c_str(), 0);
}

TEST_F(BadInputTest, MissingEmptyFolderAndNonAudio) {
    EXPECT_EQ(OpenPath((dir_ / "missing.mp3").string()), audio::kErrorFileOpen);
    EXPECT_EQ(OpenPath(dir_.string()), audio::kErrorFileOpen);
    EXPECT_EQ(OpenPath(""), audio::kErrorFileOpen);
    EXPECT_EQ(audio::StreamCreateFile(false, nullptr, 0, 0, audio::kStreamDecode), 0u);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorParameter);
    EXPECT_EQ(OpenPath(Write("empty.mp3", "")), audio::kErrorNotAudio);
    EXPECT_EQ(OpenPath(Write("list.mp3", "#EXTM3U\r\nsong.mp3\r\n")), audio::kErrorNotAudio);
    EXPECT_EQ(OpenPath(Write("image.ogg", "\x89PNG\r\n\x1a\n" + std::string(200, '\0'))),
              audio::kErrorNotAudio);
    EXPECT_EQ(OpenPath(Write("video.wav", "RIFF\x10\0\0\0AVI LIST" + std::string(8, '\0'))),
              audio::kErrorNotAudio);
    // An offset past the end of the file.
    const std::string tone = Path("tone.wav");
    EXPECT_EQ(audio::StreamCreateFile(false, tone.c_str(), 1u << 30, 0, audio::kStreamDecode), 0u);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorFileOpen);
}

TEST_F(BadInputTest, RandomBytesUnderAudioNames) {
    std::mt19937 rng(7);
    for (const char* name : {"noise.mp3", "noise.ogg", "noise.flac", "noise.wav", "noise.xm",
                             "noise.opus", "noise.m4a", "noise.wv", "noise.ape"}) {
        for (int i = 0; i < 20; ++i) {
            std::string bytes(1 + rng() % 20000, '\0');
            for (auto& c : bytes) {
                c = static_cast<char>(rng());
            }
            EXPECT_EQ(OpenPath(Write(name, bytes)), audio::kErrorFileFormat) << name << " " << i;
        }
    }
}

// A canonical header with chosen fields, for the sample-rate and format codes.
std::string WaveHeader(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits) {
    auto le = [](std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
        return s;
    };
    const std::string data(4000, '\x10');
    return "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) + le(tag, 2) +
           le(channels, 2) + le(rate, 4) + le(rate * channels * bits / 8, 4) +
           le(channels * bits / 8, 2) + le(bits, 2) + "data" + le(data.size(), 4) + data;
}

TEST_F(BadInputTest, WaveHeadersGiveTheirCodes) {
    EXPECT_EQ(OpenPath(Write("zero.wav", WaveHeader(1, 2, 0, 16))), audio::kErrorFrequency);
    EXPECT_EQ(OpenPath(Write("slow.wav", WaveHeader(1, 2, 500, 16))), audio::kErrorFrequency);
    EXPECT_EQ(OpenPath(Write("mp3in.wav", WaveHeader(0x55, 2, 44100, 16))), audio::kErrorFormat);
    EXPECT_EQ(OpenPath(Write("many.wav", WaveHeader(1, 12, 44100, 16))), audio::kErrorFormat);
    // High rates and deep samples decode.
    EXPECT_EQ(OpenPath(Path("hi192.wav")), audio::kOk);
    EXPECT_EQ(OpenPath(Path("tone24.wav")), audio::kOk);
    EXPECT_EQ(OpenPath(Write("mono8.wav", WaveHeader(1, 1, 8000, 8))), audio::kOk);
}

TEST_F(BadInputTest, CorruptFlac) {
    std::string flac = ReadFile(Path("tone.flac"));
    // Damaged frames: decoding resynchronises or ends.
    std::string frames = flac;
    for (std::size_t i = flac.size() / 3; i < flac.size(); i += 97) {
        frames[i] = static_cast<char>(frames[i] ^ 0x5A);
    }
    EXPECT_EQ(OpenPath(Write("frames.flac", frames)), audio::kOk);
    // A STREAMINFO with sample rate 0 (20 bits from byte 18): the frames tell it.
    std::string info = flac;
    info[18] = info[19] = 0;
    info[20] = static_cast<char>(info[20] & 0x0F);
    EXPECT_EQ(OpenPath(Write("info.flac", info)), audio::kOk);
    // Cut inside the header blocks.
    EXPECT_EQ(OpenPath(Write("head.flac", flac.substr(0, 30))), audio::kErrorFileFormat);
}

// The magic of each container FFmpeg reads, with nothing sound behind it.
TEST_F(BadInputTest, FfmpegContainersWithBrokenHeadersAreRefused) {
    const std::string junk(3000, '\x33');
    const std::string opusPage = ReadFile(Path("tone48.opus")).substr(0, 80);
    for (const auto& [name, bytes] : {
             std::pair{"ape.ape", "MAC \x96\x0f\0\0" + junk},
             std::pair{"ape0.ape", std::string("MAC ", 4)},
             std::pair{"wv.wv", "wvpk\x20\0\0\0\x10\x04" + junk},
             std::pair{"mp4.m4a", std::string("\0\0\0\x18"
                                              "ftypM4A \0\0\0\0isom",
                                              20) +
                                      junk},
             std::pair{"moov.m4a", std::string("\0\0\0\x0c"
                                               "ftypM4A \xff\xff\xff\xff"
                                               "moov",
                                               20) +
                                       junk},
             std::pair{"opus.opus", opusPage},
         }) {
        EXPECT_EQ(OpenPath(Write(name, bytes)), audio::kErrorFileFormat) << name;
    }
}

// MP4 files whose sound is no AAC or ALAC, and Opus headers that do not add up.
TEST_F(BadInputTest, FfmpegFilesOfOtherCodecsAreRefused) {
    const std::string mp3in = (dir_ / "mp3in.m4a").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i '" + Path("tone.wav") +
                           "' -c:a libmp3lame -f mp4 '" + mp3in + "'")
                              .c_str()),
              0);
    EXPECT_EQ(OpenPath(mp3in), audio::kErrorFileFormat);
    // Eight channels is the most: the OpusHead channel count byte set to 200.
    std::string opus = ReadFile(Path("tone48.opus"));
    const std::size_t head = opus.find("OpusHead");
    ASSERT_NE(head, std::string::npos);
    opus[head + 9] = static_cast<char>(200);
    const int code = OpenPath(Write("many.opus", opus));
    EXPECT_TRUE(code == audio::kErrorFileFormat || code == audio::kErrorFormat) << code;
}

TEST_F(BadInputTest, TruncatedFilesEndCleanly) {
    for (const char* name :
         {"tone.wav", "tone.mp3", "tone.ogg", "tone.flac", "tune.mod", "layer2.mp3", "tone48.opus",
          "tone.m4a", "tonealac.m4a", "tone.wv", "tone.ape"}) {
        const std::string bytes = ReadFile(Path(name));
        for (std::size_t cut : {std::size_t{3}, std::size_t{40}, std::size_t{300}, bytes.size() / 5,
                                bytes.size() / 2, bytes.size() - 1}) {
            const std::string path =
                Write(std::string("cut_") + std::to_string(cut) + "_" + name, bytes.substr(0, cut));
            const int code = OpenPath(path);
            EXPECT_TRUE(code == audio::kOk || code == audio::kErrorFileFormat ||
                        code == audio::kErrorNotAudio)
                << name << " cut at " << cut << ": " << code;
        }
    }
}

class MutationTest : public ::testing::TestWithParam<const char*> {};

// A few hundred random mutations of each fixture, opened from memory.
TEST_P(MutationTest, MutatedFixturesNeverCrashOrHang) {
    const std::string original = ReadFile(Path(GetParam()));
    ASSERT_FALSE(original.empty());
    std::mt19937 rng(1234);
    int opened = 0;
    for (int round = 0; round < 300; ++round) {
        std::string bytes = original;
        switch (round % 4) {
            case 0:  // scattered bit flips
                for (unsigned n = 1 + rng() % 20; n > 0; --n) {
                    bytes[rng() % bytes.size()] ^= static_cast<char>(1u << (rng() % 8));
                }
                break;
            case 1: {  // a run of garbage
                const std::size_t at = rng() % bytes.size();
                const std::size_t len = std::min<std::size_t>(1 + rng() % 512, bytes.size() - at);
                for (std::size_t i = 0; i < len; ++i) {
                    bytes[at + i] = static_cast<char>(rng());
                }
                break;
            }
            case 2:  // damage near the start, where the headers are
                for (unsigned n = 1 + rng() % 6; n > 0; --n) {
                    bytes[rng() % std::min<std::size_t>(bytes.size(), 256)] =
                        static_cast<char>(rng());
                }
                break;
            case 3:  // cut and damaged
                bytes.resize(1 + rng() % bytes.size());
                bytes[rng() % bytes.size()] = static_cast<char>(rng());
                break;
        }
        const int code = OpenAndDrain(true, bytes.data(), bytes.size());
        opened += code == audio::kOk;
        EXPECT_TRUE(code == audio::kOk || code == audio::kErrorFileFormat ||
                    code == audio::kErrorNotAudio || code == audio::kErrorFrequency ||
                    code == audio::kErrorFormat)
            << "round " << round << ": " << code;
    }
    EXPECT_GT(opened, 0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MutationTest,
                         ::testing::Values("tone.wav", "tone.mp3", "tone.ogg", "tone.flac",
                                           "tone.oga", "tune.mod", "layer1.mp3", "tone48.opus",
                                           "tone.m4a", "tonealac.m4a", "tone.wv", "tone.ape"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (auto& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

}  // namespace
