// The player against a real icecast2 on 127.0.0.1, fed by ezstream with a
// 128 kbit/s MP3 and an Ogg Vorbis file whose tags name the song. Played on
// the library's "No sound" device, which consumes in real time.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/Icecast.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"
#include "playback/Session.h"

namespace mirvo {
namespace {

using namespace std::chrono_literals;

class IcecastStations : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        files_ = new test::TempDir;
        const std::string wav = *files_ / "tone.wav";
        test::WriteWav(wav, test::Tone(44100, 20.0, 440), 44100);
        ready_ = test::Encode("lame --quiet -b 128 --tt 'So What' --ta 'Miles Davis' " + wav + " " +
                              *files_ / "tone.mp3") &&
                 test::Encode("oggenc --quiet -b 128 -t 'Blue in Green' -a 'Bill Evans' -o " +
                              *files_ / "tone.ogg" + " " + wav);
        if (ready_) {
            server_ =
                new test::Icecast({{"/radio.mp3", *files_ / "tone.mp3", "MP3", "Mirvo FM", 128},
                                   {"/radio.ogg", *files_ / "tone.ogg", "Ogg", "Mirvo Ogg", 128}});
            ready_ = server_->WaitForMount("/radio.mp3") && server_->WaitForMount("/radio.ogg");
        }
    }
    static void TearDownTestSuite() {
        delete server_;
        delete files_;
    }
    void SetUp() override {
        ASSERT_TRUE(ready_) << "icecast2, ezstream, lame and oggenc are needed";
        f_.player.engine.Device = 0;
        f_.player.app.ProgramTitle = kProgramTitle;
        f_.player.events.Attach(caption_);
        engine_ = std::make_unique<Engine>(f_.player, view_);
    }
    void TearDown() override {
        engine_.reset();
        audio::Free();
        f_.player.events.Detach(caption_);
    }
    // Plays the mount and runs the status refresh in real time until `done`.
    bool PlayUntil(const std::string& mount, const std::function<bool()>& done) {
        f_.player.playlist.PlaylistEntries = {server_->Url(mount) + "|Test station"};
        f_.view.rowCount = 1;
        engine_->PlayEntry(0);
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < end) {
            f_.loop.WaitForPosted(10ms);
            f_.loop.RunPosted();
            if (engine_->OutputChannel() != 0) {
                engine_->StatusTick();
                if (done()) {
                    return true;
                }
            }
            std::this_thread::sleep_for(33ms);
        }
        return false;
    }

    static inline test::TempDir* files_ = nullptr;
    static inline test::Icecast* server_ = nullptr;
    static inline bool ready_ = false;
    test::TempDir home_;
    test::FakePlayer f_{home_.path()};
    CaptionFollower caption_{f_.player};
    test::FakePlaybackView view_;
    std::unique_ptr<Engine> engine_;
};

TEST_F(IcecastStations, AnMp3StationShowsItsFormatAndTheSongTheSourceNames) {
    EXPECT_TRUE(PlayUntil("/radio.mp3",
                          [&] {
                              return f_.view.status[3] == "128 Kbps 44100 Hz - Stereo" &&
                                     f_.view.caption == "Miles Davis - So What - Mirvo";
                          }))
        << f_.view.status[3] << " / " << f_.view.caption;
    EXPECT_EQ(f_.view.timeLabel, "Playing internet stream at 16 KB/s");
    EXPECT_TRUE(f_.dialogs.notices.empty());
    EXPECT_EQ(engine_->OutputState(), audio::kActivePlaying);
}

TEST_F(IcecastStations, AnOggStationPlaysInStereoAt44100HzWithTheSongOfItsComments) {
    EXPECT_TRUE(PlayUntil("/radio.ogg",
                          [&] {
                              return f_.view.status[3].ends_with(" Kbps 44100 Hz - Stereo") &&
                                     f_.view.caption == "Bill Evans - Blue in Green - Mirvo";
                          }))
        << f_.view.status[3] << " / " << f_.view.caption;
    EXPECT_TRUE(f_.dialogs.notices.empty());
    EXPECT_EQ(engine_->OutputState(), audio::kActivePlaying);
}

// Joined wherever icecast2's burst starts, the MP3 mount plays every time:
// forty starts, each with three seconds of sound.
TEST_F(IcecastStations, EveryStartOfTheMp3MountPlaysOn) {
    int silent = 0;
    std::vector<char> buf(65536);
    for (int start = 0; start < 40; ++start) {
        const audio::Handle h = audio::StreamCreateURL(server_->Url("/radio.mp3").c_str(), 0,
                                                       audio::kStreamDecode, nullptr, nullptr);
        ASSERT_NE(h, 0u) << start << " " << audio::ErrorGetCode();
        std::uint64_t heard = 0;
        // At most twenty seconds of waiting; the burst holds the three at once.
        for (int i = 0; i < 2000 && heard < 3 * 44100 * 4 &&
                        audio::ChannelIsActive(h) != audio::kActiveStopped;
             ++i) {
            const std::uint32_t got = audio::ChannelGetData(h, buf.data(), 65536);
            heard += got == audio::kDataError ? 0 : got;
            if (got == 0 || got == audio::kDataError) {
                std::this_thread::sleep_for(10ms);
            }
        }
        silent += heard < 3 * 44100 * 4 ? 1 : 0;
        audio::StreamFree(h);
    }
    EXPECT_EQ(silent, 0);
}

// The encoder fails and comes back: the player reconnects by itself and plays
// on, without a message. Last, as it takes the mounts away for a moment.
TEST_F(IcecastStations, ZAStationWhoseSourceDropsReconnectsByItself) {
    ASSERT_TRUE(
        PlayUntil("/radio.mp3", [&] { return f_.view.status[3] == "128 Kbps 44100 Hz - Stereo"; }));
    server_->StopSources();
    const auto tickUntil = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 600 && !done(); ++i) {  // at most about twenty seconds
            f_.loop.RunPosted();
            engine_->StatusTick();
            std::this_thread::sleep_for(33ms);
        }
        return done();
    };
    EXPECT_TRUE(tickUntil([&] { return f_.view.status[3] == "Reconnecting... (1)"; }))
        << f_.view.status[3];
    server_->StartSources();
    ASSERT_TRUE(server_->WaitForMount("/radio.mp3"));
    // The attempt's timer is due (the test's loop runs timers only when told).
    for (auto& [id, timer] : f_.loop.timers) {
        if (timer.interval >= 1s) {
            const auto tick = timer.tick;
            tick();
            break;
        }
    }
    EXPECT_TRUE(tickUntil([&] {
        return engine_->OutputState() == audio::kActivePlaying &&
               !f_.view.status[3].starts_with("Reconnecting");
    })) << f_.view.status[3];
    EXPECT_TRUE(f_.dialogs.notices.empty());
}

}  // namespace
}  // namespace mirvo
