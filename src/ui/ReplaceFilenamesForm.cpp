#include "ui/ReplaceFilenamesForm.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "player/PlaylistContext.h"
#include "playlist/Entries.h"

namespace mirvo {

TReplaceFilenames_Form::TReplaceFilenames_Form(QWidget* parent, const PlaylistContext& ctx)
    : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("TReplaceFilenames_Form"));
    setWindowTitle(QStringLiteral("Rename multiple files"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    resize(400, 460);

    auto* layout = new QVBoxLayout(this);
    for (const char* line : {"If you want to rename an entire album, this tool can be useful.",
                             "Look for similarities in the filenames and change them all at the",
                             "same time by using the find and replace fields."}) {
        layout->addWidget(new QLabel(QString::fromLatin1(line), this));
    }
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    const auto field = [this, layout](const char* caption, const char* name) {
        auto* label = new QLabel(QString::fromLatin1(caption), this);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        label->setBuddy(edit);
        layout->addWidget(label);
        layout->addWidget(edit);
        connect(edit, &QLineEdit::textChanged, this, [this] { Preview(); });
        return edit;
    };
    findEdit_ = field("Find text:", "Edit1");
    replaceEdit_ = field("Replace text:", "Edit2");
    layout->addWidget(new QLabel(QStringLiteral("Preview:"), this));
    previewMemo_ = new QPlainTextEdit(this);
    previewMemo_->setObjectName(QStringLiteral("Memo2"));
    previewMemo_->setReadOnly(true);
    previewMemo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(previewMemo_, 1);

    tipButton_ = new QPushButton(QStringLiteral("&Tip"), this);
    replaceAllButton_ = new QPushButton(QStringLiteral("&Replace all"), this);
    closeButton_ = new QPushButton(QStringLiteral("&Close"), this);
    tipButton_->setObjectName(QStringLiteral("Button3"));
    replaceAllButton_->setObjectName(QStringLiteral("Button1"));
    closeButton_->setObjectName(QStringLiteral("Button2"));
    for (QPushButton* button : {replaceAllButton_, closeButton_, tipButton_}) {
        button->setAutoDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(tipButton_);
    buttons->addStretch();
    buttons->addWidget(replaceAllButton_);
    buttons->addWidget(closeButton_);
    layout->addLayout(buttons);

    connect(replaceAllButton_, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(tipButton_, &QPushButton::clicked, this, [this] { Button3Click(); });
}

void TReplaceFilenames_Form::ShowSelection() {
    if (const QScreen* screen =
            parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - width()) / 2, area.top());
    }
    FormShow();
    exec();
}

void TReplaceFilenames_Form::FormShow() {
    sources_ = CollectRenameSources(ctx_.playlist, ctx_.view);
    findEdit_->setText(renamerUsed_ && !sources_.Paths.empty()
                           ? QString::fromStdString(std::string(FileNamePart(sources_.Paths[0])))
                           : QString());
    Preview();
    findEdit_->setFocus();
}

void TReplaceFilenames_Form::Preview() {
    QStringList lines;
    for (const std::string& name : PreviewFileNames(sources_, findEdit_->text().toStdString(),
                                                    replaceEdit_->text().toStdString())) {
        lines << QString::fromStdString(name);
    }
    previewMemo_->setPlainText(lines.join(QLatin1Char('\n')));
}

void TReplaceFilenames_Form::Button1Click() {
    if (ctx_.loop.Quitting()) {
        return;
    }
    if (sources_.Paths.size() > 100) {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationName(),
                        QStringLiteral("You are about to rename > 100 files!\n\nContinue?"),
                        QMessageBox::Yes | QMessageBox::No, this);
        if (box.exec() != QMessageBox::Yes) {
            return;
        }
    }
    if (ctx_.dialogs.AskYesNo("Rename all selected files to the previewed filenames?\rThere's no "
                              "undo!\r\rContinue?") &&
        RenameAll(ctx_, sources_, findEdit_->text().toStdString(),
                  replaceEdit_->text().toStdString())) {
        FormShow();
    }
    renamerUsed_ = true;
}

void TReplaceFilenames_Form::Button3Click() {
    ctx_.dialogs.ShowNotice(
        NoticeKind::Information,
        "Tip: copy a folder of files first and try the tool on the copy.\r"
        "There's no undo!\r\r"
        "To remove a text from many filenames, find it and replace it with nothing.\r"
        "To put a text in front of every filename, find nothing and replace with that text.\r\r"
        "Special code for the replace field:\r"
        "[case] : This Make Every Title Like This.");
}

}  // namespace mirvo
