#include "platform/Desktop.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

#include "platform/Logind.h"
#include "platform/Trash.h"

namespace mirvo {

bool QtDesktop::MoveToTrash(const std::string& path) {
    return MoveToFreedesktopTrash(path);
}

QtDesktop::~QtDesktop() {
    for (QProcess* opener : openers_.findChildren<QProcess*>()) {
        opener->disconnect();
    }
}

void QtDesktop::OpenFolder(const std::string& folder, std::function<void()> failed) {
    Open(folder, std::move(failed));
}

void QtDesktop::OpenDocument(const std::string& path, std::function<void()> failed) {
    Open(path, std::move(failed));
}

void QtDesktop::Open(const std::string& path, std::function<void()> failed) {
    // xdg-open may run the program it found in the foreground, so nothing waits
    // for it; started in the background of a shell, it and that program outlive
    // the shell, which is all that ends with this object.
    auto* opener = new QProcess(&openers_);
    opener->setProgram(QStringLiteral("/bin/sh"));
    opener->setArguments({QStringLiteral("-c"), QStringLiteral("xdg-open \"$1\" & wait $!"),
                          QStringLiteral("sh"), QString::fromStdString(path)});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, failed](int code, QProcess::ExitStatus status) {
                         opener->deleteLater();
                         if ((status != QProcess::NormalExit || code != 0) && failed) {
                             failed();
                         }
                     });
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [opener, failed](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             opener->deleteLater();
                             if (failed) {
                                 failed();
                             }
                         }
                     });
    opener->start();
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

void QtDesktop::ShutdownComputer(std::function<void(const std::string& reason)> refused) {
    const QDBusConnection bus =
        powerBus_.empty() ? QDBusConnection::systemBus()
                          : QDBusConnection::connectToBus(QString::fromStdString(powerBus_),
                                                          QStringLiteral("mirvo-power"));
    RequestPowerOff(bus, [refused = std::move(refused)](const std::string& error) {
        if (!error.empty() && refused) {
            refused(error);
        }
    });
}

}  // namespace mirvo
