#include "ui/FindForm.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "player/PlaylistContext.h"

namespace mirvo {

int FindRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(matches_.size());
}

QVariant FindRows::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() ||
        static_cast<std::size_t>(index.row()) >= matches_.size()) {
        return {};
    }
    return QString::fromStdString(
        FindRowText(playlist_, matches_[static_cast<std::size_t>(index.row())], viewMode_));
}

void FindRows::Reset(int viewMode) {
    beginResetModel();
    viewMode_ = viewMode;
    endResetModel();
}

TFind_Form::TFind_Form(QWidget* parent, const PlaylistContext& ctx) : QDialog(parent), ctx_(ctx) {
    setWindowTitle(QStringLiteral("Find a file in current list"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    searchEdit_ = new QLineEdit(this);
    searchEdit_->setObjectName(QStringLiteral("Edit1"));
    matchList_ = new QListView(this);
    matchList_->setObjectName(QStringLiteral("ListBox1"));
    matchList_->setUniformItemSizes(true);
    matchList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    matchList_->setSelectionMode(QAbstractItemView::SingleSelection);
    rows_ = new FindRows(ctx_.playlist, filter_.Matches());
    rows_->setParent(this);
    matchList_->setModel(rows_);
    okButton_ = new QPushButton(QStringLiteral("&OK"), this);
    okButton_->setObjectName(QStringLiteral("Button1"));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("Button2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    layout->addWidget(searchEdit_);
    layout->addWidget(matchList_, 1);
    layout->addSpacing(2);
    layout->addLayout(buttons);

    const auto action = [this](const QString& text, QKeySequence key, auto run) {
        auto* a = new QAction(text, this);
        // Shown in the menu; the keys themselves are taken in the edit.
        a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetShortcut);
        connect(a, &QAction::triggered, this, run);
        addAction(a);
        return a;
    };
    auto* menu = new QMenu(matchList_);
    QAction* play = action(QStringLiteral("&Play item"), QKeySequence(Qt::Key_Return),
                           [this] { PlayItem(false); });
    menu->addAction(play);
    menu->setDefaultAction(play);
    removeAction(play);  // Enter reaches the default button through the edit
    menu->addAction(action(QStringLiteral("&Queue item"), QKeySequence(Qt::Key_Insert),
                           [this] { QueueItem(); }));
    menu->addAction(action(QStringLiteral("Select item in list"), QKeySequence(),
                           [this] { SelectItemInList(); }));
    menu->addSeparator();
    menu->addAction(
        action(QStringLiteral("Toggle &view"), QKeySequence(Qt::Key_F8), [this] { ToggleView(); }));
    matchList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(matchList_, &QWidget::customContextMenuRequested, this, [this, menu](const QPoint& at) {
        menu->exec(matchList_->viewport()->mapToGlobal(at));
    });

    connect(searchEdit_, &QLineEdit::textChanged, this, [this] { Refilter(); });
    connect(okButton_, &QPushButton::clicked, this, [this] { PlayItem(true); });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(matchList_, &QListView::doubleClicked, this, [this] { PlayItem(true); });
    searchEdit_->installEventFilter(this);
    matchList_->installEventFilter(this);
    connect(this, &QDialog::finished, this, [this] {
        filter_.Forget();
        rows_->Reset(1);
    });
}

void TFind_Form::Open(const QString& initial, const QWidget& playlist) {
    viewMode_ = 1;
    if (ctx_.playlist.PlaylistEntries.size() < 2) {
        return;
    }
    for (QWidget* w : {static_cast<QWidget*>(searchEdit_), static_cast<QWidget*>(matchList_)}) {
        w->setFont(playlist.font());
        QPalette palette = w->palette();
        palette.setColor(QPalette::Base, playlist.palette().color(QPalette::Base));
        w->setPalette(palette);
    }
    if (playlist.font().pointSizeF() > 10) {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        resize(screen.width() - 100, screen.height() - 100);
    } else {
        resize(432, 365);
    }
    filter_.Forget();
    {
        const QSignalBlocker quiet(searchEdit_);
        searchEdit_->setText(initial);
    }
    Refilter();
    exec();
}

void TFind_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    searchEdit_->setFocus(Qt::OtherFocusReason);
}

void TFind_Form::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // The window system may hand the focus elsewhere when it activates the dialog.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !searchEdit_->hasFocus()) {
        searchEdit_->setFocus(Qt::OtherFocusReason);
    }
}

int TFind_Form::SelectedRow() const {
    const QModelIndex current = matchList_->currentIndex();
    return current.isValid() && matchList_->selectionModel()->isSelected(current) ? current.row()
                                                                                  : -1;
}

void TFind_Form::Refilter() {
    filter_.Filter(ctx_.playlist.PlaylistEntries, searchEdit_->text().toStdString());
    rows_->Reset(1);  // filtered rows always show file names
    if (rows_->rowCount() > 0) {
        SelectRow(0);
    }
}

void TFind_Form::SelectRow(int row) {
    const QModelIndex index = rows_->index(row);
    matchList_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    matchList_->scrollTo(index);
}

std::int32_t TFind_Form::Chosen() const {
    const int row = SelectedRow();
    const auto& matches = filter_.Matches();
    return row < 0 || static_cast<std::size_t>(row) >= matches.size()
               ? -1
               : matches[static_cast<std::size_t>(row)];
}

bool TFind_Form::eventFilter(QObject* watched, QEvent* event) {
    if (watched == searchEdit_ && event->type() == QEvent::FocusIn) {
        // Taking the focus selects the text; the typed letter must stay unselected.
        QMetaObject::invokeMethod(
            this,
            [this] {
                searchEdit_->deselect();
                searchEdit_->setCursorPosition(static_cast<int>(searchEdit_->text().size()));
            },
            Qt::QueuedConnection);
    }
    if (event->type() != QEvent::KeyPress) {
        return QDialog::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == matchList_) {
        // Keys typed on the list go to the edit, as if typed there.
        searchEdit_->setFocus();
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
        QCoreApplication::sendEvent(searchEdit_, &copy);
        return true;
    }
    if (watched != searchEdit_) {
        return QDialog::eventFilter(watched, event);
    }
    switch (key->key()) {
        case Qt::Key_QuoteLeft:
            SelectItemInList();
            return true;
        case Qt::Key_Insert:
            QueueItem();
            return true;
        case Qt::Key_F8:
            ToggleView();
            return true;
        default:
            break;
    }
    FindKey move = FindKey::Other;
    switch (key->key()) {
        case Qt::Key_Down:
            move = FindKey::Down;
            break;
        case Qt::Key_Up:
            move = FindKey::Up;
            break;
        case Qt::Key_PageUp:
            move = FindKey::PageUp;
            break;
        case Qt::Key_PageDown:
            move = FindKey::PageDown;
            break;
        default:
            break;
    }
    const bool navigation = move != FindKey::Other;
    const Qt::KeyboardModifiers held =
        key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (rows_->rowCount() == 0 || held != Qt::NoModifier || key->key() == Qt::Key_Return ||
        key->key() == Qt::Key_Enter) {
        return navigation;
    }
    const int height = std::max(1, matchList_->sizeHintForRow(0));
    const int visible = std::max(1, matchList_->viewport()->height() / height);
    const int top = matchList_->indexAt(QPoint(1, 1)).row();
    const int row = FindKeyRow(move, SelectedRow(), std::max(0, top), visible, rows_->rowCount());
    if (navigation) {
        SelectRow(row);
        return true;
    }
    // Any other key: the edit takes it, then the first row is chosen.
    QMetaObject::invokeMethod(
        this, [this] { SelectRow(0); }, Qt::QueuedConnection);
    return false;
}

void TFind_Form::PlayItem(bool asOk) {
    const std::int32_t index = Chosen();
    if (index < 0) {
        return;
    }
    FindPlay(ctx_, index);
    asOk ? accept() : reject();
}

void TFind_Form::SelectItemInList() {
    const std::int32_t index = Chosen();
    if (index < 0) {
        return;
    }
    reject();
    FindSelect(ctx_, index);
}

void TFind_Form::QueueItem() {
    const std::int32_t index = Chosen();
    if (index < 0) {
        return;
    }
    reject();
    FindQueue(ctx_, index);
}

void TFind_Form::ToggleView() {
    const int row = SelectedRow();
    const int top = matchList_->indexAt(QPoint(1, 1)).row();
    viewMode_ = viewMode_ == 1 ? 2 : viewMode_ == 2 ? 0 : 1;
    rows_->Reset(viewMode_);
    if (top >= 0) {
        matchList_->scrollTo(rows_->index(top), QAbstractItemView::PositionAtTop);
    }
    if (row >= 0) {
        matchList_->selectionModel()->setCurrentIndex(rows_->index(row),
                                                      QItemSelectionModel::ClearAndSelect);
    }
}

}  // namespace mirvo
