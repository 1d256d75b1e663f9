#include "ui/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <algorithm>
#include <map>

#include "ui/HoxelListbox.h"
#include "ui/HoxelProgress.h"

namespace mirvo {
namespace {

// One row of the playlist; its text is asked for when it is read.
class RowAccessible final : public QAccessibleInterface {
  public:
    RowAccessible(THoxelListbox* list, int row) : list_(list), row_(row) {}

    bool isValid() const override { return list_ && row_ < list_->RowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return list_ ? QAccessible::queryAccessibleInterface(list_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QString text(QAccessible::Text t) const override {
        if (!isValid() || !list_->SpokenRow) {
            return {};
        }
        const THoxelListbox::SpokenText spoken = list_->SpokenRow(row_);
        if (t == QAccessible::Name) {
            return spoken.Text;
        }
        if (t == QAccessible::Description && spoken.Playing) {
            return QStringLiteral("playing");
        }
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) {
            return {};
        }
        const QWidget* viewport = list_->viewport();
        const QRect row(0, (row_ - list_->TopRow()) * list_->ItemHeight(), viewport->width(),
                        list_->ItemHeight());
        return QRect(viewport->mapToGlobal(row.topLeft()), row.size());
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.selectable = true;
        s.focusable = true;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const std::vector<int> selected = list_->SelectedRows();
        s.selected = std::binary_search(selected.begin(), selected.end(), row_);
        s.focused = list_->hasFocus() && list_->FocusedRow() == row_;
        const int top = list_->TopRow();
        s.offscreen = row_ < top || row_ >= top + std::max(1, list_->VisibleRows());
        return s;
    }

  private:
    QPointer<THoxelListbox> list_;
    int row_;
};

// The playlist: a list whose rows are made when a reader asks for them.
class ListAccessible final : public QAccessibleWidget {
  public:
    explicit ListAccessible(THoxelListbox* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~ListAccessible() override { Forget(); }

    int childCount() const override { return List()->RowCount(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= List()->RowCount()) {
            return nullptr;
        }
        const auto known = rows_.find(index);
        if (known != rows_.end()) {
            if (QAccessibleInterface* row = QAccessible::accessibleInterface(known->second)) {
                return row;
            }
        }
        // A reader walking a huge list does not keep every row alive.
        if (rows_.size() >= kRowsKept) {
            Forget();
        }
        auto* row = new RowAccessible(List(), index);
        rows_[index] = QAccessible::registerAccessibleInterface(row);
        return row;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (const auto& [index, id] : rows_) {
            if (QAccessible::accessibleInterface(id) == child) {
                return index;
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint at = List()->viewport()->mapFromGlobal(QPoint(x, y));
        if (!List()->viewport()->rect().contains(at)) {
            return nullptr;
        }
        return child(List()->TopRow() + at.y() / std::max(1, List()->ItemHeight()));
    }
    QAccessibleInterface* focusChild() const override {
        return List()->hasFocus() ? child(List()->FocusedRow()) : nullptr;
    }

  private:
    static constexpr std::size_t kRowsKept = 4096;
    THoxelListbox* List() const { return static_cast<THoxelListbox*>(widget()); }
    void Forget() const {
        for (const auto& [index, id] : rows_) {
            QAccessible::deleteAccessibleInterface(id);
        }
        rows_.clear();
    }
    mutable std::map<int, QAccessible::Id> rows_;
};

// A bar: its position as a value with a text, or a decoration that is not read.
class BarAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    // Made when the widget is first seen, perhaps before it is told what it is.
    explicit BarAccessible(THoxelProgress* bar) : QAccessibleWidget(bar, QAccessible::Graphic) {}

    QAccessible::Role role() const override {
        switch (Bar()->Spoken()) {
            case THoxelProgress::Speech::Slider:
                return QAccessible::Slider;
            case THoxelProgress::Speech::Progress:
                return QAccessible::ProgressBar;
            case THoxelProgress::Speech::None:
                break;
        }
        return QAccessible::Graphic;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface &&
            Bar()->Spoken() != THoxelProgress::Speech::None) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        // AT-SPI has no text for a value; the description carries it.
        if (t == QAccessible::Value ||
            (t == QAccessible::Description && Bar()->accessibleDescription().isEmpty())) {
            return Bar()->SpokenValue();
        }
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return static_cast<qlonglong>(Bar()->Position()); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return static_cast<qlonglong>(Bar()->Max()); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

  private:
    THoxelProgress* Bar() const { return static_cast<THoxelProgress*>(widget()); }
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* list = qobject_cast<THoxelListbox*>(object)) {
        return new ListAccessible(list);
    }
    if (auto* bar = dynamic_cast<THoxelProgress*>(object)) {
        return new BarAccessible(bar);
    }
    return nullptr;
}

}  // namespace

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}

}  // namespace mirvo
