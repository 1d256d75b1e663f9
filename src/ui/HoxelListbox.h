#pragma once
// THoxelListbox: the playlist's virtual list. It knows how many rows there
// are, which are selected and focused and which is on top; the text and look
// of each row come from OnDrawItem whenever the row is painted.
#include <QAbstractScrollArea>
#include <QFont>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

#include "playlist/SchemeFile.h"
#include "ui/RowSelection.h"

namespace mirvo {

class THoxelListbox final : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit THoxelListbox(QWidget* parent = nullptr);

    int RowCount() const { return count_; }
    void SetRowCount(int count);
    int TopRow() const { return top_; }
    void SetTopRow(int row);
    int FocusedRow() const { return focused_; }
    void SetFocusedRow(int row);
    std::vector<int> SelectedRows() const { return selection_.Rows(); }
    void SetSelection(const std::vector<int>& ascendingRows);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);
    int ClientHeight() const;
    // Rows that fit entirely.
    int VisibleRows() const;
    void BeginUpdate();
    void EndUpdate();
    void Repaint();

    // The look set by colour schemes.
    const SchemeValues& Scheme() const { return scheme_; }
    void SetScheme(const SchemeValues& scheme) { scheme_ = scheme; }
    const QFont& ListFont() const { return listFont_; }
    void SetListFont(const QFont& font) { listFont_ = font; }

    // Reordering by dragging: a left-button drag that starts on a row moves the
    // selected rows. y is in the list's client coordinates (negative above it,
    // past the client height below it). OnDragOutside returns the wait in ms
    // before the next scroll step while the pointer stays outside (0: none).
    std::function<bool(int y)> OnDragStart;
    std::function<void(int y)> OnDragMove;
    std::function<int(int y)> OnDragOutside;
    std::function<void()> OnDragEnd;

    // Paints row `row` into `rect`; the painter has the list font.
    std::function<void(QPainter& painter, int row, const QRect& rect, bool selected)> OnDrawItem;
    // A double click on a row, after its press made it the cursor row.
    std::function<void(int row)> OnDoubleClick;

    // What a screen reader reads of a row: its text as drawn, and whether it plays.
    struct SpokenText {
        QString Text;
        bool Playing = false;
    };
    std::function<SpokenText(int row)> SpokenRow;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    int RowAt(int y) const;
    int MaxTop() const;
    void UpdateScrollBar();
    void MoveFocus(int row, Qt::KeyboardModifiers modifiers);
    void EnsureVisible(int row);
    // Tells a screen reader what changed: the rows, the selection, the cursor row.
    void TellAccessibility(bool rowsChanged, bool focusMoved);

    int count_ = 0;
    int top_ = 0;
    int focused_ = -1;
    int anchor_ = -1;
    int itemHeight_ = 16;
    int updateDepth_ = 0;
    int wheelRemainder_ = 0;
    // A press on a row that may become a drag, and the drag once it moved.
    QPoint pressAt_;
    int pressRow_ = -1;
    bool dragging_ = false;
    QTimer* dragScroll_ = nullptr;
    int dragY_ = 0;
    void DragStep();
    RowSelection selection_;
    SchemeValues scheme_;
    QFont listFont_;
};

}  // namespace mirvo
