#include "ui/Tray.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QEvent>
#include <cstdlib>

#include "ui/MainWindow.h"

namespace mirvo {

namespace {
constexpr int kTipLength = 127;
// The icon gets a second to appear in the tray.
constexpr int kAppearCheckMs = 50;
constexpr int kAppearChecks = 20;
// A tray that is restarted comes back within a few seconds.
constexpr int kStayCheckMs = 1000;
constexpr int kMissedChecksAllowed = 3;

// A StatusNotifierItem host on the session bus shows the icon in its own way
// (Qt then uses it instead of an X11 tray).
bool TrayHostOnSessionBus() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher)) {
        return false;
    }
    QDBusInterface props(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return props.property("IsStatusNotifierHostRegistered").toBool();
}

// In an X11 tray the icon's window is put into the tray's own window.
bool InX11Tray() {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) {
        return false;
    }
    xcb_connection_t* c = x11->connection();
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() != QLatin1String("QSystemTrayIconSys") || !w->isVisible() ||
            w->internalWinId() == 0) {
            continue;
        }
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(
            c, xcb_query_tree(c, static_cast<xcb_window_t>(w->internalWinId())), nullptr);
        const bool inTray = tree != nullptr && tree->parent != tree->root;
        std::free(tree);
        if (inTray) {
            return true;
        }
    }
    return false;
}

}  // namespace

TrayIcon::TrayIcon(MainWindow& window, const SettingsValues& values, Session& session, QMenu* menu)
    : QObject(&window),
      window_(window),
      values_(values),
      session_(session),
      icon_(window.windowIcon()) {
    IconShown = [] { return InX11Tray() || TrayHostOnSessionBus(); };
    icon_.setContextMenu(menu);
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger) {
            window_.BringToFront();
        }
    });
    appearCheck_.setInterval(kAppearCheckMs);
    connect(&appearCheck_, &QTimer::timeout, this, &TrayIcon::CheckShown);
    stayCheck_.setInterval(kStayCheckMs);
    connect(&stayCheck_, &QTimer::timeout, this, &TrayIcon::CheckStillShown);
    window_.installEventFilter(this);
}

TrayIcon::~TrayIcon() {
    window_.removeEventFilter(this);
}

void TrayIcon::SetHint(const std::string& hint) {
    QString tip = QString::fromStdString(hint);
    if (tip.size() > kTipLength) {
        tip.truncate(kTipLength);
    }
    if (tip != icon_.toolTip()) {
        icon_.setToolTip(tip);
    }
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_) {
        if (event->type() == QEvent::WindowStateChange && window_.isMinimized()) {
            Minimised();
        } else if (event->type() == QEvent::Show && inTray_) {
            CameBack();
        }
    }
    return false;
}

void TrayIcon::Minimised() {
    if (!values_.MinimizeToTray || inTray_ || appearCheck_.isActive() || !TrayAvailable()) {
        return;
    }
    icon_.show();
    if (!icon_.isVisible()) {
        return;  // refused (no picture): the window stays on the task bar
    }
    appearChecksLeft_ = kAppearChecks;
    CheckShown();
    if (!inTray_) {
        appearCheck_.start();
    }
}

void TrayIcon::CheckShown() {
    if (!window_.isMinimized()) {
        // Restored meanwhile: nothing goes to the tray.
        appearCheck_.stop();
        icon_.hide();
    } else if (IconShown()) {
        appearCheck_.stop();
        GoToTray();
    } else if (--appearChecksLeft_ <= 0) {
        // No tray took the icon: the window stays minimised where it can be found.
        appearCheck_.stop();
        icon_.hide();
    }
}

void TrayIcon::GoToTray() {
    inTray_ = true;
    missedChecks_ = 0;
    session_.HideDisplays();
    stayCheck_.start();
    // Hidden once the minimise itself is done.
    QTimer::singleShot(0, &window_, [this] {
        if (inTray_) {
            window_.hide();
        }
    });
}

void TrayIcon::CheckStillShown() {
    if (!inTray_) {
        stayCheck_.stop();
    } else if (IconShown()) {
        missedChecks_ = 0;
    } else if (++missedChecks_ > kMissedChecksAllowed) {
        // The tray is gone: the window comes back minimised, not lost.
        stayCheck_.stop();
        window_.showMinimized();
    }
}

void TrayIcon::CameBack() {
    inTray_ = false;
    stayCheck_.stop();
    session_.ShowDisplays();
    QTimer::singleShot(300, this, [this] {
        if (!inTray_) {
            icon_.hide();
        }
    });
}

}  // namespace mirvo
