// A real file through the real Qt timer, played on the test device: the time
// label follows what was played and the list ends by itself.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

#include "audio/TestDevice.h"
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
    player.engine.Device = audio::test::kDevice;
    player.playlist.PlaylistEntries = {path};
    player.engine.PlayMode = 2;
    test::FakePlaybackView bar;
    Engine engine(player, bar);

    engine.PlayEntry(0);
    engine.Settle();
    ASSERT_TRUE(player.engine.DeviceReady);
    EXPECT_TRUE(engine.StatusRunning());

    // Runs the Qt loop until `done` holds; the guard only ends a hang.
    const auto runUntil = [](const std::function<bool()>& done) {
        QEventLoop wait;
        QTimer watch;
        QElapsedTimer guard;
        guard.start();
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (done() || guard.elapsed() > 10000) {
                wait.quit();
            }
        });
        watch.start(1);
        wait.exec();
    };
    const auto play = [](int steps) {
        for (int i = 0; i < steps; ++i) {
            audio::test::Update();
            audio::test::Advance(17640);
        }
    };

    // Halfway through, the next tick of the real timer writes the label.
    play(25);
    runUntil([&] { return bar.position == 2500; });
    EXPECT_EQ(view.timeLabel, "0:02:50 / 0:05:00 / -0:02:50");
    // The end of the list stops playback and releases the device.
    play(60);
    runUntil([&] { return !player.engine.DeviceReady; });
    EXPECT_FALSE(player.engine.DeviceReady);
    EXPECT_EQ(engine.OutputChannel(), 0u);
    EXPECT_FALSE(engine.StatusRunning());
    EXPECT_EQ(view.caption, "Mirvo 1.04i");
}

}  // namespace
}  // namespace mirvo

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
