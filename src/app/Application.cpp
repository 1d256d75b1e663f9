#include "app/Application.h"

#include <malloc.h>

#include "audio/Audio.h"
#include "support/Files.h"

namespace mirvo {
namespace {

// A window that could not be seen on this screen starts at a safe place.
Bounds GuardOffScreen(const Bounds& b, const Bounds& screen) {
    const bool off = b.Left > screen.Width || b.Top > screen.Height || b.Width > screen.Width ||
                     b.Height > screen.Height || b.Width <= 0 || b.Height <= 0 ||
                     b.Left + b.Width <= 0 || b.Top + b.Height <= 0;
    return off ? Bounds{20, 20, 300, 400} : b;
}

}  // namespace

void TrimWorkingSet() {
    malloc_trim(0);
}

void Application::CreateMainWindow() {
    MainView& view = p_.ui.view;
    if (audio::GetVersion() != 2) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Warning,
                                 "Mirvo is build for bass.dll version 2.0!\r\r"
                                 "Another version has been found.");
    }
    LoadSettings(p_);
    view.SetWindowBounds(GuardOffScreen(view.WindowBounds(), view.ScreenBounds()));
    if (p_.values.Maximized) {
        view.Maximize();
    }
    p_.engine.MutedVolume = -1;
    view.SetCaption(p_.app.ProgramTitle);
    view.SetTimeLabel("");

    p_.playlist.PlaylistEntries.clear();
    if (p_.app.StartArgument.empty()) {
        p_.app.StartEnqueueOption = -1;
    }
    if (LoadPlaylistPath) {
        if (p_.app.StartArgument.empty()) {
            LoadPlaylistPath(JoinPath(p_.ProgramFolder, "Playlist.txt"), 1);
        } else {
            LoadPlaylistPath(p_.app.StartArgument, 2);
        }
    }
}

void Application::FirstShow() {
    p_.app.NormalBounds = p_.ui.view.WindowBounds();
    p_.app.WindowShown = true;
}

void Application::StartTasks() {
    p_.ui.loop.ProcessPendingMessages();
    TrimWorkingSet();
}

void Application::ReceivePath(const std::string& text) {
    if (text.size() > 1 && LoadPlaylistPath) {
        LoadPlaylistPath(text, 3);
    }
}

void Application::WindowGeometryChanged(const Bounds& bounds, bool maximized) {
    if (!p_.app.WindowShown) {
        return;
    }
    if (maximized) {
        SaveSettings(p_, true);
    } else {
        p_.app.NormalBounds = bounds;
    }
}

void Application::Shutdown() {
    SaveSettings(p_, false);
}

}  // namespace mirvo
