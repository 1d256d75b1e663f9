#include "ui/InputForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace mirvo {

TInput_Form::TInput_Form(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TInput_Form"));
    setFixedWidth(400);
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

std::optional<QString> TInput_Form::Ask(const QString& caption, const QString& prompt,
                                        const QString& text) {
    setWindowTitle(caption);
    Label1->setText(prompt);
    Edit1->setText(text);
    Edit1->selectAll();
    Edit1->setFocus();
    if (exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return Edit1->text();
}

}  // namespace mirvo
