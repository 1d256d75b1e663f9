// Recording a station served by the loopback ICY server: the pre-record cache
// starts with the station, and the saved WAV holds exactly the sound the DSP
// saw, the same with in-stream metadata as without.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/IcyServer.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"

namespace mirvo {
namespace {

using namespace std::chrono_literals;
using test::TempDir;

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Capture {
    std::mutex lock;
    std::string bytes;
    static void Proc(audio::DspHandle, audio::Handle, void* buffer, std::uint32_t length,
                     void* user) {
        auto& self = *static_cast<Capture*>(user);
        const std::lock_guard guard(self.lock);
        self.bytes.append(static_cast<const char*>(buffer), length);
    }
};

struct StationRig {
    StationRig() : f(home.path()) {
        f.player.engine.Device = audio::test::kDevice;
        f.player.settings.WriteString("General", "RecordTempPath", records.path() + "/");
        f.player.settings.WriteBool("General", "RecordAhead", true);
        engine = std::make_unique<Engine>(f.player, view);
        engine->Connector().SetOpenUrl(LibraryOpenUrl());
    }
    ~StationRig() {
        engine.reset();
        audio::Free();
    }
    void Connect(const std::string& entry) {
        f.player.playlist.PlaylistEntries = {entry};
        engine->PlayEntry(0);
        while (engine->Connector().Running() > 0) {
            f.loop.WaitForPosted(50ms);
            f.loop.RunPosted();
        }
        f.loop.RunPosted();
    }
    void Step(int times = 1) {
        for (int i = 0; i < times; ++i) {
            audio::test::Update();
            audio::test::Advance(17640);
            engine->StatusTick();
        }
    }
    // Connects with the cache on, records ten seconds and saves them.
    std::string RecordTenSeconds(const std::string& entry) {
        Connect(entry);
        EXPECT_NE(engine->OutputChannel(), 0u);
        // The cache took over from the first block on.
        EXPECT_TRUE(engine->recorder().DspInstalled());
        EXPECT_FALSE(engine->recorder().RecordingActive());
        audio::ChannelSetDSP(engine->OutputChannel(), Capture::Proc, &seen, -1);
        Step(20);
        for (int i = 0; i < 100 && engine->OutputState() != audio::kActivePlaying; ++i) {
            std::this_thread::sleep_for(10ms);
            Step();
        }
        f.dialogs.yesNoAnswers.push_back(true);
        engine->recorder().RecordStartAcExecute();
        EXPECT_TRUE(engine->recorder().RecordingActive());
        for (int i = 0; i < 100; ++i) {
            Step();
            if (engine->OutputState() == audio::kActiveStalled) {
                std::this_thread::sleep_for(5ms);
            }
        }
        // A stalled station shows its buffering, not the recording: look once it plays.
        for (int i = 0; i < 100 && engine->OutputState() != audio::kActivePlaying; ++i) {
            std::this_thread::sleep_for(10ms);
            Step();
        }
        engine->RadioTickCount = 299;  // the status line's next look is now
        Step();
        EXPECT_TRUE(f.view.timeLabel.starts_with("Recording... Left: ")) << f.view.timeLabel;
        const std::string saved = home / "station.wav";
        f.dialogs.yesNoAnswers.push_back(true);
        f.dialogs.saveAnswers.push_back(saved);
        engine->recorder().RecordStartAcExecute();  // stops the station, offers the recording
        EXPECT_EQ(engine->OutputChannel(), 0u);
        EXPECT_EQ(f.dialogs.notices.back().text, "Stream succesfully saved to\r" + saved);
        const std::string wave = FileText(saved);
        return wave.size() < 44 ? std::string() : wave.substr(44);
    }

    TempDir home;
    TempDir records;
    test::FakePlayer f;
    test::FakePlaybackView view;
    Capture seen;
    std::unique_ptr<Engine> engine;
};

const std::string& Mp3Body() {
    static const TempDir dir;
    static const std::string body = [] {
        const std::string wav = dir / "noise.wav";
        const std::string mp3 = dir / "noise.mp3";
        test::WriteWav(wav, test::Tone(44100, 4.0, 523), 44100);
        return test::Encode("lame --quiet -b 128 " + wav + " " + mp3) ? FileText(mp3)
                                                                      : std::string();
    }();
    return body;
}

TEST(StationRecording, TenSecondsFromAnIcyStationWithAndWithoutMetadata) {
    ASSERT_FALSE(Mp3Body().empty());
    test::IcyServer server;
    test::IcyReply titled = test::IcyStation(Mp3Body(), "audio/mpeg", 4096);
    titled.loop = true;
    titled.meta = {"StreamTitle='First';", "StreamTitle='Second song';", ""};
    server.Route("/titled", titled);
    test::IcyReply plain = test::IcyStation(Mp3Body(), "audio/mpeg");
    plain.loop = true;
    server.Route("/plain", plain);

    std::string withTitles;
    {
        StationRig rig;
        withTitles = rig.RecordTenSeconds(server.Url("/titled") + "|Titled");
        EXPECT_TRUE(withTitles == rig.seen.bytes)
            << withTitles.size() << " " << rig.seen.bytes.size() << " first difference at "
            << std::mismatch(withTitles.begin(), withTitles.end(), rig.seen.bytes.begin()).first -
                   withTitles.begin();
        EXPECT_GT(withTitles.size(), 10u * 176400);
    }
    std::string withoutTitles;
    {
        StationRig rig;
        withoutTitles = rig.RecordTenSeconds(server.Url("/plain") + "|Plain");
        EXPECT_TRUE(withoutTitles == rig.seen.bytes);
    }
    // A metadata byte left in the audio would change what the decoder made of it.
    const std::size_t common = std::min(withTitles.size(), withoutTitles.size());
    ASSERT_GT(common, 10u * 176400);
    EXPECT_TRUE(withTitles.compare(0, common, withoutTitles, 0, common) == 0);
}

}  // namespace
}  // namespace mirvo
