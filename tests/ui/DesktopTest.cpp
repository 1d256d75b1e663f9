// The window on a desktop as users have it (Xvfb with the openbox window
// manager, and a trayer tray when the test wants one): minimising to the tray,
// and boxes that open over dialogs staying on top.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/ModalSteps.h"
#include "fakes/StartedWindow.h"
#include "fakes/TestDesktop.h"
#include "fakes/WhenShown.h"
#include "ui/PreferencesForm.h"
#include "ui/TimerForm.h"

namespace mirvo {
namespace {

class OnDesktop : public ::testing::Test {
  protected:
    // One window manager for all, as a desktop has; each test its own tray.
    static void SetUpTestSuite() { shared_ = new test::TestDesktop; }
    static void TearDownTestSuite() {
        delete shared_;
        shared_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(desktop.Ready()) << "openbox did not start";
        song = home / "song.wav";
        test::WriteWav(song, test::Tone(44100, 5.0, 440), 44100);
    }
    void TearDown() override {
        app.reset();
        desktop.StopTray();
        audio::Free();
    }
    void Start(Dialogs* dialogs) {
        home.Write("Playlist.txt", song + "\r\n");
        home.Write("Mirvo.ini", "[General]\nDevice=" + std::to_string(audio::test::kDevice) +
                                    "\nAutoUpdate=0\n");
        app = std::make_unique<MainApp>(home.path(), "", services, hotKeys, dialogs);
        app->Start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&app->window));
        QApplication::processEvents();
    }
    // How many pixels of `area` on the screen have the icon's dark ground.
    static int IconPixels(const QRect& area) {
        const QImage shot = QGuiApplication::primaryScreen()
                                ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                                .toImage();
        int dark = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                dark += std::abs(c.red() - 0x1f) + std::abs(c.green() - 0x2a) +
                            std::abs(c.blue() - 0x38) <
                        24;
            }
        }
        return dark;
    }

    static inline test::TestDesktop* shared_ = nullptr;
    test::TestDesktop& desktop = *shared_;
    test::TempDir home;
    std::string song;
    test::FakeDesktop services;
    test::FakeHotKeys hotKeys;
    test::FakeDialogs fakeDialogs;
    std::unique_ptr<MainApp> app;
};

TEST_F(OnDesktop, WithATrayMinimisingShowsTheIconAndATrayThatGoesGivesTheWindowBack) {
    ASSERT_TRUE(desktop.StartTray()) << "trayer did not take the tray";
    Start(&fakeDialogs);
    ASSERT_TRUE(app->tray);
    EXPECT_FALSE(app->window.windowIcon().isNull());

    app->window.showMinimized();
    ASSERT_TRUE(test::TestDesktop::Await([&] { return app->tray->InTray(); }))
        << "the icon never showed in the tray";
    EXPECT_TRUE(test::TestDesktop::Await([&] { return !app->window.isVisible(); }));
    // The icon is there to click, drawn in the tray.
    const QRect where = app->tray->IconGeometry();
    ASSERT_FALSE(where.isEmpty());
    EXPECT_TRUE(test::TestDesktop::Await([&] { return IconPixels(where) > where.width(); }))
        << "nothing of the icon is drawn at " << where.x() << "," << where.y();

    // "&Open" brings the window back; the icon leaves a moment later.
    app->window.BringToFront();
    EXPECT_TRUE(test::TestDesktop::Await([&] { return app->window.isVisible(); }));
    EXPECT_TRUE(test::TestDesktop::Await([&] { return !app->tray->IconVisible(); }));

    // In the tray again, then the tray ends: the window is found minimised.
    app->window.showMinimized();
    ASSERT_TRUE(test::TestDesktop::Await([&] { return app->tray->InTray(); }));
    ASSERT_TRUE(test::TestDesktop::Await([&] { return !app->window.isVisible(); }));
    desktop.StopTray();
    EXPECT_TRUE(test::TestDesktop::Await([&] { return app->window.isVisible(); }));
    EXPECT_TRUE(app->window.isMinimized());
    EXPECT_FALSE(app->tray->InTray());
}

TEST_F(OnDesktop, WithoutATrayMinimisingNeverHidesTheWindow) {
    Start(&fakeDialogs);
    app->window.showMinimized();
    QTest::qWait(1500);  // longer than an icon has to appear
    EXPECT_TRUE(app->window.isVisible());
    EXPECT_TRUE(app->window.isMinimized());
    EXPECT_FALSE(app->tray->InTray());
    EXPECT_FALSE(app->tray->IconVisible());
}

// The box is stacked above `dialog` and has the keyboard.
void ExpectInFront(test::TestDesktop& desktop, QWidget& box, QWidget& dialog) {
    const auto boxId = static_cast<xcb_window_t>(box.winId());
    EXPECT_TRUE(test::TestDesktop::Await([&] { return desktop.Above(boxId, dialog.winId()); }))
        << box.metaObject()->className() << " opened behind " << dialog.objectName().toStdString();
    EXPECT_TRUE(test::TestDesktop::Await([&] { return desktop.ActiveWindow() == boxId; }));
}

TEST_F(OnDesktop, MessagesAndPickersOpenInFrontOfTheDialogsThatStayOnTop) {
    Start(nullptr);  // the program's own boxes
    bool sawBox = false;
    test::WhenShown<TTimer_Form>([&](TTimer_Form& timer) {
        test::WhenShown<QMessageBox>([&](QMessageBox& box) {
            sawBox = true;
            EXPECT_EQ(box.text(), QStringLiteral("No valid entry."));
            ExpectInFront(desktop, box, timer);
            box.accept();
            QTimer::singleShot(0, &timer, [&timer] { timer.reject(); });
        });
        test::Child<QLineEdit>(timer, "Edit1")->setText(QStringLiteral("soon"));
        test::Child<QPushButton>(timer, "Button1")->click();
    });
    app->controller.Action("SleepTimerAc")->trigger();
    EXPECT_TRUE(sawBox);

    bool sawPicker = false;
    test::WhenShown<TPreferences_Form>([&](TPreferences_Form& settings) {
        test::Child<QTreeWidget>(settings, "TreeView1")
            ->setCurrentItem(test::Child<QTreeWidget>(settings, "TreeView1")->topLevelItem(1));
        test::WhenShown<QFileDialog>([&](QFileDialog& picker) {
            sawPicker = true;
            ExpectInFront(desktop, picker, settings);
            picker.reject();
            QTimer::singleShot(0, &settings, [&settings] { settings.reject(); });
        });
        settings.ButtonAddFolder->click();
    });
    app->controller.Action("PreferencesAc")->trigger();
    EXPECT_TRUE(sawPicker);
}

}  // namespace
}  // namespace mirvo
