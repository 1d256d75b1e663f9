#pragma once
// Puts the playing session behind the main window: the commands with their
// captions, shortcuts and menus, the keys of the playlist, the play bar, the
// progress bar, the status bar and the level meters.
#include <QDialog>
#include <QKeyCombination>
#include <QObject>
#include <QPointer>
#include <map>
#include <memory>
#include <vector>

#include "app/Application.h"
#include "playback/PlaybackView.h"
#include "playback/Session.h"
#include "player/Player.h"
#include "playlist/Editing.h"

class QAction;
class QMenu;

namespace mirvo {

class MainWindow;
class TFind_Form;
class TFavorites_Form;
class TTimer_Form;
class TFileInfo_Form;
class TReplaceFilenames_Form;
class TPreferences_Form;
class ScrobbleClient;
class TTransferFiles_Form;
class TRadio_Form;

class MainController final : public QObject, public PlaybackView {
    Q_OBJECT
  public:
    // `scrobbler`, when given, hears of what was played and takes the
    // account the settings dialog sets.
    MainController(MainWindow& window, Player& player, Application& application,
                   ScrobbleClient* scrobbler = nullptr);
    ~MainController() override;

    // Applies what the settings loader read to the parts this controller owns.
    void SettingsLoaded();

    Session& session() { return *session_; }
    Engine& engine() { return *engine_; }
    Commands& commands() { return *commands_; }
    LevelMeters& meters() { return *meters_; }
    // A named command (`PlayAc`, `EscAc`, ...); nullptr for an unknown name.
    QAction* Action(const std::string& name) const;
    // The playlist's context menu.
    QMenu* EntryMenu() const { return entryMenu_; }
    QMenu* TrayPopupMenu() const { return trayPopupMenu_; }
    QDialog* ShortcutsDialog() const { return shortcutsDialog_; }
    // "Properties...": the file's report, the renamer for several files.
    void FileInfoAcExecute();

    // PlaybackView
    void SetProgressMax(int maximum) override;
    int ProgressMax() const override;
    void SetProgressPosition(int position) override;
    int ProgressPosition() const override;
    void ShowVolume(int percent) override;
    void SetRecordVisible(bool visible) override;
    void SetTimeLabelLeft(int left) override;
    bool PlayBarVisible() const override;
    void SetRecordCaption(const std::string& caption) override;
    std::string ThousandsSeparator() const override;

    void EscAc();
    // The find dialog, with `typed` already in its edit.
    void OpenFind(const QString& typed);
    // The favourites after the menu's three fixed items, Ctrl+1..9 on the first nine.
    void RebuildFavoritesMenu();
    QMenu* FavoritesMenu() const { return favoritesMenu_; }
    void ShowShortcuts();
    void ShowDocumentation();
    // "&Settings...": made on first use, shown modally.
    void ShowPreferences();
    TPreferences_Form* PreferencesForm() const { return preferences_; }
    // While it shows, global hot keys do nothing.
    bool PreferencesShowing() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum CommandFlags : unsigned {
        kCheckable = 1,
        kHidden = 2,        // until its feature shows it
        kKeyShownOnly = 4,  // the menu shows the key; nothing routes it
    };
    // A command of the window: its action's object name, caption and key.
    struct Command {
        const char* name;
        const char* caption;
        QKeyCombination key;  // Qt::Key_unknown: none
        // Empty: the dispatcher's command of `key`.
        std::function<void()> run;
        unsigned flags = 0;
        std::vector<QKeyCombination> moreKeys = {};
        // Set for a check item that acts on each change of its state.
        std::function<void(bool checked)> toggled = {};
    };
    // Defined in MainCommands.cpp.
    std::vector<Command> CommandTable();
    void MakeCommands();
    // `key` triggers `action` wherever the main window has the keyboard.
    void Route(QKeyCombination key, QAction* action);
    void BuildMenus();
    void ConnectWindow();
    bool HandleKey(QKeyEvent* key, bool release);
    bool ListHasFocus() const;
    void ExploreFile();
    // Opens the folder in the file manager, or says that none could be started.
    void ShowFolder(const std::string& folder);
    void PropertiesAc();
    void SetViewChecks();

    MainWindow& window_;
    Player& p_;
    Application& application_;
    std::unique_ptr<Session> session_;
    Engine* engine_;
    Commands* commands_;
    LevelMeters* meters_;
    std::map<std::string, QAction*> actions_;
    // Command shortcuts by virtual-key code and modifiers; they win over the list's keys.
    std::map<std::pair<int, unsigned>, QAction*> shortcuts_;
    QMenu* entryMenu_ = nullptr;
    QMenu* trayPopupMenu_ = nullptr;
    QPointer<QDialog> shortcutsDialog_;
    TFind_Form* find_ = nullptr;
    void OpenFavoriteEvent(int position);
    void OrganizeFavorites();
    QMenu* favoritesMenu_ = nullptr;
    TFavorites_Form* favoritesForm_ = nullptr;
    TTimer_Form* timerForm_ = nullptr;
    QPointer<TFileInfo_Form> fileInfoForm_;
    QPointer<TReplaceFilenames_Form> renamerForm_;
    ScrobbleClient* scrobbler_;
    TPreferences_Form* preferences_ = nullptr;
    QPointer<TTransferFiles_Form> transferForm_;
    QPointer<TRadio_Form> radioForm_;
    DragState drag_;
};

}  // namespace mirvo
