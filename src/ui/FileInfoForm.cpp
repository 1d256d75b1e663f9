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

#include "player/Player.h"
#include "playlist/Entries.h"
#include "tools/FileProperties.h"
#include "ui/DialogParts.h"

namespace mirvo {

TFileInfo_Form::TFileInfo_Form(QWidget* parent, Player& player, Engine& engine)
    : QDialog(parent), p_(player), engine_(engine) {
    setObjectName(QStringLiteral("TFileInfo_Form"));
    setWindowTitle(QStringLiteral("Rename single file"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(470, 472);

    auto* layout = new QVBoxLayout(this);
    auto* label1 = new QLabel(QStringLiteral("Rename file:"), this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    label1->setBuddy(Edit1);
    Button3 = SmallButton(this, QStringLiteral("Button3"), QStringLiteral("&R"),
                          QStringLiteral("Removes unnecessary spaces, %20 or _ from filename."));
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(Edit1);
    nameRow->addWidget(Button3);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setBackgroundRole(QPalette::Button);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    Memo1->setPalette(palette);
    // One tab stop past the labels followed by two tabs, so the values line up.
    const QFontMetrics metrics(Memo1->font());
    int widest = 0;
    for (const char* label : {"Title: ", "Artist: ", "Album: ", "Encoder: ", "Format: ", "Length: ",
                              "Vendor: ", "Lyrics: "}) {
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1String(label)));
    }
    Memo1->setTabStopDistance(widest + metrics.horizontalAdvance(QLatin1Char(' ')));

    auto* bevel1 = new QFrame(this);
    bevel1->setFrameShape(QFrame::HLine);
    bevel1->setFrameShadow(QFrame::Sunken);
    QHBoxLayout* buttons = OkCancelRow(this, Button1, Button2);

    layout->addWidget(label1);
    layout->addLayout(nameRow);
    layout->addWidget(Memo1, 1);
    layout->addWidget(bevel1);
    layout->addLayout(buttons);

    connect(Button3, &QPushButton::clicked, this, [this] {
        Edit1->setText(QString::fromStdString(CleanUpFileName(Edit1->text().toStdString())));
    });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
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
    const std::string entry = p_.playlist.PlaylistEntries[static_cast<std::size_t>(index_)];
    Edit1->setText(QString::fromStdString(std::string(FileNamePart(entry))));
    const FileReport report =
        BuildFileReport(entry, QLocale::system().groupSeparator().toStdString());
    QString text = QString::fromStdString(report.Text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Memo1->setPlainText(text);
    if (!report.Error.empty()) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Error, report.Error);
    }
    Edit1->setFocus();
    Edit1->selectAll();
}

void TFileInfo_Form::Button1Click() {
    const RenameOutcome outcome = RenameEntryFile(p_, engine_, index_, Edit1->text().toStdString());
    if (outcome != RenameOutcome::NoExtension && outcome != RenameOutcome::ImpossibleName) {
        accept();
    }
}

}  // namespace mirvo
