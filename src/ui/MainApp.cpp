#include "ui/MainApp.h"

#include <QPainter>
#include <QTimer>

#include "app/Preferences.h"
#include "playlist/Adding.h"
#include "playlist/PlaylistFiles.h"
#include "playlist/RowLook.h"
#include "playlist/Scanning.h"
#include "tools/FolderTree.h"
#include "ui/ColourSchemes.h"
#include "ui/HoxelListbox.h"
#include "ui/PlaylistRendering.h"

namespace mirvo {

MainApp::MainApp(const std::string& programFolder, const std::string& startArgument,
                 DesktopServices& desktop, HotKeyRegistrar& hotKeys, Dialogs* dialogs)
    : qtDialogs_(std::make_unique<QtDialogs>(&window, loop)),
      player(programFolder,
             Services{window, dialogs ? *dialogs : *qtDialogs_, loop, desktop, hotKeys}),
      application(player),
      scrobbler(programFolder + "/Scrobbles.txt"),
      controller(window, player, application, &scrobbler) {
    player.app.StartArgument = startArgument;
    player.shell = this;
    qtDialogs_->AttachPlayer(player);
    application.LoadPlaylistPath = [this](const std::string& path, int mode) {
        LoadPlaylistPath(player, path, mode);
    };
    window.ListScreen->OnDrawItem = [this](QPainter& painter, int row, const QRect& rect,
                                           bool selected) {
        ListScreenDrawItem(painter, player.playlist, player.engine.DeviceReady, *window.ListScreen,
                           row, rect, selected, window.height());
    };
    window.ListScreen->SpokenRow = [this](int row) {
        const RowLook look = DescribeRow(player.playlist, player.engine.DeviceReady,
                                         window.ListScreen->Scheme(), row, false);
        return THoxelListbox::SpokenText{QString::fromStdString(look.Text),
                                         row == player.playlist.PlayingIndex};
    };
    window.OnFilesDropped = [this](const std::vector<std::string>& paths) {
        DropFiles(player, paths);
    };
    window.OnFirstShow = [this] {
        application.FirstShow();
        ApplyStartScheme(player, *window.ListScreen, player.values.ActiveScheme);
    };
    window.OnGeometryChanged = [this](const Bounds& b, bool maximized) {
        application.WindowGeometryChanged(b, maximized);
    };
}

MainApp::~MainApp() {
    // The tray goes first, and nothing that goes after it calls up here.
    player.shell = nullptr;
}

void MainApp::SetTrayHint(const std::string& hint) {
    if (tray) {
        tray->SetHint(hint);
    }
}

void MainApp::SetUpMusicFolders() {
    AskMusicFolder(player.settings, player.playlist, player.values, player.ui.dialogs,
                   DesktopFolder());
}

void MainApp::MusicFoldersChanged() {
    qtDialogs_->MusicFoldersChanged();
}

void MainApp::Start() {
    application.CreateMainWindow();
    controller.SettingsLoaded();
    scrobbler.SetAccount(AccountFromSettings(player.values));
    window.show();
    tray = std::make_unique<TrayIcon>(window, player.values, controller.session(),
                                      controller.TrayPopupMenu());
    QTimer::singleShot(0, &window, [this] { application.StartTasks(); });
}

void MainApp::Shutdown() {
    window.hide();
    application.Shutdown();
}

}  // namespace mirvo
