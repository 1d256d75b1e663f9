#pragma once
// One player: the state the application creates once and passes down, and
// the interfaces through which it reaches the window and the desktop. Tests
// build as many as they need.
#include <string>

#include "player/EngineState.h"
#include "player/Interfaces.h"
#include "player/PlaybackControl.h"
#include "player/PlaybackEvents.h"
#include "player/PlaylistContext.h"
#include "player/PlaylistState.h"
#include "player/Questions.h"
#include "player/Settings.h"

namespace mirvo {

inline constexpr const char* kProgramVersion = "1.04i";
inline constexpr const char* kProgramTitle = "Mirvo 1.04i";

struct AppState {
    std::string StartArgument;  // the first command-line argument only
    std::string ProgramTitle;
    Bounds NormalBounds;
    bool WindowShown = false;
    // "General"/"EnqueueOption" when a path was given on the command line, else -1.
    int StartEnqueueOption = -1;
};

struct Player {
    Player(std::string programFolder, Services services);
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    std::string ProgramFolder;  // without a trailing "/"
    Settings settings;
    SettingsValues values;
    AppState app;
    PlaylistState playlist;
    EngineState engine;
    PlaybackEvents events;
    // The questions open now; ui.dialogs asks through it.
    Questions questions;
    Services ui;
    // Set once by what implements them, for its lifetime; null without one
    // (no engine, no window), when their calls do nothing.
    PlaybackControl* playback = nullptr;
    WindowShell* shell = nullptr;
};

// What the engine reports for the resume keys at exit.
struct ResumeSnapshot {
    int PositionMs = 0;
    int State = 0;  // 0 stopped, 1 paused, 2 playing
};

// Reads the whole settings file once and applies it to the player and the view.
void LoadSettings(Player& player);
// Writes the window geometry, and unless `windowOnly` the rest of the state.
void SaveSettings(Player& player, bool windowOnly, const ResumeSnapshot& resume = {});

}  // namespace mirvo
