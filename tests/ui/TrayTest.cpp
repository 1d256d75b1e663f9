// Minimising to the tray and coming back, with the real window.
#include "ui/Tray.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>

#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/StartedWindow.h"

namespace mirvo {
namespace {

class Tray : public test::WindowTest {
  protected:
    void SetUp() override {
        // A long name: the tip must be cut.
        const std::string wav = home / (std::string(150, 'x') + ".wav");
        test::WriteWav(wav, test::Tone(44100, 5.0, 440), 44100);
        files = {wav};
        Open();
        ASSERT_TRUE(app->tray);
        app->tray->TrayAvailable = [this] { return trayHost; };
        app->tray->IconShown = [this] { return trayHost; };
    }
    void Minimise() {
        app->window.showMinimized();
        QApplication::processEvents();
    }

    bool trayHost = true;
};

TEST_F(Tray, MinimisingGoesToTheTrayAndOpenBringsTheWindowBack) {
    QTest::keyClick(app->window.ListScreen, Qt::Key_Return);
    app->controller.engine().Settle();
    Session& session = app->controller.session();
    ASSERT_TRUE(session.MetersRunning());
    EXPECT_EQ(app->tray->Hint().size(), 127);
    EXPECT_EQ(app->tray->Hint(), QString::fromStdString(files[0].substr(0, 127)));

    Minimise();
    EXPECT_FALSE(app->window.isVisible());
    EXPECT_TRUE(app->tray->IconVisible());
    // The meters fall dark and stay dark, also when the next track starts.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !session.MetersRunning(); }, 10000));
    app->controller.commands().HotKey(3);
    EXPECT_FALSE(session.MetersRunning());

    // "&Open", as a double click does.
    QAction* open = nullptr;
    for (QAction* a : app->controller.TrayPopupMenu()->actions()) {
        if (a->text() == QStringLiteral("&Open")) {
            open = a;
        }
    }
    ASSERT_NE(open, nullptr);
    open->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(app->window.isVisible());
    EXPECT_FALSE(app->window.isMinimized());
    EXPECT_TRUE(session.MetersRunning());
    EXPECT_TRUE(app->controller.engine().StatusRunning());
    EXPECT_TRUE(app->tray->IconVisible());  // it leaves a moment later
    EXPECT_TRUE(QTest::qWaitFor([&] { return !app->tray->IconVisible(); }, 3000));
}

TEST_F(Tray, WithoutTheSettingOrATrayMinimisingIsPlain) {
    app->player.values.MinimizeToTray = false;
    Minimise();
    EXPECT_TRUE(app->window.isMinimized());
    EXPECT_FALSE(app->tray->IconVisible());
    app->window.BringToFront();
    QApplication::processEvents();

    app->player.values.MinimizeToTray = true;
    trayHost = false;
    Minimise();
    EXPECT_TRUE(app->window.isMinimized());
    EXPECT_FALSE(app->tray->IconVisible());
}

}  // namespace
}  // namespace mirvo
