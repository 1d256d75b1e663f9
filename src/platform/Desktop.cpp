#include "platform/Desktop.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>
#include <cstdio>

#include "platform/Logind.h"
#include "platform/Trash.h"

namespace mirvo {

bool QtDesktop::MoveToTrash(const std::string& path) {
    return MoveToFreedesktopTrash(path);
}

bool QtDesktop::OpenFolder(const std::string& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

bool QtDesktop::OpenDocument(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool QtDesktop::OpenAddress(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

bool QtDesktop::ShowItemProperties(const std::string& path) {
    QDBusInterface manager(QStringLiteral("org.freedesktop.FileManager1"),
                           QStringLiteral("/org/freedesktop/FileManager1"),
                           QStringLiteral("org.freedesktop.FileManager1"),
                           QDBusConnection::sessionBus());
    if (!manager.isValid()) {
        return false;
    }
    const QString url = QUrl::fromLocalFile(QString::fromStdString(path)).toString();
    const QDBusMessage reply =
        manager.call(QStringLiteral("ShowItemProperties"), QStringList{url}, QString());
    return reply.type() == QDBusMessage::ReplyMessage;
}

void QtDesktop::SetClipboardText(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

std::string QtDesktop::ClipboardText() {
    return QGuiApplication::clipboard()->text().toStdString();
}

void QtDesktop::ShutdownComputer() {
    const QDBusConnection bus =
        powerBus_.empty() ? QDBusConnection::systemBus()
                          : QDBusConnection::connectToBus(QString::fromStdString(powerBus_),
                                                          QStringLiteral("mirvo-power"));
    RequestPowerOff(bus, [](const std::string& error) {
        if (!error.empty()) {
            std::fprintf(stderr, "mirvo: the computer was not switched off: %s\n", error.c_str());
        }
    });
}

}  // namespace mirvo
