// The engine's hooks into the recorder: stopping a station or opening another
// entry ends the recording and offers it; the record command on other entries.
#include <gtest/gtest.h>

#include <filesystem>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"

namespace mirvo {
namespace {

using test::TempDir;

struct EngineRig {
    EngineRig() : f(home.path()) {
        f.player.engine.Device = audio::test::kDevice;
        f.player.settings.WriteString("General", "RecordTempPath", records.path() + "/");
        engine = std::make_unique<Engine>(f.player, view);
        for (const char* name : {"a.wav", "b.wav"}) {
            test::WriteWav(home / name, test::Tone(44100, 6.0, 440), 44100);
        }
        f.player.playlist.PlaylistEntries = {home / "a.wav", home / "b.wav",
                                             "http://127.0.0.1:9/live|Station"};
    }
    ~EngineRig() {
        engine.reset();
        audio::Free();
    }
    void Step(int steps) {
        for (int i = 0; i < steps; ++i) {
            audio::test::Update();
            audio::test::Advance(17640);
            engine->StatusTick();
        }
    }
    // A file plays under a station's entry: the recorder only sees the channel.
    void PlayAsStation() {
        engine->PlayEntry(0);
        f.player.playlist.PlayingEntry = "http://127.0.0.1:9/live|Station";
        Step(2);
        f.dialogs.yesNoAnswers.push_back(true);
        engine->recorder().RecordStartAcExecute();
        ASSERT_TRUE(engine->recorder().RecordingActive());
        Step(5);
    }
    bool Recorded() const {
        return std::filesystem::exists(RecordTempFile(records.path() + "/", 0));
    }

    TempDir home;
    TempDir records;
    test::FakePlayer f;
    test::FakePlaybackView view;
    std::unique_ptr<Engine> engine;
};

TEST(EngineRecording, RecordCommandNeedsAStationThatPlays) {
    EngineRig rig;
    rig.engine->PlayEntry(0);
    rig.engine->recorder().RecordStartAcExecute();
    ASSERT_EQ(rig.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text,
              "You can only record internet radio.\rPlease connect to one first.");

    rig.engine->PlayEntry(2);  // connecting: nothing plays yet
    EXPECT_TRUE(rig.view.recordVisible);
    rig.engine->recorder().RecordStartAcExecute();
    ASSERT_EQ(rig.f.dialogs.notices.size(), 2u);
    EXPECT_EQ(rig.f.dialogs.notices[1].text, "First play a stream.");
    EXPECT_TRUE(rig.f.dialogs.questions.empty());
}

TEST(EngineRecording, StoppingTheStationOffersTheRecording) {
    EngineRig rig;
    rig.PlayAsStation();
    rig.f.dialogs.yesNoAnswers.push_back(false);
    rig.engine->StopPlayback(true);
    EXPECT_EQ(rig.f.dialogs.questions.back(), "Record has been stopped.\rSave record?");
    EXPECT_FALSE(rig.engine->recorder().RecordingActive());
    EXPECT_FALSE(rig.Recorded());
    EXPECT_EQ(rig.engine->OutputChannel(), 0u);
}

TEST(EngineRecording, PlayingAnotherEntryEndsTheRecordingFirst) {
    EngineRig rig;
    rig.PlayAsStation();
    const std::string saved = rig.home / "mix.wav";
    rig.f.dialogs.yesNoAnswers.push_back(true);
    rig.f.dialogs.saveAnswers.push_back(saved);
    rig.engine->PlayEntry(1);
    EXPECT_GE(std::filesystem::file_size(saved), 44u + 5 * 17640);
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 1);
    EXPECT_EQ(rig.engine->OutputState(), audio::kActivePlaying);
    EXPECT_FALSE(rig.view.recordVisible);
}

}  // namespace
}  // namespace mirvo
