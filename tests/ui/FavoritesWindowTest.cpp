// The favourites menu and organiser in the real window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/StartedWindow.h"
#include "ui/FavoritesForm.h"

namespace mirvo {
namespace {

TEST(FavoritesWindow, TheMenuListsThemWithCtrlDigitsAndOpensThem) {
    test::TempDir home;
    for (int i = 1; i <= 12; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Favorites/%02d List.txt", i);
        home.Write(name, home / ("song" + std::to_string(i) + ".wav") + "\r\n");
    }
    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    test::FakeDialogs dialogs;
    auto app = test::StartWindow(home, {home / "first.wav", home / "second.wav"}, desktop, hotKeys,
                                 dialogs);
    const QList<QAction*> items = app->controller.FavoritesMenu()->actions();
    ASSERT_EQ(items.size(), 3 + 12);
    EXPECT_EQ(items[3]->text(), QStringLiteral("01 List"));
    EXPECT_EQ(items[3]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_1));
    EXPECT_EQ(items[11]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_9));
    EXPECT_TRUE(items[12]->shortcut().isEmpty());

    QTest::keyClick(app->window.ListScreen, Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(app->player.playlist.PlaylistEntries, std::vector<std::string>{home / "song2.wav"});

    // The organiser renames; its menu is rebuilt when it closes. Listing the
    // folder lets messages run, so wait until the dialog is really up.
    std::function<void()> inside = [&] {
        auto* form = app->window.findChild<TFavorites_Form*>();
        if (form == nullptr || !form->isVisible()) {
            QTimer::singleShot(1, inside);
            return;
        }
        const std::unique_ptr<TFavorites_Form, void (*)(TFavorites_Form*)> closer(
            form, [](TFavorites_Form* f) { f->reject(); });
        QListWidget* list = test::Child<QListWidget>(*form, "ListBox1");
        EXPECT_EQ(list->count(), 12);
        EXPECT_EQ(list->currentRow(), 0);
        dialogs.textAnswers = {"00 First"};
        form->Rename();
        EXPECT_EQ(list->item(0)->text(), QStringLiteral("00 First"));
        list->setCurrentRow(11);
        list->item(11)->setSelected(true);
        dialogs.yesNoAnswers = {true};
        form->Delete();
        EXPECT_EQ(list->count(), 11);
    };
    QTimer::singleShot(0, inside);
    QTest::keyClick(app->window.ListScreen, Qt::Key_B, Qt::ControlModifier);
    const QList<QAction*> after = app->controller.FavoritesMenu()->actions();
    ASSERT_EQ(after.size(), 3 + 11);
    EXPECT_EQ(after[3]->text(), QStringLiteral("00 First"));
    app.reset();
    audio::Free();
}

TEST(FavoritesWindow, AfterAFolderIsAddedItsNameIsProposed) {
    test::TempDir home;
    const std::string folder = home / "Live.2004";
    std::filesystem::create_directory(folder);
    test::WriteWav(folder + "/one.wav", test::Tone(44100, 1.0, 440), 44100);
    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    test::FakeDialogs dialogs;
    auto app = test::StartWindow(home, {}, desktop, hotKeys, dialogs);
    dialogs.musicFolderAnswers = {FolderChoice{folder, true}};
    QTest::keyClick(app->window.ListScreen, Qt::Key_F3);
    ASSERT_EQ(app->player.playlist.PlaylistEntries.size(), 1u);
    dialogs.textAnswers = {std::nullopt};
    QTest::keyClick(app->window.ListScreen, Qt::Key_D, Qt::ControlModifier);
    ASSERT_FALSE(dialogs.initialTexts.empty());
    EXPECT_EQ(dialogs.initialTexts.back(), "Live");
    app.reset();
    audio::Free();
}

}  // namespace
}  // namespace mirvo
