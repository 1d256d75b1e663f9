// The playing session without a window: what its listeners hear, in order.
#include "playback/Session.h"

#include <gtest/gtest.h>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"

namespace mirvo {
namespace {

class RecordingListener : public PlaybackListener {
  public:
    void TrackAudible(const AudibleTrack& track) override {
        const std::string& entry = track.entry;
        heard.push_back("audible " + entry.substr(entry.rfind('/') + 1) + " " +
                        std::to_string(track.lengthMs));
    }
    void StateChanged(PlayState state) override {
        static const char* const kNames[] = {"stopped", "playing", "paused"};
        heard.emplace_back(kNames[static_cast<int>(state)]);
    }
    void VolumeChanged(int volume) override { heard.push_back("volume " + std::to_string(volume)); }
    void PositionJumped(std::int64_t ms) override { heard.push_back("jump " + std::to_string(ms)); }
    void PositionAdvanced(std::int64_t, std::int64_t, int) override { ++ticks; }
    void ListChanged() override { heard.emplace_back("list"); }

    std::vector<std::string> heard;
    int ticks = 0;
};

class Reports : public Scrobbler {
  public:
    void Submit(const AudibleTrack& track, int seconds, int mode, std::int64_t) override {
        const std::string& entry = track.entry;
        calls.push_back(entry.substr(entry.rfind('/') + 1) + "|" + std::to_string(seconds) + "|" +
                        std::to_string(mode));
    }
    std::vector<std::string> calls;
};

bool MeterTimerRuns(const test::FakeEventLoop& loop) {
    for (const auto& [id, timer] : loop.timers) {
        if (timer.interval == std::chrono::milliseconds(20)) {
            return true;
        }
    }
    return false;
}

// Plays on the test device until the list ends and the device is let go;
// true when a track followed another without a gap.
bool PlayToTheEnd(Engine& engine, const Player& player) {
    bool switched = false;
    for (int step = 0; step < 600 && player.engine.DeviceReady; ++step) {
        // A loaded machine must not turn the seamless switch into a drain.
        engine.WaitForOpener();
        audio::test::Update();
        audio::test::Advance(5820);
        engine.StatusTick();
        engine.Settle();
        switched = switched || engine.TransitionState() == 1;
    }
    return switched;
}

TEST(Session, ListenersFollowATrackFromStartToTheNextAndTheEnd) {
    test::TempDir dir;
    const std::string first = dir / "first.wav";
    const std::string second = dir / "second.wav";
    test::WriteWav(first, test::Tone(44100, 8.0, 440), 44100);
    test::WriteWav(second, test::Tone(44100, 6.5, 550), 44100);
    test::FakePlayer f(dir.path());
    f.player.engine.Device = audio::test::kDevice;
    f.player.engine.PlayMode = 2;
    f.player.app.ProgramTitle = kProgramTitle;
    f.player.playlist.PlaylistEntries = {first, second};
    test::FakePlaybackView bar;
    test::NoMeters meters;
    Reports reports;
    RecordingListener listener;
    {
        Session session(f.player, bar, meters, &reports);
        f.player.events.Attach(listener);
        Engine& engine = session.engine();
        engine.PlayEntry(0);
        engine.Settle();
        EXPECT_EQ(f.view.caption, "first.wav - Mirvo");
        EXPECT_TRUE(MeterTimerRuns(f.loop));
        session.commands().DispatchKey(kKeySpace, kNoModifier);  // pause
        session.commands().DispatchKey(kKeySpace, kNoModifier);  // resume
        engine.SeekTo(engine.MsToBytes(2000));
        engine.SetVolume(500);
        EXPECT_TRUE(PlayToTheEnd(engine, f.player));  // the second track followed without a gap
        EXPECT_FALSE(f.player.engine.DeviceReady);
        EXPECT_EQ(f.view.caption, "Mirvo 1.04i");
        // The meters fall off after the stop, then their timer ends.
        for (int tick = 0; tick < 200 && MeterTimerRuns(f.loop); ++tick) {
            for (auto& [id, timer] : f.loop.timers) {
                if (timer.interval == std::chrono::milliseconds(20)) {
                    timer.tick();
                    break;
                }
            }
        }
        EXPECT_FALSE(MeterTimerRuns(f.loop));
        f.player.events.Detach(listener);
    }
    const std::vector<std::string> expected = {
        "audible first.wav 8000",  "playing", "paused", "playing", "jump 2000", "volume 500",
        "audible second.wav 6500", "stopped"};
    std::vector<std::string> seen = listener.heard;
    std::erase(seen, "list");

    EXPECT_EQ(seen, expected);
    EXPECT_GT(listener.ticks, 0);
    // Tracks this short are never reported.
    EXPECT_TRUE(reports.calls.empty());
}

// Each track is told with its tags, read where it opened: by the starter for
// the first, by the opener for the one the feed switches to.
TEST(Session, EveryAudibleTrackCarriesItsTags) {
    test::TempDir dir;
    const std::string wav = dir / "tone.wav";
    test::WriteWav(wav, test::Tone(44100, 6.0, 440), 44100);
    const std::string first = dir / "first.mp3";
    const std::string second = dir / "second.mp3";
    ASSERT_TRUE(test::Encode("lame --quiet -b 64 --tt One --ta Band " + wav + " " + first));
    ASSERT_TRUE(test::Encode("lame --quiet -b 64 --tt Two --tl Album " + wav + " " + second));
    test::FakePlayer f(dir.path());
    f.player.engine.Device = audio::test::kDevice;
    f.player.engine.PlayMode = 2;
    f.player.playlist.PlaylistEntries = {first, second};
    test::FakePlaybackView bar;
    test::NoMeters meters;
    struct Tags : PlaybackListener {
        void TrackAudible(const AudibleTrack& t) override {
            told.push_back(t.tags.Title + "|" + t.tags.Artist + "|" + t.tags.Album + "|" +
                           std::to_string(t.kind));
        }
        std::vector<std::string> told;
    } tags;
    bool switched = false;
    {
        Session session(f.player, bar, meters);
        f.player.events.Attach(tags);
        Engine& engine = session.engine();
        engine.PlayEntry(0);
        engine.Settle();
        switched = PlayToTheEnd(engine, f.player);
        f.player.events.Detach(tags);
    }
    EXPECT_TRUE(switched);
    EXPECT_EQ(tags.told, (std::vector<std::string>{"One|Band||0", "Two||Album|0"}));
}

TEST(Session, AListenerMayLeaveWhileItIsTold) {
    PlaybackEvents events;
    struct Leaving : PlaybackListener {
        explicit Leaving(PlaybackEvents& e) : events(e) {}
        void StateChanged(PlayState) override {
            ++told;
            events.Detach(*this);
        }
        PlaybackEvents& events;
        int told = 0;
    } leaving{events};
    RecordingListener after;
    events.Attach(leaving);
    events.Attach(after);
    events.StateChanged(PlayState::Playing);
    events.StateChanged(PlayState::Stopped);
    EXPECT_EQ(leaving.told, 1);
    EXPECT_EQ(after.heard, (std::vector<std::string>{"playing", "stopped"}));
}

}  // namespace
}  // namespace mirvo
