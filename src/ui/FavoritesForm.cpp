#include "ui/FavoritesForm.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "playlist/Favorites.h"

namespace mirvo {

TFavorites_Form::TFavorites_Form(QWidget* parent, Player& player,
                                 std::function<void(const std::string&)> explore)
    : QDialog(parent), p_(player), explore_(std::move(explore)) {
    setWindowTitle(QStringLiteral("Organize favorites"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ListBox1 = new QListWidget(this);
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* tip =
        new QLabel(QStringLiteral("Tip: Add a number before the titles, to sort manually."), this);
    auto* buttons = new QVBoxLayout;
    const auto command = [&](const QString& text, QKeySequence key, auto run, bool inMenu) {
        auto* action = new QAction(text, this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, run);
        addAction(action);
        if (inMenu) {
            ListBox1->addAction(action);
        }
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        buttons->addWidget(button);
    };
    command(
        QStringLiteral("&Rename"), QKeySequence(Qt::Key_F2), [this] { Rename(); }, true);
    command(
        QStringLiteral("&Delete"), QKeySequence(Qt::Key_Delete), [this] { Delete(); }, true);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    ListBox1->addAction(separator);
    command(
        QStringLiteral("&Explore..."), QKeySequence(Qt::CTRL | Qt::Key_E),
        [this] {
            std::error_code error;
            std::filesystem::create_directories(FavoritesFolder(p_), error);
            explore_(FavoritesFolder(p_));
        },
        true);
    command(
        QStringLiteral("&Refresh"), QKeySequence(Qt::Key_F5), [this] { Refresh(); }, true);
    buttons->addStretch();
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(close);

    auto* left = new QVBoxLayout;
    left->addWidget(ListBox1, 1);
    left->addWidget(tip);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    resize(360, 300);
}

void TFavorites_Form::Open() {
    Refresh();
    exec();
}

void TFavorites_Form::Refresh() {
    files_ = CollectFavorites(p_);
    ListBox1->clear();
    for (const std::string& file : files_) {
        ListBox1->addItem(QString::fromStdString(FavoriteTitle(file)));
    }
    ListBox1->setFocus();
    if (!files_.empty()) {
        ListBox1->setCurrentRow(0);
    }
}

void TFavorites_Form::Rename() {
    const int row = ListBox1->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= files_.size()) {
        return;
    }
    const auto title = p_.ui.dialogs.InputText(
        "Edit playlist title", "Name", FavoriteTitle(files_[static_cast<std::size_t>(row)]));
    if (!title) {
        return;
    }
    // A failed rename shows itself: the list is read again from the folder.
    RenameFavorite(p_, files_[static_cast<std::size_t>(row)], *title);
    Refresh();
    ListBox1->setCurrentRow(std::min(row, ListBox1->count() - 1));
}

void TFavorites_Form::Delete() {
    const auto selected = ListBox1->selectedItems();
    if (files_.empty() || selected.isEmpty() ||
        !p_.ui.dialogs.AskYesNo("Are you sure you want to delete the selected item(s)?")) {
        return;
    }
    for (QListWidgetItem* item : selected) {
        std::error_code error;
        std::filesystem::remove(files_[static_cast<std::size_t>(ListBox1->row(item))], error);
    }
    Refresh();
}

}  // namespace mirvo
