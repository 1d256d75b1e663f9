#pragma once
// TFavorites_Form: "Organize favorites": rename, delete, explore, refresh.
#include <QDialog>
#include <string>
#include <vector>

#include "player/PlaylistContext.h"

class QListWidget;

namespace mirvo {

class TFavorites_Form final : public QDialog {
    Q_OBJECT
  public:
    // `explore` opens a folder in the desktop's file manager.
    TFavorites_Form(QWidget* parent, const PlaylistContext& ctx,
                    std::function<void(const std::string&)> explore);
    // Lists the favourites afresh and shows the dialog modally.
    void Open();

    void Rename();
    void Delete();
    void Refresh();

  private:
    PlaylistContext ctx_;
    std::function<void(const std::string&)> explore_;
    std::vector<std::string> files_;
    QListWidget* favoritesList_ = nullptr;
};

}  // namespace mirvo
