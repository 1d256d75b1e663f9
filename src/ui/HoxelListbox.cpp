#include "ui/HoxelListbox.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "ui/PlaylistRendering.h"

namespace mirvo {
namespace {

constexpr int kWheelNotch = 120;
constexpr int kWheelRows = 8;

}  // namespace

THoxelListbox::THoxelListbox(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("ListScreen"));
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Rows are never erased before drawing: every pixel is painted once.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    verticalScrollBar()->setSingleStep(1);
    listFont_ = font();
    dragScroll_ = new QTimer(this);
    dragScroll_->setSingleShot(true);
    connect(dragScroll_, &QTimer::timeout, this, [this] { DragStep(); });
}

void THoxelListbox::SetRowCount(int count) {
    count_ = std::max(count, 0);
    selection_.ClipTo(count_);
    focused_ = std::min(focused_, count_ - 1);
    anchor_ = std::min(anchor_, count_ - 1);
    UpdateScrollBar();
    SetTopRow(top_);
    Repaint();
    TellAccessibility(true, false);
}

int THoxelListbox::MaxTop() const {
    return std::max(0, count_ - VisibleRows());
}

void THoxelListbox::SetTopRow(int row) {
    top_ = std::clamp(row, 0, MaxTop());
    QScrollBar* bar = verticalScrollBar();
    if (bar->value() != top_) {
        bar->setValue(top_);
    }
    Repaint();
}

void THoxelListbox::SetFocusedRow(int row) {
    const int before = focused_;
    focused_ = (row >= 0 && row < count_) ? row : -1;
    anchor_ = focused_;
    Repaint();
    TellAccessibility(false, focused_ != before);
}

void THoxelListbox::SetSelection(const std::vector<int>& ascendingRows) {
    selection_.Assign(ascendingRows);
    selection_.ClipTo(count_);
    Repaint();
    TellAccessibility(false, false);
}

void THoxelListbox::TellAccessibility(bool rowsChanged, bool focusMoved) {
    if (!QAccessible::isActive()) {
        return;
    }
    if (rowsChanged) {
        QAccessibleEvent reorder(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
    }
    QAccessibleEvent selection(this, QAccessible::SelectionWithin);
    QAccessible::updateAccessibility(&selection);
    if (focusMoved && hasFocus() && focused_ >= 0) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(focused_);
        QAccessible::updateAccessibility(&focus);
    }
}

void THoxelListbox::SetItemHeight(int height) {
    itemHeight_ = std::max(height, 1);
    UpdateScrollBar();
    SetTopRow(top_);
}

int THoxelListbox::ClientHeight() const {
    return viewport()->height();
}

int THoxelListbox::VisibleRows() const {
    return ClientHeight() / itemHeight_;
}

void THoxelListbox::BeginUpdate() {
    ++updateDepth_;
}

void THoxelListbox::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) {
        UpdateScrollBar();
        Repaint();
    }
}

void THoxelListbox::Repaint() {
    if (updateDepth_ == 0) {
        viewport()->update();
    }
}

void THoxelListbox::UpdateScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, MaxTop());
    bar->setPageStep(std::max(1, VisibleRows()));
}

int THoxelListbox::RowAt(int y) const {
    if (y < 0) {
        return -1;
    }
    const int row = top_ + y / itemHeight_;
    return row < count_ ? row : -1;
}

void THoxelListbox::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setFont(listFont_);
    const int width = viewport()->width();
    const int height = viewport()->height();
    int y = 0;
    for (int row = top_; row < count_ && y < height; ++row, y += itemHeight_) {
        const QRect rect(0, y, width, itemHeight_);
        if (OnDrawItem) {
            painter.save();
            OnDrawItem(painter, row, rect, selection_.Contains(row));
            painter.restore();
        }
        if (row == focused_ && hasFocus()) {
            // The cursor row, which Enter and Insert act on, can lie outside
            // the selection: mark it as list boxes do, with a dotted frame.
            painter.save();
            const bool selected = selection_.Contains(row);
            painter.setPen(QPen(ToQColor(selected ? scheme_.FontColorSelected : scheme_.FontColor),
                                1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
            painter.restore();
        }
    }
    // Only the area below the last row is cleared.
    if (y < height) {
        painter.fillRect(QRect(0, y, width, height - y), ToQColor(scheme_.Background));
    }
}

void THoxelListbox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
    SetTopRow(top_);
}

void THoxelListbox::scrollContentsBy(int, int) {
    top_ = verticalScrollBar()->value();
    Repaint();
}

void THoxelListbox::wheelEvent(QWheelEvent* event) {
    event->accept();
    const QPoint delta = event->angleDelta();
    wheelRemainder_ += delta.y() != 0 ? delta.y() : delta.x();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const int step = (mods & Qt::ControlModifier) ? kWheelRows * 10
                     : (mods & Qt::ShiftModifier) ? kWheelRows * 3 / 8
                                                  : kWheelRows;
    while (wheelRemainder_ >= kWheelNotch || wheelRemainder_ <= -kWheelNotch) {
        if (wheelRemainder_ > 0) {
            wheelRemainder_ -= kWheelNotch;
            SetTopRow(std::max(top_ - step, 0));
        } else {
            wheelRemainder_ += kWheelNotch;
            const int limit = count_ - VisibleRows();
            if (limit >= 0) {
                SetTopRow(std::min(top_ + step, limit));
            }
        }
    }
}

void THoxelListbox::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const int row = RowAt(event->position().toPoint().y());
    pressRow_ = -1;
    if (row < 0) {
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers();
    if ((mods & Qt::ShiftModifier) && anchor_ >= 0) {
        if (!(mods & Qt::ControlModifier)) {
            selection_.Clear();
        }
        selection_.Add(std::min(anchor_, row), std::max(anchor_, row));
        focused_ = row;
    } else if (mods & Qt::ControlModifier) {
        selection_.Toggle(row);
        focused_ = anchor_ = row;
    } else {
        // A press on a selected row may start dragging the whole selection;
        // the release decides whether it was only a click.
        if (!selection_.Contains(row)) {
            selection_.Clear();
            selection_.Add(row, row);
        }
        focused_ = anchor_ = row;
        pressRow_ = row;
        pressAt_ = event->position().toPoint();
    }
    Repaint();
}

void THoxelListbox::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || pressRow_ < 0) {
        return;
    }
    const int y = event->position().toPoint().y();
    if (!dragging_) {
        if ((event->position().toPoint() - pressAt_).manhattanLength() <
            QApplication::startDragDistance()) {
            return;
        }
        dragging_ = OnDragStart && OnDragStart(pressAt_.y());
        if (!dragging_) {
            pressRow_ = -1;
            return;
        }
    }
    dragY_ = y;
    DragStep();
}

void THoxelListbox::DragStep() {
    if (!dragging_) {
        return;
    }
    if (dragY_ >= 0 && dragY_ < ClientHeight()) {
        dragScroll_->stop();
        if (OnDragMove) {
            OnDragMove(dragY_);
        }
        return;
    }
    // Outside the rows the list keeps scrolling while the button is held.
    const int wait = OnDragOutside ? OnDragOutside(dragY_) : 0;
    if (wait > 0) {
        dragScroll_->start(wait);
    }
}

void THoxelListbox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragScroll_->stop();
    if (dragging_) {
        dragging_ = false;
        if (OnDragEnd) {
            OnDragEnd();
        }
    } else if (pressRow_ >= 0 && event->modifiers() == Qt::NoModifier) {
        // A plain click on a selected row selects only that row.
        selection_.Clear();
        selection_.Add(pressRow_, pressRow_);
        Repaint();
    }
    pressRow_ = -1;
}

void THoxelListbox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    const int row = RowAt(event->position().toPoint().y());
    if (row >= 0 && OnDoubleClick) {
        focused_ = anchor_ = row;
        OnDoubleClick(row);
    }
}

void THoxelListbox::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    Repaint();  // the cursor mark shows only while the list has the keyboard
    TellAccessibility(false, true);
}

void THoxelListbox::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    Repaint();
}

void THoxelListbox::keyPressEvent(QKeyEvent* event) {
    const int page = std::max(1, VisibleRows() - 1);
    const int from = std::max(focused_, 0);
    int target = -1;
    switch (event->key()) {
        case Qt::Key_Up:
            target = from - 1;
            break;
        case Qt::Key_Down:
            target = focused_ < 0 ? 0 : from + 1;
            break;
        case Qt::Key_PageUp:
            target = from - page;
            break;
        case Qt::Key_PageDown:
            target = from + page;
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = count_ - 1;
            break;
        default:
            event->ignore();
            return;
    }
    if (count_ > 0) {
        MoveFocus(std::clamp(target, 0, count_ - 1), event->modifiers());
    }
    event->accept();
}

void THoxelListbox::MoveFocus(int row, Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::ShiftModifier) {
        if (anchor_ < 0) {
            anchor_ = row;
        }
        selection_.Clear();
        selection_.Add(std::min(anchor_, row), std::max(anchor_, row));
    } else if (!(modifiers & Qt::ControlModifier)) {
        selection_.Clear();
        selection_.Add(row, row);
        anchor_ = row;
    }
    const bool moved = focused_ != row;
    focused_ = row;
    EnsureVisible(row);
    Repaint();
    TellAccessibility(false, moved);
}

void THoxelListbox::EnsureVisible(int row) {
    const int visible = std::max(1, VisibleRows());
    if (row < top_) {
        SetTopRow(row);
    } else if (row >= top_ + visible) {
        SetTopRow(row - visible + 1);
    }
}

}  // namespace mirvo
