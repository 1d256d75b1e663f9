#include "ui/QtServices.h"

#include "ui/InputForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QTimer>

namespace mirvo {
namespace {

QString Text(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

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

}  // namespace

void QtDialogs::ShowNotice(NoticeKind kind, const std::string& text) {
    const QString title = QApplication::applicationName();
    switch (kind) {
        case NoticeKind::Information:
            QMessageBox::information(parent_, title, Text(text));
            break;
        case NoticeKind::Error:
            QMessageBox::critical(parent_, title, Text(text));
            break;
        case NoticeKind::Warning:
            QMessageBox::warning(parent_, title, Text(text));
            break;
    }
}

bool QtDialogs::AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(), Text(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtDialogs::InputText(const std::string& caption,
                                                const std::string& prompt,
                                                const std::string& initial) {
    if (!inputForm_) {
        inputForm_ = new TInput_Form(parent_);
    }
    const auto answer = inputForm_->Ask(Text(caption), Text(prompt), Text(initial));
    if (!answer) {
        return std::nullopt;
    }
    return answer->toStdString();
}

std::optional<std::string> QtDialogs::PickOpenFile(const std::string& caption,
                                                   const std::string& folder,
                                                   const std::string& filter) {
    const QString f =
        QFileDialog::getOpenFileName(parent_, Text(caption), Text(folder), Filter(filter));
    if (f.isEmpty()) {
        return std::nullopt;
    }
    return f.toStdString();
}

std::vector<std::string> QtDialogs::PickOpenFiles(const std::string& caption,
                                                  const std::string& folder,
                                                  const std::string& filter) {
    std::vector<std::string> files;
    for (const QString& f :
         QFileDialog::getOpenFileNames(parent_, Text(caption), Text(folder), Filter(filter))) {
        files.push_back(f.toStdString());
    }
    return files;
}

std::optional<std::string> QtDialogs::PickSaveFile(const std::string& caption,
                                                   const std::string& folder,
                                                   const std::string& filter) {
    const QString f =
        QFileDialog::getSaveFileName(parent_, Text(caption), Text(folder), Filter(filter));
    if (f.isEmpty()) {
        return std::nullopt;
    }
    return f.toStdString();
}

std::optional<std::string> QtDialogs::PickFolder(const std::string& caption,
                                                 const std::string& folder) {
    const QString f = QFileDialog::getExistingDirectory(parent_, Text(caption), Text(folder));
    if (f.isEmpty()) {
        return std::nullopt;
    }
    return f.toStdString();
}

std::optional<FolderChoice> QtDialogs::PickMusicFolder(const std::string& caption,
                                                       const std::string& folder,
                                                       bool includeSubfolders) {
    QFileDialog dialog(parent_, Text(caption), Text(folder));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // The platform dialog cannot carry a check box of ours.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* subfolders = new QCheckBox(QStringLiteral("Include subfolders"), &dialog);
    subfolders->setChecked(includeSubfolders);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        grid->addWidget(subfolders, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return FolderChoice{dialog.selectedFiles().front().toStdString(), subfolders->isChecked()};
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
    QApplication::quit();
}

}  // namespace mirvo
