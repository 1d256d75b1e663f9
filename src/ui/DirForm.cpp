#include "ui/DirForm.h"

#include <sys/stat.h>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdlib>
#include <cstring>

#include "player/PlaylistContext.h"
#include "support/Files.h"
#include "ui/QtServices.h"

namespace mirvo {
namespace {

// What a line of the tree is.
enum Kind { kFolder = 0, kPlaceholder, kMore, kNote };
constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kRestRole = Qt::UserRole + 2;  // the names a "more" line stands for

Kind KindOf(const QTreeWidgetItem* item) {
    return static_cast<Kind>(item->data(0, kKindRole).toInt());
}

QTreeWidgetItem* Line(QTreeWidgetItem* parent, const QString& text, Kind kind) {
    auto* item = new QTreeWidgetItem(parent, QStringList{text});
    item->setData(0, kKindRole, kind);
    if (kind != kFolder) {
        item->setFlags(kind == kMore ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags);
    }
    return item;
}

void AddPlaceholder(QTreeWidgetItem* node, const char* text) {
    Line(node, QString::fromLatin1(text), kPlaceholder);
}

bool HasPlaceholder(const QTreeWidgetItem* node) {
    return node->childCount() == 1 && KindOf(node->child(0)) == kPlaceholder;
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

QString MoreText(qsizetype count) {
    return QStringLiteral("(%1 more folders, Enter shows the next %2)")
        .arg(count)
        .arg(std::min<qsizetype>(count, static_cast<qsizetype>(kSubfolderLimit)));
}

}  // namespace

TDir_Form::TDir_Form(QWidget* parent, const PlaylistContext& ctx, std::string& lastOpenedDrive,
                     std::string mountsFile)
    : QDialog(parent),
      ctx_(ctx),
      lastOpenedDrive_(lastOpenedDrive),
      mountsFile_(std::move(mountsFile)),
      lister_([this](FolderListing listing) {
          QMetaObject::invokeMethod(
              this, [this, listing = std::move(listing)]() mutable { Loaded(std::move(listing)); },
              Qt::QueuedConnection);
      }) {
    setObjectName(QStringLiteral("TDir_Form"));
    setWindowTitle(QStringLiteral("Open Directory"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    resize(337, 294);

    rootCombo_ = new QComboBox(this);
    rootCombo_->setObjectName(QStringLiteral("ComboBox1"));
    rootCombo_->setToolTip(
        QStringLiteral("To speed up and access your network, you can set the root folder from "
                       "which to start browsing,\nMain menu > Options > Settings"));
    rootCombo_->installEventFilter(this);
    folderTree_ = new QTreeWidget(this);
    folderTree_->setObjectName(QStringLiteral("TreeView1"));
    folderTree_->setHeaderHidden(true);
    folderTree_->setContextMenuPolicy(Qt::CustomContextMenu);
    folderTree_->installEventFilter(this);
    CheckSubDirs = new QCheckBox(QStringLiteral("Include &subfolders"), this);
    CheckSubDirs->setChecked(true);
    OkButton = new QPushButton(QStringLiteral("&OK"), this);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rootCombo_);
    layout->addWidget(folderTree_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CheckSubDirs);
    bottom->addStretch(1);
    bottom->addWidget(OkButton);
    bottom->addWidget(CancelButton);
    layout->addLayout(bottom);

    const auto action = [this](const char* name, const char* caption, QKeySequence key) {
        auto* a = new QAction(QString::fromLatin1(caption), this);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        return a;
    };
    F5Ac = action("F5Ac", "&Refresh", QKeySequence(Qt::Key_F5));
    DroplistAc = action("DroplistAc", "&Drop down list", QKeySequence(Qt::CTRL | Qt::Key_Return));
    ExplorerAc = action("ExplorerAc", "&Explore...", QKeySequence(Qt::CTRL | Qt::Key_E));
    QuickAc = action("QuickAc", "&Add to playlist", QKeySequence(Qt::Key_Insert));
    maxac = action("maxac", "", QKeySequence(Qt::Key_F12));
    PopupMenu = new QMenu(this);
    PopupMenu->addAction(QStringLiteral("&Open"), this, &QDialog::accept);
    PopupMenu->addSeparator();
    PopupMenu->addActions({F5Ac, DroplistAc, ExplorerAc, QuickAc});

    connect(OkButton, &QPushButton::clicked, this, &TDir_Form::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(F5Ac, &QAction::triggered, this, &TDir_Form::F5AcExecute);
    connect(DroplistAc, &QAction::triggered, this, [this] {
        rootCombo_->setFocus();
        rootCombo_->showPopup();
    });
    connect(ExplorerAc, &QAction::triggered, this, &TDir_Form::ExplorerAcExecute);
    connect(QuickAc, &QAction::triggered, this, &TDir_Form::QuickAcExecute);
    connect(maxac, &QAction::triggered, this,
            [this] { isMaximized() ? showNormal() : showMaximized(); });
    connect(rootCombo_, &QComboBox::activated, this, &TDir_Form::ComboBox1Change);
    connect(folderTree_, &QTreeWidget::itemExpanded, this, &TDir_Form::Expand);
    connect(folderTree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (KindOf(item) == kMore) {
            ShowMore(item);
        }
    });
    connect(folderTree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr && KindOf(item) == kFolder) {
            lastOpenedDir_ = NodePath(item);
        }
    });
    connect(folderTree_, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        if (QTreeWidgetItem* item = folderTree_->itemAt(at)) {
            folderTree_->setCurrentItem(item);
        }
        PopupMenu->popup(folderTree_->viewport()->mapToGlobal(at));
    });
    FormCreate();
}

void TDir_Form::FormCreate() {
    initialised_ = false;
    busy_ = false;
    ctx_.settings.LoadMusicFolders(ctx_.playlist);
    rootCombo_->clear();
    rootCombo_->addItem(QString::fromLatin1(kAllDrives));
    for (const std::string& folder : ctx_.playlist.MusicFolders) {
        rootCombo_->addItem(QString::fromStdString(folder));
    }
}

std::optional<FolderChoice> TDir_Form::Choose(const std::string& caption, const std::string& folder,
                                              bool includeSubfolders,
                                              const Dialogs::QuickAdd& quickAdd) {
    setWindowTitle(QString::fromStdString(caption));
    quickAdd_ = quickAdd;
    CheckSubDirs->setChecked(includeSubfolders);
    if (!initialised_) {
        lastOpenedDir_ = folder;
    }
    quickAdded_ = false;
    QuickAc->setText(QStringLiteral("&Add to playlist"));
    Prepare();
    folderTree_->setFocus();
    const bool ok = exec() == QDialog::Accepted;
    quickAdd_ = nullptr;
    const QTreeWidgetItem* current = folderTree_->currentItem();
    if (!ok || quickAdded_ || current == nullptr || KindOf(current) != kFolder) {
        return std::nullopt;
    }
    return FolderChoice{NodePath(current), CheckSubDirs->isChecked()};
}

void TDir_Form::accept() {
    // Enter on a "more folders" line shows them rather than closing.
    if (QTreeWidgetItem* current = folderTree_->currentItem();
        current != nullptr && KindOf(current) == kMore) {
        ShowMore(current);
        return;
    }
    if (quickAdded_) {
        reject();  // those folders are in the list already
        return;
    }
    QDialog::accept();
}

void TDir_Form::MusicFoldersChanged() {
    FormCreate();
    folderTree_->clear();
    Prepare();
}

void TDir_Form::Prepare() {
    busy_ = false;
    std::string& drive = lastOpenedDrive_;
    if (drive != kAllDrives && !IsFolder(drive)) {
        drive = kAllDrives;
    }
    if (folderTree_->topLevelItemCount() == 0) {
        const int index = rootCombo_->findText(QString::fromStdString(drive));
        rootCombo_->setCurrentIndex(index < 0 ? 0 : index);
        BuildRoots();
        SelectPath(lastOpenedDir_);
    }
    initialised_ = true;
}

void TDir_Form::BuildRoots() {
    pending_.clear();
    selecting_.reset();
    folderTree_->clear();
    UpdateCursor();
    const QString text = rootCombo_->currentText();
    if (text != QLatin1String(kAllDrives)) {
        folderTree_->setRootIsDecorated(false);
        auto* root = new QTreeWidgetItem(folderTree_, QStringList{text});
        root->setData(0, kKindRole, kFolder);
        root->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
        AddPlaceholder(root, "****");
        root->setExpanded(true);
        return;
    }
    folderTree_->setRootIsDecorated(true);
    const char* home = std::getenv("HOME");
    for (const BrowseRoot& place : BrowseRoots(mountsFile_, home ? home : "")) {
        auto* root =
            new QTreeWidgetItem(folderTree_, QStringList{QString::fromStdString(place.Path)});
        root->setData(0, kKindRole, kFolder);
        root->setIcon(0, style()->standardIcon(place.Optical ? QStyle::SP_DriveCDIcon
                                                             : QStyle::SP_DriveHDIcon));
        AddPlaceholder(root, "****");
    }
}

std::string TDir_Form::NodePath(const QTreeWidgetItem* item) const {
    if (item == nullptr || KindOf(item) != kFolder) {
        return {};
    }
    std::string path = item->text(0).toStdString();
    for (const QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) {
        path = WithSlash(up->text(0).toStdString()) + path;
    }
    return path;
}

void TDir_Form::SelectPath(std::string path) {
    selecting_.reset();
    if (folderTree_->topLevelItemCount() > 0) {
        folderTree_->setCurrentItem(folderTree_->topLevelItem(0));
    }
    if (path.empty()) {
        return;  // nothing remembered yet
    }
    path = WithSlash(path);
    if (!IsFolder(path)) {
        return;
    }
    // The root nearest the folder: the home folder rather than "/" for a folder in it.
    QTreeWidgetItem* root = nullptr;
    std::size_t rootLength = 0;
    for (int i = 0; i < folderTree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = folderTree_->topLevelItem(i);
        const std::string text = WithSlash(item->text(0).toStdString());
        if (path.starts_with(text) && text.size() > rootLength) {
            root = item;
            rootLength = text.size();
        }
    }
    if (root == nullptr) {
        return;
    }
    folderTree_->setCurrentItem(root);
    Selecting walk{root, {}};
    for (std::size_t at = rootLength; at < path.size();) {
        const std::size_t slash = path.find('/', at);
        walk.rest.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    selecting_ = std::move(walk);
    ContinueSelect();
}

void TDir_Form::ContinueSelect() {
    while (selecting_) {
        QTreeWidgetItem* node = selecting_->node;
        const bool waiting = std::any_of(pending_.begin(), pending_.end(),
                                         [node](const auto& p) { return p.second.node == node; });
        if (waiting) {
            return;  // back here when the listing is in
        }
        if (HasPlaceholder(node)) {
            node->setExpanded(true);
            Expand(node);
            continue;
        }
        if (selecting_->rest.empty()) {
            node->setExpanded(true);
            folderTree_->scrollToItem(node);
            selecting_.reset();
            break;
        }
        const QString name = QString::fromStdString(selecting_->rest.front());
        QTreeWidgetItem* match = nullptr;
        QTreeWidgetItem* more = nullptr;
        for (int i = 0; i < node->childCount() && match == nullptr; ++i) {
            QTreeWidgetItem* child = node->child(i);
            if (KindOf(child) == kFolder && child->text(0) == name) {
                match = child;
            } else if (KindOf(child) == kMore &&
                       child->data(0, kRestRole).toStringList().contains(name)) {
                more = child;
            }
        }
        if (match == nullptr && more != nullptr) {
            ShowMore(more);
            continue;
        }
        if (match == nullptr) {
            node->setExpanded(true);
            selecting_.reset();
            break;
        }
        folderTree_->setCurrentItem(match);
        selecting_->node = match;
        selecting_->rest.erase(selecting_->rest.begin());
    }
}

void TDir_Form::Expand(QTreeWidgetItem* node) {
    if (!HasPlaceholder(node)) {
        return;
    }
    for (const auto& [ticket, pending] : pending_) {
        if (pending.node == node) {
            return;
        }
    }
    pending_[lister_.List(NodePath(node))] = {node, nullptr};
    UpdateCursor();
}

void TDir_Form::ShowMore(QTreeWidgetItem* more) {
    for (const auto& [ticket, pending] : pending_) {
        if (pending.more == more) {
            return;
        }
    }
    std::vector<std::string> names;
    for (const QString& name : more->data(0, kRestRole).toStringList()) {
        names.push_back(name.toStdString());
    }
    more->setText(0, QStringLiteral("****"));
    pending_[lister_.Continue(NodePath(more->parent()), std::move(names))] = {more->parent(), more};
    UpdateCursor();
}

void TDir_Form::Loaded(FolderListing listing) {
    const auto it = pending_.find(listing.Ticket);
    if (it == pending_.end()) {
        return;  // the tree was rebuilt meanwhile
    }
    const Pending done = it->second;
    pending_.erase(it);
    QTreeWidgetItem* node = done.node;
    const bool wasCurrent = done.more != nullptr && folderTree_->currentItem() == done.more;
    delete done.more;
    if (HasPlaceholder(node)) {
        delete node->child(0);
    }
    QList<QTreeWidgetItem*> lines;
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    for (const Subfolder& folder : listing.Folders) {
        auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(folder.Name)});
        item->setData(0, kKindRole, kFolder);
        item->setIcon(0, folderIcon);
        if (folder.MayHaveSubfolders) {
            AddPlaceholder(item, "-");
        }
        lines.push_back(item);
    }
    node->addChildren(lines);
    if (listing.Error != 0) {
        Line(node,
             QStringLiteral("(This folder cannot be read: %1)")
                 .arg(QString::fromLocal8Bit(std::strerror(listing.Error))),
             kNote);
    }
    if (!listing.Rest.empty()) {
        QStringList rest;
        rest.reserve(static_cast<qsizetype>(listing.Rest.size()));
        for (const std::string& name : listing.Rest) {
            rest.push_back(QString::fromStdString(name));
        }
        QTreeWidgetItem* more = Line(node, MoreText(rest.size()), kMore);
        more->setData(0, kRestRole, rest);
    }
    if (wasCurrent && !lines.isEmpty()) {
        folderTree_->setCurrentItem(lines.front());
    }
    UpdateCursor();
    if (selecting_ && selecting_->node == node) {
        ContinueSelect();
    }
}

void TDir_Form::SetTreeLook(const QFont& font, const QColor& background, const QColor& text) {
    folderTree_->setFont(font);
    QPalette colours = folderTree_->palette();
    colours.setColor(QPalette::Base, background);
    colours.setColor(QPalette::Text, text);
    folderTree_->setPalette(colours);
}

void TDir_Form::ComboBox1Change(int index) {
    const QString text = rootCombo_->itemText(index);
    std::string& drive = lastOpenedDrive_;
    if (text != QLatin1String(kAllDrives) && !IsFolder(text.toStdString())) {
        ctx_.dialogs.ShowNotice(NoticeKind::Warning,
                                text.toStdString() + " does not exists or can not be opened.");
        const int previous = rootCombo_->findText(QString::fromStdString(drive));
        rootCombo_->setCurrentIndex(previous < 0 ? 0 : previous);
        return;
    }
    drive = text.toStdString();
    BuildRoots();
    if (folderTree_->topLevelItemCount() > 0) {
        folderTree_->setCurrentItem(folderTree_->topLevelItem(0));
    }
    folderTree_->setFocus();
}

bool TDir_Form::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QDialog::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == rootCombo_ && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
        rootCombo_->showPopup();
        return true;
    }
    // A key that reaches the widget was not taken as a shortcut, which happens
    // while the dialog is not the active window.
    const QKeySequence pressed(key->keyCombination());
    for (QAction* action : {F5Ac, DroplistAc, ExplorerAc, QuickAc, maxac}) {
        if (action->shortcut() == pressed) {
            action->trigger();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TDir_Form::F5AcExecute() {
    if (busy_) {
        return;
    }
    busy_ = true;
    const std::string path = NodePath(folderTree_->currentItem());
    folderTree_->setUpdatesEnabled(false);
    BuildRoots();
    folderTree_->setUpdatesEnabled(true);
    SelectPath(path);
    busy_ = false;
}

void TDir_Form::ExplorerAcExecute() {
    const std::string& drive = lastOpenedDrive_;
    const std::string folder = drive == kAllDrives ? lastOpenedDir_ : drive;
    ShowFolderOf(ctx_.desktop, ctx_.dialogs, folder);
}

void TDir_Form::QuickAcExecute() {
    const std::string path = NodePath(folderTree_->currentItem());
    if (path.empty() || !quickAdd_) {
        return;
    }
    // The first Insert of the open command opens; the others add.
    const bool replace = !quickAdded_ && windowTitle().contains(QLatin1String("Open"));
    quickAdd_(FolderChoice{path, CheckSubDirs->isChecked()}, replace);
    quickAdded_ = true;
}

void TDir_Form::UpdateCursor() {
    if (pending_.empty()) {
        folderTree_->unsetCursor();
    } else {
        folderTree_->setCursor(Qt::BusyCursor);
    }
}

}  // namespace mirvo
