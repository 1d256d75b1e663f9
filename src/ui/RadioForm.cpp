#include "ui/RadioForm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "playlist/Entries.h"
#include "ui/DialogParts.h"

namespace mirvo {
namespace {

// The library gives up on a silent station sooner; this bounds the wait anyway.
constexpr std::chrono::seconds kNameWait{15};

QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TRadio_Form::TRadio_Form(QWidget* parent, EventLoop& loop, OpenUrlFunction open)
    : QDialog(parent), lookup_(loop, std::move(open)) {
    setObjectName(QStringLiteral("TRadio_Form"));
    setWindowTitle(QStringLiteral("Properties"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    auto* layout = new QVBoxLayout(this);
    auto* label1 = new QLabel(QStringLiteral("URL"), this);
    urlEdit_ = new QLineEdit(this);
    urlEdit_->setObjectName(QStringLiteral("Edit1"));
    label1->setBuddy(urlEdit_);
    auto* label2 = new QLabel(QStringLiteral("Title"), this);
    titleEdit_ = new QLineEdit(this);
    titleEdit_->setObjectName(QStringLiteral("Edit2"));
    label2->setBuddy(titleEdit_);
    retrieveTitleButton_ = SmallButton(this, QStringLiteral("Button3"), QStringLiteral("R"),
                                       QStringLiteral("Retrieve official title..."));
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(titleEdit_);
    titleRow->addWidget(retrieveTitleButton_);

    QHBoxLayout* buttons = OkCancelRow(this, okButton_, cancelButton_);

    layout->addWidget(label1);
    layout->addWidget(urlEdit_);
    layout->addWidget(label2);
    layout->addLayout(titleRow);
    layout->addLayout(buttons);
    setFixedSize(400, sizeHint().height());

    connect(retrieveTitleButton_, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<StationFields> TRadio_Form::Ask(const std::string& entry) {
    if (const QScreen* screen =
            parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    urlEdit_->setText(ToQt(EntryAddress(entry)));
    titleEdit_->setText(ToQt(EntryTitle(entry)));
    SetAsking(false);
    urlEdit_->setFocus();
    urlEdit_->selectAll();
    if (exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return StationFields{urlEdit_->text().toStdString(), titleEdit_->text().toStdString()};
}

void TRadio_Form::Button3Click() {
    const std::string address = urlEdit_->text().toStdString();
    titleEdit_->setText(QStringLiteral("Getting name..."));
    titleEdit_->setFocus();
    titleEdit_->deselect();
    titleEdit_->setCursorPosition(0);
    SetAsking(true);
    lookup_.Start(address, kNameWait, [this](const std::string& title) {
        SetAsking(false);
        titleEdit_->setText(ToQt(title));
    });
}

void TRadio_Form::SetAsking(bool asking) {
    // "Getting name..." is no title to keep: OK waits for the answer.
    titleEdit_->setReadOnly(asking);
    okButton_->setEnabled(!asking);
    retrieveTitleButton_->setEnabled(!asking);
}

void TRadio_Form::done(int result) {
    lookup_.Cancel();
    SetAsking(false);
    QDialog::done(result);
}

}  // namespace mirvo
