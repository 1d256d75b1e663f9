#include "platform/LocalInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

#include "support/Files.h"

namespace mirvo {
namespace {

constexpr int kConnectMs = 2000;
// Requests are answered when they arrive, not when carried out: a start never
// waits longer than this for its answer.
constexpr int kAnswerMs = 10000;
constexpr char kAck = 'K';
// An owner that does not listen yet or any more is starting or saving at exit.
constexpr int kOwnerWaitMs = 10000;
constexpr int kOwnerPollUs = 50000;

void Answer(QLocalSocket* socket) {
    socket->write(QByteArray(1, kAck));
    socket->flush();
}

}  // namespace

QString InstanceSocketName(std::string& error) {
    error.clear();
    const QByteArray custom = qgetenv("MIRVO_INSTANCE");
    if (!custom.isEmpty()) {
        return QString::fromLocal8Bit(custom);
    }
    const std::string runtime = qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString();
    if (!runtime.empty() && runtime.front() == '/' && UsePrivateFolder(runtime).empty()) {
        return QString::fromStdString(runtime) + QStringLiteral("/mirvo-%1.socket").arg(::getuid());
    }
    const std::string folder = PrivateTempFolder();
    error = UsePrivateFolder(folder);
    return error.empty() ? QString::fromStdString(JoinPath(folder, "instance.socket")) : QString();
}

LocalInstance::LocalInstance(QString name) : name_(std::move(name)) {}

LocalInstance::~LocalInstance() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

bool LocalInstance::Answers() const {
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (!probe.waitForConnected(kConnectMs)) {
        return false;
    }
    probe.disconnectFromServer();
    return true;
}

Presence LocalInstance::Find() {
    return owner_ ? Presence::None : Look(true);
}

bool LocalInstance::FindRunning() {
    return !owner_ && Look(false) == Presence::Running;
}

Presence LocalInstance::Look(bool claim) {
    const QByteArray lockPath = QFile::encodeName(name_ + QStringLiteral(".lock"));
    // Close-on-exec: a program the player starts must not keep the folder owned.
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (Answers()) {
            if (fd >= 0) {
                ::close(fd);
            }
            return Presence::Running;
        }
        // Without a lock file only the socket can tell, as it did before locking.
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (claim) {
                lockFd_ = fd;
                owner_ = true;
            } else if (fd >= 0) {
                ::close(fd);
            }
            return Presence::None;
        }
        if (clock.elapsed() >= kOwnerWaitMs) {
            ::close(fd);
            return Presence::Unreachable;
        }
        ::usleep(kOwnerPollUs);
    }
}

Delivery LocalInstance::Send(char kind, const std::string& payload) {
    QElapsedTimer clock;
    clock.start();
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectMs)) {
        return Delivery::Refused;
    }
    QByteArray message(5, '\0');
    message[0] = kind;
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), message.data() + 1);
    message.append(payload.data(), static_cast<qsizetype>(payload.size()));
    socket.write(message);
    // Closed unanswered, the request was not taken; left unanswered, it may still be.
    const auto unanswered = [&socket] {
        return socket.state() == QLocalSocket::UnconnectedState ? Delivery::Refused
                                                                : Delivery::NoAnswer;
    };
    while (socket.bytesToWrite() > 0) {
        const qint64 left = kAnswerMs - clock.elapsed();
        if (left <= 0 || !socket.waitForBytesWritten(static_cast<int>(left))) {
            return unanswered();
        }
    }
    while (socket.bytesAvailable() < 1) {
        const qint64 left = kAnswerMs - clock.elapsed();
        if (left <= 0 || !socket.waitForReadyRead(static_cast<int>(left))) {
            return unanswered();
        }
    }
    return socket.read(1) == QByteArray(1, kAck) ? Delivery::Answered : Delivery::Refused;
}

Delivery LocalInstance::SendPath(const std::string& path) {
    return Send('P', path);
}
Delivery LocalInstance::SendShow() {
    return Send('S', {});
}
Delivery LocalInstance::SendQuit() {
    return Send('Q', {});
}

bool LocalInstance::Listen() {
    if (!owner_) {
        return false;  // a further instance leaves the owner its socket
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // The owner's lock is ours, so a socket file here is a crashed instance's.
    QLocalServer::removeServer(name_);
    if (!server_->listen(name_)) {
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Serve(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            Serve(socket);
        }
    });
    return true;
}

void LocalInstance::StopListening() {
    // Deleting the server closes the connections still waiting for an answer.
    delete server_;
    server_ = nullptr;
}

void LocalInstance::Serve(QLocalSocket* socket) {
    if (socket->property("served").toBool() || socket->bytesAvailable() < 5) {
        return;
    }
    const QByteArray head = socket->peek(5);
    const quint32 size = qFromBigEndian<quint32>(head.constData() + 1);
    if (size > (64u << 20)) {
        socket->abort();  // not one of ours
        return;
    }
    if (socket->bytesAvailable() < 5 + static_cast<qint64>(size)) {
        return;
    }
    socket->setProperty("served", true);
    socket->read(5);
    const QByteArray payload = socket->read(size);
    switch (head[0]) {
        case 'P':
            if (OnPath && !OnPath(payload.toStdString())) {
                socket->abort();
                return;
            }
            break;
        case 'S':
            if (OnShow) {
                OnShow();
            }
            break;
        case 'Q':
            // Answer first: the loop ends with the quit.
            Answer(socket);
            if (OnQuit) {
                OnQuit();
            }
            return;
        default:
            socket->abort();
            return;
    }
    Answer(socket);
}

}  // namespace mirvo
