// Output channels on the test device: what is played, positions, states, pause,
// stop and seek, slides, DSP and ChannelGetData, and calls from a second thread
// while the update thread runs callbacks (this file also runs under
// ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "AudioTestUtil.h"
#include "audio/TestDevice.h"

namespace {

using namespace audio_fixtures;

constexpr std::uint32_t kSecond = 44100 * 4;  // bytes of one second, 16-bit stereo

// Reads decode streams one after another, as the player's feed does.
struct Chain {
    std::vector<audio::Handle> sources;
    std::size_t current = 0;
    std::atomic<std::uint64_t> fed{0};
    std::atomic<int> calls{0};
};

std::uint32_t ChainFeed(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    auto& chain = *static_cast<Chain*>(user);
    ++chain.calls;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t done = 0;
    while (done < length && chain.current < chain.sources.size()) {
        const std::uint32_t got =
            audio::ChannelGetData(chain.sources[chain.current], out + done, length - done);
        if (got == audio::kDataError || got == 0 ||
            audio::ChannelIsActive(chain.sources[chain.current]) == audio::kActiveStopped) {
            ++chain.current;
        }
        if (got != audio::kDataError) {
            done += got;
        }
    }
    chain.fed += done;
    return chain.current == chain.sources.size() ? done | audio::kFeedEnd : done;
}

// The player's feed for one source: whatever the decode stream gives, and the
// end once it has none left.
std::uint32_t SourceFeed(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    const audio::Handle src = *static_cast<audio::Handle*>(user);
    const std::uint32_t got = audio::ChannelGetData(src, buffer, length);
    if (got == audio::kDataError) {
        return audio::kFeedEnd;
    }
    return audio::ChannelIsActive(src) == audio::kActiveStopped ? got | audio::kFeedEnd : got;
}

// A feed that gives a constant sample value, or nothing while `starve` is set.
struct Constant {
    std::int16_t value = 16384;
    std::atomic<bool> starve{false};
    std::atomic<std::uint64_t> fed{0};
};

std::uint32_t ConstantFeed(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    auto& c = *static_cast<Constant*>(user);
    if (c.starve) {
        return 0;
    }
    auto* out = static_cast<std::int16_t*>(buffer);
    std::fill(out, out + length / 2, c.value);
    c.fed += length;
    return length;
}

class PlaybackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        audio::SetConfig(audio::kConfigBuffer, 3000);
        audio::SetConfig(audio::kConfigMaxVolume, 1000);
        ASSERT_TRUE(audio::Init(audio::test::kDevice, 44100, 0));
    }
    void TearDown() override { EXPECT_TRUE(audio::Free()); }

    // Plays until the channel stops, refilling as the update thread would.
    static std::vector<std::uint8_t> PlayOut(audio::Handle h,
                                             std::uint64_t limit = 60ull * kSecond) {
        std::vector<std::uint8_t> out;
        while (audio::ChannelIsActive(h) != audio::kActiveStopped && out.size() < limit) {
            EXPECT_TRUE(audio::test::Update());
            const auto chunk = audio::test::Advance(kSecond / 2);
            out.insert(out.end(), chunk.begin(), chunk.end());
        }
        return out;
    }
};

TEST_F(PlaybackTest, GaplessChainEqualsFilesDecodedSeparately) {
    const char* names[] = {"part0.mp3", "part1.ogg", "part2.flac"};
    std::vector<std::uint8_t> expected;
    Chain chain;
    for (const char* name : names) {
        const audio::Handle whole = OpenDecode(name);
        ASSERT_NE(whole, 0u) << name;
        const auto bytes = ReadAll(whole);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
        audio::StreamFree(whole);
        chain.sources.push_back(OpenDecode(name));
    }
    std::uint64_t parts = 0;
    for (auto frames : kPartFrames) {
        parts += frames * 4;
    }
    ASSERT_EQ(expected.size(), parts);

    const audio::Handle out = audio::StreamCreate(44100, 2, 0, ChainFeed, &chain);
    ASSERT_NE(out, 0u);
    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    const auto played = PlayOut(out);
    ASSERT_GE(played.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin()));
    // After the end only silence, and the position stops at what was fed.
    EXPECT_TRUE(
        std::all_of(played.begin() + expected.size(), played.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(audio::ChannelGetPosition(out), expected.size());
    EXPECT_EQ(chain.fed, expected.size());
    for (auto h : chain.sources) {
        audio::StreamFree(h);
    }
    EXPECT_TRUE(audio::StreamFree(out));
}

TEST_F(PlaybackTest, PositionCountsPlayedNotFedAndRestartsFromZero) {
    Constant c;
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, ConstantFeed, &c);
    audio::ChannelInfo info;
    ASSERT_TRUE(audio::ChannelGetInfo(out, &info));
    EXPECT_EQ(info.StreamType, audio::kTypeUser);
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActiveStopped);
    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    audio::test::Update();
    EXPECT_EQ(c.fed, 3u * kSecond);  // the whole 3000 ms buffer
    EXPECT_EQ(audio::ChannelGetPosition(out), 0u);
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActivePlaying);
    audio::test::Advance(1000 * 4);
    EXPECT_EQ(audio::ChannelGetPosition(out), 1000u * 4);
    audio::test::Update();
    EXPECT_EQ(c.fed, 3u * kSecond + 1000 * 4);  // refilled what was played

    ASSERT_TRUE(audio::ChannelStop(out));
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActiveStopped);
    EXPECT_EQ(audio::ChannelGetPosition(out), 0u);
    const auto silent = audio::test::Advance(400);
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](auto b) { return b == 0; }));
    std::int16_t buf[8];
    EXPECT_EQ(audio::ChannelGetData(out, buf, sizeof buf), audio::kDataError);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorNotPlaying);

    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    EXPECT_EQ(audio::ChannelGetPosition(out), 0u);
    audio::test::Update();
    const auto again = AsSamples(audio::test::Advance(800));
    EXPECT_TRUE(std::all_of(again.begin(), again.end(), [](auto s) { return s == 16384; }));
    EXPECT_EQ(audio::ChannelGetPosition(out), 800u);
    audio::StreamFree(out);
}

TEST_F(PlaybackTest, PauseFreezesAndResumeContinuesSeamlessly) {
    const audio::Handle src = OpenDecode("tone.wav");
    Chain chain;
    chain.sources = {src};
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, ChainFeed, &chain);
    audio::StreamPlay(out, false, 0);
    audio::test::Update();
    auto played = audio::test::Advance(10000 * 4);
    ASSERT_TRUE(audio::ChannelPause(out));
    EXPECT_FALSE(audio::ChannelPause(out));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorAlready);
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActivePaused);
    const auto paused = audio::test::Advance(5000 * 4);
    EXPECT_TRUE(std::all_of(paused.begin(), paused.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(audio::ChannelGetPosition(out), 10000u * 4);
    std::int16_t buf[8];
    EXPECT_EQ(audio::ChannelGetData(out, buf, sizeof buf), audio::kDataError);
    ASSERT_TRUE(audio::ChannelResume(out));
    EXPECT_FALSE(audio::ChannelResume(out));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorNotPaused);
    const auto rest = PlayOut(out);
    played.insert(played.end(), rest.begin(), rest.end());
    played.resize(std::size_t{kFrames} * 4);
    EXPECT_EQ(AsSamples(played), Expected(kFrames));
    audio::StreamFree(out);
    audio::StreamFree(src);
}

// The player's seek: stop the output, move the source, start again (and pause
// at once when it was paused).
TEST_F(PlaybackTest, SeekWhileStoppedOrPausedStartsAtTheNewPosition) {
    const audio::Handle src = OpenDecode("tone.flac");
    audio::Handle source = src;
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, SourceFeed, &source);
    const auto want = Expected(kFrames);
    audio::StreamPlay(out, false, 0);
    audio::test::Update();
    audio::test::Advance(kSecond / 4);

    // Paused.
    ASSERT_TRUE(audio::ChannelPause(out));
    ASSERT_TRUE(audio::ChannelStop(out));
    ASSERT_TRUE(audio::ChannelSetPosition(src, 30000 * 4));
    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    ASSERT_TRUE(audio::ChannelPause(out));
    audio::test::Update();
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActivePaused);
    EXPECT_EQ(audio::ChannelGetPosition(out), 0u);
    audio::test::Advance(4000);  // paused: nothing plays
    ASSERT_TRUE(audio::ChannelResume(out));
    auto got = AsSamples(audio::test::Advance(1000 * 4));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin() + 30000 * 2));

    // Stopped: stays stopped, plays from the new place once started.
    ASSERT_TRUE(audio::ChannelStop(out));
    ASSERT_TRUE(audio::ChannelSetPosition(src, 5000 * 4));
    audio::test::Update();
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActiveStopped);
    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    audio::test::Update();
    got = AsSamples(audio::test::Advance(1000 * 4));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin() + 5000 * 2));
    EXPECT_EQ(audio::ChannelGetPosition(out), 1000u * 4);
    audio::StreamFree(out);
    audio::StreamFree(src);
}

TEST_F(PlaybackTest, FeedWithoutDataStallsUntilDataComes) {
    Constant c;
    c.starve = true;
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, ConstantFeed, &c);
    audio::StreamPlay(out, false, 0);
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActivePlaying);
    audio::test::Update();
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActiveStalled);
    std::int16_t buf[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(audio::ChannelGetData(out, buf, sizeof buf), sizeof buf);  // silence
    EXPECT_EQ(buf[0], 0);
    c.starve = false;
    audio::test::Update();
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActivePlaying);
    audio::test::Advance(4000);
    EXPECT_EQ(audio::ChannelGetPosition(out), 4000u);
    audio::StreamFree(out);
}

TEST_F(PlaybackTest, VolumeAndSlidesScaleTheOutput) {
    Constant c;
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, ConstantFeed, &c);
    ASSERT_TRUE(audio::ChannelSetAttributes(out, -1, 500, -101));
    EXPECT_FALSE(audio::ChannelSetAttributes(out, -1, 1001, -101));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorParameter);
    audio::StreamPlay(out, false, 0);
    audio::test::Update();
    auto s = AsSamples(audio::test::Advance(400));
    EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](auto v) { return v == 8192; }));

    // Full pan to the left silences the right channel.
    ASSERT_TRUE(audio::ChannelSetAttributes(out, -1, 1000, -100));
    s = AsSamples(audio::test::Advance(400));
    EXPECT_EQ(s[0], 16384);
    EXPECT_EQ(s[1], 0);
    ASSERT_TRUE(audio::ChannelSetAttributes(out, -1, -1, 0));

    // Down to 0 over 100 ms of output: falling all the way, then silent.
    ASSERT_TRUE(audio::ChannelSlideAttributes(out, -1, 0, -101, 100));
    s = AsSamples(audio::test::Advance(4410 * 4));
    EXPECT_EQ(s.front(), 16384);
    EXPECT_LT(s.back(), 16);
    EXPECT_TRUE(std::is_sorted(s.rbegin(), s.rend()));
    EXPECT_NEAR(s[2205 * 2], 8192, 8);  // halfway
    std::uint32_t volume = 1;
    audio::ChannelGetAttributes(out, nullptr, &volume, nullptr);
    EXPECT_EQ(volume, 0u);
    s = AsSamples(audio::test::Advance(400));
    EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](auto v) { return v == 0; }));

    // And up again; the attribute reports the way there.
    ASSERT_TRUE(audio::ChannelSlideAttributes(out, -1, 1000, -101, 1000));
    audio::test::Advance(22050 * 4);
    audio::ChannelGetAttributes(out, nullptr, &volume, nullptr);
    EXPECT_NEAR(volume, 500, 1);
    audio::test::Advance(22050 * 4);
    audio::ChannelGetAttributes(out, nullptr, &volume, nullptr);
    EXPECT_EQ(volume, 1000u);
    audio::StreamFree(out);
}

struct DspLog {
    std::vector<std::pair<char, std::uint32_t>> calls;
    std::uint64_t bytes = 0;
};

void NegateDsp(audio::DspHandle, audio::Handle, void* buffer, std::uint32_t length, void* user) {
    auto& log = *static_cast<DspLog*>(user);
    log.calls.push_back({'n', length});
    log.bytes += length;
    auto* s = static_cast<std::int16_t*>(buffer);
    for (std::uint32_t i = 0; i < length / 2; ++i) {
        s[i] = static_cast<std::int16_t>(-s[i]);
    }
}

void WatchDsp(audio::DspHandle, audio::Handle, void* buffer, std::uint32_t length, void* user) {
    auto& log = *static_cast<DspLog*>(user);
    // Runs after the negation: sees its result.
    log.calls.push_back({static_cast<std::int16_t*>(buffer)[0] < 0 ? 'w' : '?', length});
}

TEST_F(PlaybackTest, DspSeesEveryBlockOnceInPriorityOrder) {
    Constant c;
    DspLog log;
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, ConstantFeed, &c);
    const audio::DspHandle watch = audio::ChannelSetDSP(out, WatchDsp, &log, 0);
    const audio::DspHandle negate = audio::ChannelSetDSP(out, NegateDsp, &log, 5);
    ASSERT_NE(watch, 0u);
    ASSERT_NE(negate, 0u);
    audio::StreamPlay(out, false, 0);
    for (int i = 0; i < 5; ++i) {
        audio::test::Update();
        auto s = AsSamples(audio::test::Advance(1234 * 4));
        EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](auto v) { return v == -16384; }));
    }
    EXPECT_EQ(log.bytes, c.fed);
    ASSERT_EQ(log.calls.size(), 10u);
    for (std::size_t i = 0; i < log.calls.size(); i += 2) {
        EXPECT_EQ(log.calls[i].first, 'n');
        EXPECT_EQ(log.calls[i + 1].first, 'w');
        EXPECT_EQ(log.calls[i].second, log.calls[i + 1].second);
    }
    ASSERT_TRUE(audio::ChannelRemoveDSP(out, negate));
    EXPECT_FALSE(audio::ChannelRemoveDSP(out, negate));
    ASSERT_TRUE(audio::ChannelStop(out));
    audio::StreamPlay(out, false, 0);
    audio::test::Update();
    const auto s = AsSamples(audio::test::Advance(400));
    EXPECT_EQ(s[0], 16384);
    EXPECT_EQ(log.bytes, c.fed - 3u * kSecond);  // the new buffer was not negated
    audio::StreamFree(out);
}

TEST_F(PlaybackTest, GetDataReturnsWhatWasJustPlayedWithoutConsuming) {
    const audio::Handle src = OpenDecode("tone.wav");
    audio::Handle source = src;
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, SourceFeed, &source);
    audio::StreamPlay(out, false, 0);
    audio::test::Update();
    const auto played = audio::test::Advance(5000 * 4);
    std::vector<std::uint8_t> window(926 * 4);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(audio::ChannelGetData(out, window.data(), window.size()), window.size());
        EXPECT_TRUE(std::equal(window.begin(), window.end(), played.end() - window.size()));
    }
    EXPECT_EQ(audio::ChannelGetPosition(out), 5000u * 4);
    // At the start there is only as much as was played.
    audio::ChannelStop(out);
    audio::ChannelSetPosition(src, 0);
    audio::StreamPlay(out, false, 0);
    audio::test::Update();
    audio::test::Advance(100 * 4);
    EXPECT_EQ(audio::ChannelGetData(out, window.data(), window.size()), 100u * 4);
    audio::StreamFree(out);
    audio::StreamFree(src);
}

TEST_F(PlaybackTest, OtherFormatsAreConvertedToTheDevice) {
    // A mono 22050 Hz channel: one second of it is one second of device output.
    Constant c;
    const audio::Handle out = audio::StreamCreate(22050, 1, 0, ConstantFeed, &c);
    audio::StreamPlay(out, false, 0);
    audio::test::Update();
    const auto s = AsSamples(audio::test::Advance(kSecond));
    // Positions count the channel's bytes, in the channel's time.
    EXPECT_NEAR(static_cast<double>(audio::ChannelGetPosition(out)), 22050.0 * 2, 4.0);
    EXPECT_NEAR(s[40000], 16384, 64);
    EXPECT_NEAR(s[40001], 16384, 64);
    audio::StreamFree(out);

    // A file played directly, without a feed.
    const std::string path = Path("tone.wav");
    const audio::Handle file = audio::StreamCreateFile(false, path.c_str(), 0, 0, 0);
    ASSERT_NE(file, 0u);
    audio::StreamPlay(file, false, 0);
    auto played = PlayOut(file);
    played.resize(std::size_t{kFrames} * 4);
    EXPECT_EQ(AsSamples(played), Expected(kFrames));
    audio::StreamFree(file);
}

TEST_F(PlaybackTest, DeviceLifecycleAndErrors) {
    EXPECT_FALSE(audio::Init(audio::test::kDevice, 44100, 0));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorAlready);
    Constant c;
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, ConstantFeed, &c);
    EXPECT_EQ(audio::StreamCreate(44100, 0, 0, ConstantFeed, &c), 0u);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorFormat);
    EXPECT_EQ(audio::StreamCreate(44100, 2, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(audio::StreamCreate(50, 2, 0, ConstantFeed, &c), 0u);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorFrequency);
    const audio::Handle src = OpenDecode("tone.wav");
    EXPECT_FALSE(audio::StreamPlay(src, false, 0));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorDecode);
    audio::StreamPlay(out, false, 0);
    audio::test::Update();

    // Free takes the output channels with it; decode streams stay.
    ASSERT_TRUE(audio::Free());
    EXPECT_FALSE(audio::Free());
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorInit);
    EXPECT_FALSE(audio::StreamFree(out));
    EXPECT_EQ(audio::StreamCreate(44100, 2, 0, ConstantFeed, &c), 0u);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorInit);
    EXPECT_EQ(audio::test::Advance(400).size(), 0u);
    EXPECT_EQ(audio::StreamGetLength(src), std::uint64_t{kFrames} * 4);
    EXPECT_FALSE(audio::Init(77, 44100, 0));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorDevice);
    EXPECT_FALSE(audio::Init(-7, 44100, 0));
    ASSERT_TRUE(audio::Init(audio::test::kDevice, 44100, 0));
    audio::StreamFree(src);
}

// Callbacks on the update thread while another thread calls in; freeing and
// stopping wait for a callback in progress.
struct Slow {
    std::atomic<bool> inside{false};
    std::atomic<int> calls{0};
};

std::uint32_t SlowFeed(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    auto& s = *static_cast<Slow*>(user);
    s.inside = true;
    ++s.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::memset(buffer, 0x11, length);
    s.inside = false;
    return length;
}

TEST_F(PlaybackTest, CallsFromAnotherThreadWhileCallbacksRun) {
    Slow slow;
    DspLog log;
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, SlowFeed, &slow);
    audio::ChannelSetDSP(out, NegateDsp, &log, 0);
    audio::StreamPlay(out, false, 0);
    std::atomic<bool> done{false};
    std::thread ui([&] {
        std::vector<std::uint8_t> buf(4096);
        while (!done) {
            EXPECT_LE(audio::ChannelGetPosition(out), 3u * kSecond);
            audio::ChannelIsActive(out);
            audio::ChannelGetData(out, buf.data(), 4096);
            audio::ChannelSetAttributes(out, -1, 900, -101);
        }
    });
    for (int i = 0; i < 20; ++i) {
        audio::test::Update();
        audio::test::Advance(2048 * 4);
        ASSERT_TRUE(audio::ChannelStop(out));
        EXPECT_FALSE(slow.inside);
        audio::StreamPlay(out, false, 0);
    }
    done = true;
    ui.join();

    // StreamFree from here while the feed sleeps inside a cycle started elsewhere.
    const int before = slow.calls;
    std::thread cycle([] { audio::test::Update(); });
    while (slow.calls == before) {
        std::this_thread::yield();
    }
    ASSERT_TRUE(audio::StreamFree(out));
    EXPECT_FALSE(slow.inside);
    cycle.join();
}

}  // namespace
