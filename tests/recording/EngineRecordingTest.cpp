// The engine's hooks into the recorder: stopping a station or opening another
// entry ends the recording and offers it; the record command on other entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Commands.h"
#include "playback/Engine.h"
#include "support/Files.h"

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
        engine->Settle();
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
    rig.engine->Settle();
    rig.engine->recorder().RecordStartAcExecute();
    ASSERT_EQ(rig.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text,
              "You can only record internet radio.\rPlease connect to one first.");

    rig.engine->PlayEntry(2);  // connecting: nothing plays yet
    rig.engine->Settle();
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
    rig.engine->Settle();
    EXPECT_GE(std::filesystem::file_size(saved), 44u + 5 * 17640);
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 1);
    EXPECT_EQ(rig.engine->OutputState(), audio::kActivePlaying);
    EXPECT_FALSE(rig.view.recordVisible);
}

// Started while "Start recording?" waits, another entry is not recorded
// for the station the question was about.
TEST(EngineRecording, AnEntryThatStartedWhileAskingIsNotRecorded) {
    EngineRig rig;
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    rig.f.player.playlist.PlayingEntry = "http://127.0.0.1:9/live|Station";
    rig.Step(2);
    rig.f.dialogs.yesNoAnswers = {true};
    rig.f.dialogs.meanwhile = [&] {
        rig.engine->PlayEntry(1);
        rig.engine->Settle();
    };
    rig.engine->recorder().RecordStartAcExecute();
    EXPECT_FALSE(rig.engine->recorder().RecordingActive());
    ASSERT_EQ(rig.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text,
              "You can only record internet radio.\rPlease connect to one first.");
    rig.Step(3);
    EXPECT_FALSE(rig.Recorded());
}

// "Next" from a hot key or the media controls while the question is open
// comes after the answer: the station is recorded, then Next ends and offers it.
TEST(EngineRecording, AHotKeyWaitsForStartRecording) {
    EngineRig rig;
    Commands commands(rig.f.player, *rig.engine);
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    rig.f.player.playlist.PlayingEntry = "http://127.0.0.1:9/live|Station";
    rig.Step(2);
    rig.f.dialogs.yesNoAnswers = {true, false};
    rig.f.dialogs.meanwhile = [&] { commands.HotKey(3); };
    rig.engine->recorder().RecordStartAcExecute();
    EXPECT_TRUE(rig.engine->recorder().RecordingActive());
    EXPECT_EQ(rig.f.player.playlist.PlayingEntry, "http://127.0.0.1:9/live|Station");
    rig.Step(3);
    rig.engine->recorder().WaitForWriter();
    EXPECT_TRUE(rig.Recorded());
    rig.f.loop.RunPosted();
    rig.engine->Settle();
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 1);
    EXPECT_FALSE(rig.engine->recorder().RecordingActive());
    EXPECT_EQ(rig.f.dialogs.questions.back(), "Record has been stopped.\rSave record?");
}

// The "Mix ....wav" files in `folder`.
std::vector<std::string> Mixes(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        const std::string name = item.path().filename().string();
        if (name.starts_with("Mix ") && name.ends_with(".wav")) {
            found.push_back(name);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A quit that cannot ask (a signal, logout, "-quit", the media controls) ends
// the loop; the exit then stops playback: the recording is kept in the record
// folder, also when the quit closed the question unanswered, and never over a file.
TEST(EngineRecording, AQuitThatCannotAskSavesTheRecordingUnderTheOfferedName) {
    EngineRig rig;
    rig.PlayAsStation();
    rig.f.loop.Quit();
    rig.engine->StopPlayback(true);
    EXPECT_EQ(rig.f.dialogs.questions.size(), 1u);  // "Start recording?" only
    const std::string folder = rig.records.path();
    std::vector<std::string> mixes = Mixes(folder);
    ASSERT_EQ(mixes.size(), 1u);
    EXPECT_EQ(mixes[0].size(), std::string("Mix 2026-12-08 21-30.wav").size());
    const std::uintmax_t first = std::filesystem::file_size(folder + "/" + mixes[0]);
    EXPECT_GE(first, 44u + 5 * 17640);
    EXPECT_FALSE(rig.Recorded());

    // Asked, and the quit closes the question: not the user's No.
    EngineRig again;
    // The names of this minute and the next are taken, whenever the save comes.
    std::vector<std::string> taken;
    for (const std::time_t at : {std::time(nullptr), std::time(nullptr) + 60}) {
        std::tm local{};
        localtime_r(&at, &local);
        char name[64];
        std::strftime(name, sizeof name, "Mix %Y-%m-%d %H-%M", &local);
        taken.push_back(name);
        again.records.Write(taken.back() + ".wav", "taken");
    }
    again.PlayAsStation();
    again.f.dialogs.yesNoAnswers.push_back(false);
    again.f.dialogs.meanwhile = [&] { again.f.loop.Quit(); };
    again.engine->StopPlayback(true);
    EXPECT_EQ(again.f.dialogs.questions.back(), "Record has been stopped.\rSave record?");
    mixes = Mixes(again.records.path());
    ASSERT_EQ(mixes.size(), 3u);
    for (const std::string& name : taken) {
        EXPECT_EQ(ReadWholeFile(again.records / (name + ".wav")), "taken");
    }
    const std::string saved = mixes[0] + mixes[1] + mixes[2];
    EXPECT_TRUE(saved.find(taken[0] + " (2).wav") != std::string::npos ||
                saved.find(taken[1] + " (2).wav") != std::string::npos)
        << saved;
    EXPECT_FALSE(again.Recorded());

    // The picker closed by the quit likewise.
    EngineRig third;
    third.PlayAsStation();
    third.f.dialogs.yesNoAnswers.push_back(true);
    third.f.dialogs.meanwhile = [&] { third.f.dialogs.meanwhile = [&] { third.f.loop.Quit(); }; };
    third.engine->StopPlayback(true);
    EXPECT_EQ(third.f.dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(Mixes(third.records.path()).size(), 1u);
    EXPECT_FALSE(third.Recorded());
}

}  // namespace
}  // namespace mirvo
