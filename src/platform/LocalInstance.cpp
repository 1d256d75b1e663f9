#include "platform/LocalInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

namespace mirvo {
namespace {

constexpr int kConnectMs = 2000;
// Loading a large folder can take a while; the sender waits for it.
constexpr int kAnswerMs = 120000;
constexpr char kAck = 'K';

}  // namespace

QString InstanceSocketName() {
    const QByteArray custom = qgetenv("MIRVO_INSTANCE");
    if (!custom.isEmpty()) {
        return QString::fromLocal8Bit(custom);
    }
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString folder = runtime.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(runtime);
    return folder + QStringLiteral("/mirvo-%1.socket").arg(::getuid());
}

LocalInstance::LocalInstance(QString name) : name_(std::move(name)) {}

LocalInstance::~LocalInstance() {
    Unlock();
}

void LocalInstance::Unlock() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
}

bool LocalInstance::FindRunning() {
    if (lockFd_ < 0) {
        const QByteArray lockPath = QFile::encodeName(name_ + QStringLiteral(".lock"));
        lockFd_ = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd_ >= 0) {
            ::flock(lockFd_, LOCK_EX);
        }
    }
    QLocalSocket probe;
    probe.connectToServer(name_);
    const bool running = probe.waitForConnected(kConnectMs);
    anotherRunning_ = running;
    if (running) {
        probe.disconnectFromServer();
        Unlock();
    }
    return running;
}

bool LocalInstance::Send(char kind, const std::string& payload) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectMs)) {
        return false;
    }
    QByteArray message(5, '\0');
    message[0] = kind;
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), message.data() + 1);
    message.append(payload.data(), static_cast<qsizetype>(payload.size()));
    socket.write(message);
    if (!socket.waitForBytesWritten(kConnectMs)) {
        return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(kAnswerMs)) {
            return false;
        }
    }
    return socket.read(1) == QByteArray(1, kAck);
}

bool LocalInstance::SendPath(const std::string& path) {
    return Send('P', path);
}
bool LocalInstance::SendShow() {
    return Send('S', {});
}
bool LocalInstance::SendQuit() {
    return Send('Q', {});
}

bool LocalInstance::Listen() {
    if (anotherRunning_) {
        return false;  // a further instance leaves the running one its socket
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answered FindRunning(), so a socket file here is a crashed instance's.
    QLocalServer::removeServer(name_);
    const bool ok = server_->listen(name_);
    Unlock();
    if (ok) {
        connect(server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = server_->nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Serve(socket); });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                Serve(socket);
            }
        });
    }
    return ok;
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
            if (OnPath) {
                OnPath(payload.toStdString());
            }
            break;
        case 'S':
            if (OnShow) {
                OnShow();
            }
            break;
        case 'Q':
            // Answer first: the loop ends with the quit.
            socket->write(QByteArray(1, kAck));
            socket->flush();
            if (OnQuit) {
                OnQuit();
            }
            return;
        default:
            socket->abort();
            return;
    }
    socket->write(QByteArray(1, kAck));
    socket->flush();
}

}  // namespace mirvo
