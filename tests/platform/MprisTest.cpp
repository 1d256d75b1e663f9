// The player on a private session bus, driven by playerctl as a desktop's
// media controls would drive it.
#include "platform/Mpris.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <filesystem>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/HeardTrack.h"
#include "fakes/StartedWindow.h"
#include "tags/TagFixtures.h"

namespace mirvo {
namespace {

// A session bus of the test's own; the address goes into the environment
// before anything connects to a session bus.
class PrivateBus {
  public:
    PrivateBus() {
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1",
                     nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        std::string address;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') {
            address += c;
        }
        ::close(out[0]);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        ready_ = !address.empty();
    }
    ~PrivateBus() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return ready_; }

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

class Mpris : public ::testing::Test {
  protected:
    void SetUp() override {
        // One bus for the process: Qt keeps its first session connection.
        static PrivateBus bus;
        ASSERT_TRUE(bus.ready());
        // The second name is no URL as it is.
        for (const char* name : {"one", "two of 50% Été"}) {
            const std::string wav = home / (std::string(name) + ".wav");
            test::WriteWav(wav, test::Tone(44100, 20.0, 440), 44100);
            files.push_back(wav);
        }
        // The first file carries its own title and artist.
        const std::string tagged = home / "tagged.mp3";
        ASSERT_TRUE(test::Encode("lame --quiet -b 64 --tt Tagged --ta Someone --tl Record " +
                                 files[0] + " " + tagged));
        files[0] = tagged;
        app = test::StartWindow(home, files, desktop, hotKeys, dialogs);
        mpris = std::make_unique<MprisService>(app->player, app->controller.session(),
                                               app->application);
        ASSERT_TRUE(mpris->Registered());
    }
    void TearDown() override {
        mpris.reset();
        app.reset();
        audio::Free();
    }

    // playerctl's answer; the loop runs meanwhile, so the player can reply.
    std::string Ctl(const QStringList& args) {
        QProcess ctl;
        ctl.start(QStringLiteral("playerctl"),
                  QStringList{QStringLiteral("-p"), QStringLiteral("mirvo")} + args);
        QElapsedTimer guard;
        guard.start();
        while (ctl.state() != QProcess::NotRunning && guard.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            ctl.waitForFinished(1);
        }
        return ctl.readAllStandardOutput().trimmed().toStdString();
    }
    // Plays `ms` of sound on the test device and lets the status refresh run.
    void Play(int ms) {
        for (int done = 0; done < ms; done += 20) {
            audio::test::Update();
            audio::test::Advance(3528);
            app->controller.engine().StatusTick();
        }
    }
    std::int64_t PositionMs() {
        Engine& e = app->controller.engine();
        return e.BytesToMs(e.CurrentPositionBytes());
    }

    test::TempDir home;
    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    test::FakeDialogs dialogs;
    std::vector<std::string> files;
    std::unique_ptr<MainApp> app;
    std::unique_ptr<MprisService> mpris;
};

TEST_F(Mpris, PlayerctlSeesAndDrivesThePlayer) {
    EXPECT_EQ(Ctl({"status"}), "Stopped");
    Ctl({"play"});
    app->controller.engine().Settle();
    EXPECT_EQ(app->controller.engine().OutputState(), audio::kActivePlaying);
    EXPECT_EQ(Ctl({"status"}), "Playing");
    EXPECT_EQ(Ctl({"metadata", "--format", "{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}"}),
              "Tagged|Someone|Record");
    const std::string length = Ctl({"metadata", "mpris:length"});
    EXPECT_NEAR(std::stoll(length), 20'000'000, 100'000);
    EXPECT_EQ(Ctl({"metadata", "xesam:url"}), "file://" + files[0]);

    Play(1000);
    Ctl({"position", "5"});
    EXPECT_NEAR(static_cast<double>(PositionMs()), 5000, 50);
    Ctl({"position", "2+"});
    EXPECT_NEAR(static_cast<double>(PositionMs()), 7000, 50);
    EXPECT_NEAR(std::stod(Ctl({"position"})), 7.0, 0.1);

    Ctl({"volume", "0.4"});
    EXPECT_EQ(app->player.engine.Volume, 400);
    EXPECT_EQ(Ctl({"volume"}), "0.400000");

    Ctl({"pause"});
    EXPECT_EQ(app->controller.engine().OutputState(), audio::kActivePaused);
    EXPECT_EQ(Ctl({"status"}), "Paused");
    Ctl({"play"});
    EXPECT_EQ(Ctl({"status"}), "Playing");

    Ctl({"next"});
    app->controller.engine().Settle();
    EXPECT_EQ(app->player.playlist.PlayingIndex, 1);
    EXPECT_EQ(Ctl({"metadata", "xesam:title"}), "two of 50% Été.wav");
    EXPECT_EQ(Ctl({"metadata", "xesam:url"}),
              "file://" + home.path() + "/two%20of%2050%25%20%C3%89t%C3%A9.wav");
    Ctl({"previous"});
    app->controller.engine().Settle();
    EXPECT_EQ(app->player.playlist.PlayingIndex, 0);

    Ctl({"stop"});
    EXPECT_EQ(app->controller.engine().OutputState(), audio::kActiveStopped);
    EXPECT_EQ(Ctl({"status"}), "Stopped");
}

// Seeks keep to the length the engine told with the track, whatever a window
// shows meanwhile.
TEST_F(Mpris, SeeksKeepToTheAudibleTracksLength) {
    Ctl({"play"});
    app->controller.engine().Settle();
    Play(1000);
    app->controller.SetProgressMax(3000);
    Ctl({"position", "5"});
    EXPECT_NEAR(static_cast<double>(PositionMs()), 5000, 50);
    Ctl({"position", "25"});  // past the end: no seek
    EXPECT_NEAR(static_cast<double>(PositionMs()), 5000, 50);
    Ctl({"position", "16+"});  // beyond the end by offset: the next track
    app->controller.engine().Settle();
    EXPECT_EQ(app->player.playlist.PlayingIndex, 1);
}

// The tags travel with the start: a file gone by the time it is heard still
// shows the title and artist it was opened with.
TEST_F(Mpris, TheTagsShownAreThoseTheFileOpenedWith) {
    Engine& engine = app->controller.engine();
    engine.PlayEntry(0);
    engine.WaitForStarter();
    ASSERT_TRUE(std::filesystem::remove(files[0]));
    engine.Settle();
    ASSERT_EQ(app->player.playlist.PlayingIndex, 0);
    EXPECT_EQ(Ctl({"metadata", "--format", "{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}"}),
              "Tagged|Someone|Record");
}

// A station's song reaches the applets, artist and title apart, as each
// new title is told.
TEST_F(Mpris, AStationsSongIsItsTitleAndArtist) {
    PlaybackEvents& events = app->player.events;
    events.TrackAudible(test::HeardTrack("http://127.0.0.1:1/jazz|Jazz FM"));
    EXPECT_EQ(Ctl({"metadata", "--format", "{{xesam:title}}|{{xesam:artist}}"}), "Jazz FM|");
    events.StationTitleChanged("Miles Davis - So What");
    EXPECT_EQ(Ctl({"metadata", "--format", "{{xesam:title}}|{{xesam:artist}}"}),
              "So What|Miles Davis");
    events.StationTitleChanged("News at ten");
    EXPECT_EQ(Ctl({"metadata", "--format", "{{xesam:title}}|{{xesam:artist}}"}), "News at ten|");
    // A file's own title is never replaced by a station's.
    events.TrackAudible(test::HeardTrack(files[0], 1000));
    events.StationTitleChanged("Miles Davis - So What");
    EXPECT_EQ(Ctl({"metadata", "xesam:title"}), "Tagged");
}

TEST_F(Mpris, ChangesAreAnnouncedToFollowers) {
    // playerctl --follow prints each change the player announces.
    QProcess follow;
    follow.start(QStringLiteral("playerctl"),
                 {QStringLiteral("-p"), QStringLiteral("mirvo"), QStringLiteral("--follow"),
                  QStringLiteral("status")});
    ASSERT_TRUE(follow.waitForStarted());
    const auto seen = [&](const char* word) {
        QElapsedTimer guard;
        guard.start();
        while (guard.elapsed() < 5000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            follow.waitForReadyRead(5);
            if (follow.readAllStandardOutput().contains(word)) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(seen("Stopped"));
    app->controller.commands().DispatchKey(kKeyEnter, kNoModifier);
    EXPECT_TRUE(seen("Playing"));
    app->controller.commands().DispatchKey(kKeySpace, kNoModifier);
    EXPECT_TRUE(seen("Paused"));
    follow.kill();
    follow.waitForFinished();
}

}  // namespace
}  // namespace mirvo
