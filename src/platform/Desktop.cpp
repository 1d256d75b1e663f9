#include "platform/Desktop.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QUrl>

namespace mirvo {

bool QtDesktop::MoveToTrash(const std::string& path) {
    return QFile::moveToTrash(QString::fromStdString(path));
}

bool QtDesktop::OpenFolder(const std::string& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

bool QtDesktop::OpenDocument(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void QtDesktop::SetClipboardText(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

std::string QtDesktop::ClipboardText() {
    return QGuiApplication::clipboard()->text().toStdString();
}

}  // namespace mirvo
