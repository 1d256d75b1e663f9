#pragma once
// TDir_Form: the folder browser of the open and add folder commands. Roots
// are "/", the home folder and the mounted volumes, or one music folder;
// subfolders are read on a worker thread when a branch opens.
#include <QDialog>
#include <map>
#include <optional>
#include <string>

#include "player/Interfaces.h"
#include "player/PlaylistContext.h"
#include "tools/FolderTree.h"

class QAction;
class QCheckBox;
class QColor;
class QComboBox;
class QFont;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace mirvo {

class TDir_Form final : public QDialog {
    Q_OBJECT
  public:
    // `lastOpenedDrive` is the volume the browser opened last, kept for the
    // settings file; `mountsFile` lists the mounted volumes, as
    // /proc/self/mounts does.
    TDir_Form(QWidget* parent, const PlaylistContext& ctx, std::string& lastOpenedDrive,
              std::string mountsFile = "/proc/self/mounts");

    // Shows the browser modally, starting at `folder` the first time.
    std::optional<FolderChoice> Choose(const std::string& caption, const std::string& folder,
                                       bool includeSubfolders, const Dialogs::QuickAdd& quickAdd);

    // The folder a node stands for; empty for the placeholders and notes.
    std::string NodePath(const QTreeWidgetItem* item) const;
    // A listing or a path selection is under way.
    bool Loading() const { return !pending_.empty() || selecting_.has_value(); }

    void accept() override;
    // Refills the root combo box from the settings and builds the tree anew.
    void MusicFoldersChanged();

    // The tree in the playlist's font and colours.
    void SetTreeLook(const QFont& font, const QColor& background, const QColor& text);

    QCheckBox* CheckSubDirs = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* F5Ac = nullptr;
    QAction* DroplistAc = nullptr;
    QAction* ExplorerAc = nullptr;
    QAction* QuickAc = nullptr;
    QAction* maxac = nullptr;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Pending {
        QTreeWidgetItem* node;
        QTreeWidgetItem* more;  // the "more folders" line being replaced, if any
    };
    struct Selecting {
        QTreeWidgetItem* node;
        std::vector<std::string> rest;
    };

    void FormCreate();
    void Prepare();
    void BuildRoots();
    void SelectPath(std::string path);
    void ContinueSelect();
    void Expand(QTreeWidgetItem* node);
    void ShowMore(QTreeWidgetItem* more);
    void Loaded(FolderListing listing);
    void ComboBox1Change(int index);
    void F5AcExecute();
    void ExplorerAcExecute();
    void QuickAcExecute();
    void UpdateCursor();

    PlaylistContext ctx_;
    std::string& lastOpenedDrive_;
    std::string mountsFile_;
    std::string lastOpenedDir_;
    Dialogs::QuickAdd quickAdd_;
    bool initialised_ = false;
    bool busy_ = false;
    bool quickAdded_ = false;
    std::map<std::uint64_t, Pending> pending_;
    std::optional<Selecting> selecting_;
    QComboBox* rootCombo_ = nullptr;
    QTreeWidget* folderTree_ = nullptr;
    // Last: its worker posts to this dialog until it is gone.
    FolderLister lister_;
};

}  // namespace mirvo
