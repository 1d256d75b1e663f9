#include "ui/TimerForm.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "player/EngineState.h"
#include "player/Interfaces.h"

namespace mirvo {

TTimer_Form::TTimer_Form(QWidget* parent, Services& ui, const EngineState& state, Engine& engine,
                         std::function<void()> exitProgram)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint),
      timer_(ui, state, engine, *this, std::move(exitProgram)) {
    setObjectName(QStringLiteral("TTimer_Form"));
    setWindowTitle(QStringLiteral("Sleep timer"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(233, 126);
    promptLabel_ = new QLabel(QStringLiteral("Minutes left before quiting Mirvo:"), this);
    promptLabel_->setObjectName(QStringLiteral("Label1"));
    promptLabel_->move(8, 8);
    minutesEdit_ = new QLineEdit(this);
    minutesEdit_->setObjectName(QStringLiteral("Edit1"));
    minutesEdit_->setGeometry(8, 24, 217, minutesEdit_->sizeHint().height());
    // Locked, the field takes the colour of a button face.
    QPalette colours = minutesEdit_->palette();
    colours.setColor(QPalette::Disabled, QPalette::Base, palette().color(QPalette::Button));
    minutesEdit_->setPalette(colours);
    shutdownBox_ = new QCheckBox(QStringLiteral("&Shutdown computer when done"), this);
    shutdownBox_->setObjectName(QStringLiteral("CheckBox1"));
    shutdownBox_->move(8, 48);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(0, 88, 233, 2);
    startButton_ = new QPushButton(QStringLiteral("&Start"), this);
    startButton_->setObjectName(QStringLiteral("Button1"));
    startButton_->setGeometry(152, 96, 75, 25);
    startButton_->setDefault(true);
    connect(startButton_, &QPushButton::clicked, this,
            [this] { timer_.Button1Click(minutesEdit_->text().toStdString()); });
}

void TTimer_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen()) {
        move(s->availableGeometry().center() - rect().center());
    }
    timer_.FormShow();
    minutesEdit_->setFocus();
}

void TTimer_Form::reject() {
    timer_.FormClose();
}

void TTimer_Form::ShowMinutes(const std::string& text) {
    minutesEdit_->setText(QString::fromStdString(text));
}

void TTimer_Form::ShowCounting(bool counting) {
    startButton_->setText(counting ? QStringLiteral("&Cancel") : QStringLiteral("&Start"));
    minutesEdit_->setReadOnly(counting);
    minutesEdit_->setEnabled(!counting);
}

void TTimer_Form::HideForm() {
    QDialog::reject();
}

bool TTimer_Form::ShutdownWhenDone() const {
    return shutdownBox_->isChecked();
}

}  // namespace mirvo
