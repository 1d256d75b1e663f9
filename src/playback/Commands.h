#pragma once
// The one key dispatcher every transport command goes through, the play-mode
// commands, soft mute, love mode and the global hot-key actions.
#include <cstdint>
#include <functional>

#include "playback/Engine.h"
#include "player/Player.h"

namespace mirvo {

// Modifier state as the dispatcher compares it: exactly these keys held.
// Global hot keys count theirs differently (`HotKeyModifiers`).
enum Modifier : unsigned { kNoModifier = 0, kShift = 1, kAlt = 2, kCtrl = 4 };

// Virtual-key codes the dispatcher knows.
enum VirtualKey : int {
    kKeyBack = 8,
    kKeyTab = 9,
    kKeyEnter = 13,
    kKeyPause = 19,
    kKeySpace = 32,
    kKeyLeft = 37,
    kKeyUp = 38,
    kKeyRight = 39,
    kKeyDown = 40,
    kKeyDelete = 46,
    kKeyNumpad0 = 96,
    kKeyNumpad1 = 97,
    kKeyNumpad3 = 99,
    kKeyNumpad7 = 103,
    kKeyAdd = 107,
    kKeySubtract = 109,
    kKeyEquals = 187,
    kKeyMinus = 189,
    kKeyBackQuote = 192,
};

class Commands {
  public:
    Commands(Player& player, Engine& engine) : p_(player), engine_(engine) {}

    // Runs the command of a key; false when the key is not one of ours or
    // another command is still running.
    bool DispatchKey(int key, unsigned modifiers);
    // A key pressed in the playlist: dispatched, and remembered so that the
    // character it makes is swallowed when it was handled.
    bool KeyDown(int key, unsigned modifiers);
    bool SwallowCharacter() const { return KeyHandled; }
    void KeyUp(int key);

    void SetPlayMode(int mode);
    void TogglePlayMode(bool backwards = false);
    void SoftMute();
    void LoveMode();
    // A global hot key, the media controls or the tray: waits while a question is open.
    void HotKey(int id);
    // Play bar buttons 2 and 3, which send more than one key.
    void PlayPauseButton();
    void StopButton();

    bool CommandBusy = false;
    bool KeyHandled = false;

    // Connected by the window and later features.
    std::function<void()> OpenFileAc;        // the add-files command
    std::function<void(char)> OpenFind;      // find as you type
    std::function<void()> OpenFolderAc;      // hot key 11
    std::function<void()> CopyPlayingTitle;  // hot key 12
    std::function<void()> ApplyLovePreset;   // colour preset 1
    std::function<void()> ExitApplication;   // hot key 9
    std::function<bool()> SettingsDialogShown;

  private:
    void RunHotKey(int id);
    void MoveProgress(int deltaMs);
    PlaybackView& PlaybackProgress();
    void Volume(int delta) { engine_.SetVolume(p_.engine.Volume + delta); }

    Player& p_;
    Engine& engine_;
};

}  // namespace mirvo
