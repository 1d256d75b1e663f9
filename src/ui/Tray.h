#pragma once
// The tray icon: with "minimize_to_tray", minimising hides the window once the
// icon really shows, whose tip names what plays and whose menu plays; a double
// click or "&Open" brings the window back and the icon leaves 300 ms later.
// Where the desktop has no tray, or the icon does not appear, minimising
// behaves normally; a tray that goes away gives the window back.
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>

#include "playback/Session.h"
#include "player/Settings.h"

class QMenu;

namespace mirvo {

class MainWindow;

class TrayIcon final : public QObject {
    Q_OBJECT
  public:
    // `values`: the preferences, read when the window is minimised.
    TrayIcon(MainWindow& window, const SettingsValues& values, Session& session, QMenu* menu);
    ~TrayIcon() override;

    // The tip, cut to 127 characters as tray tips are.
    void SetHint(const std::string& hint);
    QString Hint() const { return icon_.toolTip(); }
    bool IconVisible() const { return icon_.isVisible(); }
    // Where the icon is on the screen; empty when no tray shows it there.
    QRect IconGeometry() const { return icon_.geometry(); }
    bool InTray() const { return inTray_; }
    // Whether a tray host is there to show the icon; tests may decide.
    std::function<bool()> TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    // Whether the shown icon really is in a tray: placed in an X11 tray, or
    // handed to a tray host on the session bus. Tests may decide.
    std::function<bool()> IconShown;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Minimised();
    void CheckShown();
    void GoToTray();
    void CameBack();
    void CheckStillShown();

    MainWindow& window_;
    const SettingsValues& values_;
    Session& session_;
    QSystemTrayIcon icon_;
    bool inTray_ = false;
    // After a minimise: looks whether the icon appeared before the window goes.
    QTimer appearCheck_;
    int appearChecksLeft_ = 0;
    // While in the tray: looks whether the tray is still there.
    QTimer stayCheck_;
    int missedChecks_ = 0;
};

}  // namespace mirvo
