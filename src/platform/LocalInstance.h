#pragma once
// One running instance per user over a local socket. The instance that owns
// the program folder holds a lock file from the moment it becomes the owner
// until its process ends, so two starts never both become the owner, and a
// socket left by a crashed instance is replaced.
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

    Presence Find() override;
    bool FindRunning() override;
    bool SendPath(const std::string& path) override;
    bool SendShow() override;
    bool SendQuit() override;

    // What the running instance does with each request. The sender of a path
    // gets its answer when OnPath calls `loaded`, which may be later.
    std::function<void(const std::string& path, std::function<void()> loaded)> OnPath;
    std::function<void()> OnShow;
    std::function<void()> OnQuit;

    // Takes requests, if Find() made this process the owner.
    bool Listen();
    // Takes no more requests; unanswered senders look again. The folder stays
    // owned until the process ends, so a new start waits for the exit save.
    void StopListening();

  private:
    bool Answers() const;
    Presence Look(bool claim);
    bool Send(char kind, const std::string& payload);
    void Serve(QLocalSocket* socket);

    QString name_;
    int lockFd_ = -1;
    bool owner_ = false;
    QLocalServer* server_ = nullptr;
};

}  // namespace mirvo
