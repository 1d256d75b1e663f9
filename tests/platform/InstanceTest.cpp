// The hand-over between real processes: the installed executable against a
// running instance, either this test process or a second real one.
#include "platform/LocalInstance.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QProcess>
#include <QTimer>
#include <cstring>

#include "fakes/TempDir.h"
#include "support/Files.h"
#include "support/IniFile.h"

namespace mirvo {
namespace {

using test::TempDir;

class Instances : public ::testing::Test {
  protected:
    void SetUp() override {
        socket_ = QString::fromStdString(home_ / "instance.socket");
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("MIRVO_HOME", QString::fromStdString(home_.path()));
        env_.insert("MIRVO_INSTANCE", socket_);
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        // "No sound": no sound card here, and no warning box in the way of the test.
        home_.Write("Mirvo.ini", "[General]\nDevice=0\n");
    }

    // The program ended with 0, now or within the next seconds.
    static bool EndsCleanly(QProcess& process) {
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(15000)) {
            return false;
        }
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // Starts the program; the caller waits for it.
    std::unique_ptr<QProcess> Start(const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env_);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(MIRVO_EXE), arguments);
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }

    // Runs `arguments` to the end while this process's event loop keeps serving.
    int RunServed(const QStringList& arguments, int timeoutMs = 20000) {
        auto process = Start(arguments);
        QEventLoop loop;
        QObject::connect(process.get(), &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        if (process->state() != QProcess::NotRunning) {
            loop.exec();
        }
        EXPECT_EQ(process->state(), QProcess::NotRunning) << "did not end";
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished();
            return -1;
        }
        return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }

    // Waits until a real instance answers on the socket.
    bool WaitUntilRunning() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000) {
            LocalInstance probe(socket_);
            if (probe.FindRunning()) {
                return true;
            }
            ::usleep(100000);
        }
        return false;
    }

    TempDir home_;
    QString socket_;
    QProcessEnvironment env_;
};

TEST_F(Instances, PathsReachTheRunningInstanceIntact) {
    LocalInstance running(socket_);
    ASSERT_FALSE(running.FindRunning());
    ASSERT_TRUE(running.Listen());
    std::vector<std::string> received;
    running.OnPath = [&](const std::string& path) { received.push_back(path); };

    const std::string odd = home_ / "it's a \"song\" – café ünïcode.mp3";
    EXPECT_EQ(RunServed({QString::fromStdString(odd), QStringLiteral("/second/is/ignored.mp3")}),
              0);
    // A relative path arrives as the absolute path the user meant.
    EXPECT_EQ(RunServed({QStringLiteral("relative dir/x.mp3")}), 0);
    EXPECT_EQ(received.size(), 2u);
    if (received.size() == 2) {
        EXPECT_EQ(received[0], odd);
        EXPECT_EQ(received[1], QDir::currentPath().toStdString() + "/relative dir/x.mp3");
    }
}

TEST_F(Instances, SecondStartWithoutPathBringsTheWindowForward) {
    LocalInstance running(socket_);
    ASSERT_FALSE(running.FindRunning());
    ASSERT_TRUE(running.Listen());
    int shown = 0;
    running.OnShow = [&] { ++shown; };
    EXPECT_EQ(RunServed({}), 0);
    EXPECT_EQ(shown, 1);
}

TEST_F(Instances, QuitEndsARealRunningInstanceWhichSaves) {
    auto first = Start({});
    ASSERT_TRUE(WaitUntilRunning());
    EXPECT_EQ(RunServed({QStringLiteral("-quit")}), 0);
    EXPECT_TRUE(EndsCleanly(*first));
    // The exit sequence saved the settings.
    EXPECT_EQ(IniFile::Load(home_ / "Mirvo.ini").ReadInteger("General", "Volume", -1), 1000);
}

TEST_F(Instances, QuitWithNothingRunningEndsAtOnce) {
    EXPECT_EQ(RunServed({QStringLiteral("-quit")}, 5000), 0);
    EXPECT_EQ(ReadWholeFile(home_ / "Mirvo.ini"), "[General]\nDevice=0\n");  // untouched
}

TEST_F(Instances, AStaleSocketDoesNotBlockTheNextStart) {
    // A socket bound by a process that died without removing it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socket_);
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);

    auto first = Start({});
    ASSERT_TRUE(WaitUntilRunning());
    EXPECT_EQ(RunServed({QStringLiteral("-quit")}), 0);
    EXPECT_TRUE(EndsCleanly(*first));
}

TEST_F(Instances, TerminationSavesLikeANormalExit) {
    auto first = Start({});
    ASSERT_TRUE(WaitUntilRunning());
    first->terminate();
    EXPECT_TRUE(EndsCleanly(*first));
    EXPECT_EQ(IniFile::Load(home_ / "Mirvo.ini").ReadInteger("General", "Volume", -1), 1000);
}

}  // namespace
}  // namespace mirvo

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
