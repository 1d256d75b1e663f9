// The whole window on a real X server (Xvfb): a list of 20 entries, one
// playing and two queued. The parts of the layout are all there, nothing
// overlaps, and the marked rows are drawn differently. The screenshot is kept
// next to the test for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "ui/HoxelListbox.h"
#include "ui/MainApp.h"

namespace mirvo {
namespace {

QRect InWindow(QWidget* w, QWidget* window) {
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

TEST(Screenshot, FullWindowLayout) {
    test::TempDir dir;
    const std::string tone = dir / "tone.wav";
    test::WriteWav(tone, test::Tone(44100, 4.0, 440), 44100);
    std::string list;
    std::vector<std::string> entries;
    for (int i = 0; i < 20; ++i) {
        const std::string path =
            dir / std::string("Artist - Song number ").append(std::to_string(i + 1)).append(".wav");
        std::filesystem::create_hard_link(tone, path);
        entries.push_back(path);
        list += path + "\r\n";
    }
    dir.Write("Playlist.txt", list);
    dir.Write("Mirvo.ini", "[General]\nDevice=" + std::to_string(audio::test::kDevice) + "\n");

    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    test::FakeDialogs dialogs;
    MainApp app(dir.path(), "", desktop, hotKeys, &dialogs);
    app.Start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&app.window));
    QApplication::processEvents();
    app.window.SetListFocusedRow(3);
    app.controller.engine().PlayEntry(3);
    app.controller.engine().Settle();
    app.player.playlist.QueueList = {entries[7], entries[5]};
    app.window.SetListSelection({10});
    app.window.RepaintList();
    QTest::qWait(200);

    MainWindow& w = app.window;
    const QImage shot =
        w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    shot.save(QStringLiteral("mainwindow.png"));
    ASSERT_FALSE(shot.isNull());

    // The parts are there and inside the window.
    QWidget* parts[] = {w.ProgressPanel,   w.PlayBar,         w.ListScreen,      w.statusBar(),
                        w.StatusPanels[0], w.StatusPanels[1], w.StatusPanels[2], w.StatusPanels[3]};
    const QRect window(QPoint(0, 0), w.size());
    for (QWidget* part : parts) {
        EXPECT_TRUE(part->isVisible()) << part->objectName().toStdString();
        const QRect r = InWindow(part, &w);
        EXPECT_TRUE(window.contains(r)) << part->objectName().toStdString() << " at " << r.x()
                                        << "," << r.y() << " " << r.width() << "x" << r.height();
    }
    EXPECT_EQ(w.StatusPanels[1]->text(), QStringLiteral("20 Files"));
    // At the default size the volume panel and the time label show whole.
    EXPECT_EQ(w.size(), QSize(310, 370));
    EXPECT_EQ(w.StatusPanels[0]->ShownText(), QStringLiteral(" 100 %"));
    EXPECT_LE(QFontMetrics(w.LabelTime->ShownFont()).horizontalAdvance(w.LabelTime->ShownText()),
              w.LabelTime->width());

    // Nothing overlaps: the panel, the list and the status bar stack up;
    // the buttons, the bar and the labels share the panel without touching.
    const auto apart = [&](QWidget* a, QWidget* b) {
        EXPECT_FALSE(InWindow(a, &w).intersects(InWindow(b, &w)))
            << a->objectName().toStdString() << " overlaps " << b->objectName().toStdString();
    };
    apart(w.ProgressPanel, w.ListScreen);
    apart(w.ListScreen, w.statusBar());
    QWidget* panelParts[] = {w.Progres,
                             test::Child<QToolButton>(w, "SpeedButton1"),
                             test::Child<QToolButton>(w, "SpeedButton2"),
                             test::Child<QToolButton>(w, "SpeedButton3"),
                             test::Child<QToolButton>(w, "SpeedButton4"),
                             test::Child<QToolButton>(w, "SpeedButton5"),
                             w.LabelVolume,
                             w.LevelMeter6};
    for (std::size_t i = 0; i < std::size(panelParts); ++i) {
        for (std::size_t j = i + 1; j < std::size(panelParts); ++j) {
            apart(panelParts[i], panelParts[j]);
        }
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            apart(w.StatusPanels[i], w.StatusPanels[j]);
        }
    }

    // The playing, queued and selected rows look different from a plain row.
    const QRect rows = InWindow(w.ListScreen->viewport(), &w);
    const int h = w.ListItemHeight();
    const auto band = [&](int row) {
        const QRect r(rows.left(), rows.top() + row * h, rows.width(), h);
        return shot.copy(r.translated(w.geometry().topLeft() - w.frameGeometry().topLeft()));
    };
    const QImage plain = band(1);
    EXPECT_NE(band(3), plain) << "playing row";
    EXPECT_NE(band(5), plain) << "queued row";
    EXPECT_NE(band(10), plain) << "selected row";
    EXPECT_EQ(band(2).size(), plain.size());
}

}  // namespace
}  // namespace mirvo
