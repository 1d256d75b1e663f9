#pragma once
// TAppMirvo: the one main window.
#include <QMainWindow>
#include <functional>

#include "app/Interfaces.h"

class QLabel;
class QToolButton;
class QWidget;

namespace mirvo {

class MainWindow final : public QMainWindow, public MainView {
    Q_OBJECT
  public:
    MainWindow();

    // MainView
    void SetCaption(const std::string& text) override;
    void SetStatusText(int panel, const std::string& text) override;
    void SetTimeLabel(const std::string& text) override;
    Bounds WindowBounds() const override;
    void SetWindowBounds(const Bounds& bounds) override;
    Bounds ScreenBounds() const override;
    bool IsMaximized() const override;
    void Maximize() override;
    bool BringToFront() override;
    void SetPlayBarVisible(bool visible) override;
    void SetProgressPanelVisible(bool visible) override;
    void SetStatusBarVisible(bool visible) override;

    // Called with the frame and whether it is maximised after every change.
    std::function<void(const Bounds&, bool)> OnGeometryChanged;
    // Called once, the first time the window is shown.
    std::function<void()> OnFirstShow;

    QWidget* ProgressPanel = nullptr;
    QWidget* Progres = nullptr;
    QLabel* LabelTime = nullptr;
    QLabel* LabelVolume = nullptr;
    QWidget* LevelMeter6 = nullptr;
    QWidget* LevelMeter14 = nullptr;
    QWidget* PanelLevelMeter14 = nullptr;
    QWidget* VolumeProcesBar = nullptr;
    QWidget* PlayBar = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QToolButton* SpeedButton5 = nullptr;
    QToolButton* SpeedButtonRecord = nullptr;
    QWidget* ListScreen = nullptr;
    QLabel* StatusPanels[4] = {};

  protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void LayOut();
    void ReportGeometry();
    bool shownOnce_ = false;
    bool playBarWanted_ = true;
};

}  // namespace mirvo
