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

TFavorites_Form::TFavorites_Form(QWidget* parent, const PlaylistContext& ctx,
                                 std::function<void(const std::string&)> explore)
    : QDialog(parent), ctx_(ctx), explore_(std::move(explore)) {
    setWindowTitle(QStringLiteral("Organize favorites"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    favoritesList_ = new QListWidget(this);
    favoritesList_->setObjectName(QStringLiteral("ListBox1"));
    favoritesList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    favoritesList_->setContextMenuPolicy(Qt::ActionsContextMenu);
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
            favoritesList_->addAction(action);
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
    favoritesList_->addAction(separator);
    command(
        QStringLiteral("&Explore..."), QKeySequence(Qt::CTRL | Qt::Key_E),
        [this] {
            std::error_code error;
            std::filesystem::create_directories(FavoritesFolder(ctx_), error);
            explore_(FavoritesFolder(ctx_));
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
    left->addWidget(favoritesList_, 1);
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
    files_ = CollectFavorites(ctx_);
    favoritesList_->clear();
    for (const std::string& file : files_) {
        favoritesList_->addItem(QString::fromStdString(FavoriteTitle(file)));
    }
    favoritesList_->setFocus();
    if (!files_.empty()) {
        favoritesList_->setCurrentRow(0);
    }
}

void TFavorites_Form::Rename() {
    const int row = favoritesList_->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= files_.size()) {
        return;
    }
    const auto title = ctx_.dialogs.InputText("Edit playlist title", "Name",
                                              FavoriteTitle(files_[static_cast<std::size_t>(row)]));
    if (!title) {
        return;
    }
    // A failed rename shows itself: the list is read again from the folder.
    RenameFavorite(ctx_, files_[static_cast<std::size_t>(row)], *title);
    Refresh();
    favoritesList_->setCurrentRow(std::min(row, favoritesList_->count() - 1));
}

void TFavorites_Form::Delete() {
    const auto selected = favoritesList_->selectedItems();
    if (files_.empty() || selected.isEmpty() ||
        !ctx_.dialogs.AskYesNo("Are you sure you want to delete the selected item(s)?")) {
        return;
    }
    for (QListWidgetItem* item : selected) {
        std::error_code error;
        std::filesystem::remove(files_[static_cast<std::size_t>(favoritesList_->row(item))], error);
    }
    Refresh();
}

}  // namespace mirvo
