#pragma once
// The program's life: creating the main window's state, the start tasks that
// run once the loop is alive, the hand-over of paths, and the exit sequence.
#include <deque>
#include <functional>
#include <string>

#include "app/UpdateCheck.h"
#include "player/Player.h"

namespace mirvo {

class Engine;
class Commands;

class Application {
  public:
    explicit Application(Player& player);

    // Creation of the main window, after the view exists and before it is shown.
    void CreateMainWindow();
    // The window has been shown for the first time.
    void FirstShow();
    // Runs once, shortly after the event loop has started.
    void StartTasks();
    // Text a second instance or the media controls handed over (load mode 3 of
    // the playlist loader). It waits while a question is open, and loads let
    // pending messages run, so a path that arrives during one waits for it
    // instead of loading inside it. False, and nothing loads, once quitting.
    bool ReceivePath(const std::string& text);
    // "-quit" from a later start: requests are carried out in the order they
    // came, so the paths handed over before it are loaded first. A question
    // open meanwhile is closed unanswered, as by every quit that cannot ask,
    // unless such a path still waits for its answer.
    void QuitAfterReceivedPaths();
    // The window's frame changed; keeps NormalBounds and saves on maximise.
    void WindowGeometryChanged(const Bounds& bounds, bool maximized);
    // After the event loop has ended.
    void Shutdown();

    // Playback, for the start tasks (device probe, start path, resume) and the
    // resume position saved at exit.
    void AttachPlayback(Engine& engine, Commands& commands) {
        engine_ = &engine;
        commands_ = &commands;
    }

    // The weekly update check the start tasks may have begun.
    const UpdateCheck& Update() const { return update_; }

    // Set by the playlist loader: load `path` in the given load mode.
    std::function<void(const std::string& path, int mode)> LoadPlaylistPath;

  private:
    // Loads the waiting paths in the order they came, until none is left.
    void LoadWaitingPaths();
    // What the fourth status panel shows for the playing track.
    std::string PlayingStatus() const;

    Player& p_;
    std::deque<std::string> waiting_;
    bool loading_ = false;
    bool loadingReceived_ = false;  // a handed-over path, not the start's
    bool quitAfterLoads_ = false;
    Engine* engine_ = nullptr;
    Commands* commands_ = nullptr;
    UpdateCheck update_;
};

}  // namespace mirvo

namespace mirvo {

// Where a window being moved to `b` lands: an edge within 10 pixels of the
// work area's edge (10 included) is pulled onto it.
Bounds SnapToWorkArea(const Bounds& b, const Bounds& workArea);

}  // namespace mirvo
