#pragma once
// The whole program with its window on the audio library's test device, for
// the window tests: a playlist of `entries`, row 0 marked, the list focused.
#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "audio/TestDevice.h"
#include "fakes/TempDir.h"
#include "ui/MainApp.h"

namespace mirvo::test {

inline std::unique_ptr<MainApp> StartWindow(const TempDir& home,
                                            const std::vector<std::string>& entries,
                                            DesktopServices& desktop, HotKeyRegistrar& hotKeys,
                                            Dialogs& dialogs) {
    std::string list;
    for (const auto& e : entries) {
        list += e + "\r\n";
    }
    home.Write("Playlist.txt", list);
    home.Write("Mirvo.ini", "[General]\nDevice=" + std::to_string(audio::test::kDevice) +
                                "\n[Playlist]\nTrack=0\n");
    auto app = std::make_unique<MainApp>(home.path(), "", desktop, hotKeys, &dialogs);
    app->Start();
    QApplication::processEvents();  // the start tasks
    app->window.activateWindow();
    app->window.ListScreen->setFocus();
    QApplication::processEvents();
    return app;
}

}  // namespace mirvo::test
