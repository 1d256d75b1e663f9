// FLAC streams that change format mid-way, FLAC received from its middle and
// the sound of an Ogg video: played whole, or ended where they cannot go on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "AudioTestUtil.h"
#include "fakes/FlacJoin.h"
#include "fakes/TempDir.h"

namespace {

using Samples = std::vector<std::int16_t>;

struct Decoded {
    int error = 0;  // when the file did not open
    audio::ChannelInfo info{};
    std::uint64_t frames = 0;  // the length the stream reports
    Samples samples;
    int end = audio::kOk;  // why the data ended: kOk, or kErrorFileFormat at a change
};

Decoded Decode(const std::string& path, bool flacOnly = false) {
    Decoded d;
    const audio::Handle h =
        flacOnly ? audio::FlacStreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode)
                 : audio::StreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode);
    if (h == 0) {
        d.error = audio::ErrorGetCode();
        return d;
    }
    audio::ChannelGetInfo(h, &d.info);
    d.frames = audio::StreamGetLength(h) / (2 * d.info.Channels);
    d.samples = audio_fixtures::AsSamples(audio_fixtures::ReadAll(h));
    std::int16_t more[64];
    if (audio::ChannelGetData(h, more, sizeof more) == audio::kDataError) {
        d.end = audio::ErrorGetCode();
    }
    audio::StreamFree(h);
    return d;
}

class OddStreams : public ::testing::Test {
  protected:
    void Run(const std::string& command) {
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    }
    // A second of a sine, the same in every channel (no dither), as FLAC.
    std::string Flac(const std::string& name, int rate, int channels, int hz) {
        const std::string wav = dir / (name + ".wav");
        const std::string flac = dir / (name + ".flac");
        Run("sox -D -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " +
            wav + " synth 1 sine " + std::to_string(hz));
        Run("flac -s -f -o " + flac + " " + wav);
        return flac;
    }
    std::string Bytes(const std::string& path) {
        std::ostringstream out;
        out << std::ifstream(path, std::ios::binary).rdbuf();
        return out.str();
    }
    std::string Join(const std::string& name, const std::string& first, const std::string& second,
                     std::uint64_t samples) {
        return dir.Write(name, mirvo::test::JoinFlac(Bytes(first), Bytes(second), samples));
    }
    mirvo::test::TempDir dir;
};

// Every channel of the second part holds the same sine, so any mix of them is exact.
TEST_F(OddStreams, AChangeOfChannelsIsMixedIntoTheChannelsTheStreamOpenedWith) {
    const std::string mono = Flac("mono", 44100, 1, 440);
    const std::string stereo = Flac("stereo", 44100, 2, 660);
    const Decoded one = Decode(mono);
    const Decoded two = Decode(stereo);
    ASSERT_EQ(one.samples.size(), 44100u);
    ASSERT_EQ(two.samples.size(), 88200u);

    Decoded d = Decode(Join("up.flac", mono, stereo, 88200));
    ASSERT_EQ(d.error, audio::kOk);
    EXPECT_EQ(d.info.Channels, 1u);
    EXPECT_EQ(d.frames, 88200u);
    Samples want = one.samples;
    for (std::size_t i = 0; i < two.samples.size(); i += 2) {
        want.push_back(two.samples[i]);
    }
    EXPECT_TRUE(d.samples == want);
    EXPECT_EQ(d.end, audio::kOk);

    d = Decode(Join("down.flac", stereo, mono, 88200));
    EXPECT_EQ(d.info.Channels, 2u);
    want = two.samples;
    for (const std::int16_t s : one.samples) {
        want.insert(want.end(), {s, s});
    }
    EXPECT_TRUE(d.samples == want);

    // One, two, then six channels: to its end, the six mixed without clipping.
    const std::string six = Flac("six", 44100, 6, 330);
    d = Decode(dir.Write(
        "1-2-6.flac",
        mirvo::test::JoinFlac(Bytes(Join("1-2.flac", mono, stereo, 0)), Bytes(six), 132300)));
    ASSERT_EQ(d.samples.size(), 132300u);
    const auto loudest = std::max_element(d.samples.begin() + 88200, d.samples.end());
    EXPECT_GT(*loudest, 10000);
    EXPECT_EQ(d.end, audio::kOk);
}

// What follows a change of rate would play at the wrong speed: the data ends
// at the change, and says why.
TEST_F(OddStreams, AChangeOfRateEndsTheStreamThere) {
    const std::string first = Flac("r32", 32000, 1, 440);
    const Decoded alone = Decode(first);
    const Decoded d = Decode(Join("rates.flac", first, Flac("r24", 24000, 1, 440), 56000));
    ASSERT_EQ(d.error, audio::kOk);
    EXPECT_EQ(d.info.Frequency, 32000u);
    EXPECT_TRUE(d.samples == alone.samples);
    EXPECT_EQ(d.end, audio::kErrorFileFormat);
}

// Frames alone, as a stream received from its middle: the first frame tells
// the format and counting them the length, whichever call opens it.
TEST_F(OddStreams, AStreamWithoutMetadataPlays) {
    const std::string stereo = Flac("stereo", 44100, 2, 660);
    const std::string bytes = Bytes(stereo);
    const std::string bare =
        dir.Write("bare.flac", bytes.substr(mirvo::test::FlacFramesStart(bytes)));
    const Decoded want = Decode(stereo);
    for (const bool flacOnly : {false, true}) {
        const Decoded d = Decode(bare, flacOnly);
        ASSERT_EQ(d.error, audio::kOk) << flacOnly;
        EXPECT_EQ(d.info.StreamType, audio::kTypeFlac);
        EXPECT_EQ(d.info.Frequency, 44100u);
        EXPECT_EQ(d.info.Channels, 2u);
        EXPECT_EQ(d.frames, 44100u);
        EXPECT_TRUE(d.samples == want.samples);
    }
    // Seeking finds its frame without a seek table or sample count.
    const audio::Handle h =
        audio::StreamCreateFile(false, bare.c_str(), 0, 0, audio::kStreamDecode);
    for (const std::uint32_t frame : {30000u, 5000u, 0u}) {
        ASSERT_TRUE(audio::ChannelSetPosition(h, std::uint64_t{frame} * 4)) << frame;
        std::int16_t got[200];
        ASSERT_EQ(audio::ChannelGetData(h, got, sizeof got), sizeof got);
        EXPECT_TRUE(std::equal(got, got + 200, want.samples.begin() + frame * 2)) << frame;
    }
    audio::StreamFree(h);
}

// Theora first, Vorbis second, as ffmpeg writes a video: its sound plays as
// the same sound copied into a file of its own does.
TEST_F(OddStreams, TheSoundOfAnOggVideoPlays) {
    const std::string video = dir / "clip.ogg";
    const std::string sound = dir / "sound.ogg";
    Run("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i "
        "sine=frequency=440:sample_rate=44100:duration=2 -map 0:v -map 1:a -c:v libtheora "
        "-c:a libvorbis " +
        video);
    Run("ffmpeg -v error -y -i " + video + " -map 0:a -c copy " + sound);
    const Decoded want = Decode(sound);
    ASSERT_EQ(want.error, audio::kOk);
    const Decoded d = Decode(video);
    ASSERT_EQ(d.error, audio::kOk);
    EXPECT_EQ(d.info.StreamType, audio::kTypeOgg);
    EXPECT_EQ(d.frames, want.frames);
    EXPECT_EQ(d.frames, 88200u);
    EXPECT_TRUE(d.samples == want.samples);
}

}  // namespace
