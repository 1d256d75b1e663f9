// Opus, MP4 (AAC, ALAC), WavPack and Monkey's Audio files made by Debian's encoders: exact
// lengths, seeks that land on the sample, an album cut into tracks that joins
// without a gap, and damaged files refused or ended cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "AudioTestUtil.h"
#include "audio/TestDevice.h"

namespace {

using namespace audio_fixtures;

std::vector<std::int16_t> Decode(const std::string& name, std::uint32_t flags = 0) {
    const audio::Handle h = OpenDecode(name, flags);
    EXPECT_NE(h, 0u) << name << ": " << audio::ErrorGetCode();
    const auto samples = AsSamples(ReadAll(h, 4 * 777));
    audio::StreamFree(h);
    return samples;
}

// Signal-to-noise ratio of `got` against `want` over [from, to) samples, in dB.
double SnrDb(const std::vector<std::int16_t>& got, const std::vector<std::int16_t>& want,
             std::size_t from, std::size_t to) {
    double signal = 0;
    double noise = 0;
    for (std::size_t i = from; i < to && i < got.size() && i < want.size(); ++i) {
        signal += double(want[i]) * want[i];
        noise += (double(got[i]) - want[i]) * (double(got[i]) - want[i]);
    }
    return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

// The shift of `got` against `want` (in frames, within ±8) at which the
// stretch [from, to) of samples matches best; 0 for a decoder that keeps time.
int BestLag(const std::vector<std::int16_t>& got, const std::vector<std::int16_t>& want,
            std::size_t from, std::size_t to) {
    int best = 0;
    double bestNoise = -1;
    for (int lag = -8; lag <= 8; ++lag) {
        double noise = 0;
        for (std::size_t i = from; i < to && i < want.size(); ++i) {
            const auto j = static_cast<std::ptrdiff_t>(i) + 2 * lag;
            if (j >= 0 && j < static_cast<std::ptrdiff_t>(got.size())) {
                const double d = double(got[static_cast<std::size_t>(j)]) - want[i];
                noise += d * d;
            }
        }
        if (bestNoise < 0 || noise < bestNoise) {
            bestNoise = noise;
            best = lag;
        }
    }
    return best;
}

struct Album {
    const char* pattern;  // "album%.opus": % is the track number
    std::uint32_t rate;
    std::uint32_t type;
    bool lossless;
};

std::string TrackName(std::string_view pattern, int track) {
    const std::size_t at = pattern.find('%');
    return std::string(pattern.substr(0, at)) + std::to_string(track) +
           std::string(pattern.substr(at + 1));
}

const std::uint32_t* Cuts(std::uint32_t rate) {
    return rate == 48000 ? kAlbumCuts48 : kAlbumCuts;
}

// The album's source: one run of the signal the tracks were cut from.
std::vector<std::int16_t> AlbumSource(std::uint32_t rate) {
    return Expected(Cuts(rate)[3], 5);
}

class AlbumTest : public ::testing::TestWithParam<Album> {};

// Each track decodes to the length it was cut to, aligned to its source: the
// encoder's delay and padding are left out, so the joined tracks are the
// album again, lossless ones to the bit.
TEST_P(AlbumTest, TracksJoinIntoTheUncutAlbum) {
    const Album& album = GetParam();
    std::vector<std::int16_t> joined;
    std::vector<std::size_t> boundaries;
    for (int i = 0; i < 3; ++i) {
        const std::string name = TrackName(album.pattern, i);
        SCOPED_TRACE(name);
        const audio::Handle h = OpenDecode(name);
        ASSERT_NE(h, 0u) << audio::ErrorGetCode();
        audio::ChannelInfo info;
        ASSERT_TRUE(audio::ChannelGetInfo(h, &info));
        EXPECT_EQ(info.Frequency, album.rate);
        EXPECT_EQ(info.StreamType, album.type);
        const std::uint64_t frames = Cuts(album.rate)[i + 1] - Cuts(album.rate)[i];
        EXPECT_EQ(audio::StreamGetLength(h), frames * 4);
        const auto samples = AsSamples(ReadAll(h));
        EXPECT_EQ(samples.size(), frames * 2);
        audio::StreamFree(h);
        if (i > 0) {
            boundaries.push_back(joined.size());
        }
        joined.insert(joined.end(), samples.begin(), samples.end());
    }
    const auto source = AlbumSource(album.rate);
    ASSERT_EQ(joined.size(), source.size());
    if (album.lossless) {
        EXPECT_EQ(joined, source);
        return;
    }
    // Lossy: the 50 ms on either side of each boundary keep time with the
    // source and follow it (a gap or priming left in shifts what comes after,
    // silence matches nothing). The encoders' start is rougher than the rest.
    EXPECT_GT(SnrDb(joined, source, 0, source.size()), 15.0);
    const std::size_t span = album.rate / 20 * 2;
    for (const std::size_t at : boundaries) {
        EXPECT_EQ(BestLag(joined, source, at - span, at), 0) << "before " << at / 2;
        EXPECT_EQ(BestLag(joined, source, at, at + span), 0) << "after " << at / 2;
        EXPECT_GT(SnrDb(joined, source, at - span, at), 6.0) << "before " << at / 2;
        EXPECT_GT(SnrDb(joined, source, at, at + span), 6.0) << "after " << at / 2;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, AlbumTest,
                         ::testing::Values(Album{"album%.opus", 48000, audio::kTypeOpus, false},
                                           Album{"album%.m4a", 44100, audio::kTypeMp4, false},
                                           Album{"albumsmpb%.m4a", 44100, audio::kTypeMp4, false},
                                           Album{"albumalac%.m4a", 44100, audio::kTypeAlac, true},
                                           Album{"album%.wv", 44100, audio::kTypeWavPack, true},
                                           Album{"album%.ape", 44100, audio::kTypeApe, true}),
                         [](const auto& info) {
                             std::string name = info.param.pattern;
                             name =
                                 name.substr(0, name.find('%')) + name.substr(name.find('.') + 1);
                             return name;
                         });

TEST(FfmpegFormats, OpusPlaysAtItsOwnRateAligned) {
    const audio::Handle h = OpenDecode("tone48.opus");
    ASSERT_NE(h, 0u);
    audio::ChannelInfo info;
    ASSERT_TRUE(audio::ChannelGetInfo(h, &info));
    EXPECT_EQ(info.Frequency, 48000u);
    EXPECT_EQ(info.Channels, 2u);
    EXPECT_EQ(info.StreamType, audio::kTypeOpus);
    EXPECT_EQ(audio::StreamGetLength(h), std::uint64_t{kFrames48} * 4);
    const auto samples = AsSamples(ReadAll(h));
    audio::StreamFree(h);
    ASSERT_EQ(samples.size(), std::size_t{kFrames48} * 2);
    EXPECT_GT(SnrDb(samples, Expected(kFrames48), 0, samples.size()), 20.0);
}

// Lossy codecs need the frames before a seek point to decode it; a seek
// decodes them and lands on the very sample, as a decode from the start has it.
TEST(FfmpegFormats, LossySeeksLandOnTheSample) {
    for (const auto& [name, frames] :
         {std::pair{"tone48.opus", kFrames48}, std::pair{"tone.m4a", kFrames}}) {
        SCOPED_TRACE(name);
        const auto all = Decode(name);
        ASSERT_EQ(all.size(), std::size_t{frames} * 2);
        const audio::Handle h = OpenDecode(name);
        for (std::uint32_t frame : {50000u, 1u, 0u, 3000u, 4096u, 40001u, frames - 10}) {
            ASSERT_TRUE(audio::ChannelSetPosition(h, std::uint64_t{frame} * 4)) << frame;
            EXPECT_EQ(audio::ChannelGetPosition(h), std::uint64_t{frame} * 4);
            std::vector<std::int16_t> got(4000);
            const std::uint32_t n = audio::ChannelGetData(h, got.data(), 8000);
            ASSERT_EQ(n, std::min<std::uint32_t>(8000, (frames - frame) * 4)) << frame;
            got.resize(n / 2);
            const std::vector<std::int16_t> want(all.begin() + frame * 2,
                                                 all.begin() + frame * 2 + n / 2);
            // Noise substitution draws other noise after a seek; a sample off
            // costs the tone far more (about 20 dB).
            EXPECT_GT(SnrDb(got, want, 0, want.size()), 35.0) << frame;
            if (want.size() > 200) {
                EXPECT_EQ(BestLag(got, want, 0, want.size()), 0) << frame;
            }
        }
        audio::StreamFree(h);
    }
}

// Decoded to the end first (as a decoder that reads ahead does), a seek
// decodes again from the place asked for, up to the last sample.
TEST(FfmpegFormats, SeeksAfterTheEndDecodeAgain) {
    for (const auto& [name, frames] :
         {std::pair{"tone48.opus", kFrames48}, std::pair{"tone.m4a", kFrames},
          std::pair{"tonealac.m4a", kFrames}, std::pair{"tone.wv", kFrames},
          std::pair{"tone.ape", kFrames}}) {
        SCOPED_TRACE(name);
        const auto all = Decode(name);
        ASSERT_EQ(all.size(), std::size_t{frames} * 2);
        const audio::Handle h = OpenDecode(name);
        for (std::uint32_t frame : {frames - 10, 40001u, frames - 3000, 5000u}) {
            EXPECT_EQ(ReadAll(h).size() % 4, 0u);
            ASSERT_TRUE(audio::ChannelSetPosition(h, std::uint64_t{frame} * 4)) << frame;
            const auto got = AsSamples(ReadAll(h));
            ASSERT_EQ(got.size(), std::size_t{frames - frame} * 2) << frame;
            const std::vector<std::int16_t> want(all.begin() + frame * 2, all.end());
            EXPECT_GT(SnrDb(got, want, 0, want.size()), 35.0) << frame;
        }
        audio::StreamFree(h);
    }
}

// The seamless switch of the player reads one decode stream after the other;
// played so, the album's Opus tracks are its decodes back to back.
TEST(FfmpegFormats, OpusAlbumPlaysBackToBackOnTheDevice) {
    audio::SetConfig(audio::kConfigBuffer, 500);
    ASSERT_TRUE(audio::Init(audio::test::kDevice, 48000, 0));
    struct Chain {
        std::vector<audio::Handle> sources;
        std::size_t current = 0;
    } chain;
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 3; ++i) {
        const auto bytes = Decode(TrackName("album%.opus", i));
        expected.insert(expected.end(), reinterpret_cast<const std::uint8_t*>(bytes.data()),
                        reinterpret_cast<const std::uint8_t*>(bytes.data() + bytes.size()));
        chain.sources.push_back(OpenDecode(TrackName("album%.opus", i)));
    }
    const auto feed = [](audio::Handle, void* buffer, std::uint32_t length,
                         void* user) -> std::uint32_t {
        auto& c = *static_cast<Chain*>(user);
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::uint32_t done = 0;
        while (done < length && c.current < c.sources.size()) {
            const std::uint32_t got =
                audio::ChannelGetData(c.sources[c.current], out + done, length - done);
            if (got == audio::kDataError || got == 0) {
                ++c.current;
            } else {
                done += got;
            }
        }
        return c.current == c.sources.size() ? done | audio::kFeedEnd : done;
    };
    const audio::Handle out = audio::StreamCreate(48000, 2, 0, feed, &chain);
    ASSERT_NE(out, 0u);
    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    std::vector<std::uint8_t> played;
    for (int step = 0; step < 100 && audio::ChannelIsActive(out) != audio::kActiveStopped; ++step) {
        ASSERT_TRUE(audio::test::Update());
        const auto chunk = audio::test::Advance(48000);
        played.insert(played.end(), chunk.begin(), chunk.end());
    }
    ASSERT_GE(played.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin()));
    const auto source = AlbumSource(48000);
    const auto heard = AsSamples(std::vector<std::uint8_t>(
        played.begin(), played.begin() + static_cast<std::ptrdiff_t>(expected.size())));
    EXPECT_GT(SnrDb(heard, source, 0, source.size()), 20.0);
    audio::StreamFree(out);
    for (const audio::Handle h : chain.sources) {
        audio::StreamFree(h);
    }
    EXPECT_TRUE(audio::Free());
}

TEST(FfmpegFormats, FloatSamplesAreTheSixteenBitOnesScaled) {
    for (const char* name : {"tone48.opus", "tone.m4a", "tonealac.m4a", "tone.wv", "tone.ape"}) {
        SCOPED_TRACE(name);
        const auto s16 = Decode(name);
        const audio::Handle h = OpenDecode(name, audio::kSampleFloat);
        ASSERT_NE(h, 0u);
        const auto bytes = ReadAll(h);
        audio::StreamFree(h);
        ASSERT_EQ(bytes.size(), s16.size() * 4);
        std::vector<float> f(s16.size());
        std::memcpy(f.data(), bytes.data(), bytes.size());
        float worst = 0;
        for (std::size_t i = 0; i < f.size(); ++i) {
            worst = std::max(worst, std::abs(f[i] * 32768.0f - s16[i]));
        }
        EXPECT_LE(worst, 1.0f);
    }
}

TEST(FfmpegFormats, MemoryStreamsDecodeAsFilesDo) {
    for (const char* name : {"tone48.opus", "tone.m4a", "tonealac.m4a", "tone.wv", "tone.ape"}) {
        SCOPED_TRACE(name);
        std::ifstream file(Path(name), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), {});
        const audio::Handle mem =
            audio::StreamCreateFile(true, bytes.data(), 0, bytes.size(), audio::kStreamDecode);
        ASSERT_NE(mem, 0u);
        EXPECT_EQ(AsSamples(ReadAll(mem)), Decode(name));
        audio::StreamFree(mem);
    }
}

}  // namespace
