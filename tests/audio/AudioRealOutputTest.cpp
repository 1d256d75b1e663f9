// Real output through SDL (its dummy driver; the machine has no sound card) and
// the "No sound" device: a 2-second stream plays to its end, its position never
// runs backwards nor ahead of what the device was handed. Neither is a clock to
// time against (the dummy driver drifts); timing is the test device's business.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "AudioTestUtil.h"
#include "audio/TestDevice.h"

namespace {

constexpr std::uint32_t kBytes = 2 * 44100 * 4;  // two seconds, 16-bit stereo

struct Tone {
    std::uint32_t left = kBytes;
};

std::uint32_t ToneFeed(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    auto& tone = *static_cast<Tone*>(user);
    const std::uint32_t n = std::min(length, tone.left);
    auto* s = static_cast<std::int16_t*>(buffer);
    for (std::uint32_t i = 0; i < n / 2; ++i) {
        s[i] = static_cast<std::int16_t>((i / 2) % 100 < 50 ? 3000 : -3000);
    }
    tone.left -= n;
    return tone.left == 0 ? n | audio::kFeedEnd : n;
}

// Plays the tone on the current device and checks time, positions and the end.
void PlaysTwoSeconds(bool checkHanded) {
    Tone tone;
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, ToneFeed, &tone);
    ASSERT_NE(out, 0u);
    const std::uint64_t slack =
        2ull * audio::test::DeviceBufferFrames() * 4 * 44100 / 44100;  // two device buffers
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    std::uint64_t last = 0;
    bool sawData = false;
    while (audio::ChannelIsActive(out) != audio::kActiveStopped) {
        const std::uint64_t handedBefore = audio::test::HandedBytes(out);
        const std::uint64_t pos = audio::ChannelGetPosition(out);
        const std::uint64_t handedAfter = audio::test::HandedBytes(out);
        ASSERT_GE(pos, last);
        last = pos;
        if (checkHanded) {
            EXPECT_LE(pos, handedAfter);
            EXPECT_GE(pos + slack, handedBefore);
        }
        std::int16_t window[926 * 2];
        const std::uint32_t got = audio::ChannelGetData(out, window, sizeof window);
        sawData = sawData || (got != audio::kDataError && got > 0 && window[0] != 0);
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "a hang";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(audio::ChannelGetPosition(out), kBytes);
    EXPECT_TRUE(sawData);
    EXPECT_TRUE(audio::StreamFree(out));
}

class RealOutputTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
};

TEST_F(RealOutputTest, DefaultDeviceThroughSdlPlaysToTheEnd) {
    ASSERT_TRUE(audio::Init(1, 44100, 0)) << audio::ErrorGetCode();
    EXPECT_GT(audio::test::DeviceBufferFrames(), 0u);
    PlaysTwoSeconds(true);
    EXPECT_TRUE(audio::Free());
    // Released and opened again.
    ASSERT_TRUE(audio::Init(1, 48000, 0));
    EXPECT_TRUE(audio::Free());
}

TEST_F(RealOutputTest, NoSoundDeviceConsumesOnTheClock) {
    ASSERT_TRUE(audio::Init(0, 44100, 0));
    PlaysTwoSeconds(false);
    EXPECT_TRUE(audio::Free());
}

TEST_F(RealOutputTest, DevicesThatCannotBeOpenedFail) {
    EXPECT_FALSE(audio::Init(99, 44100, 0));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorDevice);
    EXPECT_FALSE(audio::GetDeviceDescription(99).has_value());
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(audio::Init(1, 44100, 0));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorDriver);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(audio::Init(1, 44100, 0));
    EXPECT_TRUE(audio::Free());
}

}  // namespace
