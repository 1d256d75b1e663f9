#include "platform/Logind.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace mirvo {

void RequestPowerOff(const QDBusConnection& bus,
                     std::function<void(const std::string& error)> answered) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    call << false;  // not interactive: no authentication dialog
    // Asynchronous: the UI thread never waits for the bus.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [answered = std::move(answered)](QDBusPendingCallWatcher* done) {
                         const QDBusPendingReply<> reply = *done;
                         if (answered) {
                             answered(reply.isError()
                                          ? (reply.error().name() + QStringLiteral(": ") +
                                             reply.error().message())
                                                .toStdString()
                                          : std::string());
                         }
                         done->deleteLater();
                     });
}

}  // namespace mirvo
