// The hand-over between real processes: the installed executable against a
// running instance, either this test process or a second real one.
#include "platform/LocalInstance.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fakes/TempDir.h"
#include "support/Files.h"
#include "support/IniFile.h"

namespace mirvo {
namespace {

using test::TempDir;

// A short, quiet, playable file: 16-bit PCM mono.
void WriteWav(const std::string& path) {
    constexpr std::uint32_t kRate = 8000;
    const std::vector<std::int16_t> samples(kRate / 20, 0);
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::ofstream out(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(1);
    put32(kRate);
    put32(kRate * 2);
    put16(2);
    put16(16);
    out.write("data", 4);
    put32(dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
}

// `count` files in `folder`, in name order.
std::vector<std::string> WriteMusicFolder(const std::string& folder, int count) {
    std::filesystem::create_directories(folder);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/track%04d.wav", i);
        files.push_back(folder + name);
        WriteWav(files.back());
    }
    return files;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

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

    // Waits until something accepts on the socket, without touching anything else.
    bool WaitUntilListening() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000) {
            QLocalSocket probe;
            probe.connectToServer(socket_);
            if (probe.waitForConnected(1000)) {
                return true;
            }
            ::usleep(100000);
        }
        return false;
    }

    // Starts one second start per path, all at once.
    std::vector<std::unique_ptr<QProcess>> StartAll(const std::vector<std::string>& paths) {
        std::vector<std::unique_ptr<QProcess>> starts;
        for (const std::string& path : paths) {
            auto process = std::make_unique<QProcess>();
            process->setProcessEnvironment(env_);
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process->start(QStringLiteral(MIRVO_EXE), {QString::fromStdString(path)});
            starts.push_back(std::move(process));
        }
        return starts;
    }

    // How many of `processes` still run once the others have ended (or the wait is over).
    static int StillRunningAfterTheRestEnded(std::vector<std::unique_ptr<QProcess>>& processes,
                                             int mayStay) {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            int running = 0;
            for (auto& process : processes) {
                process->waitForFinished(0);
                running += process->state() != QProcess::NotRunning ? 1 : 0;
            }
            if (running <= mayStay || clock.elapsed() > 40000) {
                return running;
            }
            ::usleep(100000);
        }
    }

    static void KillAll(std::vector<std::unique_ptr<QProcess>>& processes) {
        for (auto& process : processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    TempDir home_;
    // Outside the program folder, so the saved list holds the paths as they are.
    TempDir music_;
    QString socket_;
    QProcessEnvironment env_;
};

TEST_F(Instances, PathsReachTheRunningInstanceIntact) {
    LocalInstance running(socket_);
    ASSERT_EQ(running.Find(), Presence::None);
    ASSERT_TRUE(running.Listen());
    std::vector<std::string> received;
    running.OnPath = [&](const std::string& path) {
        received.push_back(path);
        return true;
    };

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
    ASSERT_EQ(running.Find(), Presence::None);
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

TEST_F(Instances, HandOversDuringAFolderScanLeaveOneCopyOfTheFolder) {
    // The default enqueue option: play the file and open its folder. A large
    // folder keeps each scan busy long enough for the next hand-overs to arrive.
    const std::vector<std::string> files = WriteMusicFolder(music_ / "folder", 400);
    auto first = Start({});
    ASSERT_TRUE(WaitUntilRunning());

    std::vector<std::string> paths;
    for (std::size_t i = 0; i < 50; ++i) {
        paths.push_back(files[i * files.size() / 50]);
    }
    // Held still while the starts connect, the instance finds their hand-overs
    // waiting together, as when a file manager opens many files at once.
    ::kill(static_cast<pid_t>(first->processId()), SIGSTOP);
    auto starts = StartAll(paths);
    ::usleep(2000000);
    ::kill(static_cast<pid_t>(first->processId()), SIGCONT);
    EXPECT_EQ(StillRunningAfterTheRestEnded(starts, 0), 0);
    for (auto& start : starts) {
        EXPECT_EQ(start->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(start->exitCode(), 0);
    }
    KillAll(starts);
    EXPECT_EQ(RunServed({QStringLiteral("-quit")}), 0);
    EXPECT_TRUE(EndsCleanly(*first));

    const auto saved = ReadWholeFile(home_ / "Playlist.txt");
    ASSERT_TRUE(saved.has_value());
    std::vector<std::string> entries = Lines(*saved);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries.size(), files.size());
    EXPECT_TRUE(entries == files) << "the list is not one copy of the folder";
}

TEST_F(Instances, WhenTheRunningInstanceDiesDuringABurstOneOwnerRemains) {
    const std::vector<std::string> files = WriteMusicFolder(music_ / "folder", 100);
    auto first = Start({});
    ASSERT_TRUE(WaitUntilRunning());

    std::vector<std::string> paths;
    for (std::size_t i = 0; i < 20; ++i) {
        paths.push_back(files[i * 5]);
    }
    auto starts = StartAll(paths);
    // Kill it once it has taken a path: the rest are on their way or waiting.
    const auto oneEnded = [&] {
        return std::any_of(starts.begin(), starts.end(), [](auto& start) {
            start->waitForFinished(0);
            return start->state() == QProcess::NotRunning;
        });
    };
    QElapsedTimer clock;
    clock.start();
    while (!oneEnded() && clock.elapsed() < 20000) {
        ::usleep(10000);
    }
    first->kill();
    first->waitForFinished(5000);

    // The one that took over the folder stays; every other start ends.
    EXPECT_LE(StillRunningAfterTheRestEnded(starts, 1), 1);
    EXPECT_EQ(RunServed({QStringLiteral("-quit")}), 0);
    for (auto& start : starts) {
        EXPECT_TRUE(start->state() == QProcess::NotRunning || EndsCleanly(*start))
            << "an instance that does not answer -quit";
    }
    KillAll(starts);
}

TEST_F(Instances, TerminationClosesAnErrorBoxShownBeforeTheLoop) {
    // Root reads any file, so the player runs as an unprivileged user here.
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr ||
        QProcess::execute(QStringLiteral("setpriv"),
                          {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                           QStringLiteral("--clear-groups"), QStringLiteral("true")}) != 0) {
        GTEST_SKIP() << "needs root and setpriv to run the player as user nobody";
    }
    const std::string playlist = home_.Write("Playlist.txt", "/m/a.mp3\r\n");
    ::chmod(playlist.c_str(), 0600);  // unreadable for nobody: "Error 12" at start
    ASSERT_EQ(::chown(home_.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::chown((home_ / "Mirvo.ini").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    env_.insert("HOME", QString::fromStdString(home_.path()));

    QProcess player;
    player.setProcessEnvironment(env_);
    player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    player.start(QStringLiteral("setpriv"),
                 {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                  QStringLiteral("--clear-groups"), QStringLiteral(MIRVO_EXE)});
    ASSERT_TRUE(player.waitForStarted(5000));
    ASSERT_TRUE(WaitUntilListening());
    ::usleep(500000);  // the box comes up right after the socket
    player.terminate();
    EXPECT_TRUE(EndsCleanly(player));
    if (player.state() != QProcess::NotRunning) {
        player.kill();
        player.waitForFinished(5000);
    }
    EXPECT_EQ(IniFile::Load(home_ / "Mirvo.ini").ReadInteger("General", "Volume", -1), 1000);
    EXPECT_EQ(ReadWholeFile(playlist), "/m/a.mp3\r\n");
}

TEST_F(Instances, TerminationClosesAWarningShownByTheStartTasks) {
    home_.Write("Mirvo.ini", "[General]\nDevice=99\n");  // "Can't open sound device."
    auto first = Start({});
    ASSERT_TRUE(WaitUntilRunning());
    ::usleep(500000);
    first->terminate();
    EXPECT_TRUE(EndsCleanly(*first));
    if (first->state() != QProcess::NotRunning) {
        first->kill();
        first->waitForFinished(5000);
    }
    EXPECT_EQ(IniFile::Load(home_ / "Mirvo.ini").ReadInteger("General", "Volume", -1), 1000);
}

// A box is open in the running instance ("Can't open sound device."): a
// second start's path is taken at once, not when the box is answered.
TEST_F(Instances, APathHandedOverWhileABoxIsOpenIsAnsweredAtOnce) {
    home_.Write("Mirvo.ini", "[General]\nDevice=99\n");
    auto first = Start({});
    ASSERT_TRUE(WaitUntilRunning());
    ::usleep(500000);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(RunServed({QString::fromStdString(music_ / "a.wav")}), 0);
    EXPECT_LT(clock.elapsed(), 10000);
    first->terminate();
    EXPECT_TRUE(EndsCleanly(*first));
    if (first->state() != QProcess::NotRunning) {
        first->kill();
        first->waitForFinished(5000);
    }
}

// Without XDG_RUNTIME_DIR the socket is in this user's own folder in /tmp,
// never in one another user made first to receive the user's paths.
TEST_F(Instances, WithoutARuntimeFolderTheSocketIsInThisUsersOwnFolder) {
    TempDir tmp;
    ::chmod(tmp.path().c_str(), 01777);
    env_.remove("MIRVO_INSTANCE");
    env_.remove("XDG_RUNTIME_DIR");
    env_.insert("TMPDIR", QString::fromStdString(tmp.path()));
    const std::string folder = tmp / ("mirvo-" + std::to_string(::getuid()));
    std::filesystem::create_directory(folder);
    ::chmod(folder.c_str(), 0777);  // writable for everyone: someone else's to take
    QProcess refused;
    refused.setProcessEnvironment(env_);
    refused.start(QStringLiteral(MIRVO_EXE), {QStringLiteral("-quit")});
    ASSERT_TRUE(refused.waitForFinished(15000));
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(refused.readAllStandardError().contains("will not use"));
    std::filesystem::remove(folder);

    auto first = Start({});
    socket_ = QString::fromStdString(folder + "/instance.socket");
    ASSERT_TRUE(WaitUntilRunning());
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
    EXPECT_EQ(RunServed({QStringLiteral("-quit")}), 0);
    EXPECT_TRUE(EndsCleanly(*first));
}

}  // namespace
}  // namespace mirvo

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
