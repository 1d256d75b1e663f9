// At the default width every text of the time label, the volume label and the
// status panels is shown whole: measured against the rectangle it is drawn in,
// never cut at an edge or ended with "…", in each meter style.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

#include "ui/MainWindow.h"

namespace mirvo {
namespace {

const QChar kEllipsis(0x2026);

struct DefaultWindow {
    DefaultWindow() {
        window.resize(310, 370);
        window.show();
        QApplication::processEvents();
    }
    MainWindow window;
};

// `label` draws `shown` whole inside its rectangle, in a readable font.
void ExpectWhole(const FitLabel& label, const char* what) {
    const QString shown = label.ShownText();
    SCOPED_TRACE(std::string(what) + ": \"" + label.text().toStdString() + "\" shown as \"" +
                 shown.toStdString() + "\"");
    EXPECT_FALSE(shown.isEmpty());
    EXPECT_FALSE(shown.contains(kEllipsis));
    EXPECT_LE(QFontMetrics(label.ShownFont()).horizontalAdvance(shown),
              label.contentsRect().width());
    EXPECT_GE(QFontInfo(label.ShownFont()).pixelSize(), 8);
    EXPECT_EQ(label.toolTip().isEmpty(), shown.trimmed() == label.text().trimmed());
}

QRect In(const QWidget* w, const QWidget* window) {
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

TEST(TextsWhole, TheTimeLabelInEveryMeterStyle) {
    DefaultWindow d;
    MainWindow& m = d.window;
    const char* times[] = {"0:14 / 4:05 / -3:51", "10:02 / 11:05 / -1:03",
                           "0:03:52 / 0:04:00 / -0:00:08", "1:23* / 4:05 / -2:42"};
    for (const int style : {0, 1, 2}) {
        m.ShowLevelMeterStyle(style);
        QApplication::processEvents();
        for (const char* time : times) {
            m.SetTimeLabel(time);
            ExpectWhole(*m.LabelTime, "time");
            // Position and length stay, whatever is left out.
            const QString both = QString::fromLatin1(time).section(QStringLiteral(" / "), 0, 1);
            EXPECT_TRUE(m.LabelTime->ShownText().startsWith(both)) << style << " " << time;
        }
        // Nothing of the panel lies over the label.
        for (const QWidget* other : {static_cast<const QWidget*>(m.LabelVolume),
                                     static_cast<const QWidget*>(m.PanelLevelMeter14),
                                     static_cast<const QWidget*>(m.LevelMeter6),
                                     static_cast<const QWidget*>(m.LevelMeter14)}) {
            if (other->isVisible()) {
                EXPECT_FALSE(In(other, &m).intersects(In(m.LabelTime, &m)))
                    << other->objectName().toStdString() << " in style " << style;
            }
        }
    }
    // The wide meter shrinks for the label, with all its LEDs and scale marks.
    m.ShowLevelMeterStyle(2);
    EXPECT_LT(m.LevelMeter14->width(), 143);
    EXPECT_EQ(m.LevelMeter14->Max(), 14);
    const QList<QLabel*> marks = m.PanelLevelMeter14->findChildren<QLabel*>();
    for (int i = 0; i + 1 < marks.size(); ++i) {
        EXPECT_LE(
            marks[i]->x() + QFontMetrics(marks[i]->font()).horizontalAdvance(marks[i]->text()),
            marks[i + 1]->x())
            << marks[i]->text().toStdString();
    }
    EXPECT_LE(marks.back()->x() +
                  QFontMetrics(marks.back()->font()).horizontalAdvance(QStringLiteral("0")),
              m.PanelLevelMeter14->width());
}

TEST(TextsWhole, AStationsRateAndARecordingBesideTheRecordButton) {
    DefaultWindow d;
    MainWindow& m = d.window;
    m.SpeedButtonRecord->show();
    m.SetTimeLabelLeft(146);
    for (const char* text :
         {"Playing internet stream at 16 KB/s", "Recording... Left: 1234:56 (12,345 MB)"}) {
        m.SetTimeLabel(text);
        ExpectWhole(*m.LabelTime, "time");
        EXPECT_FALSE(In(m.LabelTime, &m).intersects(In(m.LabelVolume, &m))) << text;
        EXPECT_FALSE(In(m.LabelTime, &m).intersects(In(m.SpeedButtonRecord, &m))) << text;
    }
    EXPECT_TRUE(m.LabelTime->ShownText().contains(QStringLiteral("1234:56")));
}

TEST(TextsWhole, TheVolumeLabelWhereverItShows) {
    DefaultWindow d;
    MainWindow& m = d.window;
    const auto expectWhole = [&](const char* state) {
        SCOPED_TRACE(state);
        EXPECT_TRUE(m.LabelVolume->isVisible());
        EXPECT_LE(m.LabelVolume->fontMetrics().horizontalAdvance(m.LabelVolume->text()),
                  m.LabelVolume->contentsRect().width());
        EXPECT_TRUE(
            QRect(QPoint(0, 0), m.ProgressPanel->size()).contains(m.LabelVolume->geometry()));
        for (const QWidget* other : {static_cast<const QWidget*>(m.LabelTime),
                                     static_cast<const QWidget*>(m.VolumeProcesBar),
                                     static_cast<const QWidget*>(m.LevelMeter6),
                                     static_cast<const QWidget*>(m.LevelMeter14),
                                     static_cast<const QWidget*>(m.Progres)}) {
            if (other->isVisible()) {
                EXPECT_FALSE(other->geometry().intersects(m.LabelVolume->geometry()))
                    << other->objectName().toStdString();
            }
        }
    };
    m.LabelVolume->setText(QStringLiteral("100 %"));
    m.ShowLevelMeterStyle(0);
    expectWhole("no meter");
    m.ShowLevelMeterStyle(1);
    expectWhole("7 LEDs");
    m.ShowVolumeBar(VolumeBarCause::Drag);
    expectWhole("7 LEDs, the volume dragged");
    m.HideVolumeBar();
    m.ShowLevelMeterStyle(2);
    m.ShowVolumeBar(VolumeBarCause::Keys);
    expectWhole("14 LEDs, volume keys");
    m.HideVolumeBar();
    m.ShowVolumeBar(VolumeBarCause::Drag);
    expectWhole("14 LEDs, the volume dragged");
}

TEST(TextsWhole, TheStatusPanelsWithTheProgramsTexts) {
    DefaultWindow d;
    MainWindow& m = d.window;
    m.SetStatusText(0, " 100 %");
    m.SetStatusText(1, "100000 Files");
    ExpectWhole(*m.StatusPanels[0], "volume");
    ExpectWhole(*m.StatusPanels[1], "count");
    EXPECT_EQ(m.StatusPanels[1]->ShownText(), QStringLiteral("100000 Files"));
    EXPECT_LE(m.StatusPanels[1]->width(), 75);
    m.SetStatusText(1, "20 Files");
    for (const char* mode : {"Repeat file", "Play list", "Play file     ", "Shuffle"}) {
        m.SetStatusText(2, mode);
        ExpectWhole(*m.StatusPanels[2], "mode");
        EXPECT_EQ(m.StatusPanels[2]->ShownText().trimmed(), QString::fromLatin1(mode).trimmed());
    }
    const struct {
        const char* text;
        const char* kept;  // what the shown form must still say
    } details[] = {
        {"MP3 128 kbps - 44100 Hz Joint Stereo", "MP3 128 kbps"},
        {"WAVE 1411 kbps - 44100 Hz 16 bit Stereo", "WAVE 1411 kbps"},
        {"FLAC 905 kbps - 96000 Hz Stereo", "FLAC 905 kbps"},
        {"128 Kbps 44100 Hz - Stereo", "128 Kbps"},
        {"Calculating time... 120 of 5000 Press ESC to abort", "ESC"},
        {"Opening... Press ESC to abort", "ESC"},
        {"Checking for updates...", "updates"},
        {"Error: Lost connection", "Lost connection"},
        {"Buffering...50%", "50%"},
        {"Reconnecting... (12)", "(12)"},
        {"Writing wave file...", "wave file"},
    };
    for (const auto& d : details) {
        m.SetStatusText(3, d.text);
        ExpectWhole(*m.StatusPanels[3], "stream");
        EXPECT_TRUE(m.StatusPanels[3]->ShownText().contains(QLatin1String(d.kept))) << d.text;
    }
    // With room the whole text shows again.
    m.resize(700, 370);
    QApplication::processEvents();
    m.SetStatusText(3, details[0].text);
    EXPECT_EQ(m.StatusPanels[3]->ShownText(), QString::fromLatin1(details[0].text));
    EXPECT_TRUE(m.StatusPanels[3]->toolTip().isEmpty());
}

TEST(TextsWhole, ShorterFormsKeepWhatMattersMost) {
    EXPECT_EQ(FitLabel::ShorterForms(QStringLiteral("MP3 128 kbps - 44100 Hz Joint Stereo")),
              (QStringList{"MP3 128 kbps 44.1 kHz Joint Stereo", "MP3 128 kbps 44.1 kHz",
                           "MP3 128 kbps"}));
    EXPECT_EQ(FitLabel::ShorterForms(QStringLiteral("OGG 96 kbps - 48000 Hz Mono")),
              (QStringList{"OGG 96 kbps 48 kHz Mono", "OGG 96 kbps 48 kHz", "OGG 96 kbps"}));
    EXPECT_EQ(FitLabel::ShorterForms(QStringLiteral("0:14 / 4:05 / -3:51")),
              (QStringList{"0:14 / 4:05", "0:14"}));
    EXPECT_EQ(FitLabel::ShorterForms(
                  QStringLiteral("Calculating time... 120 of 5000 Press ESC to abort")),
              (QStringList{"120 of 5000 Press ESC to abort", "120 of 5000 ESC to abort"}));
    EXPECT_EQ(FitLabel::ShorterForms(QStringLiteral("Playing internet stream at 16 KB/s")),
              QStringList{"16 KB/s"});
    EXPECT_EQ(FitLabel::ShorterForms(QStringLiteral("Recording... Left: 12:34 (1,234 MB)")),
              (QStringList{"Left: 12:34 (1,234 MB)", "Left: 12:34"}));
    // Texts of stations and files are left as they are.
    EXPECT_TRUE(FitLabel::ShorterForms(QStringLiteral("Connecting Radio 1 at Night...")).isEmpty());
    EXPECT_TRUE(FitLabel::ShorterForms(QStringLiteral("100000 Files")).isEmpty());
    EXPECT_TRUE(FitLabel::ShorterForms(QString()).isEmpty());
}

}  // namespace
}  // namespace mirvo
