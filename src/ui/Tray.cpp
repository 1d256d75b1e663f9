#include "ui/Tray.h"

#include <QEvent>
#include <QTimer>

#include "ui/MainWindow.h"

namespace mirvo {

namespace {
constexpr int kTipLength = 127;
}

TrayIcon::TrayIcon(MainWindow& window, Player& player, Session& session, QMenu* menu)
    : QObject(&window), window_(window), p_(player), session_(session), icon_(window.windowIcon()) {
    icon_.setContextMenu(menu);
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger) {
            window_.BringToFront();
        }
    });
    p_.playlist.Links.SetTrayHint = [this](const std::string& hint) { SetHint(hint); };
    window_.installEventFilter(this);
}

TrayIcon::~TrayIcon() {
    window_.removeEventFilter(this);
    p_.playlist.Links.SetTrayHint = nullptr;
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
        if (event->type() == QEvent::WindowStateChange && window_.isMinimized() &&
            p_.values.MinimizeToTray && !inTray_ && TrayAvailable()) {
            GoToTray();
        } else if (event->type() == QEvent::Show && inTray_) {
            CameBack();
        }
    }
    return false;
}

void TrayIcon::GoToTray() {
    inTray_ = true;
    session_.HideDisplays();
    icon_.show();
    // Hidden once the minimise itself is done.
    QTimer::singleShot(0, &window_, [this] {
        if (inTray_) {
            window_.hide();
        }
    });
}

void TrayIcon::CameBack() {
    inTray_ = false;
    session_.ShowDisplays();
    QTimer::singleShot(300, this, [this] {
        if (!inTray_) {
            icon_.hide();
        }
    });
}

}  // namespace mirvo
