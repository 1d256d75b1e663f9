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
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    label1->setBuddy(Edit1);
    auto* label2 = new QLabel(QStringLiteral("Title"), this);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    label2->setBuddy(Edit2);
    Button3 = SmallButton(this, QStringLiteral("Button3"), QStringLiteral("R"),
                          QStringLiteral("Retrieve official title..."));
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(Edit2);
    titleRow->addWidget(Button3);

    QHBoxLayout* buttons = OkCancelRow(this, Button1, Button2);

    layout->addWidget(label1);
    layout->addWidget(Edit1);
    layout->addWidget(label2);
    layout->addLayout(titleRow);
    layout->addLayout(buttons);
    setFixedSize(400, sizeHint().height());

    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<StationFields> TRadio_Form::Ask(const std::string& entry) {
    if (const QScreen* screen =
            parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    Edit1->setText(ToQt(EntryAddress(entry)));
    Edit2->setText(ToQt(EntryTitle(entry)));
    SetAsking(false);
    Edit1->setFocus();
    Edit1->selectAll();
    if (exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return StationFields{Edit1->text().toStdString(), Edit2->text().toStdString()};
}

void TRadio_Form::Button3Click() {
    const std::string address = Edit1->text().toStdString();
    Edit2->setText(QStringLiteral("Getting name..."));
    Edit2->setFocus();
    Edit2->deselect();
    Edit2->setCursorPosition(0);
    SetAsking(true);
    lookup_.Start(address, kNameWait, [this](const std::string& title) {
        SetAsking(false);
        Edit2->setText(ToQt(title));
    });
}

void TRadio_Form::SetAsking(bool asking) {
    // "Getting name..." is no title to keep: OK waits for the answer.
    Edit2->setReadOnly(asking);
    Button1->setEnabled(!asking);
    Button3->setEnabled(!asking);
}

void TRadio_Form::done(int result) {
    lookup_.Cancel();
    SetAsking(false);
    QDialog::done(result);
}

}  // namespace mirvo
