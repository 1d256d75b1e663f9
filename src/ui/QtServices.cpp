#include "ui/QtServices.h"

#include "ui/InputForm.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include "player/Player.h"
#include "ui/DirForm.h"
#include "ui/HoxelListbox.h"
#include "ui/MainWindow.h"
#include "ui/PlaylistRendering.h"

namespace mirvo {
namespace {

// "Name (*.a;*.b)|*.a;*.b|All files (*.*)|*.*" as the system dialogs take it, to Qt's form.
QString Filter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i].section(QLatin1Char('('), 0, 0).trimmed() + QStringLiteral(" (") +
                   patterns.trimmed() + QLatin1Char(')');
    }
    return out.isEmpty() ? QString::fromStdString(filter) : out.join(QStringLiteral(";;"));
}

// Each dialog and menu runs a loop of its own, which the application's quit
// does not end before the main loop runs.
void CloseDialogs() {
    for (int i = 0; i < 16 && QApplication::activePopupWidget() != nullptr; ++i) {
        QApplication::activePopupWidget()->close();
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible()) {
            dialog->reject();
        }
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
    }
}

}  // namespace

QString UiText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QWidget* QtDialogs::Owner() const {
    for (QWidget* w : {QApplication::activeModalWidget(), QApplication::activeWindow()}) {
        if (w != nullptr && w->isVisible() && !w->windowFlags().testFlag(Qt::Popup)) {
            return w->window();
        }
    }
    return parent_;
}

void QtDialogs::Adopt(QWidget& dialog, QWidget* owner) {
    if (owner == nullptr) {
        return;
    }
    // A box under a dialog that stays on top would be hidden by it.
    Qt::WindowFlags flags = dialog.windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint,
                  owner->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    if (dialog.parentWidget() != owner || flags != dialog.windowFlags()) {
        dialog.setParent(owner, flags);
    }
}

void QtDialogs::ShowNotice(NoticeKind kind, const std::string& text) {
    if (loop_.Quitting()) {
        return;
    }
    const QMessageBox::Icon icon = kind == NoticeKind::Error     ? QMessageBox::Critical
                                   : kind == NoticeKind::Warning ? QMessageBox::Warning
                                                                 : QMessageBox::Information;
    QWidget* owner = Owner();
    QMessageBox box(icon, QApplication::applicationName(), UiText(text), QMessageBox::Ok, owner);
    Adopt(box, owner);
    box.exec();
}

bool QtDialogs::AskYesNo(const std::string& text) {
    if (loop_.Quitting()) {
        return false;
    }
    QWidget* owner = Owner();
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(), UiText(text),
                    QMessageBox::Yes | QMessageBox::No, owner);
    Adopt(box, owner);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtDialogs::InputText(const std::string& caption,
                                                const std::string& prompt,
                                                const std::string& initial) {
    if (loop_.Quitting()) {
        return std::nullopt;
    }
    QWidget* owner = Owner();
    if (!inputForm_) {
        inputForm_ = new TInput_Form(owner);
    }
    Adopt(*inputForm_, owner);
    const auto answer = inputForm_->Ask(UiText(caption), UiText(prompt), UiText(initial));
    if (!answer) {
        return std::nullopt;
    }
    return answer->toStdString();
}

std::optional<std::string> QtDialogs::PickOpenFile(const std::string& caption,
                                                   const std::string& folder,
                                                   const std::string& filter) {
    if (loop_.Quitting()) {
        return std::nullopt;
    }
    const QString f =
        QFileDialog::getOpenFileName(Owner(), UiText(caption), UiText(folder), Filter(filter));
    if (f.isEmpty()) {
        return std::nullopt;
    }
    return f.toStdString();
}

std::vector<std::string> QtDialogs::PickOpenFiles(const std::string& caption,
                                                  const std::string& folder,
                                                  const std::string& filter) {
    if (loop_.Quitting()) {
        return {};
    }
    std::vector<std::string> files;
    for (const QString& f :
         QFileDialog::getOpenFileNames(Owner(), UiText(caption), UiText(folder), Filter(filter))) {
        files.push_back(f.toStdString());
    }
    return files;
}

std::optional<std::string> QtDialogs::PickSaveFile(const std::string& caption,
                                                   const std::string& folder,
                                                   const std::string& filter) {
    if (loop_.Quitting()) {
        return std::nullopt;
    }
    const QString f =
        QFileDialog::getSaveFileName(Owner(), UiText(caption), UiText(folder), Filter(filter));
    if (f.isEmpty()) {
        return std::nullopt;
    }
    return f.toStdString();
}

std::optional<std::string> QtDialogs::PickFolder(const std::string& caption,
                                                 const std::string& text) {
    if (loop_.Quitting()) {
        return std::nullopt;
    }
    QWidget* owner = Owner();
    QFileDialog dialog(owner, UiText(caption));
    Adopt(dialog, owner);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // The platform dialog has no room for the explanation.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        auto* explanation = new QLabel(UiText(text), &dialog);
        explanation->setObjectName(QStringLiteral("Explanation"));
        explanation->setWordWrap(true);
        grid->addWidget(explanation, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    std::string folder = dialog.selectedFiles().front().toStdString();
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::optional<FolderChoice> QtDialogs::PickMusicFolder(const std::string& caption,
                                                       const std::string& folder,
                                                       bool includeSubfolders,
                                                       const QuickAdd& quickAdd) {
    if (loop_.Quitting() || player_ == nullptr) {
        return std::nullopt;
    }
    if (!dirForm_) {
        dirForm_ = new TDir_Form(parent_, *player_, player_->values.LastOpenedDrive);
        // Sized for the list's font, and the tree looks like the list.
        if (auto* main = qobject_cast<MainWindow*>(parent_)) {
            const QFont font = main->ListScreen->ListFont();
            const int points = std::max(1, font.pointSize());
            const QScreen* screen = main->screen() ? main->screen() : QApplication::primaryScreen();
            const int height = screen ? screen->geometry().height() : 600;
            dirForm_->resize(points * 28 + 150, height - height / 5);
            const SchemeValues& scheme = main->ListScreen->Scheme();
            dirForm_->SetTreeLook(font, ToQColor(scheme.Background), ToQColor(scheme.FontColor));
        }
    }
    return dirForm_->Choose(caption, folder, includeSubfolders, quickAdd);
}

void QtDialogs::MusicFoldersChanged() {
    if (dirForm_) {
        dirForm_->MusicFoldersChanged();
    }
}

void ShowFolderOf(DesktopServices& desktop, Dialogs& dialogs, const std::string& folder) {
    desktop.OpenFolder(folder, [&dialogs, folder] {
        dialogs.ShowNotice(NoticeKind::Error,
                           "No file manager could be started to show the folder.\r\r" + folder);
    });
}

std::string DesktopFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
}

EventLoop::TimerId QtEventLoop::StartTimer(std::chrono::milliseconds interval,
                                           std::function<void()> tick) {
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, this, std::move(tick));
    timer->start(interval);
    const TimerId id = next_++;
    timers_[id] = timer;
    return id;
}

void QtEventLoop::StopTimer(TimerId id) {
    const auto it = timers_.find(id);
    if (it != timers_.end()) {
        it->second->stop();
        it->second->deleteLater();
        timers_.erase(it);
    }
}

void QtEventLoop::ProcessPendingMessages() {
    QApplication::processEvents();
}

void QtEventLoop::PostToUiThread(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void QtEventLoop::Quit() {
    if (!quitting_) {
        quitting_ = true;
        // A dialog opened meanwhile by code that does not ask first goes the same way.
        auto* sweep = new QTimer(this);
        QObject::connect(sweep, &QTimer::timeout, this, &CloseDialogs);
        sweep->start(100);
    }
    CloseDialogs();
    QApplication::quit();
}

}  // namespace mirvo
