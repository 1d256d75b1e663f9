#pragma once
// One running instance per user over a local socket. A lock file makes
// "is one running? else become it" atomic between two starts, and a socket
// left by a crashed instance is replaced.
#include <QObject>
#include <QString>
#include <functional>

#include "app/Instance.h"

class QLocalServer;
class QLocalSocket;

namespace mirvo {

// The socket's name: $MIRVO_INSTANCE when set, else one per user.
QString InstanceSocketName();

class LocalInstance final : public QObject, public InstanceLink {
  public:
    explicit LocalInstance(QString name = InstanceSocketName());
    ~LocalInstance() override;

    bool FindRunning() override;
    bool SendPath(const std::string& path) override;
    bool SendShow() override;
    bool SendQuit() override;

    // What the running instance does with each request.
    std::function<void(const std::string&)> OnPath;
    std::function<void()> OnShow;
    std::function<void()> OnQuit;

    // Becomes the running instance unless FindRunning() found another one.
    bool Listen();

  private:
    bool Send(char kind, const std::string& payload);
    void Serve(QLocalSocket* socket);
    void Unlock();

    QString name_;
    int lockFd_ = -1;
    bool anotherRunning_ = false;
    QLocalServer* server_ = nullptr;
};

}  // namespace mirvo
