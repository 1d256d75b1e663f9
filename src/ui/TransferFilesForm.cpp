#include "ui/TransferFilesForm.h"

#include <sys/stat.h>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "player/PlaylistContext.h"
#include "support/Files.h"
#include "support/Text.h"
#include "ui/QtServices.h"

namespace mirvo {
namespace {

QLabel* Label(QWidget* parent, const char* text, int x, int y, const char* name = nullptr) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QLatin1String(name));
    label->move(x, y);
    return label;
}

QPushButton* Button(QWidget* parent, const char* name, const char* text, QRect at) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(at);
    return button;
}

}  // namespace

TTransferFiles_Form::TTransferFiles_Form(QWidget* parent, const PlaylistContext& ctx)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), ctx_(ctx) {
    setObjectName(QStringLiteral("TTransferFiles_Form"));
    setWindowTitle(QStringLiteral("Copy selected files to external device"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(249, 209);
    Label(this, "Copy selected files to:", 8, 8);
    deviceEdit_ = new QLineEdit(this);
    deviceEdit_->setObjectName(QStringLiteral("Edit1"));
    deviceEdit_->setGeometry(8, 24, 201, 21);
    browseButton_ = Button(this, "Button1", "...", {213, 24, 28, 21});
    notConnectedLabel_ = Label(this, "Not connected.", 8, 56, "Label4");
    Label(this, "Selected files:", 8, 80);
    deviceFreeCaption_ = Label(this, "Device free:", 8, 96, "Label5");
    inUseCaption_ = Label(this, "Afterwards in use:", 8, 112, "Label6");
    for (QLabel** value : {&LabelSelectedFiles, &LabelDeviceFree, &LabelInUse}) {
        *value = new QLabel(this);
        (*value)->setMinimumWidth(120);
    }
    LabelSelectedFiles->move(120, 80);
    LabelDeviceFree->move(120, 96);
    LabelInUse->move(120, 112);
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar_->setGeometry(8, 144, 233, 16);
    progressBar_->setTextVisible(false);
    exploreButton_ = Button(this, "Button4", "&Explore...", {8, 176, 75, 25});
    cancelButton_ = Button(this, "Button3", "&Cancel", {87, 176, 75, 25});
    startButton_ = Button(this, "Button2", "&Start", {166, 176, 75, 25});
    startButton_->setDefault(true);
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setObjectName(QStringLiteral("Timer1"));
    refreshTimer_->setInterval(3000);
    connect(refreshTimer_, &QTimer::timeout, this, &TTransferFiles_Form::Timer1Timer);
    connect(browseButton_, &QPushButton::clicked, this, &TTransferFiles_Form::Button1Click);
    connect(startButton_, &QPushButton::clicked, this, &TTransferFiles_Form::Button2Click);
    connect(cancelButton_, &QPushButton::clicked, this, &TTransferFiles_Form::Button3Click);
    connect(exploreButton_, &QPushButton::clicked, this, &TTransferFiles_Form::Button4Click);
}

TTransferFiles_Form::~TTransferFiles_Form() = default;

void TTransferFiles_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TTransferFiles_Form::hideEvent(QHideEvent* event) {
    refreshTimer_->stop();
    QDialog::hideEvent(event);
}

void TTransferFiles_Form::FormShow() {
    std::string device = ctx_.settings.ReadString("General", "DevicePath", "");
    if (device.size() > 1 && device.back() == '/') {
        device.pop_back();
    }
    deviceEdit_->setText(QString::fromStdString(device));
    startButton_->setFocus();
    refreshTimer_->start();
    Timer1Timer();
}

void TTransferFiles_Form::Timer1Timer() {
    const std::string device = deviceEdit_->text().toStdString();
    const bool connected = IsFolder(device);
    notConnectedLabel_->setVisible(!connected);
    for (QLabel* label : {deviceFreeCaption_, inUseCaption_, LabelDeviceFree, LabelInUse}) {
        label->setVisible(connected);
    }
    const std::string separator = QLocale().groupSeparator().toStdString();
    const std::uint64_t selected = SelectedBytes(ctx_.playlist, ctx_.view);
    LabelSelectedFiles->setText(QString::fromStdString(FormatMegabytes(selected, separator)) +
                                QStringLiteral(" MB"));
    if (device.empty()) {
        return;
    }
    const DriveSpace space = DriveSpaceOf(device);
    LabelDeviceFree->setText(QString::fromStdString(FormatMegabytes(space.Free, separator)) +
                             QStringLiteral(" MB"));
    const std::optional<int> inUse = InUseAfterwards(space, selected);
    LabelInUse->setText(inUse ? QStringLiteral("%1 %").arg(*inUse) : QStringLiteral("?"));
    QPalette colours = LabelInUse->palette();
    colours.setColor(QPalette::WindowText, inUse && *inUse > 100 ? Qt::red : Qt::darkGreen);
    LabelInUse->setPalette(colours);
}

void TTransferFiles_Form::Button1Click() {
    const std::optional<std::string> folder = ctx_.dialogs.PickFolder(
        "Select dir", "Copy selected files to memory stick / folder / drive etc.");
    if (folder && !folder->empty()) {
        deviceEdit_->setText(QString::fromStdString(*folder));
        ctx_.settings.WriteString("General", "DevicePath", *folder);
    }
    FormShow();
}

void TTransferFiles_Form::Button2Click() {
    const std::string device = deviceEdit_->text().toStdString();
    if (!IsFolder(device)) {
        ctx_.dialogs.ShowNotice(NoticeKind::Information,
                                "The path cannot be accessed.\rIf it is an external device, "
                                "please make sure it's proper connected.");
        return;
    }
    refreshTimer_->stop();
    startButton_->setEnabled(false);
    std::vector<std::string> files = SelectedFiles(ctx_.playlist, ctx_.view);
    progressBar_->setRange(0, std::max<int>(1, static_cast<int>(files.size())));
    progressBar_->setValue(0);
    copy_ = std::make_unique<DeviceCopy>(
        ctx_.loop, ctx_.dialogs, std::move(files), device,
        [this](int done) { progressBar_->setValue(done); },
        [this](const DeviceCopy::Outcome& outcome) { Finished(outcome); });
    copy_->Start();
}

void TTransferFiles_Form::Finished(const DeviceCopy::Outcome& outcome) {
    progressBar_->setValue(0);
    startButton_->setEnabled(true);
    hide();
    std::string text = std::to_string(outcome.Copied) + " file(s) have been copied.";
    if (!outcome.Failures.empty()) {
        text += "\r\r" + std::to_string(outcome.Failures.size()) + " file(s) could not be copied:";
        constexpr std::size_t kShown = 5;
        for (std::size_t i = 0; i < outcome.Failures.size() && i < kShown; ++i) {
            text += "\r" + outcome.Failures[i];
        }
        if (outcome.Failures.size() > kShown) {
            text += "\r...";
        }
    }
    ctx_.dialogs.ShowNotice(outcome.Failures.empty() ? NoticeKind::Information : NoticeKind::Error,
                            text);
    done(QDialog::Accepted);
}

void TTransferFiles_Form::Button3Click() {
    if (Copying()) {
        copy_->RequestCancel();
    } else {
        QDialog::reject();
    }
}

void TTransferFiles_Form::reject() {
    Button3Click();
}

void TTransferFiles_Form::Button4Click() {
    const std::string folder = deviceEdit_->text().toStdString();
    ShowFolderOf(ctx_.desktop, ctx_.dialogs, folder);
}

}  // namespace mirvo
