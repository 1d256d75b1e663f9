// Switching the computer off through a fake logind on a private D-Bus daemon.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QThread>

#include "app/SleepTimer.h"
#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "platform/Desktop.h"
#include "platform/Logind.h"
#include "playback/Engine.h"

namespace mirvo {
namespace {

// org.freedesktop.login1.Manager with PowerOff only; it agrees or refuses.
class FakeLogind final : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override {
        return QStringLiteral(
            "<interface name=\"org.freedesktop.login1.Manager\"><method name=\"PowerOff\">"
            "<arg name=\"interactive\" type=\"b\" direction=\"in\"/></method></interface>");
    }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        if (message.interface() != QLatin1String("org.freedesktop.login1.Manager") ||
            message.member() != QLatin1String("PowerOff")) {
            return false;
        }
        calls.push_back(message.arguments());
        bus.send(refuse ? message.createErrorReply(
                              QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                              QStringLiteral("Not allowed"))
                        : message.createReply());
        return true;
    }

    std::vector<QVariantList> calls;
    bool refuse = false;
};

// A private bus daemon with the fake login manager on it.
class LogindTest : public ::testing::Test {
  protected:
    void SetUp() override {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon_.waitForStarted());
        while (!daemon_.canReadLine()) {
            ASSERT_TRUE(daemon_.waitForReadyRead(20000)) << "dbus-daemon gave no address";
        }
        address = QString::fromUtf8(daemon_.readLine()).trimmed();
        service_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, QStringLiteral("fake-logind")));
        ASSERT_TRUE(service_->isConnected());
        ASSERT_TRUE(service_->registerService(QStringLiteral("org.freedesktop.login1")));
        ASSERT_TRUE(
            service_->registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &logind));
    }
    void TearDown() override {
        if (service_) {
            service_->unregisterObject(QStringLiteral("/org/freedesktop/login1"));
            service_.reset();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind"));
        QDBusConnection::disconnectFromBus(QStringLiteral("mirvo-power"));
        QDBusConnection::disconnectFromBus(QStringLiteral("caller"));
        daemon_.kill();
        daemon_.waitForFinished();
    }
    // Runs the loop until `done` holds; false when it did not within 20 s.
    static bool RunUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(10);
        }
        return done();
    }

    FakeLogind logind;
    QString address;

  private:
    QProcess daemon_;
    std::unique_ptr<QDBusConnection> service_;
};

TEST_F(LogindTest, PowerOffIsAskedWithoutInteractionAndTheAnswerComesBack) {
    const QDBusConnection caller = QDBusConnection::connectToBus(address, QStringLiteral("caller"));
    std::vector<std::string> answers;
    RequestPowerOff(caller, [&](const std::string& error) { answers.push_back(error); });
    EXPECT_TRUE(answers.empty());  // nothing waits for the bus
    ASSERT_TRUE(RunUntil([&] { return !answers.empty(); }));
    EXPECT_EQ(answers[0], "");
    ASSERT_EQ(logind.calls.size(), 1u);
    EXPECT_EQ(logind.calls[0], (QVariantList{false}));

    logind.refuse = true;
    RequestPowerOff(caller, [&](const std::string& error) { answers.push_back(error); });
    ASSERT_TRUE(RunUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers[1], "org.freedesktop.DBus.Error.AccessDenied: Not allowed");
}

TEST_F(LogindTest, WithoutALoginManagerTheAnswerIsAnError) {
    const QDBusConnection caller = QDBusConnection::connectToBus(address, QStringLiteral("caller"));
    QDBusConnection::connectToBus(address, QStringLiteral("fake-logind"))
        .unregisterService(QStringLiteral("org.freedesktop.login1"));
    std::string answer;
    RequestPowerOff(caller,
                    [&](const std::string& error) { answer = error.empty() ? "ok" : error; });
    ASSERT_TRUE(RunUntil([&] { return !answer.empty(); }));
    EXPECT_NE(answer, "ok");
    EXPECT_TRUE(logind.calls.empty());
}

class CheckedForm : public SleepTimerView {
  public:
    void ShowMinutes(const std::string&) override {}
    void ShowCounting(bool) override {}
    void HideForm() override {}
    bool ShutdownWhenDone() const override { return true; }
};

// The sleep timer's end through the desktop's real shutdown request.
TEST_F(LogindTest, TheSleepTimersEndAsksLogindAndARefusalIsSaidAndGivesTheSoundBack) {
    for (const bool refuse : {false, true}) {
        logind.calls.clear();
        logind.refuse = refuse;
        test::TempDir dir;
        test::FakeMainView view;
        test::FakeDialogs dialogs;
        test::FakeEventLoop loop;
        test::FakeHotKeys hotKeys;
        QtDesktop desktop(address.toStdString());
        Player player(dir.path(), Services{view, dialogs, loop, desktop, hotKeys});
        player.engine.Device = audio::test::kDevice;
        test::FakePlaybackView bar;
        Engine engine(player, bar);
        const std::string tone = dir / "tone.wav";
        test::WriteWav(tone, test::Tone(44100, 10.0, 440), 44100);
        player.playlist.PlaylistEntries = {tone};
        engine.PlayEntry(0);
        engine.Settle();
        // Where the fade of the last 50 seconds leaves the sound.
        audio::ChannelSetAttributes(engine.OutputChannel(), -1, 0, -101);
        CheckedForm form;
        int exits = 0;
        SleepTimer timer(player.ui, player.engine, engine, form, [&] { ++exits; });
        timer.Button1Click("0");
        // The countdown's tick, beside the status refresh of what plays.
        std::function<void()> tick;
        for (const auto& [id, t] : loop.timers) {
            if (t.interval == std::chrono::seconds(1)) {
                tick = t.tick;
            }
        }
        ASSERT_TRUE(tick);
        tick();
        ASSERT_TRUE(RunUntil([&] { return !logind.calls.empty(); }));
        EXPECT_EQ(logind.calls[0], (QVariantList{false}));
        // A later answer on the same connection comes after logind's.
        const QDBusPendingCall later =
            QDBusConnection(QStringLiteral("mirvo-power"))
                .asyncCall(QDBusMessage::createMethodCall(
                    QStringLiteral("org.freedesktop.login1"),
                    QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.DBus.Introspectable"),
                    QStringLiteral("Introspect")));
        ASSERT_TRUE(RunUntil([&] { return later.isFinished(); }));
        QCoreApplication::processEvents();
        // Whatever logind answered, the program does not end itself.
        EXPECT_EQ(exits, 0);
        EXPECT_EQ(loop.quits, 0);
        std::uint32_t volume = 0;
        audio::ChannelGetAttributes(engine.OutputChannel(), nullptr, &volume, nullptr);
        if (refuse) {
            ASSERT_EQ(dialogs.notices.size(), 1u);
            EXPECT_EQ(dialogs.notices[0].text,
                      "The computer could not be switched off.\r\r"
                      "org.freedesktop.DBus.Error.AccessDenied: Not allowed");
            EXPECT_EQ(volume,
                      static_cast<std::uint32_t>(Engine::VolumeCurve(player.engine.Volume)));
            EXPECT_GT(volume, 0u);
        } else {
            EXPECT_TRUE(dialogs.notices.empty());
            EXPECT_EQ(volume, 0u);  // the system is about to end it all
        }
        engine.StopPlayback(true);
    }
    audio::Free();
}

}  // namespace
}  // namespace mirvo
