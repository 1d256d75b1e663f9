#pragma once
// A desktop on the test's X server (Xvfb): the openbox window manager and,
// when asked, a trayer tray, both started and ended by the test. Looks at the
// X server as the window manager sees it, on a connection of its own.
#include <xcb/xcb.h>

#include <QApplication>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace mirvo::test {

class TestDesktop {
  public:
    TestDesktop() : c_(xcb_connect(nullptr, nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        Start(wm_, "openbox", {"--sm-disable"});
        // The list of managed windows appears once the start-up is done.
        ready_ = Await([this] { return HasRootProperty("_NET_CLIENT_LIST_STACKING"); });
    }
    TestDesktop(const TestDesktop&) = delete;
    TestDesktop& operator=(const TestDesktop&) = delete;
    ~TestDesktop() {
        StopTray();
        End(wm_);
        xcb_disconnect(c_);
    }
    // The window manager runs.
    bool Ready() const { return ready_; }

    // A tray in a panel at the top right of the screen; true once it owns the tray.
    bool StartTray() {
        Start(tray_, "trayer",
              {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
               "--height", "24", "--transparent", "false"});
        return Await([this] { return SelectionOwner("_NET_SYSTEM_TRAY_S0") != XCB_NONE; });
    }
    void StopTray() { End(tray_); }

    // The managed windows from the bottom up, as the window manager stacks them.
    std::vector<xcb_window_t> Stacking() {
        return WindowList(
            xcb_get_property_reply(c_,
                                   xcb_get_property(c_, 0, root_, Atom("_NET_CLIENT_LIST_STACKING"),
                                                    XCB_ATOM_WINDOW, 0, 1024),
                                   nullptr));
    }
    xcb_window_t ActiveWindow() {
        const std::vector<xcb_window_t> one = WindowList(xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, root_, Atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1),
            nullptr));
        return one.empty() ? XCB_NONE : one[0];
    }
    // Whether `upper` is stacked above `lower`; both must be managed.
    bool Above(xcb_window_t upper, xcb_window_t lower) {
        const std::vector<xcb_window_t> order = Stacking();
        const auto u = std::find(order.begin(), order.end(), upper);
        const auto l = std::find(order.begin(), order.end(), lower);
        return u != order.end() && l != order.end() && u > l;
    }

    // Runs the event loop until `done` holds, at most 10 s.
    static bool Await(const std::function<bool()>& done) {
        for (int i = 0; i < 500 && !done(); ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(10);
        }
        return done();
    }

  private:
    static void Start(QProcess& process, const char* program, const QStringList& args) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QString::fromLatin1(program), args);
        process.waitForStarted();
    }
    static void End(QProcess& process) {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished();
            }
        }
    }
    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
        std::free(reply);
        return atom;
    }
    xcb_window_t SelectionOwner(const char* selection) {
        xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
            c_, xcb_get_selection_owner(c_, Atom(selection)), nullptr);
        const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
        std::free(reply);
        return owner;
    }
    bool HasRootProperty(const char* name) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, root_, Atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
            nullptr);
        const bool there = reply != nullptr && reply->type != XCB_NONE;
        std::free(reply);
        return there;
    }
    static std::vector<xcb_window_t> WindowList(xcb_get_property_reply_t* reply) {
        std::vector<xcb_window_t> windows;
        if (reply != nullptr) {
            const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
            windows.assign(ids, ids + xcb_get_property_value_length(reply) / 4);
            std::free(reply);
        }
        return windows;
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = XCB_NONE;
    QProcess wm_;
    QProcess tray_;
    bool ready_ = false;
};

}  // namespace mirvo::test
