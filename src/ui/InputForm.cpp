#include "ui/InputForm.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace mirvo {

TInput_Form::TInput_Form(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TInput_Form"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    auto* layout = new QVBoxLayout(this);
    promptLabel_ = new QLabel(this);
    promptLabel_->setObjectName(QStringLiteral("Label1"));
    textEdit_ = new QLineEdit(this);
    textEdit_->setObjectName(QStringLiteral("Edit1"));
    promptLabel_->setBuddy(textEdit_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(promptLabel_);
    layout->addWidget(textEdit_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TInput_Form::FitTo(const QString& caption, const QString& text) {
    // Wide enough for the whole text and the title (with room for the
    // frame's buttons), but never wider than the screen.
    constexpr int kNarrowest = 400;
    constexpr int kTitleButtons = 120;
    const int forText = textEdit_->fontMetrics().horizontalAdvance(text) + 24;
    const int forTitle =
        QFontMetrics(QApplication::font()).horizontalAdvance(caption) + kTitleButtons;
    const QScreen* screen =
        parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen();
    const int widest = screen ? screen->availableGeometry().width() * 9 / 10 : 1000;
    textEdit_->setMinimumWidth(std::min(std::max({kNarrowest, forText, forTitle}), widest));
}

std::optional<QString> TInput_Form::Ask(const QString& caption, const QString& prompt,
                                        const QString& text) {
    setWindowTitle(caption);
    promptLabel_->setText(prompt);
    textEdit_->setText(text);
    FitTo(caption, text);
    textEdit_->selectAll();
    textEdit_->setFocus();
    if (exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return textEdit_->text();
}

}  // namespace mirvo
