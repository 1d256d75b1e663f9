#include "ui/MainWindow.h"

#include "ui/Style.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace mirvo {
namespace {

constexpr int kPanelHeight = 42;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
constexpr int kPlayBarTop = 19;
constexpr int kStatusWidths[4] = {0, 75, 75, 125};  // panel 0 takes what is left
constexpr int kMeterWidth = 16;

QString Qt(const std::string& text) {
    // Messages break lines with "\r".
    QString s = QString::fromStdString(text);
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QWidget* Part(QWidget* parent, const char* name) {
    auto* w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

}  // namespace

MainWindow::MainWindow() {
    setObjectName(QStringLiteral("TAppMirvo"));
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    ProgressPanel = Part(central, "ProgressPanel");
    ProgressPanel->setFixedHeight(kPanelHeight);
    Progres = Part(ProgressPanel, "Progres");
    LabelTime = new QLabel(ProgressPanel);
    LabelTime->setObjectName(QStringLiteral("LabelTime"));
    LabelVolume = new QLabel(QStringLiteral("100 %"), ProgressPanel);
    LabelVolume->setObjectName(QStringLiteral("LabelVolume"));
    LabelVolume->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LevelMeter14 = Part(ProgressPanel, "LevelMeter14");
    LevelMeter14->hide();
    PanelLevelMeter14 = Part(ProgressPanel, "PanelLevelMeter14");
    PanelLevelMeter14->hide();
    LevelMeter6 = Part(ProgressPanel, "LevelMeter6");
    VolumeProcesBar = Part(ProgressPanel, "VolumeProcesBar");
    VolumeProcesBar->setToolTip(
        QStringLiteral("Tip: Numpad + - to change volume. Press the pause key to softmute "
                       "(quickly change volume)"));
    VolumeProcesBar->setToolTipDuration(kToolTipDurationMs);
    VolumeProcesBar->hide();

    PlayBar = Part(ProgressPanel, "PlayBar");
    const struct {
        QToolButton** button;
        const char* name;
        QStyle::StandardPixmap icon;
    } buttons[] = {
        {&SpeedButton1, "SpeedButton1", QStyle::SP_MediaPlay},
        {&SpeedButton2, "SpeedButton2", QStyle::SP_MediaPause},
        {&SpeedButton3, "SpeedButton3", QStyle::SP_MediaStop},
        {&SpeedButton4, "SpeedButton4", QStyle::SP_MediaSkipBackward},
        {&SpeedButton5, "SpeedButton5", QStyle::SP_MediaSkipForward},
        {&SpeedButtonRecord, "SpeedButtonRecord", QStyle::SP_DialogYesButton},
    };
    int x = 0;
    for (const auto& b : buttons) {
        auto* button = new QToolButton(PlayBar);
        button->setObjectName(QLatin1String(b.name));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(style()->standardIcon(b.icon));
        button->setGeometry(x, 0, kButtonWidth, kButtonHeight);
        x += kButtonWidth;
        *b.button = button;
    }
    SpeedButtonRecord->hide();
    PlayBar->resize(x, kButtonHeight);

    ListScreen = Part(central, "ListScreen");
    column->addWidget(ProgressPanel);
    column->addWidget(ListScreen, 1);
    setCentralWidget(central);

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        StatusPanels[i] = new QLabel(statusBar());
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (kStatusWidths[i] > 0) {
            StatusPanels[i]->setFixedWidth(kStatusWidths[i]);
        }
        statusBar()->addPermanentWidget(StatusPanels[i], kStatusWidths[i] > 0 ? 0 : 1);
    }
    ProgressPanel->installEventFilter(this);
    resize(310, 370);
    LayOut();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ProgressPanel && event->type() == QEvent::Resize) {
        LayOut();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::LayOut() {
    const int width = ProgressPanel->width() > 0 ? ProgressPanel->width() : this->width();
    // The progress bar stretches; everything right of it keeps its distance to the edge.
    Progres->setGeometry(0, 2, std::max(0, width - 265), 16);
    LevelMeter6->setGeometry(width - kMeterWidth - 1, 2, kMeterWidth, kPanelHeight - 4);
    VolumeProcesBar->setGeometry(LevelMeter6->geometry());
    LevelMeter14->setGeometry(width - 121 - 1, 2, 121, 16);
    PanelLevelMeter14->setGeometry(LevelMeter14->x(), 20, 121, 12);
    LabelVolume->setGeometry(VolumeProcesBar->x() - 50 - 4, 22, 50, 16);
    if (PlayBar->parentWidget() == ProgressPanel) {
        PlayBar->move(0, kPlayBarTop);
    }
    const int timeLeft = !playBarWanted_ ? 6 : SpeedButtonRecord->isVisibleTo(PlayBar) ? 146 : 130;
    LabelTime->move(timeLeft, 24);
    LabelTime->resize(std::max(0, LabelVolume->x() - LabelTime->x()), 16);
}

void MainWindow::SetCaption(const std::string& text) {
    setWindowTitle(Qt(text));
}

void MainWindow::SetStatusText(int panel, const std::string& text) {
    if (panel >= 0 && panel < 4) {
        StatusPanels[panel]->setText(Qt(text));
    }
}

void MainWindow::SetTimeLabel(const std::string& text) {
    LabelTime->setText(Qt(text));
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

}  // namespace mirvo
