// Every command of the main window as the user meets it: its caption, the key
// its menu shows, where the menus list it, and that the window takes that key.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <functional>

#include "fakes/StartedWindow.h"
#include "ui/HoxelListbox.h"

namespace mirvo {
namespace {

class CommandTable : public test::WindowTest {
  public:
    void SetUp() override { Open(); }
    MainController& controller() { return app->controller; }

    // "name|caption|key|flags": c checkable, h hidden, d disabled.
    static std::string Describe(const QAction* a) {
        std::string flags;
        flags += a->isCheckable() ? "c" : "";
        flags += a->isVisible() ? "" : "h";
        flags += a->isEnabled() ? "" : "d";
        return a->objectName().toStdString() + "|" + a->text().toStdString() + "|" +
               a->shortcut().toString(QKeySequence::PortableText).toStdString() + "|" + flags;
    }
    // Whether the window claims the key before Qt's shortcuts see it.
    bool Claimed(QKeyCombination key) {
        QKeyEvent event(QEvent::ShortcutOverride, key.key(), key.keyboardModifiers());
        event.ignore();
        QApplication::sendEvent(app->window.ListScreen, &event);
        return event.isAccepted();
    }
};

// Each menu with its items, submenus indented; then the commands no menu shows.
std::vector<std::string> Dump(const MainController& controller, const QMenuBar* bar) {
    std::vector<std::string> lines;
    const std::function<void(const QMenu*, const std::string&)> walk = [&](const QMenu* menu,
                                                                           const std::string& in) {
        for (const QAction* a : menu->actions()) {
            if (a->isSeparator()) {
                lines.push_back(in + "-");
            } else if (a->menu() != nullptr) {
                lines.push_back(in + a->text().toStdString() + ":");
                walk(a->menu(), in + "  ");
            } else {
                lines.push_back(in + CommandTable::Describe(a));
            }
        }
    };
    for (const QAction* a : bar->actions()) {
        lines.push_back(a->text().toStdString() + ":");
        walk(a->menu(), "  ");
    }
    lines.push_back("PopupMenu3:");
    walk(controller.EntryMenu(), "  ");
    lines.push_back("TrayPopupMenu:");
    walk(controller.TrayPopupMenu(), "  ");
    lines.push_back("Elsewhere:");
    for (const char* name : {"PropertiesAc", "MinimizeAc", "MaximizeAc", "SoftmuteAc", "Next2Ac",
                             "Previous2Ac", "CopyPlAc", "TerugspoelenAc", "ResetMixerAc"}) {
        lines.push_back("  " + CommandTable::Describe(controller.Action(name)));
    }
    return lines;
}

TEST_F(CommandTable, MenusShowEveryCommandWithItsCaptionAndKey) {
    const std::vector<std::string> expected = {
        "&File:",
        "  OpenDirAc|&Open folder...|F4|",
        "  AddDirAc|&Add folder...|F3|",
        "  OpenFileAc|Add &file(s)...|Ctrl+L|",
        "  AddRadioAc|Add &url...|Ctrl+R|",
        "  -",
        "  LoadPlayListAc|&Open playlist...|Ctrl+O|",
        "  SavePlaylistAc|&Save playlist...|Ctrl+S|",
        "  -",
        "  EscAc|&Exit|Esc|",
        "&Edit:",
        "  FileInfoAc|Properties...|F2|",
        "  DeleteAc|&Remove|Del|",
        "  RealDelAc|&Delete...|Shift+Del|",
        "  ExplorerFile|&Explore...|Ctrl+E|",
        "  &Tools:",
        "    RefreshAc|Check for new files|F5|",
        "    JumpAc|Select &playing item|`|",
        "    RenamerAc|&Multiple filename renamer||",
        "    SleepTimerAc|Sleep &timer...|Alt+T|",
        "    CopySelAc|Copy to MP3 player...|Ctrl+M|",
        "    CropAc|&Crop selected or queued items|Ctrl+Del|",
        "    BrokenFilesAc|Remove &missing files from list|Alt+Del|",
        "    DupAc|&Remove duplicates|Ctrl+Alt+D|",
        "    CutAc|Cu&t playlist entry|Ctrl+X|",
        "    CopyAc|&Copy playlist entry|Ctrl+C|",
        "    PastAc|&Paste playlist entry|Ctrl+V|",
        "    ListEntryAc|&Edit playlist entry...|Shift+F2|",
        "    NewListAc|&Clear list|Ctrl+N|",
        "    ClearShuffleHistoryAc|&Clear shuffle/queue history|Ctrl+Shift+C|",
        "    SuffleListRealAc|&Randomize list|Ctrl+Alt+S|",
        "    TotalTimeAc|Playing length selected item(s)...|Ctrl+Alt+T|",
        "    ExplorerExe|&Explore from application path|Ctrl+Alt+E|",
        "  -",
        "  FindAc|&Find...|Ctrl+F|",
        "&Play:",
        "  PlayAc|&Play|Return|",
        "  PauseAc|Pa&use|Space|",
        "  StopAc|&Stop|Num+0|",
        "  RecordStartAc|&Record|Num+*|hd",
        "  -",
        "  NextAc|&Next|Tab|",
        "  PrevAc|&Previous|Shift+Tab|",
        "  QueuAc|&Queue|Ins|",
        "&Favorites:",
        "  FavoritesAddAc|&Add playlist to favorites...|Ctrl+D|",
        "  FavoritesOrganize|&Organize favorites...|Ctrl+B|",
        "  -",
        "&Options:",
        "  PreferencesAc|&Settings...|F6|",
        "  -",
        "  ModeAc1|&Repeat list|Alt+N|c",
        "  ModeAc2|&Repeat file|Alt+R|c",
        "  ModeAc3|&Play list|Alt+L|c",
        "  ModeAc4|&Play file|Alt+F|c",
        "  ModeAc5|&Shuffle|Alt+S|c",
        "  PlayModeToggleAc|&Toggle|F9|",
        "&View:",
        "  View1Ac|View as &filename||c",
        "  View2Ac|View as full &path||c",
        "  View3Ac|View as &relative path||c",
        "  ViewFormatPathAc|&Toggle|F8|",
        "  -",
        "  ViewPlayBarAc|Controls||c",
        "  ViewProgressPanelAc|Progress||c",
        "  &Level meter:",
        "    Level1Ac|&No level meter||c",
        "    Level2Ac|&6 Led level meter||c",
        "    Level3Ac|&14 Led level meter||c",
        "    -",
        "    VUToggleAc|&Toggle||",
        "&Help:",
        "  ShortcutsAc|Shortcuts...|F1|",
        "  DocAc|&Documentation...|Ctrl+F1|",
        "  -",
        "  AboutAc|&About...||",
        "PopupMenu3:",
        "  QueuAc|&Queue|Ins|",
        "  DeleteAc|&Remove|Del|",
        "  ExplorerFile|&Explore...|Ctrl+E|",
        "  -",
        "  FileInfoAc|Properties...|F2|",
        "TrayPopupMenu:",
        "  |&100%||",
        "  |&60%||",
        "  |&30%||",
        "  |&0%||",
        "  -",
        "  PlayAc|&Play|Return|",
        "  PauseAc|Pa&use|Space|",
        "  |&Stop||",
        "  NextAc|&Next|Tab|",
        "  |Previous||",
        "  CopyPlAc|&Copy playing title||",
        "  -",
        "  |&Open||",
        "  |&Exit||",
        "Elsewhere:",
        "  PropertiesAc|Properties...|Alt+Return|",
        "  MinimizeAc|&Minimize to tray|F11|",
        "  MaximizeAc||F12|",
        "  SoftmuteAc|&Soft mute|NumLock|",
        "  Next2Ac|||",
        "  Previous2Ac||Shift+NumLock|",
        "  CopyPlAc|&Copy playing title||",
        "  TerugspoelenAc|Total rewind|Backspace|",
        "  ResetMixerAc|Reset sounddriver mixer|Ctrl+Space|",
    };
    EXPECT_EQ(Dump(controller(), app->window.menuBar()), expected);
}

TEST_F(CommandTable, TheWindowTakesTheKeysItsCommandsShow) {
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, alt = Qt::AltModifier,
                                shift = Qt::ShiftModifier, pad = Qt::KeypadModifier;
    const QKeyCombination taken[] = {ctrl | Qt::Key_L,
                                     Qt::Key_F4,
                                     Qt::Key_F3,
                                     ctrl | Qt::Key_R,
                                     ctrl | Qt::Key_O,
                                     ctrl | Qt::Key_S,
                                     Qt::Key_Escape,
                                     Qt::Key_F5,
                                     Qt::Key_F6,
                                     Qt::Key_F1,
                                     ctrl | Qt::Key_F1,
                                     Qt::Key_Return,
                                     Qt::Key_Space,
                                     pad | Qt::Key_0,
                                     Qt::Key_Tab,
                                     shift | Qt::Key_Tab,
                                     Qt::Key_Backspace,
                                     Qt::Key_QuoteLeft,
                                     alt | Qt::Key_N,
                                     alt | Qt::Key_R,
                                     alt | Qt::Key_L,
                                     alt | Qt::Key_F,
                                     alt | Qt::Key_S,
                                     Qt::Key_F9,
                                     pad | Qt::Key_Asterisk,
                                     Qt::Key_Insert,
                                     Qt::Key_Slash,
                                     pad | Qt::Key_Slash,
                                     Qt::Key_Delete,
                                     shift | Qt::Key_Delete,
                                     ctrl | Qt::Key_Delete,
                                     alt | Qt::Key_Delete,
                                     ctrl | alt | Qt::Key_D,
                                     ctrl | Qt::Key_C,
                                     ctrl | Qt::Key_X,
                                     ctrl | Qt::Key_V,
                                     shift | Qt::Key_F2,
                                     ctrl | Qt::Key_N,
                                     ctrl | shift | Qt::Key_C,
                                     ctrl | alt | Qt::Key_S,
                                     ctrl | Qt::Key_F,
                                     ctrl | Qt::Key_D,
                                     ctrl | Qt::Key_B,
                                     Qt::Key_F2,
                                     alt | Qt::Key_Return,
                                     ctrl | Qt::Key_E,
                                     ctrl | alt | Qt::Key_E,
                                     Qt::Key_F8,
                                     ctrl | Qt::Key_Space,
                                     ctrl | alt | Qt::Key_T,
                                     alt | Qt::Key_T,
                                     ctrl | Qt::Key_M,
                                     Qt::Key_F11,
                                     Qt::Key_F12};
    for (const QKeyCombination key : taken) {
        EXPECT_TRUE(Claimed(key)) << QKeySequence(key).toString().toStdString();
    }
    // Shown in a menu only, or the list's own keys.
    const QKeyCombination left[] = {Qt::Key_NumLock, shift | Qt::Key_NumLock,
                                    Qt::Key_Up,      Qt::Key_Left,
                                    Qt::Key_A,       ctrl | Qt::Key_1};
    for (const QKeyCombination key : left) {
        EXPECT_FALSE(Claimed(key)) << QKeySequence(key).toString().toStdString();
    }
}

}  // namespace
}  // namespace mirvo
