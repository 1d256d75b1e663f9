// Stations in the whole program (offscreen, real widgets, the test device):
// the station dialog and its "R" button against the loopback ICY server,
// "Add &url..." on its key, and the record button that only stations show.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/IcyServer.h"
#include "fakes/ModalSteps.h"
#include "fakes/StartedWindow.h"
#include "fakes/TempDir.h"
#include "ui/MainApp.h"
#include "ui/RadioForm.h"

namespace mirvo {
namespace {

using test::PressButton;
using test::TempDir;
using test::WhenShown;

class StationWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        test::IcyReply named = test::IcyStation("", "audio/mpeg");
        named.headers = {{"icy-name", "Jazz FM Official"}, {"content-type", "audio/mpeg"}};
        named.delay = std::chrono::milliseconds(600);
        named.stallAfter = 0;
        server_.Route("/named", named);
        test::IcyReply nameless = named;
        nameless.headers = {{"content-type", "audio/mpeg"}};
        server_.Route("/nameless", nameless);
    }
    void Start(const std::vector<std::string>& entries) {
        app_ = test::StartWindow(dir_, entries, desktop_, hotKeys_, dialogs_);
    }
    void TearDown() override {
        app_.reset();
        audio::Free();
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        test::KeyOnList(window(), key, modifiers);
    }
    MainWindow& window() { return app_->window; }
    PlaylistState& list() { return app_->player.playlist; }

    TempDir dir_;
    test::IcyServer server_;
    test::FakeDesktop desktop_;
    test::FakeHotKeys hotKeys_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<MainApp> app_;
};

TEST_F(StationWindow, TheOfficialNameComesWhileTheWindowGoesOn) {
    const std::string named = server_.Url("/named");
    Start({dir_ / "a.wav", named + "|My jazz", server_.Url("/nameless") + "|Other"});
    window().SetListFocusedRow(1);
    bool shown = false;
    WhenShown<TRadio_Form>([&](TRadio_Form& form) {
        QLineEdit* urlEdit = test::Child<QLineEdit>(form, "Edit1");
        QLineEdit* titleEdit = test::Child<QLineEdit>(form, "Edit2");
        QPushButton* retrieveTitleButton = test::Child<QPushButton>(form, "Button3");
        QPushButton* okButton = test::Child<QPushButton>(form, "Button1");
        shown = true;
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Properties"));
        EXPECT_EQ(form.width(), 400);
        EXPECT_EQ(urlEdit->text().toStdString(), named);
        EXPECT_EQ(urlEdit->selectedText(), urlEdit->text());
        EXPECT_EQ(titleEdit->text(), QStringLiteral("My jazz"));
        EXPECT_EQ(retrieveTitleButton->toolTip(), QStringLiteral("Retrieve official title..."));
        int ticks = 0;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&] { ++ticks; });
        beat.start(10);
        PressButton(retrieveTitleButton);
        // The click is over before the station has answered.
        EXPECT_TRUE(form.GettingName());
        EXPECT_EQ(titleEdit->text(), QStringLiteral("Getting name..."));
        EXPECT_EQ(titleEdit->cursorPosition(), 0);
        EXPECT_FALSE(titleEdit->hasSelectedText());
        EXPECT_FALSE(okButton->isEnabled());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form.GettingName(); }, 20000));
        EXPECT_GT(ticks, 0);
        EXPECT_EQ(titleEdit->text(), QStringLiteral("Jazz FM Official"));
        EXPECT_TRUE(okButton->isEnabled());
        PressButton(okButton);
    });
    Press(Qt::Key_F2);
    ASSERT_TRUE(shown);
    EXPECT_EQ(list().PlaylistEntries[1], named + "|Jazz FM Official");

    // A station that names nothing gets its address as title.
    window().SetListSelection({2});
    window().SetListFocusedRow(2);
    shown = false;
    WhenShown<TRadio_Form>([&](TRadio_Form& form) {
        QLineEdit* urlEdit = test::Child<QLineEdit>(form, "Edit1");
        shown = true;
        PressButton(test::Child<QPushButton>(form, "Button3"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form.GettingName(); }, 20000));
        EXPECT_EQ(test::Child<QLineEdit>(form, "Edit2")->text().toStdString(),
                  server_.Url("/nameless"));
        urlEdit->setFocus();
        QTest::keyClick(urlEdit, Qt::Key_Escape);
    });
    Press(Qt::Key_F2);
    ASSERT_TRUE(shown);
    EXPECT_EQ(list().PlaylistEntries[2], server_.Url("/nameless") + "|Other");
}

TEST_F(StationWindow, ClosingTheDialogWhileItAsksDropsTheAnswer) {
    const std::string named = server_.Url("/named");
    Start({named + "|Kept title"});
    window().SetListFocusedRow(0);
    WhenShown<TRadio_Form>([&](TRadio_Form& form) {
        PressButton(test::Child<QPushButton>(form, "Button3"));
        EXPECT_TRUE(form.GettingName());
        PressButton(test::Child<QPushButton>(form, "Button2"));
    });
    Press(Qt::Key_F2);
    EXPECT_EQ(list().PlaylistEntries[0], named + "|Kept title");
    // The late answer finds the dialog closed and changes nothing.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !server_.Requests().empty() && server_.Open() == 0; }, 20000));
    QTest::qWait(50);
    WhenShown<TRadio_Form>([&](TRadio_Form& form) {
        EXPECT_EQ(test::Child<QLineEdit>(form, "Edit2")->text(), QStringLiteral("Kept title"));
        EXPECT_FALSE(form.GettingName());
        form.reject();
    });
    Press(Qt::Key_F2);
}

TEST_F(StationWindow, AddUrlOnItsKeyAndTheRecordButtonOnlyForStations) {
    test::WriteWav(dir_ / "a.wav", test::Tone(44100, 3.0, 440), 44100);
    Start({dir_ / "a.wav"});
    const std::string late = server_.Url("/Late Show");
    dialogs_.textAnswers = {server_.Url("/Late%20Show")};
    Press(Qt::Key_R, Qt::ControlModifier);
    ASSERT_EQ(list().PlaylistEntries.size(), 2u);
    EXPECT_EQ(list().PlaylistEntries[1], late + "|" + late);
    EXPECT_EQ(window().ListScreen->RowCount(), 2);

    Engine& engine = app_->controller.engine();
    engine.PlayEntry(1);
    EXPECT_TRUE(window().SpeedButtonRecord->isVisible());
    EXPECT_TRUE(app_->controller.Action("RecordStartAc")->isVisible());
    engine.PlayEntry(0);
    engine.Settle();
    EXPECT_FALSE(window().SpeedButtonRecord->isVisible());
    EXPECT_FALSE(app_->controller.Action("RecordStartAc")->isVisible());
    EXPECT_EQ(engine.ConnectSerial(), 0);
}

}  // namespace
}  // namespace mirvo
