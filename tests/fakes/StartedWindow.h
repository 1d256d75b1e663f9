#pragma once
// The whole program with its window on the audio library's test device, for
// the window tests: a playlist of `entries`, row 0 marked, the list focused.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "audio/Audio.h"
#include "audio/TestDevice.h"
#include "fakes/FakeServices.h"
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

// A fixture around one such window on fakes of the desktop, its files in
// `home`; the window goes before the audio library.
class WindowTest : public ::testing::Test {
  protected:
    void Open() { app = StartWindow(home, files, desktop, hotKeys, dialogs); }
    void TearDown() override {
        app.reset();
        audio::Free();
    }

    TempDir home;
    FakeDesktop desktop;
    FakeHotKeys hotKeys;
    FakeDialogs dialogs;
    std::vector<std::string> files;
    std::unique_ptr<MainApp> app;
};

}  // namespace mirvo::test
