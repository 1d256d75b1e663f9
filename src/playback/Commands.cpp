#include "playback/Commands.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "playlist/Editing.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "playlist/PlaylistFiles.h"
#include "support/Files.h"

namespace mirvo {
namespace {

// Clears the busy flag however the command ends.
class BusyScope {
  public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

bool Commands::DispatchKey(int key, unsigned modifiers) {
    if (CommandBusy) {
        return false;
    }
    BusyScope busy(CommandBusy);
    PlaylistState& pl = p_.playlist;
    MainView& view = p_.ui.view;
    const bool ready = p_.engine.DeviceReady;
    const bool paused = engine_.IsPaused();
    // Where the dispatcher runs another key, it clears the flag first.
    const auto again = [&](int k, unsigned m) {
        CommandBusy = false;
        const bool handled = DispatchKey(k, m);
        CommandBusy = true;
        return handled;
    };
    const int count = static_cast<int>(pl.PlaylistEntries.size());

    switch (key) {
        case kKeyEnter:
            if (pl.PlaylistEntries.empty()) {
                if (OpenFileAc) {
                    OpenFileAc();
                }
                if (!pl.PlaylistEntries.empty()) {
                    engine_.PlayEntry(0);
                }
            } else if (paused && view.ListFocusedRow() == pl.PlayingIndex) {
                again(kKeySpace, kNoModifier);
            } else {
                engine_.PlayEntry(view.ListFocusedRow());
            }
            return true;
        case kKeyNumpad0:
            if (paused) {
                engine_.StopPlayback(true);
            } else if (ready) {
                again(kKeySpace, kNoModifier);
            }
            return true;
        case kKeyTab: {
            const bool previous = modifiers == kShift;
            if (modifiers != kNoModifier && !previous) {
                return false;
            }
            // At the end of "Play list" there is nothing to go to, unless a queued
            // entry waits: the queue comes before everything.
            if (p_.engine.PlayMode == 2 && pl.PlayingIndex == (previous ? 0 : count - 1) &&
                (previous || pl.QueueList.empty())) {
                return true;
            }
            engine_.PlayNext(previous);
            if (paused) {
                engine_.Pause();  // a new track waits paused
            } else {
                ShowPlayingEntry(p_);
            }
            return true;
        }
        case kKeyBack: {
            engine_.SeekTo(0);
            PlaybackProgress().SetProgressPosition(0);
            const int length = PlaybackProgress().ProgressMax();
            view.SetTimeLabel(TimeLabelText(0, length, false, true));
            return true;
        }
        case kKeyLeft:
        case kKeyRight:
            if (ready) {
                const int step = modifiers == kShift ? 100 : modifiers == kCtrl ? 60000 : 3000;
                MoveProgress(key == kKeyLeft ? -step : step);
            }
            return true;
        case kKeyPause:
            SoftMute();
            return true;
        case kKeyDelete:
            RemoveSelected(p_);
            return true;
        case kKeyNumpad7:
            LoveMode();
            return true;
        case kKeyBackQuote:
            JumpAc(p_);
            return true;
        case kKeySubtract:
        case kKeyMinus:
            Volume(modifiers == kShift ? -1 : -30);
            return true;
        case kKeyAdd:
        case kKeyEquals:
            Volume(modifiers == kShift ? 1 : 30);
            return true;
        default:
            break;
    }

    if (key == kKeySpace && modifiers == kNoModifier) {
        if (!ready) {
            again(kKeyEnter, kNoModifier);
        } else if (paused) {
            engine_.Resume();
        } else {
            engine_.Pause();
        }
        return true;
    }
    if ((key == kKeyUp || key == kKeyDown) && modifiers == kCtrl) {
        key == kKeyUp ? MoveSelectionUp(p_) : MoveSelectionDown(p_);
        return true;
    }
    if ((key == kKeyUp || key == kKeyDown) && modifiers == kNoModifier) {
        return KeepFocusInView(p_, key == kKeyDown);
    }
    const bool letter =
        key >= 'A' && key <= 'Z' && (modifiers == kNoModifier || modifiers == kShift);
    const bool digit = key >= '1' && key <= '9' && modifiers == kNoModifier;
    if (letter || digit) {
        KeyHandled = true;
        if (OpenFind) {
            OpenFind(static_cast<char>(letter ? key - 'A' + 'a' : key));
        }
        return true;
    }
    if (key == 'A' && modifiers == kCtrl) {
        SelectAll(p_);
        return true;
    }
    if (key == 'C' && modifiers == kCtrl) {
        std::string text;
        for (const int row : view.ListSelectedRows()) {
            text += DisplayText(pl, row);
            text += "\r\n";
        }
        p_.ui.desktop.SetClipboardText(text);
        return true;
    }
    return false;
}

PlaybackView& Commands::PlaybackProgress() {
    return engine_.View();
}

void Commands::MoveProgress(int deltaMs) {
    engine_.SeekPending = true;
    PlaybackView& bar = PlaybackProgress();
    const int length = bar.ProgressMax();
    const int pos = std::clamp(bar.ProgressPosition() + deltaMs, 0, length);
    bar.SetProgressPosition(pos);
    p_.ui.view.SetTimeLabel(TimeLabelText(pos, length));
}

bool Commands::KeyDown(int key, unsigned modifiers) {
    KeyHandled = DispatchKey(key, modifiers);
    return KeyHandled;
}

void Commands::KeyUp(int key) {
    const bool seekKey =
        key == kKeyLeft || key == kKeyRight || key == kKeyNumpad1 || key == kKeyNumpad3;
    if (seekKey && p_.engine.DeviceReady) {
        engine_.SeekPending = false;
        engine_.SeekTo(engine_.MsToBytes(PlaybackProgress().ProgressPosition()));
    }
}

void Commands::SetPlayMode(int mode) {
    p_.engine.PlayMode = std::clamp(mode, 0, 4);
    engine_.ApplyPlayMode();
}

void Commands::TogglePlayMode(bool backwards) {
    const int mode = p_.engine.PlayMode;
    SetPlayMode(backwards ? (mode == 0 ? 4 : mode - 1) : (mode == 4 ? 0 : mode + 1));
}

void Commands::SoftMute() {
    EngineState& e = p_.engine;
    if (e.MutedVolume == -1) {
        const int before = e.Volume;
        engine_.SetVolume(
            static_cast<int>(std::nearbyint(e.Volume * p_.values.SoftmutePercent / 100.0)));
        e.MutedVolume = before;
    } else {
        engine_.SetVolume(e.MutedVolume);
    }
}

void Commands::LoveMode() {
    const std::string love = JoinPath(p_.ProgramFolder, "love.txt");
    std::error_code error;
    if (!std::filesystem::exists(love, error)) {
        p_.ui.dialogs.ShowNotice(
            NoticeKind::Information,
            "To enter Mirvo's love mode, first make a Milo Branter playlist.\rSave it with "
            "<Ctrl+S> as \"love.txt\" in your mirvo directory.\rMake sure \"Dark And Lovely\" is "
            "the first song of your list :)");
        return;
    }
    LoadPlaylistPath(p_, love, 1);
    engine_.SetVolume(1000);
    SetPlayMode(4);
    engine_.PlayEntry(0);
    if (ApplyLovePreset) {
        ApplyLovePreset();
    }
    p_.ui.view.Maximize();
}

void Commands::HotKey(int id) {
    if (SettingsDialogShown && SettingsDialogShown()) {
        return;
    }
    p_.questions.Request([this, id] { RunHotKey(id); });
}

void Commands::RunHotKey(int id) {
    switch (id) {
        case 0:
            DispatchKey(kKeyEnter, kNoModifier);
            break;
        case 1:
            DispatchKey(kKeySpace, kNoModifier);
            break;
        case 2:
            SelectOnly(p_.ui.view, p_.playlist.PlayingIndex);
            engine_.StopPlayback(true);
            break;
        case 3:
            DispatchKey(kKeyTab, kNoModifier);
            break;
        case 4:
            DispatchKey(kKeyTab, kShift);
            break;
        case 5:
            DispatchKey(kKeyAdd, kNoModifier);
            break;
        case 6:
            DispatchKey(kKeySubtract, kNoModifier);
            break;
        case 7:
            DispatchKey(kKeyPause, kNoModifier);
            break;
        case 8:
            p_.ui.view.BringToFront();
            break;
        case 9:
            if (ExitApplication) {
                ExitApplication();
            }
            break;
        case 10:
            p_.ui.view.BringToFront();
            if (OpenFind) {
                OpenFind('\0');
            }
            break;
        case 11:
            p_.ui.view.BringToFront();
            if (OpenFolderAc) {
                OpenFolderAc();
            }
            break;
        case 12:
            if (CopyPlayingTitle) {
                CopyPlayingTitle();
            }
            break;
        default:
            break;
    }
}

void Commands::PlayPauseButton() {
    // Stopped, the button plays; otherwise it pauses and resumes.
    DispatchKey(engine_.OutputState() == audio::kActiveStopped ? kKeyEnter : kKeySpace,
                kNoModifier);
}

void Commands::StopButton() {
    DispatchKey(kKeyNumpad0, kNoModifier);
    DispatchKey(kKeyNumpad0, kNoModifier);
}

}  // namespace mirvo
