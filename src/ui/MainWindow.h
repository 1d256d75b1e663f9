#pragma once
// TAppMirvo: the one main window.
#include <QMainWindow>
#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "playback/LevelMeters.h"
#include "player/Interfaces.h"
#include "ui/FitLabel.h"
#include "ui/HoxelListbox.h"
#include "ui/HoxelProgress.h"

class QAction;
class QLabel;
class QToolButton;
class QWidget;

namespace mirvo {

class MainWindow final : public QMainWindow, public MainView, public MeterView {
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
    std::string Caption() const override;
    void SetViewActionChecked(int format, bool checked) override;
    void SetBusyCursor(bool busy) override;
    int ListRowCount() const override;
    void SetListRowCount(int count) override;
    void BeginListUpdate() override;
    void EndListUpdate() override;
    int ListFocusedRow() const override;
    void SetListFocusedRow(int row) override;
    int ListTopRow() const override;
    void SetListTopRow(int row) override;
    std::vector<int> ListSelectedRows() const override;
    void SetListSelection(const std::vector<int>& rows) override;
    int ListItemHeight() const override;
    int ListClientHeight() const override;
    void RepaintList() override;

    // MeterView
    void ShowLevelMeterStyle(int style) override;
    void SetMeterLeds(int style, int left, int right) override;

    // Where the time label starts: after the play bar, after the record button, or at the edge.
    void SetTimeLabelLeft(int left);
    void ShowVolumeBar(VolumeBarCause cause) override;
    void HideVolumeBar() override;

    // Called with the frame and whether it is maximised after every change.
    std::function<void(const Bounds&, bool)> OnGeometryChanged;
    // Called once, the first time the window is shown.
    std::function<void()> OnFirstShow;
    // Local files and folders dropped on the window, in the order given.
    std::function<void(const std::vector<std::string>&)> OnFilesDropped;
    // A left-button drag begun on the meter area (the volume label, the small
    // meter, the wide meter's scale): press, moves and release, each with the
    // pointer's y on the screen.
    enum class MeterDrag { Press, Move, Release };
    std::function<void(MeterDrag, int screenY)> OnMeterAreaDrag;

    // The play bar's buttons, left to right.
    enum class Transport { Play, Pause, Stop, Previous, Next };
    QToolButton* TransportButton(Transport which) const {
        return transportButtons_[static_cast<std::size_t>(which)];
    }

    QWidget* ProgressPanel = nullptr;
    THoxelProgress* Progres = nullptr;
    FitLabel* LabelTime = nullptr;
    QLabel* LabelVolume = nullptr;
    THoxelProgress* LevelMeter6 = nullptr;
    THoxelProgress* LevelMeter14 = nullptr;
    QWidget* PanelLevelMeter14 = nullptr;
    THoxelProgress* VolumeProcesBar = nullptr;
    QWidget* PlayBar = nullptr;
    QToolButton* SpeedButtonRecord = nullptr;
    THoxelListbox* ListScreen = nullptr;
    // View as file name, full path, relative path.
    QAction* View1Ac = nullptr;
    QAction* View2Ac = nullptr;
    QAction* View3Ac = nullptr;
    FitLabel* StatusPanels[4] = {};

  protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void LayOut();
    void FitCountPanel();
    void ReportGeometry();
    std::array<QToolButton*, 5> transportButtons_{};
    bool shownOnce_ = false;
    bool busy_ = false;
    bool playBarWanted_ = true;
    int timeLeft_ = 130;
    // The wide meter's scale marks with their places at the full LED width.
    std::vector<std::pair<QLabel*, int>> scaleMarks_;
    int meterStyle_ = 1;
    // While the volume changes the volume bar stands in for the meter.
    std::optional<VolumeBarCause> volumeBar_;
    bool IsMeterArea(const QObject* watched) const;
    bool MeterAreaMouse(const QObject* watched, QEvent* event);
    bool meterDragging_ = false;
    // The texts last given, so that an unchanged one costs no conversion.
    std::string timeText_;
    std::string statusTexts_[4];
};

}  // namespace mirvo
