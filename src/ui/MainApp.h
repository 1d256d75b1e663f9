#pragma once
// One running player with its window: what main builds after the hand-over
// checks, and what the window tests build with fakes for the desktop.
#include <memory>
#include <string>

#include "app/Application.h"
#include "player/Player.h"
#include "scrobble/Scrobbling.h"
#include "ui/MainController.h"
#include "ui/MainWindow.h"
#include "ui/QtServices.h"
#include "ui/Tray.h"

namespace mirvo {

// Owns the window's shell: the tray icon, the folder browser and the music
// folder setup the logic asks for.
class MainApp final : public WindowShell {
  public:
    // `dialogs` replaces the Qt message boxes when given (tests answer them).
    MainApp(const std::string& programFolder, const std::string& startArgument,
            DesktopServices& desktop, HotKeyRegistrar& hotKeys, Dialogs* dialogs = nullptr);
    ~MainApp() override;
    MainApp(const MainApp&) = delete;
    MainApp& operator=(const MainApp&) = delete;

    // Loads settings and playlist, shows the window and queues the start tasks.
    void Start();
    // After the event loop: hides the window, saves the playlist and settings.
    void Shutdown();

    // WindowShell
    void SetTrayHint(const std::string& hint) override;
    void SetUpMusicFolders() override;
    void MusicFoldersChanged() override;

    MainWindow window;

  private:
    std::unique_ptr<QtDialogs> qtDialogs_;

  public:
    QtEventLoop loop;
    Player player;
    Application application;
    ScrobbleClient scrobbler;
    MainController controller;
    // Made once the window is up.
    std::unique_ptr<TrayIcon> tray;
};

}  // namespace mirvo
