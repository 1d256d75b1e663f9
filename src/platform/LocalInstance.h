#pragma once
// One running instance per user over a local socket. The instance that owns
// the program folder holds a lock file from the moment it becomes the owner
// until its process ends, so two starts never both become the owner, and a
// socket left by a crashed instance is replaced.
#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "app/Instance.h"

class QLocalServer;
class QLocalSocket;

namespace mirvo {

// The socket's name: $MIRVO_INSTANCE when set, else one per user in
// $XDG_RUNTIME_DIR, or in PrivateTempFolder() without one of this user's
// (anyone could take a name in /tmp first and get the user's paths). Empty,
// with `error` saying why, when that folder cannot be used.
QString InstanceSocketName(std::string& error);

class LocalInstance final : public QObject, public InstanceLink {
  public:
    explicit LocalInstance(QString name);
    ~LocalInstance() override;

    Presence Find() override;
    bool FindRunning() override;
    Delivery SendPath(const std::string& path) override;
    Delivery SendShow() override;
    Delivery SendQuit() override;

    // What the running instance does with each request, called inside the
    // socket's signal. A path is answered as soon as OnPath took it (it should
    // only queue the load); false refuses it unanswered, so that the sender
    // hands it to the next owner.
    std::function<bool(const std::string& path)> OnPath;
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
    Delivery Send(char kind, const std::string& payload);
    void Serve(QLocalSocket* socket);

    QString name_;
    int lockFd_ = -1;
    bool owner_ = false;
    QLocalServer* server_ = nullptr;
};

}  // namespace mirvo
