// The meter area of the main window: the bars' settings, the three meter
// layouts and the volume bar standing in for a meter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <utility>
#include <vector>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/LevelMeters.h"
#include "ui/MainWindow.h"

namespace mirvo {
namespace {

struct Shown {
    Shown() {
        window.resize(386, 290);  // the design's client width
        window.show();
        QApplication::processEvents();
    }
    MainWindow window;
};

TEST(MeterLayout, BarsHaveTheirKindsAndPlaces) {
    Shown s;
    MainWindow& m = s.window;
    ASSERT_EQ(m.ProgressPanel->width(), 386);

    EXPECT_EQ(m.LevelMeter6->geometry(), QRect(370, 2, 16, 37));
    EXPECT_EQ(m.LevelMeter6->Max(), 7);
    EXPECT_EQ(m.LevelMeter6->Orientation(), TOrientationType::pbVertical);
    EXPECT_EQ(m.LevelMeter6->BarType(), TBarType::brStereoLeds);
    EXPECT_EQ(m.LevelMeter6->StereoSeperation(), 2);
    EXPECT_EQ(m.LevelMeter6->LedSeperation(), 2);
    EXPECT_EQ(m.LevelMeter6->LedWidth(), 3);
    EXPECT_TRUE(m.LevelMeter6->isVisible());

    EXPECT_EQ(m.LevelMeter14->geometry(), QRect(242, 2, 143, 16));
    EXPECT_EQ(m.LevelMeter14->Max(), 14);
    EXPECT_EQ(m.LevelMeter14->Orientation(), TOrientationType::pbHorizontal);
    EXPECT_EQ(m.LevelMeter14->BarType(), TBarType::brStereoLeds);
    EXPECT_EQ(m.LevelMeter14->StereoSeperation(), 2);
    EXPECT_EQ(m.LevelMeter14->LedSeperation(), 1);
    EXPECT_EQ(m.LevelMeter14->LedWidth(), 9);
    EXPECT_EQ(m.LevelMeter14->Position(), 1);
    EXPECT_EQ(m.LevelMeter14->Position2(), 1);
    EXPECT_FALSE(m.LevelMeter14->isVisible());

    EXPECT_EQ(m.PanelLevelMeter14->geometry(), QRect(242, 22, 144, 16));
    QStringList marks;
    for (const QLabel* label : m.PanelLevelMeter14->findChildren<QLabel*>()) {
        marks << QStringLiteral("%1@%2").arg(label->text()).arg(label->x());
    }
    EXPECT_EQ(marks.join(QLatin1Char(' ')),
              QStringLiteral("-oo@0 30@31 20@51 12@71 8@94 4@114 0 @134"));

    EXPECT_EQ(m.VolumeProcesBar->geometry(), m.LevelMeter6->geometry());
    EXPECT_EQ(m.VolumeProcesBar->Orientation(), TOrientationType::pbVertical);
    EXPECT_EQ(m.VolumeProcesBar->Max(), 100);
    EXPECT_FALSE(m.VolumeProcesBar->isVisible());

    for (const THoxelProgress* bar : {m.Progres, m.LevelMeter6, m.LevelMeter14}) {
        EXPECT_EQ(bar->BorderWidth(), 1);
        EXPECT_EQ(bar->CaptionType(), TCaptionType::ctNone);
    }
    EXPECT_EQ(m.Progres->BarType(), TBarType::brNormal);
}

TEST(MeterLayout, EachStyleShowsItsMeterAndStretchesTheProgressBar) {
    Shown s;
    MainWindow& m = s.window;
    m.ShowLevelMeterStyle(0);
    EXPECT_FALSE(m.LevelMeter6->isVisible());
    EXPECT_FALSE(m.LevelMeter14->isVisible());
    EXPECT_FALSE(m.PanelLevelMeter14->isVisible());
    EXPECT_TRUE(m.LabelVolume->isVisible());
    EXPECT_EQ(m.LabelVolume->geometry().right() + 1, 386 - 4);
    EXPECT_EQ(m.Progres->geometry(), QRect(0, 2, 386, 16));

    m.ShowLevelMeterStyle(1);
    EXPECT_TRUE(m.LevelMeter6->isVisible());
    EXPECT_FALSE(m.LevelMeter14->isVisible());
    EXPECT_TRUE(m.LabelVolume->isVisible());
    EXPECT_EQ(m.LabelVolume->geometry().right() + 1, 370 - 4);
    EXPECT_EQ(m.Progres->width(), 366);

    m.ShowLevelMeterStyle(2);
    EXPECT_FALSE(m.LevelMeter6->isVisible());
    EXPECT_TRUE(m.LevelMeter14->isVisible());
    EXPECT_TRUE(m.PanelLevelMeter14->isVisible());
    EXPECT_FALSE(m.LabelVolume->isVisible());
    EXPECT_EQ(m.Progres->width(), 238);
    EXPECT_GT(m.LabelTime->width(), 0);
    EXPECT_LE(m.LabelTime->geometry().right(), m.PanelLevelMeter14->x());

    // A wider window keeps the meters at the right edge.
    m.resize(486, 290);
    QApplication::processEvents();
    EXPECT_EQ(m.LevelMeter14->geometry(), QRect(342, 2, 143, 16));
    EXPECT_EQ(m.PanelLevelMeter14->x(), 342);
    EXPECT_EQ(m.Progres->width(), 338);
}

TEST(MeterLayout, VolumeBarStandsInForTheMeter) {
    Shown s;
    MainWindow& m = s.window;
    m.ShowLevelMeterStyle(2);
    m.ShowVolumeBar(VolumeBarCause::Keys);
    EXPECT_TRUE(m.VolumeProcesBar->isVisible());
    EXPECT_TRUE(m.LabelVolume->isVisible());
    EXPECT_FALSE(m.PanelLevelMeter14->isVisible());
    EXPECT_EQ(m.LevelMeter14->geometry(), QRect(242, 2, 139 - 16, 16));
    EXPECT_LT(m.LevelMeter14->geometry().right(), m.VolumeProcesBar->x());
    EXPECT_EQ(m.LabelVolume->geometry().right() + 1, 370 - 4);
    m.HideVolumeBar();
    EXPECT_FALSE(m.VolumeProcesBar->isVisible());
    EXPECT_FALSE(m.LabelVolume->isVisible());
    EXPECT_TRUE(m.PanelLevelMeter14->isVisible());
    EXPECT_EQ(m.LevelMeter14->width(), 143);

    m.ShowVolumeBar(VolumeBarCause::Drag);
    EXPECT_EQ(m.LevelMeter14->width(), 143 - 16 - 4);
    // Switching the style ends the stand-in.
    m.ShowLevelMeterStyle(1);
    EXPECT_FALSE(m.VolumeProcesBar->isVisible());
    EXPECT_TRUE(m.LevelMeter6->isVisible());

    m.ShowVolumeBar(VolumeBarCause::Drag);
    EXPECT_FALSE(m.LevelMeter6->isVisible());
    EXPECT_TRUE(m.VolumeProcesBar->isVisible());
    EXPECT_TRUE(m.LabelVolume->isVisible());
    m.HideVolumeBar();
    EXPECT_TRUE(m.LevelMeter6->isVisible());
    EXPECT_FALSE(m.VolumeProcesBar->isVisible());
    EXPECT_TRUE(m.LabelVolume->isVisible());

    m.ShowLevelMeterStyle(0);
    m.ShowVolumeBar(VolumeBarCause::Keys);
    EXPECT_FALSE(m.VolumeProcesBar->isVisible());
    m.HideVolumeBar();
    EXPECT_TRUE(m.LabelVolume->isVisible());
}

void Mouse(QWidget* to, QEvent::Type type, Qt::MouseButton button, int screenY) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, QPointF(2, 2), QPointF(100, screenY), button, held, Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

TEST(MeterLayout, DragsOnTheMeterAreaAreReportedWithScreenY) {
    Shown s;
    MainWindow& m = s.window;
    std::vector<std::pair<MainWindow::MeterDrag, int>> seen;
    m.OnMeterAreaDrag = [&](MainWindow::MeterDrag phase, int y) {
        seen.push_back({phase, y});
        if (phase == MainWindow::MeterDrag::Press) {
            m.ShowVolumeBar(VolumeBarCause::Drag);  // the small meter makes way
        }
    };
    Mouse(m.LevelMeter6, QEvent::MouseButtonPress, Qt::LeftButton, 500);
    EXPECT_FALSE(m.LevelMeter6->isVisible());
    // The panel holds the mouse until the button comes up.
    Mouse(m.ProgressPanel, QEvent::MouseMove, Qt::LeftButton, 470);
    Mouse(m.ProgressPanel, QEvent::MouseButtonRelease, Qt::LeftButton, 460);
    Mouse(m.ProgressPanel, QEvent::MouseMove, Qt::NoButton, 400);
    using D = MainWindow::MeterDrag;
    EXPECT_EQ(seen,
              (std::vector<std::pair<D, int>>{{D::Press, 500}, {D::Move, 470}, {D::Release, 460}}));

    // Other buttons and other widgets start nothing; the scale's marks do.
    seen.clear();
    Mouse(m.LabelVolume, QEvent::MouseButtonPress, Qt::RightButton, 10);
    Mouse(m.Progres, QEvent::MouseButtonPress, Qt::LeftButton, 10);
    EXPECT_TRUE(seen.empty());
    Mouse(m.PanelLevelMeter14->findChildren<QLabel*>().front(), QEvent::MouseButtonPress,
          Qt::LeftButton, 30);
    Mouse(m.ProgressPanel, QEvent::MouseButtonRelease, Qt::LeftButton, 31);
    EXPECT_EQ(seen, (std::vector<std::pair<D, int>>{{D::Press, 30}, {D::Release, 31}}));
}

// Loud stereo at 44.1 kHz.
class LoudSampler : public LevelSampler {
  public:
    std::uint64_t SecondsToBytes(float seconds) override {
        return static_cast<std::uint64_t>(seconds * 44100) * 4;
    }
    std::uint32_t RecentData(std::int16_t* samples, std::uint32_t bytes) override {
        for (std::uint32_t i = 0; i < bytes / 2; i += 2) {
            samples[i] = -32768;
            samples[i + 1] = 1037;
        }
        return bytes;
    }
    int Channels() override { return 2; }
};

TEST(MeterLayout, LevelsLightTheMeterOfTheStyle) {
    test::TempDir dir;
    test::FakePlayer fake(dir.path());
    Shown s;
    LoudSampler sampler;
    LevelMeters meters(fake.player.settings, fake.player.values, s.window, sampler);
    meters.SetLevelMeterStyle(2);
    EXPECT_TRUE(s.window.LevelMeter14->isVisible());
    meters.UpdateLevels();
    EXPECT_EQ(s.window.LevelMeter14->Position(), 14);
    EXPECT_EQ(s.window.LevelMeter14->Position2(), 4);
    meters.SetLevelMeterStyle(1);
    meters.UpdateLevels();
    EXPECT_EQ(s.window.LevelMeter6->Position(), 7);
    EXPECT_EQ(s.window.LevelMeter6->Position2(), 2);
    EXPECT_TRUE(s.window.LevelMeter6->isVisible());
    EXPECT_FALSE(s.window.LevelMeter14->isVisible());
}

}  // namespace
}  // namespace mirvo
