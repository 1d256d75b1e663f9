#pragma once
// TFind_Form: "Find a file in current list". Every keystroke filters the
// whole list; the dialog's list is virtual, so a million matches cost no more
// to show than twenty.
#include <QAbstractListModel>
#include <QDialog>

#include "player/PlaylistContext.h"
#include "playlist/Find.h"

class QLineEdit;
class QListView;
class QPushButton;

namespace mirvo {

class FindRows final : public QAbstractListModel {
    Q_OBJECT
  public:
    FindRows(const PlaylistState& playlist, const std::vector<std::int32_t>& matches)
        : playlist_(playlist), matches_(matches) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The rows were filtered again or are shown another way.
    void Reset(int viewMode);

  private:
    const PlaylistState& playlist_;
    const std::vector<std::int32_t>& matches_;
    int viewMode_ = 1;
};

class TFind_Form final : public QDialog {
    Q_OBJECT
  public:
    TFind_Form(QWidget* parent, const PlaylistContext& ctx);
    // Shows the dialog modally with `initial` typed, in the playlist's look;
    // a list of fewer than two entries opens nothing.
    void Open(const QString& initial, const QWidget& playlist);
    int ViewMode() const { return viewMode_; }
    int SelectedRow() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void Refilter();
    void SelectRow(int row);
    std::int32_t Chosen() const;
    void PlayItem(bool asOk);
    void SelectItemInList();
    void QueueItem();
    void ToggleView();

    PlaylistContext ctx_;
    FindFilter filter_;
    FindRows* rows_;
    int viewMode_ = 1;
    QLineEdit* searchEdit_ = nullptr;
    QListView* matchList_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace mirvo
