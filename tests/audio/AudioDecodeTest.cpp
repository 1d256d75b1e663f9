// Decode streams: every format to the expected length and samples, seeking,
// stream information and the error codes of files that do not decode.
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "AudioTestUtil.h"

namespace {

using namespace audio_fixtures;

// Signal-to-noise ratio of a lossy decode against the source, in dB, at lag 0:
// a decoder that shifts the signal by even a few samples fails it.
double SnrDb(const std::vector<std::int16_t>& got, const std::vector<std::int16_t>& want) {
    double signal = 0;
    double noise = 0;
    for (std::size_t i = 0; i < want.size() && i < got.size(); ++i) {
        signal += double(want[i]) * want[i];
        noise += (double(got[i]) - want[i]) * (double(got[i]) - want[i]);
    }
    return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

struct Lossless {
    const char* name;
    std::uint32_t type;
};

class LosslessTest : public ::testing::TestWithParam<Lossless> {};

TEST_P(LosslessTest, DecodesBitExact) {
    const audio::Handle h = OpenDecode(GetParam().name);
    ASSERT_NE(h, 0u) << audio::ErrorGetCode();
    audio::ChannelInfo info;
    ASSERT_TRUE(audio::ChannelGetInfo(h, &info));
    EXPECT_EQ(info.Frequency, kRate);
    EXPECT_EQ(info.Channels, 2u);
    EXPECT_EQ(info.StreamType, GetParam().type);
    EXPECT_EQ(info.Flags, audio::kStreamDecode);
    EXPECT_EQ(audio::StreamGetLength(h), std::uint64_t{kFrames} * 4);
    EXPECT_EQ(audio::ChannelIsActive(h), audio::kActivePlaying);
    // An odd block size makes reads straddle the decoders' own blocks.
    const auto samples = AsSamples(ReadAll(h, 4 * 1000 + 4));
    EXPECT_EQ(samples, Expected(kFrames));
    EXPECT_EQ(audio::ChannelIsActive(h), audio::kActiveStopped);
    EXPECT_EQ(audio::ChannelGetPosition(h), std::uint64_t{kFrames} * 4);
    EXPECT_TRUE(audio::StreamFree(h));
}

INSTANTIATE_TEST_SUITE_P(Formats, LosslessTest,
                         ::testing::Values(Lossless{"tone.wav", audio::kTypeWave},
                                           Lossless{"tone24.wav", audio::kTypeWave},
                                           Lossless{"tone32.wav", audio::kTypeWave},
                                           Lossless{"toneext.wav", audio::kTypeWave},
                                           Lossless{"tone.flac", audio::kTypeFlac},
                                           Lossless{"tone24.flac", audio::kTypeFlac},
                                           Lossless{"tone.oga", audio::kTypeFlacOgg},
                                           Lossless{"tonealac.m4a", audio::kTypeAlac},
                                           Lossless{"tone.wv", audio::kTypeWavPack},
                                           Lossless{"tone.ape", audio::kTypeApe}));

TEST(AudioDecode, EightBitAndFloatWavesKeepTheirPrecision) {
    const audio::Handle h8 = OpenDecode("tone8.wav");
    ASSERT_NE(h8, 0u);
    const auto got8 = AsSamples(ReadAll(h8));
    const auto want = Expected(kFrames);
    ASSERT_EQ(got8.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(got8[i], static_cast<std::int16_t>((want[i] >> 8) * 256)) << i;
    }
    audio::StreamFree(h8);

    const audio::Handle hf = OpenDecode("tonefloat.wav");
    ASSERT_NE(hf, 0u);
    const auto gotf = AsSamples(ReadAll(hf));
    ASSERT_EQ(gotf.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        ASSERT_NEAR(gotf[i], want[i], 1) << i;
    }
    audio::StreamFree(hf);
}

TEST(AudioDecode, LossyFormatsKeepExactLengthAndAlignment) {
    for (const auto& [name, type] :
         {std::pair{"tone.mp3", audio::kTypeMp3}, std::pair{"tone.ogg", audio::kTypeOgg},
          std::pair{"tone.m4a", audio::kTypeMp4}}) {
        SCOPED_TRACE(name);
        const audio::Handle h = OpenDecode(name);
        ASSERT_NE(h, 0u) << audio::ErrorGetCode();
        audio::ChannelInfo info;
        ASSERT_TRUE(audio::ChannelGetInfo(h, &info));
        EXPECT_EQ(info.StreamType, type);
        EXPECT_EQ(audio::StreamGetLength(h), std::uint64_t{kFrames} * 4);
        const auto samples = AsSamples(ReadAll(h));
        EXPECT_EQ(samples.size(), std::size_t{kFrames} * 2);
        EXPECT_GT(SnrDb(samples, Expected(kFrames)), 20.0);
        audio::StreamFree(h);
    }
}

TEST(AudioDecode, FloatFlagDeliversScaledFloats) {
    for (const char* name :
         {"tone.wav", "tone.flac", "tone.mp3", "tone.ogg", "tonealac.m4a", "tone.wv", "tone.ape"}) {
        SCOPED_TRACE(name);
        const audio::Handle h = OpenDecode(name, audio::kSampleFloat);
        ASSERT_NE(h, 0u);
        EXPECT_EQ(audio::StreamGetLength(h), std::uint64_t{kFrames} * 8);
        const auto bytes = ReadAll(h);
        ASSERT_EQ(bytes.size(), std::size_t{kFrames} * 8);
        std::vector<float> f(bytes.size() / 4);
        std::memcpy(f.data(), bytes.data(), bytes.size());
        const auto want = Expected(kFrames);
        double err = 0;
        for (std::size_t i = 0; i < f.size(); ++i) {
            err = std::max(err, std::abs(f[i] * 32768.0 - want[i]));
        }
        const std::string n = name;
        const bool lossless = n.ends_with(".wav") || n.ends_with(".flac") || n.ends_with(".wv") ||
                              n.ends_with("alac.m4a");
        EXPECT_LT(err, lossless ? 0.01 : 3000.0);
        audio::StreamFree(h);
    }
}

TEST(AudioDecode, EightBitFlagDeliversUnsignedBytes) {
    const audio::Handle h = OpenDecode("tone.wav", audio::kSample8Bits);
    ASSERT_NE(h, 0u);
    audio::ChannelInfo info;
    audio::ChannelGetInfo(h, &info);
    EXPECT_EQ(info.Flags, audio::kStreamDecode | audio::kSample8Bits);
    EXPECT_EQ(audio::StreamGetLength(h), std::uint64_t{kFrames} * 2);
    const auto bytes = ReadAll(h);
    const auto want = Expected(kFrames);
    ASSERT_EQ(bytes.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(bytes[i], (want[i] >> 8) + 128) << i;
    }
    audio::StreamFree(h);
}

TEST(AudioDecode, OtherRatesAndChannelCounts) {
    const audio::Handle mono = OpenDecode("mono48.wav");
    ASSERT_NE(mono, 0u);
    audio::ChannelInfo info;
    audio::ChannelGetInfo(mono, &info);
    EXPECT_EQ(info.Frequency, 48000u);
    EXPECT_EQ(info.Channels, 1u);
    EXPECT_EQ(audio::StreamGetLength(mono), 24000u * 2);
    EXPECT_FLOAT_EQ(audio::ChannelBytes2Seconds(mono, 48000 * 2), 1.0f);
    EXPECT_EQ(audio::ChannelSeconds2Bytes(mono, 0.25f), 12000u * 2);
    audio::StreamFree(mono);

    const audio::Handle hi = OpenDecode("hi192.wav");
    ASSERT_NE(hi, 0u) << audio::ErrorGetCode();
    std::uint32_t freq = 0;
    EXPECT_TRUE(audio::ChannelGetAttributes(hi, &freq, nullptr, nullptr));
    EXPECT_EQ(freq, 192000u);
    EXPECT_EQ(ReadAll(hi).size(), 19200u * 4);
    audio::StreamFree(hi);
}

TEST(AudioDecode, MpegLayerComesFromTheDataNotTheName) {
    const std::pair<const char*, std::pair<std::uint32_t, std::uint32_t>> cases[] = {
        {"layer1.mp3", {audio::kTypeMp1, kLayer1Frames * 384}},
        {"layer2.mp3", {audio::kTypeMp2, kLayer2Frames * 1152}}};
    for (const auto& [name, want] : cases) {
        SCOPED_TRACE(name);
        const audio::Handle h = OpenDecode(name);
        ASSERT_NE(h, 0u) << audio::ErrorGetCode();
        audio::ChannelInfo info;
        audio::ChannelGetInfo(h, &info);
        EXPECT_EQ(info.StreamType, want.first);
        EXPECT_EQ(audio::StreamGetLength(h), std::uint64_t{want.second} * 4);
        const auto samples = AsSamples(ReadAll(h));
        EXPECT_EQ(samples.size(), std::size_t{want.second} * 2);
        EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](auto s) { return s == 0; }));
        audio::StreamFree(h);
    }
}

TEST(AudioDecode, ModulePlaysItsPatternForItsLength) {
    const audio::Handle h = OpenDecode("tune.mod");
    ASSERT_NE(h, 0u) << audio::ErrorGetCode();
    audio::ChannelInfo info;
    audio::ChannelGetInfo(h, &info);
    EXPECT_EQ(info.StreamType, audio::kTypeMod);
    EXPECT_EQ(info.Frequency, 44100u);
    EXPECT_EQ(audio::StreamGetLength(h), std::uint64_t{kModuleFrames} * 4);
    const auto samples = AsSamples(ReadAll(h));
    ASSERT_EQ(samples.size(), std::size_t{kModuleFrames} * 2);
    // A 32-sample square wave at period 428: 7093789.2 / 856 / 32 = 259 Hz.
    int crossings = 0;
    for (std::size_t f = 1; f < 44100; ++f) {
        const int a = samples[(f - 1) * 2] + samples[(f - 1) * 2 + 1];
        const int b = samples[f * 2] + samples[f * 2 + 1];
        crossings += (a < 0) != (b < 0);
    }
    EXPECT_NEAR(crossings, 2 * 259, 12);
    EXPECT_FALSE(audio::StreamFree(h) && audio::MusicFree(h));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorHandle);
}

TEST(AudioDecode, MusicFreeFreesModulesOnly) {
    const audio::Handle module = OpenDecode("tune.mod");
    const audio::Handle wave = OpenDecode("tone.wav");
    EXPECT_FALSE(audio::MusicFree(wave));
    EXPECT_TRUE(audio::MusicFree(module));
    EXPECT_EQ(audio::ChannelIsActive(module), audio::kActiveStopped);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorHandle);
    EXPECT_TRUE(audio::StreamFree(wave));
}

TEST(AudioDecode, SeeksAreSampleExact) {
    for (const char* name :
         {"tone.wav", "tone.flac", "tone.mp3", "tone.ogg", "tonealac.m4a", "tone.wv", "tone.ape"}) {
        SCOPED_TRACE(name);
        const audio::Handle whole = OpenDecode(name);
        const auto all = AsSamples(ReadAll(whole));
        const audio::Handle h = OpenDecode(name);
        for (std::uint32_t frame : {50000u, 1234u, 0u, 40001u, kFrames - 10}) {
            ASSERT_TRUE(audio::ChannelSetPosition(h, std::uint64_t{frame} * 4));
            EXPECT_EQ(audio::ChannelGetPosition(h), std::uint64_t{frame} * 4);
            std::vector<std::int16_t> got(2000);
            const std::uint32_t n = audio::ChannelGetData(h, got.data(), 4000);
            ASSERT_EQ(n, std::min<std::uint32_t>(4000, (kFrames - frame) * 4));
            got.resize(n / 2);
            EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin() + frame * 2)) << frame;
        }
        // To the very end: nothing more, no error; beyond it: refused.
        EXPECT_TRUE(audio::ChannelSetPosition(h, std::uint64_t{kFrames} * 4));
        EXPECT_EQ(audio::ChannelIsActive(h), audio::kActiveStopped);
        std::int16_t dummy[4];
        EXPECT_EQ(audio::ChannelGetData(h, dummy, 8), 0u);
        EXPECT_FALSE(audio::ChannelSetPosition(h, std::uint64_t{kFrames} * 4 + 4));
        EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorPosition);
        // Back from the end, the stream is active again.
        EXPECT_TRUE(audio::ChannelSetPosition(h, 0));
        EXPECT_EQ(audio::ChannelIsActive(h), audio::kActivePlaying);
        audio::StreamFree(h);
        audio::StreamFree(whole);
    }
}

TEST(AudioDecode, FilePositionsAndConversions) {
    const std::string path = Path("tone.mp3");
    const auto size = std::filesystem::file_size(path);
    const audio::Handle h = OpenDecode("tone.mp3");
    EXPECT_EQ(audio::StreamGetFilePosition(h, audio::kFilePosEnd), size);
    EXPECT_EQ(audio::StreamGetFilePosition(h, audio::kFilePosDownload), size);
    ReadAll(h);
    EXPECT_EQ(audio::StreamGetFilePosition(h, audio::kFilePosCurrent), size);
    EXPECT_EQ(audio::StreamGetFilePosition(h, 7), audio::kPositionError);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorParameter);
    EXPECT_FLOAT_EQ(audio::ChannelBytes2Seconds(h, 176400), 1.0f);
    EXPECT_EQ(audio::ChannelSeconds2Bytes(h, 3.0f), 529200u);
    EXPECT_EQ(audio::ChannelSeconds2Bytes(h, 0.2f), 35280u);
    EXPECT_EQ(audio::ChannelSeconds2Bytes(h, 0.7f), 123480u);  // not 30869 frames
    audio::StreamFree(h);
}

TEST(AudioDecode, FlacCallOpensOnlyFlac) {
    const std::string flac = Path("tone.flac");
    const std::string wave = Path("tone.wav");
    const audio::Handle h = audio::FlacStreamCreateFile(false, flac.c_str(), 0, 0, 0x200000);
    EXPECT_NE(h, 0u);
    audio::StreamFree(h);
    EXPECT_EQ(audio::FlacStreamCreateFile(false, wave.c_str(), 0, 0, 0x200000), 0u);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorFileFormat);
}

TEST(AudioDecode, PartsOfFilesAndMemory) {
    std::ifstream file(Path("tone.flac"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    const audio::Handle mem =
        audio::StreamCreateFile(true, bytes.data(), 0, bytes.size(), audio::kStreamDecode);
    ASSERT_NE(mem, 0u);
    EXPECT_EQ(AsSamples(ReadAll(mem)), Expected(kFrames));
    audio::StreamFree(mem);

    // A file embedded after 100 bytes of something else.
    const std::string joined = Path("embedded.bin");
    {
        std::ofstream out(joined, std::ios::binary);
        out << std::string(100, 'x') << bytes << "trailer";
    }
    const audio::Handle part =
        audio::StreamCreateFile(false, joined.c_str(), 100, bytes.size(), audio::kStreamDecode);
    ASSERT_NE(part, 0u);
    EXPECT_EQ(audio::StreamGetFilePosition(part, audio::kFilePosEnd), bytes.size());
    EXPECT_EQ(AsSamples(ReadAll(part)), Expected(kFrames));
    audio::StreamFree(part);
    std::filesystem::remove(joined);
}

TEST(AudioDecode, StaleAndZeroHandlesAreHarmless) {
    const audio::Handle h = OpenDecode("tone.wav");
    ASSERT_TRUE(audio::StreamFree(h));
    const audio::Handle next = OpenDecode("tone.wav");
    EXPECT_NE(next, h);  // never handed out again
    for (audio::Handle stale : {h, audio::Handle{0}}) {
        EXPECT_FALSE(audio::StreamFree(stale));
        EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorHandle);
        EXPECT_FALSE(audio::MusicFree(stale));
        EXPECT_EQ(audio::ChannelIsActive(stale), audio::kActiveStopped);
        EXPECT_EQ(audio::ChannelGetPosition(stale), audio::kPositionError);
        EXPECT_EQ(audio::StreamGetLength(stale), audio::kPositionError);
        std::int16_t buf[4];
        EXPECT_EQ(audio::ChannelGetData(stale, buf, 8), audio::kDataError);
        EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorHandle);
    }
    audio::StreamFree(next);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kOk);
}

TEST(AudioDecode, VersionAndConfiguration) {
    EXPECT_EQ(audio::GetVersion(), 2u);
    EXPECT_EQ(audio::SetConfig(audio::kConfigBuffer, 99999), 5000u);
    EXPECT_EQ(audio::SetConfig(audio::kConfigBuffer, 3000), 3000u);
    EXPECT_EQ(audio::SetConfig(audio::kConfigUpdatePeriod, 100), 100u);
    EXPECT_EQ(audio::SetConfig(audio::kConfigMaxVolume, 1000), 1000u);
    EXPECT_EQ(audio::SetConfig(2, 1), 0xFFFFFFFFu);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorParameter);
    EXPECT_EQ(audio::GetDeviceDescription(0), "No sound");
    EXPECT_EQ(audio::GetDeviceDescription(1), "Default");
    EXPECT_FALSE(audio::GetDeviceDescription(-5).has_value());
}

// Counts the bytes read through the library's reader seam, per path.
class CountingWrap {
  public:
    CountingWrap() {
        audio::SetFileReaderWrap([this](std::unique_ptr<audio::Reader> file,
                                        const std::string& path) -> std::unique_ptr<audio::Reader> {
            return std::make_unique<Counted>(*this, std::move(file), path);
        });
    }
    ~CountingWrap() { audio::SetFileReaderWrap({}); }
    std::uint64_t Bytes(const std::string& path) {
        const std::lock_guard lock(mutex_);
        return bytes_[path];
    }
    // Reads from here on only.
    void Reset() {
        const std::lock_guard lock(mutex_);
        bytes_.clear();
        reads_.clear();
    }
    struct Read {
        std::thread::id thread;
        std::int64_t offset;
    };
    std::vector<Read> Reads() {
        const std::lock_guard lock(mutex_);
        return reads_;
    }

  private:
    class Counted final : public audio::Reader {
      public:
        Counted(CountingWrap& owner, std::unique_ptr<audio::Reader> file, std::string path)
            : owner_(owner), file_(std::move(file)), path_(std::move(path)) {}
        std::size_t Read(void* dst, std::size_t n) override {
            const std::int64_t offset = file_->Tell();
            const std::size_t got = file_->Read(dst, n);
            const std::lock_guard lock(owner_.mutex_);
            owner_.bytes_[path_] += got;
            owner_.reads_.push_back({std::this_thread::get_id(), offset});
            return got;
        }
        bool Seek(std::int64_t pos) override { return file_->Seek(pos); }
        std::int64_t Tell() const override { return file_->Tell(); }
        std::int64_t Size() const override { return file_->Size(); }

      private:
        CountingWrap& owner_;
        std::unique_ptr<audio::Reader> file_;
        std::string path_;
    };

    std::mutex mutex_;
    std::map<std::string, std::uint64_t> bytes_;
    std::vector<Read> reads_;
};

TEST(AudioDecode, EveryDecoderReadsThroughTheReaderSeam) {
    CountingWrap wrap;
    for (const char* name :
         {"tone.mp3", "layer2.mp3", "tone.ogg", "tone.flac", "tone.oga", "tone.wav", "tune.mod",
          "tone48.opus", "tone.m4a", "tonealac.m4a", "tone.wv", "tone.ape"}) {
        SCOPED_TRACE(name);
        const audio::Handle h = OpenDecode(name);
        ASSERT_NE(h, 0u) << audio::ErrorGetCode();
        EXPECT_FALSE(ReadAll(h).empty());
        audio::StreamFree(h);
        // A decoder that opened the path itself would leave most of it unseen here.
        EXPECT_GE(wrap.Bytes(Path(name)), std::filesystem::file_size(Path(name)));
    }
}

TEST(AudioDecode, Mp3LengthComesFromTheInfoHeaderElseFromAScan) {
    CountingWrap wrap;
    const auto open = [&](const char* name, std::uint32_t flags) {
        wrap.Reset();
        const audio::Handle h = OpenDecode(name, flags);
        EXPECT_NE(h, 0u) << name;
        const std::uint64_t length = audio::StreamGetLength(h);
        audio::ChannelInfo info;
        EXPECT_TRUE(audio::ChannelGetInfo(h, &info));
        EXPECT_EQ(info.Frequency, 22050u);
        EXPECT_EQ(info.Channels, 1u);
        audio::StreamFree(h);
        const double share = static_cast<double>(wrap.Bytes(Path(name))) /
                             static_cast<double>(std::filesystem::file_size(Path(name)));
        return std::pair{length, share};
    };
    const auto [exact, scanned] = open("long.mp3", audio::kStreamPrescan);
    EXPECT_GE(scanned, 1.0);
    EXPECT_EQ(exact, 180u * 22050 * 2);

    // The header knows the length: no scan.
    const auto [fromHeader, headerShare] = open("long.mp3", 0);
    EXPECT_EQ(fromHeader, exact);
    EXPECT_LT(headerShare, 0.25);

    // Without the header only a scan knows it, unless the caller asks for none.
    const auto [bare, bareShare] = open("longbare.mp3", 0);
    EXPECT_EQ(bare, open("longbare.mp3", audio::kStreamPrescan).first);
    EXPECT_GE(bareShare, 1.0);
    const auto [estimate, estimateShare] = open("longbare.mp3", audio::kStreamNoScan);
    EXPECT_GT(estimate, 0u);
    EXPECT_LT(estimateShare, 0.25);
}

TEST(AudioDecode, FilesAreReadAheadOfTheDecoder) {
    CountingWrap wrap;
    const audio::Handle h = OpenDecode("long.mp3");
    ASSERT_NE(h, 0u);
    const std::size_t opening = wrap.Reads().size();
    constexpr std::int64_t kBlock = 128 * 1024;  // the library's read size
    const auto readAhead = [&](std::int64_t offset) {
        const auto reads = wrap.Reads();
        return std::any_of(reads.begin(), reads.end(), [&](const CountingWrap::Read& r) {
            return r.offset == offset && r.thread != std::this_thread::get_id();
        });
    };
    std::vector<std::uint8_t> block(4410);
    std::uint64_t decoded = 0;
    for (;;) {
        const std::uint32_t got = audio::ChannelGetData(h, block.data(), 4410);
        if (got == 0 || got == audio::kDataError) {
            break;
        }
        decoded += got;
        // Past half of a block the next one is on its way; this side waits for it,
        // as real playback does by playing.
        const auto pos =
            static_cast<std::int64_t>(audio::StreamGetFilePosition(h, audio::kFilePosCurrent));
        const std::int64_t next = (pos / kBlock + 1) * kBlock;
        if (pos % kBlock >= kBlock / 2 &&
            next < static_cast<std::int64_t>(std::filesystem::file_size(Path("long.mp3")))) {
            for (int i = 0; i < 5000 && !readAhead(next); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ASSERT_TRUE(readAhead(next)) << next;
        }
    }
    EXPECT_EQ(decoded, 180u * 22050 * 2);
    // After the open, the decoding side read nothing itself.
    const auto reads = wrap.Reads();
    EXPECT_EQ(std::count_if(reads.begin() + static_cast<std::ptrdiff_t>(opening), reads.end(),
                            [](const CountingWrap::Read& r) {
                                return r.thread == std::this_thread::get_id();
                            }),
              0);
    audio::StreamFree(h);
}

}  // namespace

// A sample count missing from the header comes from the last frame (or the
// last Ogg page), not from decoding the whole file.
TEST(AudioDecode, FlacLengthWithoutASampleCountComesFromTheEnd) {
    CountingWrap wrap;
    for (const char* name : {"longbare.flac", "longbare.oga"}) {
        SCOPED_TRACE(name);
        wrap.Reset();
        const audio::Handle h = OpenDecode(name);
        ASSERT_NE(h, 0u) << audio::ErrorGetCode();
        EXPECT_EQ(audio::StreamGetLength(h), 180u * 22050 * 2);
        const double share = static_cast<double>(wrap.Bytes(Path(name))) /
                             static_cast<double>(std::filesystem::file_size(Path(name)));
        EXPECT_LT(share, 0.5);
        // The length is the sound's: every sample decodes, none is left over.
        EXPECT_EQ(ReadAll(h).size(), 180u * 22050 * 2);
        audio::StreamFree(h);
    }
}

// A stream freed while the read-ahead waits for the disk on another file closes
// its own file at once: after Stop, the disk can be unmounted.
TEST(AudioDecode, AFreedStreamClosesItsFileWhileTheReadAheadWaits) {
    GateWrap gate;
    const audio::Handle held = OpenDecode("long.mp3");
    const audio::Handle freed = OpenDecode("long.mp3");
    ASSERT_NE(held, 0u);
    ASSERT_NE(freed, 0u);
    ASSERT_EQ(gate.Readers(), 2);
    gate.Close();
    // Ten seconds of a 64 kbps MP3 come from the first block and ask for the next.
    std::vector<std::uint8_t> decoded(22050 * 2 * 10);
    EXPECT_EQ(
        audio::ChannelGetData(held, decoded.data(), static_cast<std::uint32_t>(decoded.size())),
        decoded.size());
    gate.WaitForAStoppedRead();
    audio::StreamFree(freed);
    EXPECT_EQ(gate.Readers(), 1);
    gate.Open();
    audio::StreamFree(held);
    EXPECT_FALSE(gate.TimedOut());
}

// While a decode waits for the disk, position, activity and end are there to
// read at once: the status refresh asks for them on the UI thread.
TEST(AudioDecode, PositionAndActivityDoNotWaitForADecode) {
    GateWrap gate;
    const audio::Handle h = OpenDecode("long.mp3");
    ASSERT_NE(h, 0u);
    gate.Close();
    std::thread decoding([&] {
        std::vector<std::uint8_t> block(4 << 20);
        audio::ChannelGetData(h, block.data(), static_cast<std::uint32_t>(block.size()));
    });
    gate.WaitForAStoppedRead();
    // Long enough for the decode to stop at the block the read-ahead lacks.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_NE(audio::ChannelGetPosition(h), audio::kPositionError);
    EXPECT_EQ(audio::ChannelIsActive(h), audio::kActivePlaying);
    gate.Open();
    decoding.join();
    EXPECT_FALSE(gate.TimedOut());
    audio::StreamFree(h);
}
