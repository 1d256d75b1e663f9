#pragma once
// Pieces the small dialogs share: a narrow button beside an edit, and the
// "&OK" and "&Cancel" buttons on the right of their row.
#include <QHBoxLayout>
#include <QPushButton>

namespace mirvo {

// Never the default button: Enter in the edit beside it means OK.
inline QPushButton* SmallButton(QWidget* parent, const QString& name, const QString& caption,
                                const QString& hint) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setAutoDefault(false);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 12);
    return button;
}

// "&OK" (the default) as `Button1` and "&Cancel" as `Button2`.
inline QHBoxLayout* OkCancelRow(QWidget* parent, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(QStringLiteral("&OK"), parent);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    cancel = new QPushButton(QStringLiteral("&Cancel"), parent);
    cancel->setObjectName(QStringLiteral("Button2"));
    cancel->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

}  // namespace mirvo
