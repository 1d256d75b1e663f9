#include "ui/MainWindow.h"

#include "playback/TimeText.h"
#include "ui/Accessibility.h"
#include "ui/ProgramIcon.h"
#include "ui/QtServices.h"
#include "ui/Style.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

namespace mirvo {
namespace {

constexpr int kPanelHeight = 42;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
constexpr int kPlayBarTop = 19;
constexpr int kStatusWidths[4] = {0, 75, 75, 0};  // at most; 3 takes the rest
constexpr int kPanelPadding = 6;
// The meters hug the right edge; the design's window frame is 4 pixels wide
// on each side and the layout keeps that gap whatever the window manager draws.
constexpr int kFrameBorder = 4;
constexpr QSize kMeter6Size{16, 37};
constexpr QSize kMeter14Size{143, 16};
// The wide meter's LEDs at their full width, and the narrowest they get when
// the time label needs the room.
constexpr int kMeter14Leds = 14;
constexpr int kMeter14LedWidth = 9;
constexpr int kMeter14MinLedWidth = 3;
// Frame and border of a bar: what it is wider than its LEDs.
constexpr int kBarChrome = 4;
constexpr int kScale14Height = 16;
constexpr int kMeterRowTop = 22;

QWidget* Part(QWidget* parent, const char* name) {
    auto* w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

THoxelProgress* Bar(QWidget* parent, const char* name) {
    auto* bar = new THoxelProgress(parent);
    bar->setObjectName(QLatin1String(name));
    return bar;
}

void MakeStereoLeds(THoxelProgress* meter, QSize size, std::int64_t leds, TOrientationType way,
                    int ledWidth, int ledGap) {
    meter->resize(size);
    meter->SetMax(leds);
    meter->SetOrientation(way);
    meter->SetBarType(TBarType::brStereoLeds);
    meter->SetStereoSeperation(2);
    meter->SetLedSeperation(ledGap);
    meter->SetLedWidth(ledWidth);
}

}  // namespace

MainWindow::MainWindow() {
    InstallAccessibility();
    setObjectName(QStringLiteral("TAppMirvo"));
    setWindowIcon(ProgramIcon());
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    ProgressPanel = Part(central, "ProgressPanel");
    ProgressPanel->setFixedHeight(kPanelHeight);
    Progres = Bar(ProgressPanel, "Progres");
    LabelTime = new FitLabel(ProgressPanel);
    LabelTime->setObjectName(QStringLiteral("LabelTime"));
    LabelVolume = new QLabel(QStringLiteral("100 %"), ProgressPanel);
    LabelVolume->setObjectName(QStringLiteral("LabelVolume"));
    LabelVolume->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LevelMeter14 = Bar(ProgressPanel, "LevelMeter14");
    MakeStereoLeds(LevelMeter14, kMeter14Size, kMeter14Leds, TOrientationType::pbHorizontal,
                   kMeter14LedWidth, 1);
    LevelMeter14->SetPosition(1);
    LevelMeter14->SetPosition2(1);
    LevelMeter14->hide();
    PanelLevelMeter14 = Part(ProgressPanel, "PanelLevelMeter14");
    QFont scaleFont = PanelLevelMeter14->font();
    scaleFont.setPixelSize(9);
    PanelLevelMeter14->setFont(scaleFont);
    const struct {
        const char* text;
        int left;
    } scale[] = {{"-oo", 0}, {"30", 31}, {"20", 51}, {"12", 71},
                 {"8", 94},  {"4", 114}, {"0 ", 134}};
    for (const auto& mark : scale) {
        auto* label = new QLabel(QLatin1String(mark.text), PanelLevelMeter14);
        label->resize(label->sizeHint().width(), kScale14Height);
        scaleMarks_.push_back({label, mark.left});
    }
    PanelLevelMeter14->hide();
    LevelMeter6 = Bar(ProgressPanel, "LevelMeter6");
    MakeStereoLeds(LevelMeter6, kMeter6Size, 7, TOrientationType::pbVertical, 3, 2);
    VolumeProcesBar = Bar(ProgressPanel, "VolumeProcesBar");
    VolumeProcesBar->SetOrientation(TOrientationType::pbVertical);
    VolumeProcesBar->SetPosition(100);
    VolumeProcesBar->setToolTip(
        QStringLiteral("Tip: Numpad + - to change volume. Press the pause key to softmute "
                       "(quickly change volume)"));
    VolumeProcesBar->setToolTipDuration(kToolTipDurationMs);
    VolumeProcesBar->hide();
    // Read by a screen reader: the position and the volume; the meters are
    // decoration, or they would be read fifty times a second.
    Progres->setAccessibleName(QStringLiteral("Position"));
    Progres->SetSpeech(THoxelProgress::Speech::Progress, [](std::int64_t pos, std::int64_t max) {
        return max > 0 ? QString::fromStdString(FormatMs(pos) + " of " + FormatMs(max)) : QString();
    });
    VolumeProcesBar->setAccessibleName(QStringLiteral("Volume"));
    VolumeProcesBar->SetSpeech(THoxelProgress::Speech::Slider, [](std::int64_t pos, std::int64_t) {
        return QStringLiteral("%1 %").arg(pos);
    });
    LevelMeter6->setAccessibleName(QStringLiteral("Level meter"));
    LevelMeter14->setAccessibleName(QStringLiteral("Level meter"));

    PlayBar = Part(ProgressPanel, "PlayBar");
    const struct {
        QToolButton** button;
        const char* name;
        QStyle::StandardPixmap icon;
        const char* caption;  // what a glyph says, for the tip and a screen reader
    } buttons[] = {
        {&transportButtons_[0], "SpeedButton1", QStyle::SP_MediaPlay, "Play"},
        {&transportButtons_[1], "SpeedButton2", QStyle::SP_MediaPause, "Pause"},
        {&transportButtons_[2], "SpeedButton3", QStyle::SP_MediaStop, "Stop"},
        {&transportButtons_[3], "SpeedButton4", QStyle::SP_MediaSkipBackward, "Previous"},
        {&transportButtons_[4], "SpeedButton5", QStyle::SP_MediaSkipForward, "Next"},
        {&SpeedButtonRecord, "SpeedButtonRecord", QStyle::SP_DialogYesButton, "Record"},
    };
    int x = 0;
    for (const auto& b : buttons) {
        auto* button = new QToolButton(PlayBar);
        button->setObjectName(QLatin1String(b.name));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(style()->standardIcon(b.icon));
        button->setText(QLatin1String(b.caption));
        button->setToolTip(QLatin1String(b.caption));
        button->setGeometry(x, 0, kButtonWidth, kButtonHeight);
        x += kButtonWidth;
        *b.button = button;
    }
    SpeedButtonRecord->hide();
    PlayBar->resize(x, kButtonHeight);

    ListScreen = new THoxelListbox(central);
    ListScreen->setAccessibleName(QStringLiteral("Playlist"));
    const char* viewCaptions[] = {"View as &filename", "View as full &path",
                                  "View as &relative path"};
    QAction** views[] = {&View1Ac, &View2Ac, &View3Ac};
    for (int i = 0; i < 3; ++i) {
        *views[i] = new QAction(QString::fromLatin1(viewCaptions[i]), this);
        (*views[i])->setObjectName(QStringLiteral("View%1Ac").arg(i + 1));
        (*views[i])->setCheckable(true);
    }
    setAcceptDrops(true);
    column->addWidget(ProgressPanel);
    column->addWidget(ListScreen, 1);
    setCentralWidget(central);

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        StatusPanels[i] = new FitLabel(statusBar());
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (kStatusWidths[i] > 0) {
            StatusPanels[i]->setFixedWidth(kStatusWidths[i]);
        }
    }
    // The volume and mode panels are as wide as their widest texts, the count
    // panel as its text; the stream panel gets every pixel the window can spare.
    FitLabel* volume = StatusPanels[0];
    volume->setFixedWidth(volume->fontMetrics().horizontalAdvance(QStringLiteral(" 100 %")) +
                          2 * volume->frameWidth() + kPanelPadding);
    FitLabel* mode = StatusPanels[2];
    int modeWidth = 0;
    for (const char* text : {"Repeat list", "Repeat file", "Play list", "Play file", "Shuffle"}) {
        modeWidth = std::max(modeWidth, mode->fontMetrics().horizontalAdvance(QLatin1String(text)));
    }
    mode->setFixedWidth(
        std::min(kStatusWidths[2], modeWidth + 2 * mode->frameWidth() + kPanelPadding));
    FitCountPanel();
    StatusPanels[3]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    for (int i = 0; i < 4; ++i) {
        statusBar()->addPermanentWidget(StatusPanels[i], i == 3 ? 1 : 0);
    }
    ProgressPanel->installEventFilter(this);
    for (QWidget* area : {static_cast<QWidget*>(LabelVolume), static_cast<QWidget*>(LevelMeter6),
                          PanelLevelMeter14}) {
        area->installEventFilter(this);
    }
    for (QLabel* mark : PanelLevelMeter14->findChildren<QLabel*>()) {
        mark->installEventFilter(this);
    }
    resize(310, 370);
    LayOut();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (MeterAreaMouse(watched, event)) {
        return true;
    }
    if (watched == ProgressPanel && event->type() == QEvent::Resize) {
        LayOut();
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::IsMeterArea(const QObject* watched) const {
    return watched == LabelVolume || watched == LevelMeter6 || watched == PanelLevelMeter14 ||
           (watched && watched->parent() == PanelLevelMeter14);
}

bool MainWindow::MeterAreaMouse(const QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int y = mouse->globalPosition().toPoint().y();
    if (!meterDragging_) {
        if (type != QEvent::MouseButtonPress || mouse->button() != Qt::LeftButton ||
            !IsMeterArea(watched) || !OnMeterAreaDrag) {
            return false;
        }
        meterDragging_ = true;
        // The pressed widget may give way to the volume bar; the panel keeps the mouse.
        ProgressPanel->grabMouse();
        OnMeterAreaDrag(MeterDrag::Press, y);
        return true;
    }
    if (watched != ProgressPanel) {
        return false;
    }
    if (type == QEvent::MouseMove) {
        OnMeterAreaDrag(MeterDrag::Move, y);
    } else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
        meterDragging_ = false;
        ProgressPanel->releaseMouse();
        OnMeterAreaDrag(MeterDrag::Release, y);
    }
    return true;
}

void MainWindow::LayOut() {
    const int width = ProgressPanel->width() > 0 ? ProgressPanel->width() : this->width();
    // The meters keep their distance to the right edge; the progress bar stretches
    // up to the meter the style shows.
    LevelMeter6->setGeometry(QRect(QPoint(width - kMeter6Size.width(), 2), kMeter6Size));
    VolumeProcesBar->setGeometry(LevelMeter6->geometry());
    // The wide meter gets what the time label leaves of the panel: narrower
    // LEDs where the window is too narrow for both.
    int ledWidth = kMeter14LedWidth;
    if (meterStyle_ == 2) {
        const int timeRoom =
            LabelTime->fontMetrics().horizontalAdvance(QStringLiteral("00:00 / 00:00"));
        const int meterRoom = width - 1 - (timeLeft_ + timeRoom + kFrameBorder);
        ledWidth = std::clamp((meterRoom - kBarChrome - (kMeter14Leds - 1)) / kMeter14Leds,
                              kMeter14MinLedWidth, kMeter14LedWidth);
    }
    const int ledSpan = kMeter14Leds * ledWidth + kMeter14Leds - 1;
    const int meter14Full = ledSpan + kBarChrome;
    LevelMeter14->SetLedWidth(ledWidth);
    int meter14Width = meter14Full;
    if (meterStyle_ == 2 && volumeBar_) {
        // Room for the volume bar at the right edge.
        meter14Width = *volumeBar_ == VolumeBarCause::Keys
                           ? ledSpan - VolumeProcesBar->width()
                           : meter14Full - VolumeProcesBar->width() - kFrameBorder;
    }
    LevelMeter14->setGeometry(width - meter14Full - 1, 2, meter14Width, kMeter14Size.height());
    PanelLevelMeter14->setGeometry(LevelMeter14->x(), kMeterRowTop, meter14Full + 1,
                                   kScale14Height);
    const int designSpan = kMeter14Leds * kMeter14LedWidth + kMeter14Leds - 1;
    for (const auto& [mark, left] : scaleMarks_) {
        mark->move(left * ledSpan / designSpan, 0);
    }
    const int volumeRight = meterStyle_ == 0 ? width : VolumeProcesBar->x();
    // Only as wide as its widest text, so the time label may come up to it.
    const int volumeWidth =
        LabelVolume->fontMetrics().horizontalAdvance(QStringLiteral("100 %")) + 2;
    LabelVolume->setGeometry(volumeRight - volumeWidth - kFrameBorder, kMeterRowTop, volumeWidth,
                             16);
    const int progressRight = meterStyle_ == 0   ? width
                              : meterStyle_ == 1 ? LevelMeter6->x() - kFrameBorder
                                                 : LevelMeter14->x() - kFrameBorder;
    Progres->setGeometry(0, 2, std::max(0, progressRight), 16);
    if (PlayBar->parentWidget() == ProgressPanel) {
        PlayBar->move(0, kPlayBarTop);
    }
    const bool scaleShown = meterStyle_ == 2 && !volumeBar_;
    const int timeRight = scaleShown ? PanelLevelMeter14->x() : LabelVolume->x() - 4;
    LabelTime->setGeometry(timeLeft_, 24, std::max(0, timeRight - timeLeft_), 16);
}

void MainWindow::SetTimeLabelLeft(int left) {
    timeLeft_ = left;
    LayOut();
}

void MainWindow::ShowLevelMeterStyle(int style) {
    meterStyle_ = style;
    volumeBar_.reset();
    VolumeProcesBar->hide();
    LevelMeter6->setVisible(style == 1);
    LevelMeter14->setVisible(style == 2);
    PanelLevelMeter14->setVisible(style == 2);
    LabelVolume->setVisible(style != 2);
    LayOut();
}

void MainWindow::SetMeterLeds(int style, int left, int right) {
    THoxelProgress* meter = style == 1 ? LevelMeter6 : style == 2 ? LevelMeter14 : nullptr;
    if (meter) {
        meter->SetPositionsNow(left, right);
    }
}

void MainWindow::ShowVolumeBar(VolumeBarCause cause) {
    if (meterStyle_ == 0) {
        return;  // the volume label is showing already
    }
    volumeBar_ = cause;
    if (meterStyle_ == 1) {
        LevelMeter6->hide();
    } else {
        PanelLevelMeter14->hide();
        LabelVolume->show();
    }
    LayOut();
    VolumeProcesBar->show();
}

void MainWindow::HideVolumeBar() {
    if (!volumeBar_) {
        return;
    }
    volumeBar_.reset();
    VolumeProcesBar->hide();
    if (meterStyle_ == 1) {
        LevelMeter6->show();
    } else {
        LabelVolume->hide();
        PanelLevelMeter14->show();
    }
    LayOut();
}

void MainWindow::SetCaption(const std::string& text) {
    setWindowTitle(UiText(text));
}

void MainWindow::SetStatusText(int panel, const std::string& text) {
    if (panel >= 0 && panel < 4 && text != statusTexts_[panel]) {
        statusTexts_[panel] = text;
        StatusPanels[panel]->SetText(UiText(text));
        if (panel == 1) {
            FitCountPanel();
        }
    }
}

void MainWindow::FitCountPanel() {
    // No wider than its text needs, so the stream panel gets the rest.
    FitLabel* count = StatusPanels[1];
    const QFontMetrics metrics = count->fontMetrics();
    const int text = std::max(metrics.horizontalAdvance(count->text()),
                              metrics.horizontalAdvance(QStringLiteral("00 Files")));
    count->setFixedWidth(
        std::min(kStatusWidths[1], text + 2 * count->frameWidth() + kPanelPadding));
}

void MainWindow::SetTimeLabel(const std::string& text) {
    // Written on every status tick; it changes about once a second.
    if (text != timeText_) {
        timeText_ = text;
        LabelTime->SetText(UiText(text));
    }
}

Bounds MainWindow::WindowBounds() const {
    const QRect r = isMaximized() ? normalGeometry() : geometry();
    const QPoint at = isMaximized() ? r.topLeft() : pos();
    return {at.x(), at.y(), r.width(), r.height()};
}

void MainWindow::SetWindowBounds(const Bounds& b) {
    move(b.Left, b.Top);
    resize(b.Width, b.Height);
}

Bounds MainWindow::ScreenBounds() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect r = s ? s->geometry() : QRect(0, 0, 1024, 768);
    return {r.x(), r.y(), r.width(), r.height()};
}

bool MainWindow::IsMaximized() const {
    return isMaximized();
}

void MainWindow::Maximize() {
    setWindowState(windowState() | Qt::WindowMaximized);
}

bool MainWindow::BringToFront() {
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    show();
    raise();
    activateWindow();
    return isActiveWindow();
}

void MainWindow::SetPlayBarVisible(bool visible) {
    playBarWanted_ = visible;
    timeLeft_ = !visible ? 6 : SpeedButtonRecord->isVisibleTo(PlayBar) ? 146 : 130;
    PlayBar->setVisible(visible);
    LayOut();
}

void MainWindow::SetProgressPanelVisible(bool visible) {
    auto* column = static_cast<QVBoxLayout*>(centralWidget()->layout());
    if (visible) {
        column->removeWidget(PlayBar);
        PlayBar->setParent(ProgressPanel);
        PlayBar->move(0, kPlayBarTop);
    } else {
        // The play bar stays, docked to the top of the window.
        PlayBar->setParent(centralWidget());
        column->insertWidget(0, PlayBar);
        PlayBar->setFixedHeight(kButtonHeight);
    }
    // Reparenting hides a widget.
    PlayBar->setVisible(playBarWanted_);
    ProgressPanel->setVisible(visible);
    LayOut();
}

void MainWindow::SetStatusBarVisible(bool visible) {
    statusBar()->setVisible(visible);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        if (OnFirstShow) {
            OnFirstShow();
        }
    }
}

void MainWindow::ReportGeometry() {
    LayOut();
    if (OnGeometryChanged) {
        OnGeometryChanged(WindowBounds(), isMaximized());
    }
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    ReportGeometry();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ReportGeometry();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        ReportGeometry();
    }
}

std::string MainWindow::Caption() const {
    return windowTitle().toStdString();
}

void MainWindow::SetViewActionChecked(int format, bool checked) {
    QAction* views[] = {View1Ac, View2Ac, View3Ac};
    if (format >= 0 && format < 3) {
        views[format]->setChecked(checked);
    }
}

void MainWindow::SetBusyCursor(bool busy) {
    if (busy != busy_) {
        busy_ = busy;
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    }
}

int MainWindow::ListRowCount() const {
    return ListScreen->RowCount();
}

void MainWindow::SetListRowCount(int count) {
    ListScreen->SetRowCount(count);
}

void MainWindow::BeginListUpdate() {
    ListScreen->BeginUpdate();
}

void MainWindow::EndListUpdate() {
    ListScreen->EndUpdate();
}

int MainWindow::ListFocusedRow() const {
    return ListScreen->FocusedRow();
}

void MainWindow::SetListFocusedRow(int row) {
    ListScreen->SetFocusedRow(row);
}

int MainWindow::ListTopRow() const {
    return ListScreen->TopRow();
}

void MainWindow::SetListTopRow(int row) {
    ListScreen->SetTopRow(row);
}

std::vector<int> MainWindow::ListSelectedRows() const {
    return ListScreen->SelectedRows();
}

void MainWindow::SetListSelection(const std::vector<int>& rows) {
    ListScreen->SetSelection(rows);
}

int MainWindow::ListItemHeight() const {
    return ListScreen->ItemHeight();
}

int MainWindow::ListClientHeight() const {
    return ListScreen->ClientHeight();
}

void MainWindow::RepaintList() {
    ListScreen->Repaint();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(url.toLocalFile().toStdString());
        }
    }
    event->acceptProposedAction();
    if (OnFilesDropped && !paths.empty()) {
        OnFilesDropped(paths);
    }
}

}  // namespace mirvo
