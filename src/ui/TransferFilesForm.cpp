#include "ui/TransferFilesForm.h"

#include <sys/stat.h>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "player/Player.h"
#include "support/Files.h"
#include "support/Text.h"
#include "ui/QtServices.h"

namespace mirvo {
namespace {

QLabel* Label(QWidget* parent, const char* text, int x, int y) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->move(x, y);
    return label;
}

QPushButton* Button(QWidget* parent, const char* text, QRect at) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setGeometry(at);
    return button;
}

}  // namespace

TTransferFiles_Form::TTransferFiles_Form(QWidget* parent, Player& player)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), p_(player) {
    setObjectName(QStringLiteral("TTransferFiles_Form"));
    setWindowTitle(QStringLiteral("Copy selected files to external device"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(249, 209);
    Label(this, "Copy selected files to:", 8, 8);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(8, 24, 201, 21);
    Button1 = Button(this, "...", {213, 24, 28, 21});
    Label4 = Label(this, "Not connected.", 8, 56);
    Label(this, "Selected files:", 8, 80);
    Label5 = Label(this, "Device free:", 8, 96);
    Label6 = Label(this, "Afterwards in use:", 8, 112);
    for (QLabel** value : {&LabelSelectedFiles, &LabelDeviceFree, &LabelInUse}) {
        *value = new QLabel(this);
        (*value)->setMinimumWidth(120);
    }
    LabelSelectedFiles->move(120, 80);
    LabelDeviceFree->move(120, 96);
    LabelInUse->move(120, 112);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(8, 144, 233, 16);
    ProgressBar1->setTextVisible(false);
    Button4 = Button(this, "&Explore...", {8, 176, 75, 25});
    Button3 = Button(this, "&Cancel", {87, 176, 75, 25});
    Button2 = Button(this, "&Start", {166, 176, 75, 25});
    Button2->setDefault(true);
    Timer1 = new QTimer(this);
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, &TTransferFiles_Form::Timer1Timer);
    connect(Button1, &QPushButton::clicked, this, &TTransferFiles_Form::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TTransferFiles_Form::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TTransferFiles_Form::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TTransferFiles_Form::Button4Click);
}

TTransferFiles_Form::~TTransferFiles_Form() = default;

void TTransferFiles_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TTransferFiles_Form::hideEvent(QHideEvent* event) {
    Timer1->stop();
    QDialog::hideEvent(event);
}

void TTransferFiles_Form::FormShow() {
    std::string device = p_.settings.ReadString("General", "DevicePath", "");
    if (device.size() > 1 && device.back() == '/') {
        device.pop_back();
    }
    Edit1->setText(QString::fromStdString(device));
    Button2->setFocus();
    Timer1->start();
    Timer1Timer();
}

void TTransferFiles_Form::Timer1Timer() {
    const std::string device = Edit1->text().toStdString();
    const bool connected = IsFolder(device);
    Label4->setVisible(!connected);
    for (QLabel* label : {Label5, Label6, LabelDeviceFree, LabelInUse}) {
        label->setVisible(connected);
    }
    const std::string separator = QLocale().groupSeparator().toStdString();
    const std::uint64_t selected = SelectedBytes(p_.playlist, p_.ui.view);
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
    const std::optional<std::string> folder = p_.ui.dialogs.PickFolder(
        "Select dir", "Copy selected files to memory stick / folder / drive etc.");
    if (folder && !folder->empty()) {
        Edit1->setText(QString::fromStdString(*folder));
        p_.settings.WriteString("General", "DevicePath", *folder);
    }
    FormShow();
}

void TTransferFiles_Form::Button2Click() {
    const std::string device = Edit1->text().toStdString();
    if (!IsFolder(device)) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Information,
                                 "The path cannot be accessed.\rIf it is an external device, "
                                 "please make sure it's proper connected.");
        return;
    }
    Timer1->stop();
    Button2->setEnabled(false);
    std::vector<std::string> files = SelectedFiles(p_.playlist, p_.ui.view);
    ProgressBar1->setRange(0, std::max<int>(1, static_cast<int>(files.size())));
    ProgressBar1->setValue(0);
    copy_ = std::make_unique<DeviceCopy>(
        p_.ui, std::move(files), device, [this](int done) { ProgressBar1->setValue(done); },
        [this](const DeviceCopy::Outcome& outcome) { Finished(outcome); });
    copy_->Start();
}

void TTransferFiles_Form::Finished(const DeviceCopy::Outcome& outcome) {
    ProgressBar1->setValue(0);
    Button2->setEnabled(true);
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
    p_.ui.dialogs.ShowNotice(outcome.Failures.empty() ? NoticeKind::Information : NoticeKind::Error,
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
    const std::string folder = Edit1->text().toStdString();
    ShowFolderOf(p_, folder);
}

}  // namespace mirvo
