#pragma once
// TFileInfo_Form: the report of one file (folder, size, format, length, tags)
// and a field to rename it.
#include <QDialog>

#include "player/PlaylistContext.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace mirvo {

class Engine;

class TFileInfo_Form final : public QDialog {
    Q_OBJECT
  public:
    TFileInfo_Form(QWidget* parent, const PlaylistContext& ctx, Engine& engine);
    // Shows entry `index` modally; it is renamed on OK.
    void ShowEntry(int index);

  private:
    void FormShow();
    void Button1Click();

    PlaylistContext ctx_;
    Engine& engine_;
    int index_ = -1;
    QLineEdit* nameEdit_ = nullptr;
    QPushButton* tidyNameButton_ = nullptr;
    QPlainTextEdit* reportMemo_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace mirvo
