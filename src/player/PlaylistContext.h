#pragma once
// What the commands on the list (the playlist's, the tools', the list's
// dialogs, the station lists, the caption) reach of the player, and nothing
// more: the list, the window's rows and questions, the clipboard and trash,
// the settings file, and the engine and the window shell only through their
// interfaces. The binding sites pass a Player, which converts.
#include <string>

#include "player/EngineState.h"
#include "player/Interfaces.h"
#include "player/PlaybackControl.h"
#include "player/PlaybackEvents.h"
#include "player/PlaylistState.h"
#include "player/Settings.h"

namespace mirvo {

struct Player;

struct PlaylistContext {
    PlaylistContext(Player& player);

    PlaylistState& playlist;
    // Only the play mode: shuffle shows the playing row in the middle.
    const EngineState& engine;
    PlaybackEvents& events;
    Settings& settings;
    const std::string& programFolder;  // without a trailing "/"
    MainView& view;
    Dialogs& dialogs;
    EventLoop& loop;
    DesktopServices& desktop;
    // The player's own pointers, read at each call: null without an engine or
    // a window, and set after the commands are bound.
    PlaybackControl* const& playback;
    WindowShell* const& shell;
};

}  // namespace mirvo
