#pragma once
// TReplaceFilenames_Form: renames the selected files at once by find and
// replace, a prefix or capitals, with a preview of the new names.
#include <QDialog>

#include "player/PlaylistContext.h"
#include "tools/FilenameRenamer.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace mirvo {

class TReplaceFilenames_Form final : public QDialog {
    Q_OBJECT
  public:
    TReplaceFilenames_Form(QWidget* parent, const PlaylistContext& ctx);
    // Shows the dialog modally for the selected entries.
    void ShowSelection();

  private:
    void FormShow();
    void Preview();
    void Button1Click();
    void Button3Click();

    PlaylistContext ctx_;
    RenameSources sources_;
    // Once "&Replace all" was used, the dialog opens with the first name to find.
    bool renamerUsed_ = false;
    QLineEdit* findEdit_ = nullptr;
    QLineEdit* replaceEdit_ = nullptr;
    QPlainTextEdit* previewMemo_ = nullptr;
    QPushButton* replaceAllButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QPushButton* tipButton_ = nullptr;
};

}  // namespace mirvo
