// The keys of the shortcut list pressed on a real main window (offscreen),
// with the whole program behind it and the audio library's test device.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/StartedWindow.h"
#include "fakes/TempDir.h"
#include "fakes/WhenShown.h"
#include "platform/Desktop.h"
#include "ui/HoxelListbox.h"
#include "ui/HoxelProgress.h"
#include "ui/MainApp.h"
#include "ui/TimerForm.h"

namespace mirvo {
namespace {

using test::TempDir;

class Keys : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string tone = dir_ / "tone.wav";
        test::WriteWav(tone, test::Tone(44100, 8.0, 440), 44100);
        for (int i = 0; i < 4; ++i) {
            const std::string path =
                dir_ / std::string("t").append(std::to_string(i)).append(".wav");
            std::filesystem::copy_file(tone, path);
            entries_.push_back(path);
        }
        app_ = test::StartWindow(dir_, entries_, desktop_, hotKeys_, dialogs_);
    }
    void TearDown() override {
        app_.reset();
        audio::Free();
    }

    // A key, and the start it may have asked for landed.
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(app_->window.ListScreen, static_cast<Qt::Key>(key), modifiers);
        engine().Settle();
    }
    Player& player() { return app_->player; }
    Engine& engine() { return app_->controller.engine(); }
    PlaylistState& list() { return app_->player.playlist; }
    MainWindow& window() { return app_->window; }
    std::vector<int> Selected() { return window().ListSelectedRows(); }
    // The record key, Yes, on a station playing (a file under its entry: the
    // recorder only sees the channel).
    void RecordAStation() {
        player().settings.WriteString("General", "RecordTempPath", dir_.path() + "/");
        engine().PlayEntry(1);
        engine().Settle();
        list().PlayingEntry = "http://127.0.0.1:9/live|Station";
        app_->controller.SetRecordVisible(true);
        audio::test::Update();
        dialogs_.yesNoAnswers = {true};
        Press(Qt::Key_Asterisk, Qt::KeypadModifier);
    }

    TempDir dir_;
    std::vector<std::string> entries_;
    QtDesktop desktop_;  // the real clipboard
    test::FakeHotKeys hotKeys_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<MainApp> app_;
};

TEST_F(Keys, PlayPauseStopNextPrevious) {
    ASSERT_EQ(list().PlaylistEntries.size(), 4u);
    window().SetListFocusedRow(1);
    Press(Qt::Key_Return);
    EXPECT_EQ(list().PlayingIndex, 1);
    EXPECT_EQ(engine().OutputState(), audio::kActivePlaying);
    EXPECT_EQ(window().windowTitle(), QStringLiteral("t1.wav - Mirvo"));

    Press(Qt::Key_Space);
    EXPECT_TRUE(engine().IsPaused());
    EXPECT_EQ(window().StatusPanels[3]->text(), QStringLiteral("Paused"));
    Press(Qt::Key_Space);
    EXPECT_EQ(engine().OutputState(), audio::kActivePlaying);

    Press(Qt::Key_Tab);
    EXPECT_EQ(list().PlayingIndex, 2);
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(list().PlayingIndex, 1);

    // Numpad 0: pause, then stop with the device released.
    Press(Qt::Key_0, Qt::KeypadModifier);
    EXPECT_TRUE(engine().IsPaused());
    Press(Qt::Key_0, Qt::KeypadModifier);
    EXPECT_EQ(engine().OutputChannel(), 0u);
    EXPECT_FALSE(player().engine.DeviceReady);
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Mirvo 1.04i"));

    // The play bar's buttons.
    test::Child<QToolButton>(window(), "SpeedButton1")->click();
    engine().Settle();
    EXPECT_EQ(engine().OutputState(), audio::kActivePlaying);
    test::Child<QToolButton>(window(), "SpeedButton5")->click();
    engine().Settle();
    EXPECT_EQ(list().PlayingIndex, 2);
    test::Child<QToolButton>(window(), "SpeedButton3")->click();
    engine().Settle();
    EXPECT_EQ(engine().OutputChannel(), 0u);
}

TEST_F(Keys, SeekAndVolume) {
    Press(Qt::Key_Return);
    QTest::keyPress(window().ListScreen, Qt::Key_Right);
    EXPECT_TRUE(engine().SeekPending);
    EXPECT_EQ(engine().CurrentPositionBytes(), 0);
    QTest::keyRelease(window().ListScreen, Qt::Key_Right);
    EXPECT_FALSE(engine().SeekPending);
    EXPECT_EQ(engine().CurrentPositionBytes(), 3 * 176400);
    QTest::keyPress(window().ListScreen, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyRelease(window().ListScreen, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(engine().CurrentPositionBytes(), 7 * 176400);  // a second before the end

    Press(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(player().engine.Volume, 970);
    EXPECT_EQ(window().LabelVolume->text(), QStringLiteral("97 %"));
    Press(Qt::Key_Plus, Qt::KeypadModifier | Qt::ShiftModifier);
    EXPECT_EQ(player().engine.Volume, 971);
    Press(Qt::Key_Pause);
    EXPECT_EQ(player().engine.Volume, 291);
    Press(Qt::Key_Pause);
    EXPECT_EQ(player().engine.Volume, 971);
}

TEST_F(Keys, SeekingByMouseOnTheProgressBar) {
    Press(Qt::Key_Return);
    THoxelProgress* bar = window().Progres;
    const int y = bar->height() / 2;
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 4, y));
    EXPECT_TRUE(engine().SeekPending);
    QTest::mouseMove(bar, QPoint(bar->width() / 2, y));
    EXPECT_NEAR(static_cast<double>(bar->Position()), 4000.0, 8000.0 / bar->width() + 1);
    EXPECT_EQ(engine().CurrentPositionBytes(), 0);  // the label follows, the seek waits
    EXPECT_EQ(window().LabelTime->text().left(7), QStringLiteral("0:04 / "));
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 2, y));
    EXPECT_FALSE(engine().SeekPending);
    EXPECT_NEAR(static_cast<double>(engine().CurrentPositionBytes()), 4 * 176400.0,
                8 * 176400.0 / bar->width() + 4);
}

TEST_F(Keys, PlayModesByKeyAndStatusBar) {
    list().QueueList = {entries_[3]};
    Press(Qt::Key_F9);
    EXPECT_EQ(player().engine.PlayMode, 1);
    EXPECT_EQ(window().StatusPanels[2]->text(), QStringLiteral("Repeat file"));
    EXPECT_TRUE(list().QueueList.empty());
    EXPECT_TRUE(app_->controller.Action("ModeAc2")->isChecked());
    QTest::mouseClick(window().StatusPanels[2], Qt::LeftButton);
    EXPECT_EQ(player().engine.PlayMode, 2);
    QTest::mouseClick(window().StatusPanels[2], Qt::RightButton);
    QTest::mouseClick(window().StatusPanels[2], Qt::RightButton);
    EXPECT_EQ(player().engine.PlayMode, 0);
    Press(Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(player().engine.PlayMode, 4);
    EXPECT_EQ(window().StatusPanels[2]->text(), QStringLiteral("Shuffle"));
}

TEST_F(Keys, QueueRemoveMoveSelectAll) {
    window().SetListFocusedRow(1);
    window().SetListSelection({1});
    Press(Qt::Key_Insert);
    EXPECT_EQ(list().QueueList, std::vector<std::string>{entries_[1]});
    window().SetListFocusedRow(2);
    window().SetListSelection({2});
    Press(Qt::Key_Slash);
    EXPECT_EQ(list().QueueList.size(), 2u);

    window().SetListFocusedRow(2);
    window().SetListSelection({2});
    Press(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(list().PlaylistEntries[1], entries_[2]);
    EXPECT_EQ(Selected(), std::vector<int>{1});
    Press(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(list().PlaylistEntries, entries_);

    Press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1, 2, 3}));

    window().SetListSelection({0});
    Press(Qt::Key_Delete);
    EXPECT_EQ(list().PlaylistEntries.size(), 3u);
    EXPECT_EQ(window().StatusPanels[1]->text(), QStringLiteral("3 Files"));
    EXPECT_EQ(window().ListRowCount(), 3);
}

TEST_F(Keys, CopyAndPasteThroughTheClipboard) {
    window().SetListSelection({0, 2});
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              entries_[0] + "\r\n" + entries_[2] + "\r\n");
    // Text copied elsewhere: LF line ends and no final one.
    QGuiApplication::clipboard()->setText(QString::fromStdString(entries_[3] + "\n" + entries_[1]));
    window().SetListFocusedRow(0);
    Press(Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(list().PlaylistEntries.size(), 6u);
    EXPECT_EQ(list().PlaylistEntries[0], entries_[3]);
    EXPECT_EQ(list().PlaylistEntries[1], entries_[1]);
}

TEST_F(Keys, ViewToggleAndWindowKeys) {
    EXPECT_EQ(list().ViewFormat, 0);
    Press(Qt::Key_F8);
    EXPECT_EQ(list().ViewFormat, 1);
    EXPECT_TRUE(app_->controller.Action("View2Ac")->isChecked());
    Press(Qt::Key_F1);
    ASSERT_NE(app_->controller.ShortcutsDialog(), nullptr);
    EXPECT_TRUE(app_->controller.ShortcutsDialog()->isVisible());
    EXPECT_EQ(app_->controller.ShortcutsDialog()->windowTitle(),
              QStringLiteral("Additional functions"));
    // Esc closes the info dialog first, and the window stays.
    app_->controller.EscAc();
    EXPECT_FALSE(app_->controller.ShortcutsDialog()->isVisible());
    EXPECT_TRUE(window().isVisible());
    Press(Qt::Key_F1, Qt::ControlModifier);
    ASSERT_FALSE(dialogs_.notices.empty());
    EXPECT_EQ(dialogs_.notices.back().text.rfind("The documentation could not be found.\r", 0), 0u);
}

TEST_F(Keys, DraggingRowsReordersTheList) {
    QWidget* rows = window().ListScreen->viewport();
    const int h = window().ListItemHeight();
    window().SetListSelection({1, 2});
    list().PlayingIndex = 0;
    QTest::mousePress(rows, Qt::LeftButton, Qt::NoModifier, QPoint(10, 2 * h + h / 2));
    QTest::mouseMove(rows, QPoint(10, 2 * h + h / 2 - 4));
    QTest::mouseMove(rows, QPoint(10, 1 * h + h / 2));
    QTest::mouseRelease(rows, Qt::LeftButton, Qt::NoModifier, QPoint(10, 1 * h + h / 2));
    EXPECT_EQ(list().PlaylistEntries,
              (std::vector<std::string>{entries_[1], entries_[2], entries_[0], entries_[3]}));
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1}));
    EXPECT_EQ(list().PlayingIndex, 2);  // the playing entry was pushed down with the rest

    // A click without moving selects only the row clicked.
    QTest::mouseClick(rows, Qt::LeftButton, Qt::NoModifier, QPoint(10, h / 2));
    EXPECT_EQ(Selected(), std::vector<int>{0});
}

TEST_F(Keys, EscapeStopsAScanFirstAndThenCloses) {
    list().ScanRunning = true;
    Press(Qt::Key_Escape);
    EXPECT_TRUE(list().AbortRequested);
    EXPECT_TRUE(window().isVisible());
    list().ScanRunning = false;
    Press(Qt::Key_Escape);
    EXPECT_FALSE(window().isVisible());
}

TEST_F(Keys, RecordKeyAndButtonOnAStationAndExitEndsTheRecording) {
    QAction* record = app_->controller.Action("RecordStartAc");
    QToolButton* button = window().SpeedButtonRecord;
    list().PlaylistEntries.push_back("http://127.0.0.1:9/live|Station");
    engine().PlayEntry(4);  // connecting: nothing plays yet
    engine().Settle();
    EXPECT_TRUE(record->isVisible());
    EXPECT_TRUE(button->isVisibleTo(window().PlayBar));
    Press(Qt::Key_Asterisk, Qt::KeypadModifier);
    ASSERT_EQ(dialogs_.notices.size(), 1u);
    EXPECT_EQ(dialogs_.notices[0].text, "First play a stream.");
    button->click();
    ASSERT_EQ(dialogs_.notices.size(), 2u);

    // A file: the command is gone.
    engine().PlayEntry(0);
    engine().Settle();
    EXPECT_FALSE(record->isVisible());
    EXPECT_FALSE(record->isEnabled());
    Press(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(dialogs_.notices.size(), 2u);

    RecordAStation();
    EXPECT_EQ(dialogs_.questions.back(), "Start recording?");
    EXPECT_EQ(record->text(), QStringLiteral("Stop &recording"));
    audio::test::Update();
    dialogs_.yesNoAnswers = {false};
    Press(Qt::Key_Escape);
    EXPECT_EQ(dialogs_.questions.back(), "Record has been stopped.\rSave record?");
    EXPECT_EQ(record->text(), QStringLiteral("&Record"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "mirvo0.pcm"));
    EXPECT_FALSE(window().isVisible());
}

// The sleep timer ends the program when nobody may be there to answer: a
// recording running then is saved, not offered.
TEST_F(Keys, TheSleepTimersEndKeepsTheRecordingUnasked) {
    RecordAStation();
    ASSERT_TRUE(engine().recorder().RecordingActive());
    audio::test::Update();
    test::WhenShown<TTimer_Form>([](TTimer_Form& form) {
        test::Child<QLineEdit>(form, "Edit1")->setText(QStringLiteral("0"));
        test::Child<QPushButton>(form, "Button1")->click();
    });
    Press(Qt::Key_T, Qt::AltModifier);
    EXPECT_TRUE(app_->loop.Quitting());
    app_->Shutdown();
    EXPECT_EQ(dialogs_.questions, std::vector<std::string>{"Start recording?"});
    bool saved = false;
    for (const auto& item : std::filesystem::directory_iterator(dir_.path())) {
        saved = saved || item.path().filename().string().starts_with("Mix ");
    }
    EXPECT_TRUE(saved);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "mirvo0.pcm"));
}

}  // namespace
}  // namespace mirvo
