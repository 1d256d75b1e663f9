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
    Label1 = new QLabel(this);
    Edit1 = new QLineEdit(this);
    Label1->setBuddy(Edit1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(Label1);
    layout->addWidget(Edit1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TInput_Form::FitTo(const QString& caption, const QString& text) {
    // Wide enough for the whole text and the title (with room for the
    // frame's buttons), but never wider than the screen.
    constexpr int kNarrowest = 400;
    constexpr int kTitleButtons = 120;
    const int forText = Edit1->fontMetrics().horizontalAdvance(text) + 24;
    const int forTitle =
        QFontMetrics(QApplication::font()).horizontalAdvance(caption) + kTitleButtons;
    const QScreen* screen =
        parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen();
    const int widest = screen ? screen->availableGeometry().width() * 9 / 10 : 1000;
    Edit1->setMinimumWidth(std::min(std::max({kNarrowest, forText, forTitle}), widest));
}

std::optional<QString> TInput_Form::Ask(const QString& caption, const QString& prompt,
                                        const QString& text) {
    setWindowTitle(caption);
    Label1->setText(prompt);
    Edit1->setText(text);
    FitTo(caption, text);
    Edit1->selectAll();
    Edit1->setFocus();
    if (exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return Edit1->text();
}

}  // namespace mirvo
