#include "app/Application.h"

#include <cstdlib>
#include <utility>

#include "app/CommandLine.h"
#include "audio/Audio.h"
#include "playback/Commands.h"
#include "playback/Engine.h"
#include "playlist/Favorites.h"
#include "playlist/Model.h"
#include "playlist/PlaylistFiles.h"
#include "support/Files.h"
#include "support/Memory.h"
#include "system/Associations.h"

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

void Application::CreateMainWindow() {
    MainView& view = p_.ui.view;
    if (audio::GetVersion() != 2) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Warning,
                                 "Mirvo is build for bass.dll version 2.0!\r\r"
                                 "Another version has been found.");
    }
    // Saves killed half-way (a crash, a power cut) leave their temporary files,
    // and a favourite's would show in the menu.
    RemoveStaleTemporaryFiles(p_.ProgramFolder);
    RemoveStaleTemporaryFiles(FavoritesFolder(p_));
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
    loading_ = true;
    if (LoadPlaylistPath) {
        if (p_.app.StartArgument.empty()) {
            LoadPlaylistPath(JoinPath(p_.ProgramFolder, "Playlist.txt"), 1);
        } else {
            LoadPlaylistPath(p_.app.StartArgument, 2);
        }
    }
    LoadWaitingPaths();
}

void Application::FirstShow() {
    p_.app.NormalBounds = p_.ui.view.WindowBounds();
    ShowPlayingEntry(p_);
    SelectOnly(p_.ui.view, p_.playlist.PlayingIndex);
    p_.app.WindowShown = true;
}

Application::Application(Player& player)
    : p_(player), update_(player, [this] { return PlayingStatus(); }) {}

std::string Application::PlayingStatus() const {
    if (engine_ == nullptr) {
        return {};
    }
    switch (engine_->OutputState()) {
        case audio::kActiveStopped:
            return {};
        case audio::kActivePaused:
            return "Paused";
        default: {
            return p_.playback != nullptr ? p_.playback->FormatDescription(p_.playlist.PlayingEntry)
                                          : std::string();
        }
    }
}

void Application::StartTasks() {
    p_.ui.loop.ProcessPendingMessages();
    if (engine_ != nullptr) {
        // Probe the device once, then leave it free until the first track.
        engine_->InitDevice();
        engine_->StopPlayback(true);
        const int playing = p_.playlist.PlayingIndex;
        if (static_cast<unsigned>(p_.app.StartEnqueueOption) < 3) {
            engine_->PlayEntry(playing);
        } else if (p_.values.Autoresume) {
            const int state = p_.settings.ReadInteger("Playlist", "ResumeState", 0);
            if (state > 0) {
                engine_->PlayEntry(playing);
                engine_->SeekTo(
                    engine_->MsToBytes(p_.settings.ReadInteger("Playlist", "ResumePos", 0)));
                if (state == 1) {
                    commands_->DispatchKey(kKeySpace, kNoModifier);
                } else if (state == 2) {
                    const audio::Handle out = engine_->OutputChannel();
                    audio::ChannelSetAttributes(out, -1, 0, -101);
                    audio::ChannelSlideAttributes(out, -1, Engine::VolumeCurve(p_.engine.Volume),
                                                  -101, 2000);
                }
            }
        }
    }
    const std::string today = TodayText();
    if (p_.values.AutoUpdate &&
        UpdateCheckDue(p_.settings.ReadString("General", "lastversioncheck", "0"), today)) {
        update_.Start(today);
    }
    ClaimAssociationsAtStart(p_.settings, p_.values.ClaimAssociationsAtStartup);
    TrimWorkingSet();
}

bool Application::ReceivePath(const std::string& text) {
    if (p_.ui.loop.Quitting()) {
        return false;
    }
    p_.questions.Request([this, text] {
        waiting_.push_back(text);
        if (!loading_) {
            LoadWaitingPaths();
        }
    });
    return true;
}

void Application::QuitAfterReceivedPaths() {
    if (p_.questions.Waiting()) {
        p_.questions.Request([this] { QuitAfterReceivedPaths(); });
    } else if (loadingReceived_ || !waiting_.empty()) {
        quitAfterLoads_ = true;
    } else {
        p_.ui.loop.Quit();
    }
}

void Application::LoadWaitingPaths() {
    loading_ = true;
    while (!waiting_.empty() && !p_.ui.loop.Quitting()) {
        const std::string next = std::move(waiting_.front());
        waiting_.pop_front();
        if (next.size() > 1 && LoadPlaylistPath) {
            loadingReceived_ = true;
            LoadPlaylistPath(next, 3);
            loadingReceived_ = false;
        }
    }
    waiting_.clear();
    loading_ = false;
    if (std::exchange(quitAfterLoads_, false)) {
        p_.ui.loop.Quit();
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
    // An automatic playlist that could not be read stays as the user left it.
    if (!p_.playlist.AutoPlaylistUnread) {
        WritePlaylist(p_, AutoPlaylistFile(p_), kFormText);
    }
    ResumeSnapshot resume;
    if (engine_ != nullptr) {
        resume.PositionMs = static_cast<int>(engine_->BytesToMs(engine_->CurrentPositionBytes()));
        const std::uint32_t state = engine_->OutputState();
        resume.State = state == audio::kActivePaused                                      ? 1
                       : state == audio::kActivePlaying || state == audio::kActiveStalled ? 2
                                                                                          : 0;
    }
    SaveSettings(p_, false, resume);
    if (engine_ != nullptr) {
        engine_->StopPlayback(true);
    }
}

}  // namespace mirvo

namespace mirvo {

Bounds SnapToWorkArea(const Bounds& b, const Bounds& area) {
    constexpr int kSnap = 10;
    Bounds snapped = b;
    const int areaRight = area.Left + area.Width;
    const int areaBottom = area.Top + area.Height;
    if (std::abs(b.Left - area.Left) <= kSnap) {
        snapped.Left = area.Left;
    }
    if (std::abs(b.Left + b.Width - areaRight) <= kSnap) {
        snapped.Left = areaRight - b.Width;
    }
    if (std::abs(b.Top - area.Top) <= kSnap) {
        snapped.Top = area.Top;
    }
    if (std::abs(b.Top + b.Height - areaBottom) <= kSnap) {
        snapped.Top = areaBottom - b.Height;
    }
    return snapped;
}

}  // namespace mirvo
