// What a new user meets on the main window (offscreen, real widgets, the
// whole program behind it, the audio library's test device): saving, double
// clicks, the status bar and time label at the default size, the cursor mark,
// menus and the desktop's answers.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/StartedWindow.h"
#include "fakes/TempDir.h"
#include "support/Files.h"
#include "ui/FitLabel.h"
#include "ui/HoxelListbox.h"
#include "ui/InputForm.h"
#include "ui/MainApp.h"

namespace mirvo {
namespace {

using test::TempDir;

class Walk : public ::testing::Test {
  protected:
    // Four tracks of different lengths, or the files given.
    void Start(std::vector<std::string> files = {}) {
        if (files.empty()) {
            for (int i = 0; i < 4; ++i) {
                const std::string path =
                    dir_ / std::string("t").append(std::to_string(i)).append(".wav");
                test::WriteWav(path, test::Tone(44100, 5.0 + i, 440), 44100);
                files.push_back(path);
            }
        }
        entries_ = files;
        app_ = test::StartWindow(dir_, entries_, desktop_, hotKeys_, dialogs_);
    }
    void TearDown() override {
        app_.reset();
        audio::Free();
    }

    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(
            QApplication::focusWidget() ? QApplication::focusWidget() : window().ListScreen,
            static_cast<Qt::Key>(key), modifiers);
        engine().Settle();  // what the key started has landed
    }
    Engine& engine() { return app_->controller.engine(); }
    PlaylistState& list() { return app_->player.playlist; }
    MainWindow& window() { return app_->window; }
    QPoint RowCentre(int row) {
        const int h = window().ListItemHeight();
        return QPoint(40, (row - window().ListTopRow()) * h + h / 2);
    }

    TempDir dir_;
    std::vector<std::string> entries_;
    test::FakeDesktop desktop_;
    test::FakeHotKeys hotKeys_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<MainApp> app_;
};

TEST_F(Walk, SavingLeavesWhatPlaysNextAndSaysWhatItCannotSave) {
    Start();
    window().SetListFocusedRow(1);
    Press(Qt::Key_Return);
    ASSERT_EQ(list().PlayingIndex, 1);
    dialogs_.saveAnswers = {dir_ / "UP.TXT", dir_ / "list.doc"};
    Press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "UP.TXT"));
    EXPECT_EQ(list().PlayingIndex, 1);
    Press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "list.doc"));
    ASSERT_EQ(dialogs_.notices.size(), 1u);
    EXPECT_NE(dialogs_.notices[0].text.find(".txt (Mirvo), .m3u or .pls"), std::string::npos);
    Press(Qt::Key_Tab);
    EXPECT_EQ(list().PlayingIndex, 2);  // the row after the playing one, not row 0
}

TEST_F(Walk, DoubleClickPlaysTheRow) {
    Start();
    QTest::mouseDClick(window().ListScreen->viewport(), Qt::LeftButton, Qt::NoModifier,
                       RowCentre(2));
    engine().Settle();
    EXPECT_EQ(list().PlayingIndex, 2);
    EXPECT_EQ(engine().OutputState(), audio::kActivePlaying);
    EXPECT_EQ(window().windowTitle(), QStringLiteral("t2.wav - Mirvo"));
}

TEST_F(Walk, StatusBarAndTimeLabelShowWholeTextsAtTheDefaultSize) {
    // An 11-minute track: little sound per second keeps the file small.
    const std::string longTrack = dir_ / "long.wav";
    test::WriteWav(longTrack, test::Tone(8000, 665.0, 440), 8000);
    Start({longTrack});
    window().resize(310, 370);
    QApplication::processEvents();
    Press(Qt::Key_Return);
    Press(Qt::Key_Space);  // paused, so the label stays where the seek puts it
    engine().SeekTo(engine().MsToBytes(602000));
    engine().Settle();  // the source moved on the starter
    QApplication::processEvents();

    FitLabel* time = window().LabelTime;
    EXPECT_EQ(time->text(), QStringLiteral("10:02 / 11:05 / -1:03"));
    EXPECT_LE(QFontMetrics(time->ShownFont()).horizontalAdvance(time->ShownText()), time->width());
    EXPECT_TRUE(time->ShownText().startsWith(QStringLiteral("10:02 / 11:05")));
    EXPECT_LE(time->geometry().right(), window().LabelVolume->geometry().left());

    FitLabel* const* panels = window().StatusPanels;
    EXPECT_EQ(panels[0]->text(), QStringLiteral(" 100 %"));
    EXPECT_EQ(panels[0]->ShownText(), panels[0]->text());
    // The count and mode panels need less than their 75 pixels.
    EXPECT_LE(panels[1]->width(), 75);
    EXPECT_LE(panels[2]->width(), 75);
    // The stream panel takes the rest; what does not fit shows in a shorter
    // form, and the tooltip has it whole.
    Press(Qt::Key_Space);
    const QString format = panels[3]->text();
    EXPECT_TRUE(format.startsWith(QStringLiteral("WAVE "))) << format.toStdString();
    const int volumeWidth = panels[0]->width();
    const int before = panels[3]->width();
    EXPECT_TRUE(panels[3]->ShownText().startsWith(QStringLiteral("WAVE ")));
    EXPECT_FALSE(panels[3]->ShownText().contains(QChar(0x2026)));
    if (panels[3]->ShownText() != format) {
        EXPECT_EQ(panels[3]->toolTip(), format);
    }
    window().resize(610, 370);
    QApplication::processEvents();
    EXPECT_EQ(panels[0]->width(), volumeWidth);
    EXPECT_EQ(panels[3]->width(), before + 300);
    EXPECT_EQ(panels[3]->ShownText(), format);
    EXPECT_TRUE(panels[3]->toolTip().isEmpty());
}

TEST_F(Walk, NextWhilePausedShowsTheNewTrackAtOnce) {
    Start();
    Press(Qt::Key_Return);
    for (int i = 0; i < 5; ++i) {
        audio::test::Update();
        audio::test::Advance(17640);
        engine().StatusTick();
    }
    Press(Qt::Key_Space);
    ASSERT_TRUE(engine().IsPaused());
    Press(Qt::Key_Tab);
    EXPECT_TRUE(engine().IsPaused());
    EXPECT_EQ(list().PlayingIndex, 1);
    EXPECT_EQ(window().LabelTime->text(), QStringLiteral("0:00:00 / 0:06:00 / -0:06:00"));
}

TEST_F(Walk, AnEscapeThatClosedADialogDoesNotAbortTheNextScan) {
    Start();
    Press(Qt::Key_F1);  // the shortcut list
    window().activateWindow();
    window().ListScreen->setFocus();
    Press(Qt::Key_Escape);
    ASSERT_TRUE(window().isVisible());
    Press(Qt::Key_F5);  // check for new files
    EXPECT_TRUE(dialogs_.questions.empty());
}

TEST_F(Walk, TheCursorRowIsMarkedEvenOutsideTheSelection) {
    Start();
    window().SetListSelection({0});
    window().SetListFocusedRow(0);
    Press(Qt::Key_End, Qt::ControlModifier);
    ASSERT_EQ(window().ListFocusedRow(), 3);
    EXPECT_EQ(window().ListSelectedRows(), std::vector<int>{0});
    const int h = window().ListItemHeight();
    const auto band = [&] {
        return window().ListScreen->viewport()->grab(QRect(0, 3 * h, 200, h)).toImage();
    };
    const QImage marked = band();
    window().SetListFocusedRow(2);
    window().RepaintList();
    EXPECT_NE(marked, band()) << "the row the cursor is on looks like any other";
}

TEST_F(Walk, AfterAMenuClosesTheListHasTheKeyboard) {
    Start();
    QMenuBar* bar = window().menuBar();
    QAction* file = bar->actions().front();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->actionGeometry(file).center());
    QApplication::processEvents();
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    QTest::keyClick(popup, Qt::Key_Escape);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), window().ListScreen);
    window().SetListFocusedRow(0);
    Press(Qt::Key_Down);
    EXPECT_EQ(window().ListFocusedRow(), 1);
}

TEST_F(Walk, ADesktopWithoutALauncherIsReported) {
    Start();
    desktop_.opens = false;
    window().SetListFocusedRow(0);
    Press(Qt::Key_E, Qt::ControlModifier);
    ASSERT_EQ(dialogs_.notices.size(), 1u);
    EXPECT_EQ(dialogs_.notices[0].kind, NoticeKind::Error);
    EXPECT_NE(dialogs_.notices[0].text.find(dir_.path()), std::string::npos);
    dir_.Write("Documentation.html", "<html></html>");
    Press(Qt::Key_F1, Qt::ControlModifier);
    ASSERT_EQ(dialogs_.notices.size(), 2u);
    EXPECT_NE(dialogs_.notices[1].text.find("Documentation.html"), std::string::npos);
}

TEST(InputForm, IsWideEnoughForTheWholeEntryAndItsTitle) {
    TInput_Form form(nullptr);
    const QString entry = QStringLiteral(
        "/home/someone/Music/A rather long artist name/An even longer album title (Deluxe "
        "Edition)/01 - The first song.flac");
    bool checked = false;
    QTimer::singleShot(0, &form, [&] {
        const QLineEdit* edit = test::Child<QLineEdit>(form, "Edit1");
        EXPECT_GE(edit->width(), edit->fontMetrics().horizontalAdvance(entry));
        EXPECT_GE(form.width(), QFontMetrics(QApplication::font())
                                    .horizontalAdvance(QStringLiteral("Edit playlist entry")));
        checked = true;
        form.reject();
    });
    EXPECT_FALSE(form.Ask(QStringLiteral("Edit playlist entry"), QStringLiteral("Entry:"), entry));
    EXPECT_TRUE(checked);
}

}  // namespace
}  // namespace mirvo
