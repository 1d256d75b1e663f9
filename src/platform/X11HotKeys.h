#pragma once
// Global hot keys as key grabs on the X root window, through a connection of
// our own read on the UI thread. Without an X server (no DISPLAY, Wayland
// without XWayland) every registration fails, as for a key another program holds.
#include <QObject>
#include <functional>
#include <memory>

#include "player/Interfaces.h"

class QSocketNotifier;

namespace mirvo {

class X11HotKeys final : public QObject, public HotKeyRegistrar {
  public:
    // `display` empty: the session's ($DISPLAY).
    explicit X11HotKeys(const std::string& display = {});
    // Releases every grab.
    ~X11HotKeys() override;

    bool RegisterHotKey(const HotKey& key) override;
    void UnregisterHotKey(int id) override;
    std::string KeyName(unsigned keyCode) override;

    // A registered combination was pressed, whichever window has the focus.
    std::function<void(int id)> OnHotKey;

  private:
    struct Connection;
    void ReadEvents();

    std::unique_ptr<Connection> x_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace mirvo
