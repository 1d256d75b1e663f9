// The FFmpeg formats decode on a thread of their own while the update thread's
// feed takes what is ready: a short read while the decoder waits for the disk is
// no end, seeks land on the sample, and the feed and the decoder running side by
// side (this file also runs under ThreadSanitizer) give the file's samples.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "AudioTestUtil.h"
#include "audio/TestDevice.h"

namespace {

using namespace audio_fixtures;
using audio::test::Decoders;

constexpr std::uint32_t kTenth = 4410 * 4;  // 100 ms of 16-bit stereo at 44.1 kHz

std::vector<std::uint8_t> DecodeBytes(const std::string& name, std::uint32_t flags = 0) {
    const audio::Handle h = OpenDecode(name, flags);
    EXPECT_NE(h, 0u) << name << ": " << audio::ErrorGetCode();
    auto bytes = ReadAll(h);
    audio::StreamFree(h);
    return bytes;
}

// The player's feed over one decode stream, read in small pieces as it comes;
// it keeps what it got and ends when the source says it has stopped.
struct Fed {
    audio::Handle source = 0;
    std::vector<std::uint8_t> got;
    std::uint64_t asked = 0;
    int shortReads = 0;
    bool sawError = false;
};

std::uint32_t PieceFeed(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    auto& fed = *static_cast<Fed*>(user);
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t done = 0;
    while (done < length) {
        const std::uint32_t piece = std::min<std::uint32_t>(length - done, 4096);
        const std::uint32_t got = audio::ChannelGetData(fed.source, out + done, piece);
        if (got == audio::kDataError) {
            fed.sawError = true;
            break;
        }
        done += got;
        if (got < piece) {
            break;
        }
    }
    fed.asked += length;
    fed.shortReads += done < length;
    fed.got.insert(fed.got.end(), out, out + done);
    return audio::ChannelIsActive(fed.source) == audio::kActiveStopped ? done | audio::kFeedEnd
                                                                       : done;
}

class DecodeAheadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        audio::SetConfig(audio::kConfigBuffer, 500);
        ASSERT_TRUE(audio::Init(audio::test::kDevice, 44100, 0));
    }
    void TearDown() override {
        audio::Free();
        audio::SetConfig(audio::kConfigBuffer, 3000);
    }

    // An output channel fed from `fed.source`, playing.
    audio::Handle PlayFed(Fed& fed) {
        const audio::Handle out = audio::StreamCreate(44100, 2, 0, PieceFeed, &fed);
        EXPECT_NE(out, 0u);
        EXPECT_TRUE(audio::StreamPlay(out, false, 0));
        return out;
    }

    // Cycles with the decoders caught up until the channel stops; false if it does not.
    static bool PlayToTheEnd(audio::Handle out, int rounds) {
        for (int i = 0; i < rounds && audio::ChannelIsActive(out) != audio::kActiveStopped; ++i) {
            audio::test::Update(Decoders::CaughtUp);
            audio::test::Advance(kTenth);
        }
        return audio::ChannelIsActive(out) == audio::kActiveStopped;
    }
};

// The disk stops answering a few seconds into the file: the feed gets less
// than it asks for, but never the end nor an error, and the update thread
// never waits for the disk. Once the disk is back the file plays on from
// where it stood, every sample once.
TEST_F(DecodeAheadTest, AShortReadWhileTheDecoderWaitsForTheDiskIsNoEnd) {
    const auto reference = DecodeBytes("ten.wv");
    ASSERT_EQ(reference.size(), std::size_t{kTenFrames} * 4);
    GateWrap gate;
    Fed fed;
    fed.source = OpenDecode("ten.wv");
    ASSERT_NE(fed.source, 0u);
    const audio::Handle out = PlayFed(fed);
    // All the decoder can do before the disk is gone; then the read-ahead has
    // at most a block more than the decoder's second.
    audio::test::Update(Decoders::CaughtUp);
    gate.Close();
    // Four seconds asked for, more than a second and a block of WavPack.
    for (int i = 0; i < 40; ++i) {
        audio::test::Update(Decoders::AsTheyAre);
        audio::test::Advance(kTenth);
    }
    EXPECT_FALSE(gate.TimedOut());  // the update thread would have waited in the disk
    EXPECT_LT(fed.got.size(), reference.size());
    EXPECT_LT(fed.got.size(), fed.asked);
    EXPECT_GT(fed.shortReads, 0);
    EXPECT_FALSE(fed.sawError);
    EXPECT_NE(audio::ChannelIsActive(fed.source), audio::kActiveStopped);
    EXPECT_NE(audio::ChannelIsActive(out), audio::kActiveStopped);
    EXPECT_EQ(audio::ChannelGetPosition(fed.source), fed.got.size());

    gate.Open();
    EXPECT_TRUE(PlayToTheEnd(out, 200));
    EXPECT_FALSE(fed.sawError);
    EXPECT_TRUE(fed.got == reference) << fed.got.size() << " of " << reference.size();
    audio::StreamFree(out);
    audio::StreamFree(fed.source);
}

// A file played directly, moved while it plays: the device plays on from the
// very sample asked for, as a decode from the start has it.
TEST_F(DecodeAheadTest, AFilePlayedDirectlySeeksToTheSample) {
    for (const char* name : {"tonealac.m4a", "tone.wv", "ten.wv"}) {
        SCOPED_TRACE(name);
        const auto reference = DecodeBytes(name);
        const audio::Handle h = audio::StreamCreateFile(false, Path(name).c_str(), 0, 0, 0);
        ASSERT_NE(h, 0u);
        ASSERT_TRUE(audio::StreamPlay(h, false, 0));
        for (int i = 0; i < 3; ++i) {
            audio::test::Update();
            audio::test::Advance(kTenth);
        }
        for (const std::uint32_t frame : {30011u, 7u, 0u, 44100u}) {
            ASSERT_TRUE(audio::ChannelSetPosition(h, std::uint64_t{frame} * 4)) << frame;
            std::vector<std::uint8_t> played;
            for (int i = 0; i < 5; ++i) {
                audio::test::Update();
                const auto chunk = audio::test::Advance(kTenth);
                played.insert(played.end(), chunk.begin(), chunk.end());
            }
            ASSERT_EQ(played.size(), std::size_t{5} * kTenth);
            EXPECT_TRUE(std::equal(played.begin(), played.end(),
                                   reference.begin() + std::ptrdiff_t{frame} * 4))
                << frame;
        }
        audio::StreamFree(h);
    }
}

// 8-bit decode streams of these formats are their 16-bit samples' high bytes.
TEST_F(DecodeAheadTest, EightBitSamplesAreTheHighBytes) {
    for (const char* name : {"tone.wv", "tone48.opus"}) {
        SCOPED_TRACE(name);
        const auto s16 = AsSamples(DecodeBytes(name));
        const auto u8 = DecodeBytes(name, audio::kSample8Bits);
        ASSERT_EQ(u8.size(), s16.size());
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < u8.size(); ++i) {
            wrong += u8[i] != static_cast<std::uint8_t>((s16[i] >> 8) + 128);
        }
        EXPECT_EQ(wrong, 0u);
    }
}

// The feed reads while the decoder decodes, free-running, and the status
// refresh asks for position and activity meanwhile; what the feed got is the
// file, sample for sample.
TEST_F(DecodeAheadTest, TheFeedAndTheDecoderRunSideBySide) {
    const auto reference = DecodeBytes("ten.wv");
    Fed fed;
    fed.got.reserve(reference.size());
    fed.source = OpenDecode("ten.wv");
    ASSERT_NE(fed.source, 0u);
    const audio::Handle out = PlayFed(fed);
    std::atomic<bool> stop{false};
    std::thread status([&] {
        std::uint64_t last = 0;
        for (int i = 0; i < 200000 && !stop; ++i) {
            const std::uint64_t at = audio::ChannelGetPosition(fed.source);
            EXPECT_GE(at, last);
            last = at;
            EXPECT_LE(audio::StreamGetFilePosition(fed.source, audio::kFilePosCurrent),
                      audio::StreamGetFilePosition(fed.source, audio::kFilePosEnd));
            audio::ChannelIsActive(fed.source);
        }
    });
    for (int i = 0; i < 60; ++i) {
        audio::test::Update(Decoders::AsTheyAre);
        audio::test::Advance(kTenth);
    }
    EXPECT_TRUE(PlayToTheEnd(out, 200));
    stop = true;
    status.join();
    EXPECT_FALSE(fed.sawError);
    EXPECT_TRUE(fed.got == reference) << fed.got.size() << " of " << reference.size();
    audio::StreamFree(out);
    audio::StreamFree(fed.source);
}

// Another thread moves the source while the feed reads it; once the output is
// stopped and the source moved a last time, the feed gets the file from there.
TEST_F(DecodeAheadTest, SeeksFromAnotherThreadWhileTheFeedReads) {
    const auto reference = DecodeBytes("ten.wv");
    Fed fed;
    fed.got.reserve(reference.size() * 2);
    fed.source = OpenDecode("ten.wv");
    ASSERT_NE(fed.source, 0u);
    const audio::Handle out = PlayFed(fed);
    std::thread seeker([&] {
        for (std::uint32_t i = 0; i < 40; ++i) {
            const std::uint64_t frame = (i * 104729u) % (kTenFrames - 44100);
            EXPECT_TRUE(audio::ChannelSetPosition(fed.source, frame * 4));
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 40; ++i) {
        audio::test::Update(Decoders::AsTheyAre);
        audio::test::Advance(kTenth);
    }
    seeker.join();
    ASSERT_TRUE(audio::ChannelStop(out));
    constexpr std::uint32_t kFrom = 123457;
    ASSERT_TRUE(audio::ChannelSetPosition(fed.source, std::uint64_t{kFrom} * 4));
    fed.got.clear();
    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    EXPECT_TRUE(PlayToTheEnd(out, 200));
    EXPECT_FALSE(fed.sawError);
    EXPECT_TRUE(std::equal(fed.got.begin(), fed.got.end(),
                           reference.begin() + std::ptrdiff_t{kFrom} * 4, reference.end()))
        << fed.got.size();
    audio::StreamFree(out);
    audio::StreamFree(fed.source);
}

}  // namespace
