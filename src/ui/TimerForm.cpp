#include "ui/TimerForm.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "player/Player.h"

namespace mirvo {

TTimer_Form::TTimer_Form(QWidget* parent, Player& player, Engine& engine,
                         std::function<void()> exitProgram)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint),
      timer_(player.ui, player.engine, engine, *this, std::move(exitProgram)) {
    setObjectName(QStringLiteral("TTimer_Form"));
    setWindowTitle(QStringLiteral("Sleep timer"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(233, 126);
    Label1 = new QLabel(QStringLiteral("Minutes left before quiting Mirvo:"), this);
    Label1->move(8, 8);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(8, 24, 217, Edit1->sizeHint().height());
    // Locked, the field takes the colour of a button face.
    QPalette colours = Edit1->palette();
    colours.setColor(QPalette::Disabled, QPalette::Base, palette().color(QPalette::Button));
    Edit1->setPalette(colours);
    CheckBox1 = new QCheckBox(QStringLiteral("&Shutdown computer when done"), this);
    CheckBox1->move(8, 48);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(0, 88, 233, 2);
    Button1 = new QPushButton(QStringLiteral("&Start"), this);
    Button1->setGeometry(152, 96, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this,
            [this] { timer_.Button1Click(Edit1->text().toStdString()); });
}

void TTimer_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen()) {
        move(s->availableGeometry().center() - rect().center());
    }
    timer_.FormShow();
    Edit1->setFocus();
}

void TTimer_Form::reject() {
    timer_.FormClose();
}

void TTimer_Form::ShowMinutes(const std::string& text) {
    Edit1->setText(QString::fromStdString(text));
}

void TTimer_Form::ShowCounting(bool counting) {
    Button1->setText(counting ? QStringLiteral("&Cancel") : QStringLiteral("&Start"));
    Edit1->setReadOnly(counting);
    Edit1->setEnabled(!counting);
}

void TTimer_Form::HideForm() {
    QDialog::reject();
}

bool TTimer_Form::ShutdownWhenDone() const {
    return CheckBox1->isChecked();
}

}  // namespace mirvo
