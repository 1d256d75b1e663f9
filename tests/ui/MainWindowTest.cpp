// The main window frame on a real widget tree (offscreen platform).
#include "fakes/Child.h"
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

#include "app/Application.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"

namespace mirvo {
namespace {

using test::TempDir;

struct Window {
    explicit Window(const std::string& folder)
        : player(folder, Services{window, dialogs, loop, desktop, hotKeys}), app(player) {
        window.OnFirstShow = [this] { app.FirstShow(); };
        window.OnGeometryChanged = [this](const Bounds& b, bool maximized) {
            app.WindowGeometryChanged(b, maximized);
        };
    }
    MainWindow window;
    test::FakeDialogs dialogs;
    test::FakeEventLoop loop;
    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    Player player;
    Application app;
};

TEST(MainWindow, TextsFollowEveryChangeAlsoBackToAnEarlierOne) {
    MainWindow window;
    window.SetTimeLabel("0:01 / 0:30");
    window.SetTimeLabel("0:02 / 0:30");
    window.SetTimeLabel("0:01 / 0:30");  // a seek back
    EXPECT_EQ(window.LabelTime->text(), QStringLiteral("0:01 / 0:30"));
    window.SetTimeLabel("");
    EXPECT_TRUE(window.LabelTime->text().isEmpty());
    window.SetStatusText(1, "Playing");
    window.SetStatusText(2, "Playing");
    window.SetStatusText(1, "Stopped");
    window.SetStatusText(1, "Playing");
    EXPECT_EQ(window.StatusPanels[1]->text(), QStringLiteral("Playing"));
    EXPECT_EQ(window.StatusPanels[2]->text(), QStringLiteral("Playing"));
    window.SetStatusText(2, "Line 1\rLine 2");
    EXPECT_EQ(window.StatusPanels[2]->text(), QStringLiteral("Line 1\nLine 2"));
}

TEST(MainWindow, FrameHasItsPartsAndSizes) {
    TempDir dir;
    Window w(dir.path());
    w.app.CreateMainWindow();
    w.window.show();
    QApplication::processEvents();
    MainWindow& m = w.window;

    EXPECT_EQ(m.windowTitle(), QStringLiteral("Mirvo 1.04i"));
    EXPECT_EQ(m.objectName(), QStringLiteral("TAppMirvo"));
    EXPECT_EQ(m.size(), QSize(310, 370));
    EXPECT_EQ(m.ProgressPanel->height(), 42);
    EXPECT_EQ(m.ProgressPanel->width(), m.centralWidget()->width());
    EXPECT_EQ(m.LabelVolume->text(), QStringLiteral("100 %"));

    // Five transport buttons side by side at the play bar's place; record waits for radio.
    QToolButton* buttons[] = {
        test::Child<QToolButton>(m, "SpeedButton1"), test::Child<QToolButton>(m, "SpeedButton2"),
        test::Child<QToolButton>(m, "SpeedButton3"), test::Child<QToolButton>(m, "SpeedButton4"),
        test::Child<QToolButton>(m, "SpeedButton5")};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(buttons[i]->isVisible());
        EXPECT_EQ(buttons[i]->geometry(), QRect(23 * i, 0, 23, 22));
    }
    // The controller reaches them by what they do.
    using Transport = MainWindow::Transport;
    EXPECT_EQ(m.TransportButton(Transport::Play), buttons[0]);
    EXPECT_EQ(m.TransportButton(Transport::Pause), buttons[1]);
    EXPECT_EQ(m.TransportButton(Transport::Stop), buttons[2]);
    EXPECT_EQ(m.TransportButton(Transport::Previous), buttons[3]);
    EXPECT_EQ(m.TransportButton(Transport::Next), buttons[4]);
    EXPECT_EQ(m.TransportButton(Transport::Next)->text(), QStringLiteral("Next"));
    EXPECT_FALSE(m.SpeedButtonRecord->isVisible());
    EXPECT_EQ(m.PlayBar->pos(), QPoint(0, 19));
    EXPECT_EQ(m.LabelTime->pos(), QPoint(130, 24));

    // The progress bar stretches with the window.
    EXPECT_EQ(m.Progres->geometry().topLeft(), QPoint(0, 2));
    const int progressWidth = m.Progres->width();
    const int streamPanelWidth = m.StatusPanels[3]->width();
    const int volumePanelWidth = m.StatusPanels[0]->width();
    m.resize(410, 370);
    QApplication::processEvents();
    EXPECT_EQ(m.Progres->width(), progressWidth + 100);
    EXPECT_GT(m.LabelVolume->x(), m.LabelTime->x());

    EXPECT_EQ(m.statusBar()->objectName(), QStringLiteral("StatusBar1"));
    EXPECT_LE(m.StatusPanels[1]->width(), 75);
    EXPECT_LE(m.StatusPanels[2]->width(), 75);
    // The stream panel takes what the window gains; the volume panel keeps its text's width.
    EXPECT_EQ(m.StatusPanels[3]->width(), streamPanelWidth + 100);
    EXPECT_EQ(m.StatusPanels[0]->width(), volumePanelWidth);
    EXPECT_GE(volumePanelWidth,
              m.StatusPanels[0]->fontMetrics().horizontalAdvance(QStringLiteral(" 100 %")));

    // The list takes the space between the panel and the status bar.
    EXPECT_EQ(m.ListScreen->y(), 42);
    EXPECT_GT(m.ListScreen->height(), 200);
}

TEST(MainWindow, HiddenProgressPanelKeepsThePlayBarAtTheTop) {
    TempDir dir;
    dir.Write("Mirvo.ini", "[Window]\nProgressPanel=0\nStatusBar=0\n");
    Window w(dir.path());
    w.app.CreateMainWindow();
    w.window.show();
    QApplication::processEvents();
    MainWindow& m = w.window;
    EXPECT_FALSE(m.ProgressPanel->isVisible());
    EXPECT_TRUE(m.PlayBar->isVisible());
    EXPECT_EQ(m.PlayBar->mapTo(&m, QPoint(0, 0)).y(), m.centralWidget()->y());
    EXPECT_FALSE(m.statusBar()->isVisible());
    EXPECT_EQ(m.ListScreen->y(), 22);

    m.SetProgressPanelVisible(true);
    QApplication::processEvents();
    EXPECT_EQ(m.PlayBar->parentWidget(), m.ProgressPanel);
    EXPECT_EQ(m.PlayBar->pos(), QPoint(0, 19));
    EXPECT_TRUE(m.PlayBar->isVisible());
}

TEST(MainWindow, HiddenPlayBarMovesTheTimeLabelLeft) {
    TempDir dir;
    dir.Write("Mirvo.ini", "[Window]\nPlayBar=0\n");
    Window w(dir.path());
    w.app.CreateMainWindow();
    w.window.show();
    QApplication::processEvents();
    EXPECT_FALSE(w.window.PlayBar->isVisible());
    EXPECT_EQ(w.window.LabelTime->x(), 6);
}

TEST(MainWindow, GeometryIsRememberedAndSavedAtExit) {
    TempDir dir;
    dir.Write("Mirvo.ini", "[Window]\nLeft=40\nTop=50\nWidth=320\nHeight=380\n");
    Window w(dir.path());
    w.app.CreateMainWindow();
    w.window.show();
    QApplication::processEvents();
    EXPECT_EQ(w.player.app.NormalBounds.Width, 320);
    EXPECT_TRUE(w.player.app.WindowShown);
    w.window.resize(330, 390);
    QApplication::processEvents();
    w.app.Shutdown();
    const IniFile ini = IniFile::Load(dir / "Mirvo.ini");
    EXPECT_EQ(ini.ReadInteger("Window", "Width", 0), 330);
    EXPECT_EQ(ini.ReadInteger("Window", "Height", 0), 390);
}

}  // namespace
}  // namespace mirvo
