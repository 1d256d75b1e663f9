// A real file through the real output (SDL's dummy driver) and the real Qt
// timer: the time label follows the clock and the list ends by itself.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>

#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"
#include "ui/QtServices.h"

namespace mirvo {
namespace {

TEST(RealPlayback, FiveSecondsThroughTheRealTimer) {
    test::TempDir dir;
    const std::string path = dir / "five.wav";
    test::WriteWav(path, test::Tone(44100, 5.0, 440), 44100);

    test::FakeMainView view;
    test::FakeDialogs dialogs;
    QtEventLoop loop;
    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    Player player(dir.path(), Services{view, dialogs, loop, desktop, hotKeys});
    player.app.ProgramTitle = kProgramTitle;
    player.engine.Device = 1;
    player.playlist.PlaylistEntries = {path};
    player.engine.PlayMode = 2;
    test::FakePlaybackView bar;
    Engine engine(player, bar);

    engine.PlayEntry(0);
    ASSERT_TRUE(player.engine.DeviceReady) << "SDL's dummy driver did not open";
    EXPECT_TRUE(engine.StatusRunning());

    QElapsedTimer clock;
    clock.start();
    std::string halfway;
    int halfwayAt = -1;
    QEventLoop wait;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (halfwayAt < 0 && bar.position >= 2500) {
            halfway = view.timeLabel;
            halfwayAt = bar.position;
        }
        if (!player.engine.DeviceReady || clock.elapsed() > 10000) {
            wait.quit();
        }
    });
    watch.start(1);
    wait.exec();

    // The first label past half-time is within a few 10 ms ticks of it.
    ASSERT_GE(halfwayAt, 2500);
    EXPECT_LT(halfwayAt, 2550) << halfway;
    EXPECT_EQ(halfway, FormatMsHundredths(halfwayAt) + " / 0:05:00 / -" +
                           FormatMsHundredths(5000 - halfwayAt));
    EXPECT_EQ(halfway.substr(0, 6), "0:02:5");
    // The end of the list stops playback and releases the device, in about real time.
    EXPECT_FALSE(player.engine.DeviceReady);
    EXPECT_EQ(engine.OutputChannel(), 0u);
    EXPECT_GT(clock.elapsed(), 4500);
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_FALSE(engine.StatusRunning());
    EXPECT_EQ(view.caption, "Mirvo 1.04i");
}

}  // namespace
}  // namespace mirvo

int main(int argc, char** argv) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
