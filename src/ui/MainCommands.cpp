// The main window's commands, declared once: each one's name, caption, key and
// action. The menus show the key, the key router takes it, and a command
// without an action of its own runs the dispatcher's command of its key.
#include <QAction>
#include <QKeySequence>

#include "playlist/Adding.h"
#include "playlist/Editing.h"
#include "playlist/Favorites.h"
#include "playlist/Model.h"
#include "playlist/PlaylistFiles.h"
#include "playlist/Scanning.h"
#include "system/Mixer.h"
#include "tools/TotalTime.h"
#include "ui/KeyMap.h"
#include "ui/MainController.h"
#include "ui/MainWindow.h"
#include "ui/TimerForm.h"
#include "ui/TransferFilesForm.h"

namespace mirvo {

std::vector<MainController::Command> MainController::CommandTable() {
    Player& p = p_;
    const auto mode = [this](int m) {
        return [this, m] {
            commands_->SetPlayMode(m);
            SetViewChecks();
        };
    };
    const auto level = [this](int style) {
        return [this, style] {
            meters_->SetLevelMeterStyle(style);
            SetViewChecks();
        };
    };
    const auto view = [this](bool SettingsValues::*value, const char* key,
                             void (MainWindow::*show)(bool)) {
        return [this, value, key, show](bool on) {
            p_.values.*value = on;
            p_.settings.WriteBool("Window", key, on);
            (window_.*show)(on);
        };
    };
    const auto noKey = QKeyCombination();
    // As flags, so that "modifier | key" makes a key combination.
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, alt = Qt::AltModifier,
                                shift = Qt::ShiftModifier, pad = Qt::KeypadModifier;
    return {
        {"OpenFileAc", "Add &file(s)...", ctrl | Qt::Key_L, [&p] { OpenFileAc(p); }},
        {"OpenDirAc", "&Open folder...", Qt::Key_F4, [&p] { OpenDirAc(p); }},
        {"AddDirAc", "&Add folder...", Qt::Key_F3, [&p] { AddDirAc(p); }},
        {"AddRadioAc", "Add &url...", ctrl | Qt::Key_R,
         [this] { session_->stations().AddRadioAcExecute(); }},
        {"LoadPlayListAc", "&Open playlist...", ctrl | Qt::Key_O, [&p] { LoadPlayListAc(p); }},
        {"SavePlaylistAc", "&Save playlist...", ctrl | Qt::Key_S, [&p] { SavePlaylistAc(p); }},
        {"EscAc", "&Exit", Qt::Key_Escape, [this] { EscAc(); }},
        // F5 rescans the folder the list came from, as the shortcut list promises.
        {"RefreshAc", "Check for new files", Qt::Key_F5, [&p] { Refresh(p); }},
        {"PreferencesAc", "&Settings...", Qt::Key_F6, [this] { ShowPreferences(); }},
        {"ShortcutsAc", "Shortcuts...", Qt::Key_F1, [this] { ShowShortcuts(); }},
        {"DocAc", "&Documentation...", ctrl | Qt::Key_F1, [this] { ShowDocumentation(); }},
        {"AboutAc", "&About...", noKey,
         [this] {
             p_.ui.dialogs.ShowNotice(
                 NoticeKind::Information,
                 p_.app.ProgramTitle + "\r\rProgram folder: " + p_.ProgramFolder);
         }},

        {"PlayAc", "&Play", Qt::Key_Return, nullptr},
        {"PauseAc", "Pa&use", Qt::Key_Space, nullptr},
        {"StopAc", "&Stop", pad | Qt::Key_0, nullptr},
        {"NextAc", "&Next", Qt::Key_Tab, nullptr},
        {"PrevAc", "&Previous", shift | Qt::Key_Tab, nullptr},
        {"TerugspoelenAc", "Total rewind", Qt::Key_Backspace, nullptr},
        {"JumpAc", "Select &playing item", Qt::Key_QuoteLeft, [&p] { JumpAc(p); }},
        {"ModeAc1", "&Repeat list", alt | Qt::Key_N, mode(0), kCheckable},
        {"ModeAc2", "&Repeat file", alt | Qt::Key_R, mode(1), kCheckable},
        {"ModeAc3", "&Play list", alt | Qt::Key_L, mode(2), kCheckable},
        {"ModeAc4", "&Play file", alt | Qt::Key_F, mode(3), kCheckable},
        {"ModeAc5", "&Shuffle", alt | Qt::Key_S, mode(4), kCheckable},
        {"PlayModeToggleAc", "&Toggle", Qt::Key_F9,
         [this] {
             commands_->TogglePlayMode();
             SetViewChecks();
         }},
        // Shown by the recorder once a station plays.
        {"RecordStartAc", "&Record", pad | Qt::Key_Asterisk,
         [this] { engine_->recorder().RecordStartAcExecute(); }, kHidden},
        // "/" and the keypad's "/" queue too.
        {"QueuAc",
         "&Queue",
         Qt::Key_Insert,
         [&p] { QueuAc(p); },
         0,
         {Qt::Key_Slash, pad | Qt::Key_Slash}},
        {"DeleteAc", "&Remove", Qt::Key_Delete, nullptr},
        {"RealDelAc", "&Delete...", shift | Qt::Key_Delete, [&p] { RealDelAc(p); }},
        {"CropAc", "&Crop selected or queued items", ctrl | Qt::Key_Delete, [&p] { CropAc(p); }},
        {"BrokenFilesAc", "Remove &missing files from list", alt | Qt::Key_Delete,
         [&p] { BrokenFilesAc(p); }},
        {"DupAc", "&Remove duplicates", ctrl | alt | Qt::Key_D, [&p] { DupAc(p); }},
        {"CopyAc", "&Copy playlist entry", ctrl | Qt::Key_C, [&p] { CopyAc(p); }},
        {"CutAc", "Cu&t playlist entry", ctrl | Qt::Key_X, [&p] { CutAc(p); }},
        {"PastAc", "&Paste playlist entry", ctrl | Qt::Key_V, [&p] { PastAc(p); }},
        {"ListEntryAc", "&Edit playlist entry...", shift | Qt::Key_F2, [&p] { ListEntryAc(p); }},
        {"NewListAc", "&Clear list", ctrl | Qt::Key_N, [&p] { NewListAc(p); }},
        {"ClearShuffleHistoryAc", "&Clear shuffle/queue history", ctrl | shift | Qt::Key_C,
         [&p] { ClearShuffleHistoryAc(p); }},
        {"SuffleListRealAc", "&Randomize list", ctrl | alt | Qt::Key_S,
         [&p] { SuffleListRealAc(p); }},
        {"CopyPlAc", "&Copy playing title", noKey, [&p] { CopyPlAc(p); }},
        {"FindAc", "&Find...", ctrl | Qt::Key_F, [this] { OpenFind({}); }},
        {"FavoritesAddAc", "&Add playlist to favorites...", ctrl | Qt::Key_D,
         [this] {
             if (AddPlaylistToFavorites(p_)) {
                 RebuildFavoritesMenu();
             }
         }},
        {"FavoritesOrganize", "&Organize favorites...", ctrl | Qt::Key_B,
         [this] { OrganizeFavorites(); }},
        {"FileInfoAc", "Properties...", Qt::Key_F2, [this] { FileInfoAcExecute(); }},
        {"PropertiesAc", "Properties...", alt | Qt::Key_Return, [this] { PropertiesAc(); }},
        {"ExplorerFile", "&Explore...", ctrl | Qt::Key_E, [this] { ExploreFile(); }},
        {"ExplorerExe", "&Explore from application path", ctrl | alt | Qt::Key_E,
         [this] { ShowFolder(p_.ProgramFolder); }},
        {"ViewFormatPathAc", "&Toggle", Qt::Key_F8, [&p] { ViewFormatPathAc(p); }},
        {"ViewPlayBarAc",
         "Controls",
         noKey,
         nullptr,
         kCheckable,
         {},
         view(&SettingsValues::PlayBar, "PlayBar", &MainWindow::SetPlayBarVisible)},
        {"ViewProgressPanelAc",
         "Progress",
         noKey,
         nullptr,
         kCheckable,
         {},
         view(&SettingsValues::ProgressPanel, "ProgressPanel",
              &MainWindow::SetProgressPanelVisible)},
        {"VUToggleAc", "&Toggle", noKey,
         [this] {
             meters_->ToggleLevelMeterStyle();
             SetViewChecks();
         }},
        {"Level1Ac", "&No level meter", noKey, level(0), kCheckable},
        {"Level2Ac", "&6 Led level meter", noKey, level(1), kCheckable},
        {"Level3Ac", "&14 Led level meter", noKey, level(2), kCheckable},
        {"ResetMixerAc", "Reset sounddriver mixer", ctrl | Qt::Key_Space,
         [this] { ResetSoundMixer(p_.ui.dialogs, *engine_); }},
        {"TotalTimeAc", "Playing length selected item(s)...", ctrl | alt | Qt::Key_T,
         [&p] { TotalTimeAcExecute(p); }},
        {"SleepTimerAc", "Sleep &timer...", alt | Qt::Key_T,
         [this] {
             if (!timerForm_) {
                 // Nobody is there to answer: a quit that cannot ask.
                 timerForm_ = new TTimer_Form(&window_, p_.ui, p_.engine, *engine_,
                                              [this] { p_.ui.loop.Quit(); });
             }
             timerForm_->exec();
         }},
        {"CopySelAc", "Copy to MP3 player...", ctrl | Qt::Key_M,
         [this] {
             if (!transferForm_) {
                 transferForm_ = new TTransferFiles_Form(&window_, p_);
             }
             transferForm_->exec();
         }},
        {"MinimizeAc", "&Minimize to tray", Qt::Key_F11, [this] { window_.showMinimized(); }},
        {"MaximizeAc", "", Qt::Key_F12,
         [this] { window_.isMaximized() ? window_.showNormal() : window_.showMaximized(); }},
        // The menu item runs the properties command, which opens the renamer on a
        // multiple selection.
        {"RenamerAc", "&Multiple filename renamer", noKey, [this] { FileInfoAcExecute(); }},
        // Kept for the keys they show: soft mute lives on the Pause key.
        {"SoftmuteAc", "&Soft mute", Qt::Key_NumLock, [] {}, kKeyShownOnly},
        {"Next2Ac", "", noKey, [] {}},
        {"Previous2Ac", "", shift | Qt::Key_NumLock, [] {}, kKeyShownOnly},
    };
}

void MainController::MakeCommands() {
    for (Command& command : CommandTable()) {
        const bool hasKey = command.key.key() != Qt::Key_unknown;
        auto* action = new QAction(QString::fromUtf8(command.caption), &window_);
        action->setObjectName(QLatin1String(command.name));
        // The keys are ours to route (see eventFilter); the menus only show them.
        action->setShortcut(hasKey ? QKeySequence(command.key) : QKeySequence());
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setCheckable((command.flags & kCheckable) != 0);
        if (command.toggled) {
            connect(action, &QAction::toggled, this, std::move(command.toggled));
        } else {
            if (!command.run) {
                const unsigned modifiers = ModifierBits(command.key.keyboardModifiers());
                const int key = VirtualKey(command.key.key(),
                                           command.key.keyboardModifiers() & Qt::KeypadModifier);
                command.run = [this, key, modifiers] { commands_->DispatchKey(key, modifiers); };
            }
            connect(action, &QAction::triggered, this, [run = std::move(command.run)] { run(); });
        }
        if ((command.flags & kHidden) != 0) {
            action->setVisible(false);
            action->setEnabled(false);
        }
        if (hasKey && (command.flags & kKeyShownOnly) == 0) {
            Route(command.key, action);
        }
        for (const QKeyCombination more : command.moreKeys) {
            Route(more, action);
        }
        actions_[command.name] = action;
    }
    // The window owns the view-format actions: the list model checks them.
    QAction* views[] = {window_.View1Ac, window_.View2Ac, window_.View3Ac};
    void (*viewRoutines[])(const PlaylistContext&) = {View1Ac, View2Ac, View3Ac};
    for (int i = 0; i < 3; ++i) {
        connect(views[i], &QAction::triggered, this, [this, r = viewRoutines[i]] { r(p_); });
        actions_[views[i]->objectName().toStdString()] = views[i];
    }
}

void MainController::Route(QKeyCombination key, QAction* action) {
    const Qt::KeyboardModifiers modifiers = key.keyboardModifiers();
    shortcuts_[{VirtualKey(key.key(), modifiers & Qt::KeypadModifier), ModifierBits(modifiers)}] =
        action;
}

}  // namespace mirvo
