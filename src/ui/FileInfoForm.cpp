#include "ui/FileInfoForm.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "player/PlaylistContext.h"
#include "playlist/Entries.h"
#include "tools/FileProperties.h"
#include "ui/DialogParts.h"

namespace mirvo {

TFileInfo_Form::TFileInfo_Form(QWidget* parent, const PlaylistContext& ctx, Engine& engine)
    : QDialog(parent), ctx_(ctx), engine_(engine) {
    setObjectName(QStringLiteral("TFileInfo_Form"));
    setWindowTitle(QStringLiteral("Rename single file"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(470, 472);

    auto* layout = new QVBoxLayout(this);
    auto* label1 = new QLabel(QStringLiteral("Rename file:"), this);
    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName(QStringLiteral("Edit1"));
    label1->setBuddy(nameEdit_);
    tidyNameButton_ =
        SmallButton(this, QStringLiteral("Button3"), QStringLiteral("&R"),
                    QStringLiteral("Removes unnecessary spaces, %20 or _ from filename."));
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(nameEdit_);
    nameRow->addWidget(tidyNameButton_);

    reportMemo_ = new QPlainTextEdit(this);
    reportMemo_->setObjectName(QStringLiteral("Memo1"));
    reportMemo_->setReadOnly(true);
    reportMemo_->setFrameShape(QFrame::NoFrame);
    reportMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reportMemo_->setBackgroundRole(QPalette::Button);
    QPalette palette = reportMemo_->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    reportMemo_->setPalette(palette);
    // One tab stop past the labels followed by two tabs, so the values line up.
    const QFontMetrics metrics(reportMemo_->font());
    int widest = 0;
    for (const char* label : {"Title: ", "Artist: ", "Album: ", "Encoder: ", "Format: ", "Length: ",
                              "Vendor: ", "Lyrics: "}) {
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1String(label)));
    }
    reportMemo_->setTabStopDistance(widest + metrics.horizontalAdvance(QLatin1Char(' ')));

    auto* bevel1 = new QFrame(this);
    bevel1->setFrameShape(QFrame::HLine);
    bevel1->setFrameShadow(QFrame::Sunken);
    QHBoxLayout* buttons = OkCancelRow(this, okButton_, cancelButton_);

    layout->addWidget(label1);
    layout->addLayout(nameRow);
    layout->addWidget(reportMemo_, 1);
    layout->addWidget(bevel1);
    layout->addLayout(buttons);

    connect(tidyNameButton_, &QPushButton::clicked, this, [this] {
        nameEdit_->setText(
            QString::fromStdString(CleanUpFileName(nameEdit_->text().toStdString())));
    });
    connect(okButton_, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void TFileInfo_Form::ShowEntry(int index) {
    index_ = index;
    if (const QScreen* screen =
            parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    FormShow();
    exec();
}

void TFileInfo_Form::FormShow() {
    const std::string entry = ctx_.playlist.PlaylistEntries[static_cast<std::size_t>(index_)];
    nameEdit_->setText(QString::fromStdString(std::string(FileNamePart(entry))));
    const FileReport report =
        BuildFileReport(entry, QLocale::system().groupSeparator().toStdString());
    QString text = QString::fromStdString(report.Text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    reportMemo_->setPlainText(text);
    if (!report.Error.empty()) {
        ctx_.dialogs.ShowNotice(NoticeKind::Error, report.Error);
    }
    nameEdit_->setFocus();
    nameEdit_->selectAll();
}

void TFileInfo_Form::Button1Click() {
    const RenameOutcome outcome =
        RenameEntryFile(ctx_, engine_, index_, nameEdit_->text().toStdString());
    if (outcome != RenameOutcome::NoExtension && outcome != RenameOutcome::ImpossibleName) {
        accept();
    }
}

}  // namespace mirvo
