#pragma once
// The tray icon: with "minimize_to_tray", minimising hides the window and
// shows the icon, whose tip names what plays and whose menu plays; a double
// click or "&Open" brings the window back and the icon leaves 300 ms later.
// Where the desktop has no tray, minimising behaves normally.
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

#include "app/Player.h"
#include "playback/Session.h"

class QMenu;

namespace mirvo {

class MainWindow;

class TrayIcon final : public QObject {
    Q_OBJECT
  public:
    TrayIcon(MainWindow& window, Player& player, Session& session, QMenu* menu);
    ~TrayIcon() override;

    // The tip, cut to 127 characters as tray tips are.
    void SetHint(const std::string& hint);
    QString Hint() const { return icon_.toolTip(); }
    bool IconVisible() const { return icon_.isVisible(); }
    // Whether a tray host is there to show the icon; tests may decide.
    std::function<bool()> TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void GoToTray();
    void CameBack();

    MainWindow& window_;
    Player& p_;
    Session& session_;
    QSystemTrayIcon icon_;
    bool inTray_ = false;
};

}  // namespace mirvo
