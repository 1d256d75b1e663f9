#include "system/Mixer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "fakes/FakeServices.h"
#include "fakes/SoundServer.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"

namespace mirvo {
namespace {

using test::TempDir;

constexpr const char* kWarning =
    "This operation will unmute the wave and main output channel.\r"
    "Panning/volume will be resetted/maximized.\rMind your speakers.";

std::string Pactl(const std::string& arguments) {
    std::string out;
    if (FILE* pipe = ::popen(("pactl " + arguments + " 2>&1").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) {
            out += buffer;
        }
        ::pclose(pipe);
    }
    return out;
}

struct PlayerWithEngine {
    TempDir home;
    test::FakePlayer f{home.path()};
    test::FakePlaybackView view;
    Engine engine{f.player, view};
};

// ALSA's "default" mixer is the sound server's while one runs: its "Master"
// is the sink's volume and mute. PCM is missing there and is skipped.
TEST(Mixer, ResetRaisesAndUnmutesARealMixerAndSetsTheVolume) {
    test::SoundServer server;
    ASSERT_TRUE(server.ready()) << "pulseaudio did not start";
    Pactl("set-sink-volume mirvo_null 20%");
    Pactl("set-sink-mute mirvo_null 1");
    ASSERT_NE(Pactl("get-sink-volume mirvo_null").find("/  20% /"), std::string::npos);
    PlayerWithEngine p;
    p.engine.SetVolume(300);

    ResetSoundMixer(p.f.dialogs, p.engine);
    ASSERT_EQ(p.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(p.f.dialogs.notices[0].kind, NoticeKind::Information);
    EXPECT_EQ(p.f.dialogs.notices[0].text, kWarning);
    const std::string volume = Pactl("get-sink-volume mirvo_null");
    EXPECT_NE(volume.find("front-left: 65536 / 100% /"), std::string::npos) << volume;
    EXPECT_NE(volume.find("front-right: 65536 / 100% /"), std::string::npos) << volume;
    EXPECT_EQ(Pactl("get-sink-mute mirvo_null"), "Mute: no\n");
    EXPECT_EQ(p.f.player.engine.Volume, 1000);
    EXPECT_EQ(p.view.volumePercent, 100);

    EXPECT_EQ(ResetMixerControls("default"), std::vector<std::string>{"Master"});
}

TEST(Mixer, WithoutAMixerOnlyThePlayerVolumeIsSet) {
    EXPECT_TRUE(ResetMixerControls("hw:99").empty());
    EXPECT_TRUE(ResetMixerControls("no such mixer").empty());
    // "default" made to name a card that is not there, whatever this machine has.
    TempDir dir;
    ::setenv("ALSA_CONFIG_PATH",
             dir.Write("asound.conf", "ctl.!default { type hw card 99 }\n").c_str(), 1);
    PlayerWithEngine p;
    p.engine.SetVolume(0);
    ResetSoundMixer(p.f.dialogs, p.engine);
    ::unsetenv("ALSA_CONFIG_PATH");
    ASSERT_EQ(p.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(p.f.dialogs.notices[0].text, kWarning);
    EXPECT_EQ(p.f.player.engine.Volume, 1000);
    EXPECT_EQ(p.view.volumePercent, 100);
}

}  // namespace
}  // namespace mirvo
