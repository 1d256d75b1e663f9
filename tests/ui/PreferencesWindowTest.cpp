// The settings dialog in the real window: opened with F6, driven with keys
// and clicks, each change checked in the real settings file.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/ScrobbleService.h"
#include "fakes/SoundServer.h"
#include "fakes/StartedWindow.h"
#include "fakes/WriteCounter.h"
#include "fakes/XdgHome.h"
#include "support/IniFile.h"
#include "ui/HoxelProgress.h"
#include "ui/PreferencesForm.h"

namespace mirvo {
namespace {

class PreferencesWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        song = home / "song.wav";
        test::WriteWav(song, test::Tone(44100, 8.0, 440), 44100);
        app = test::StartWindow(home, {song}, desktop, hotKeys, dialogs);
        // The start's weekly update check writes its date when it is done.
        ASSERT_TRUE(RunUntil([&] { return !app->application.Update().Running(); }));
        QApplication::processEvents();
        saves.Take();
    }
    void TearDown() override {
        app.reset();
        audio::Free();
    }
    // Opens the dialog with F6 and runs `inside` while it shows; it is closed
    // afterwards whatever happens inside, or the modal loop would never end.
    void WhileOpen(std::function<void(TPreferences_Form&)> inside) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* form = app->window.findChild<TPreferences_Form*>();
            ASSERT_NE(form, nullptr);
            const std::unique_ptr<TPreferences_Form, void (*)(TPreferences_Form*)> closer(
                form, [](TPreferences_Form* f) { f->reject(); });
            QApplication::processEvents();
            ASSERT_TRUE(form->isVisible());
            ran = true;
            inside(*form);
        });
        QTest::keyClick(app->window.ListScreen, Qt::Key_F6);
        EXPECT_TRUE(ran);
    }
    std::string Key(const char* section, const char* key) const {
        return IniFile::Load(home / "Mirvo.ini").Get(section, key).value_or("<none>");
    }
    static void ShowPage(TPreferences_Form& form, int page) {
        test::Child<QTreeWidget>(form, "TreeView1")
            ->setCurrentItem(test::Child<QTreeWidget>(form, "TreeView1")->topLevelItem(page));
    }
    static int ShownPage(const TPreferences_Form& form) {
        int shown = -1;
        for (int i = 0; i < kPreferencesPageCount; ++i) {
            if (form.Groups[i]->isVisible()) {
                EXPECT_EQ(shown, -1) << "two pages show";
                shown = i;
            }
        }
        return shown;
    }
    // Lets the UI thread run until `done` holds, at most 20 s.
    static bool RunUntil(const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 20000) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return done();
    }

    test::XdgHome xdg;
    test::TempDir home;
    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    test::FakeDialogs dialogs;
    std::string song;
    std::unique_ptr<MainApp> app;
    test::WriteCounter saves{home.path(), "Mirvo.ini"};
};

TEST_F(PreferencesWindow, F6OpensItEscClosesOnlyItAndItReopensOnTheLastPage) {
    WhileOpen([&](TPreferences_Form& form) {
        QTreeWidget* pageList = test::Child<QTreeWidget>(form, "TreeView1");
        EXPECT_EQ(form.windowTitle(), "Settings");
        EXPECT_EQ(form.size(), QSize(427, 329));
        QStringList pages;
        for (int i = 0; i < pageList->topLevelItemCount(); ++i) {
            pages << pageList->topLevelItem(i)->text(0);
        }
        EXPECT_EQ(pages, (QStringList{"Setup", "Media", "Display", "Global hotkeys", "Recording",
                                      "Playing history", "Device"}));
        EXPECT_EQ(ShownPage(form), 0);
        EXPECT_EQ(form.Groups[0]->title(), "Setup");
        EXPECT_EQ(form.Groups[0]->geometry(), QRect(128, 8, 291, 274));
        EXPECT_EQ(test::Child<QPushButton>(form, "Button1")->text(), "&Close");
        EXPECT_EQ(form.CheckBoxUpdate->toolTip(),
                  "In order to make use of the latest improvements, Mirvo will check once a week "
                  "if there's\nan update available. If so, it will prompt you briefly at startup.");
        EXPECT_EQ(saves.Take(), 0);  // filling the controls wrote nothing
        ShowPage(form, 4);
        EXPECT_EQ(ShownPage(form), 4);
        EXPECT_EQ(form.Groups[4]->title(), "Recording");
        QTest::keyClick(pageList, Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible());
    });
    EXPECT_TRUE(app->window.isVisible());
    EXPECT_EQ(saves.Take(), 1);
    EXPECT_EQ(Key("General", "PreferencesHistory"), "4");
    WhileOpen([&](TPreferences_Form& form) {
        EXPECT_EQ(ShownPage(form), 4);
        EXPECT_TRUE(app->controller.PreferencesShowing());  // hot keys are ignored meanwhile
        // The tray's "&Exit" while it shows closes it, not the program.
        app->controller.EscAc();
        EXPECT_FALSE(form.isVisible());
    });
    EXPECT_TRUE(app->window.isVisible());
    EXPECT_FALSE(app->controller.PreferencesShowing());
}

TEST_F(PreferencesWindow, SetupAndRecordingControlsWriteAsTheyChange) {
    WhileOpen([&](TPreferences_Form& form) {
        QLineEdit* preRecordSecondsEdit = test::Child<QLineEdit>(form, "Edit3");
        EXPECT_TRUE(form.RadioEnqueue[2]->isChecked());  // the default
        EXPECT_TRUE(form.CheckBoxUpdate->isChecked());
        form.CheckBoxMultiple->click();
        EXPECT_EQ(saves.Take(), 1);
        EXPECT_EQ(Key("General", "MultipleInstances"), "1");
        form.RadioEnqueue[1]->click();
        EXPECT_EQ(saves.Take(), 1);
        EXPECT_EQ(Key("General", "EnqueueOption"), "1");
        form.CheckBoxUpdate->click();
        EXPECT_EQ(saves.Take(), 1);
        EXPECT_EQ(Key("General", "AutoUpdate"), "0");
        EXPECT_EQ(Key("General", "lastnewversion"), "none");

        ShowPage(form, 4);
        EXPECT_EQ(preRecordSecondsEdit->text(), "120");
        preRecordSecondsEdit->selectAll();
        QTest::keyClicks(preRecordSecondsEdit, "75s");
        EXPECT_EQ(saves.Take(), 2);  // "7" and "75"; "75s" is no number
        EXPECT_EQ(Key("General", "RecordSecAhead"), "75");
        preRecordSecondsEdit->selectAll();
        QTest::keyClicks(preRecordSecondsEdit, "ab");
        EXPECT_EQ(saves.Take(), 0);
        EXPECT_EQ(Key("General", "RecordSecAhead"), "75");
        test::Child<QCheckBox>(form, "CheckBox6")->click();
        EXPECT_EQ(Key("General", "RecordAhead"), "1");
        dialogs.folderAnswers = {home / "rec"};
        saves.Take();
        test::Child<QPushButton>(form, "Button10")->click();
        EXPECT_EQ(test::Child<QLineEdit>(form, "Edit2")->text().toStdString(), home / "rec/");
        EXPECT_EQ(saves.Take(), 1);
        EXPECT_EQ(Key("General", "RecordTempPath"), home / "rec/");
    });
    WhileOpen([&](TPreferences_Form& form) {
        EXPECT_TRUE(form.CheckBoxMultiple->isChecked());
        EXPECT_TRUE(form.RadioEnqueue[1]->isChecked());
        EXPECT_FALSE(form.CheckBoxUpdate->isChecked());
        EXPECT_EQ(test::Child<QLineEdit>(form, "Edit3")->text(), "75");
        EXPECT_TRUE(test::Child<QCheckBox>(form, "CheckBox6")->isChecked());
    });
}

TEST_F(PreferencesWindow, TheMetersAndTheirMenuFollowTheDisplayPageAtOnce) {
    WhileOpen([&](TPreferences_Form& form) {
        ShowPage(form, 2);
        EXPECT_TRUE(form.RadioMeter[1]->isChecked());
        form.RadioMeter[2]->click();
        EXPECT_FALSE(app->window.LevelMeter14->isHidden());
        EXPECT_TRUE(app->window.LevelMeter6->isHidden());
        EXPECT_TRUE(app->controller.Action("Level3Ac")->isChecked());
        EXPECT_EQ(Key("Window", "VUStyle"), "2");
        form.RadioMeter[0]->click();
        EXPECT_TRUE(app->window.LevelMeter14->isHidden());
        EXPECT_TRUE(app->controller.Action("Level1Ac")->isChecked());
    });
}

TEST_F(PreferencesWindow, MusicFoldersAndSortOrder) {
    WhileOpen([&](TPreferences_Form& form) {
        ShowPage(form, 1);
        EXPECT_TRUE(test::Child<QRadioButton>(form, "RadioSort2")->isChecked());
        dialogs.folderAnswers = {home / "Music"};
        form.ButtonAddFolder->click();
        ASSERT_EQ(form.ListMusicFolders->count(), 1);
        EXPECT_EQ(form.ListMusicFolders->item(0)->text().toStdString(), home / "Music/");
        EXPECT_EQ(Key("Root media", "path0"), home / "Music/");
        form.ListMusicFolders->setCurrentRow(0);
        form.ButtonDeleteFolder->click();
        EXPECT_EQ(form.ListMusicFolders->count(), 0);
        EXPECT_EQ(Key("Root media", "path0"), "<none>");
        test::Child<QRadioButton>(form, "RadioSort1")->click();
        EXPECT_EQ(Key("Playlist", "SortingWay"), "1");
        EXPECT_EQ(app->player.playlist.SortingWay, 1);
    });
}

TEST_F(PreferencesWindow, TheCaptureFieldTakesEveryCombinationAndSetBindsIt) {
    app->player.settings.WriteString("Global hotkeys", "2", "0110-80");
    hotKeys.unregistered.clear();
    WhileOpen([&](TPreferences_Form& form) {
        QTreeWidget* hotKeyList = test::Child<QTreeWidget>(form, "ListBox1");
        QLineEdit* captureEdit = test::Child<QLineEdit>(form, "Edit1");
        QPushButton* setButton = test::Child<QPushButton>(form, "Button9");
        EXPECT_EQ(hotKeys.unregistered.size(), 13u);  // let go while the dialog shows
        ShowPage(form, 3);
        ASSERT_EQ(hotKeyList->topLevelItemCount(), 13);
        EXPECT_EQ(hotKeyList->topLevelItem(2)->text(1), " Ctrl + Alt + P");
        hotKeyList->setCurrentItem(hotKeyList->topLevelItem(2));
        EXPECT_EQ(captureEdit->text(), "Ctrl + Alt + P");

        // Alt+C would be "&Close": here it is a combination like any other.
        hotKeyList->setCurrentItem(hotKeyList->topLevelItem(0));
        QTest::keyClick(captureEdit, Qt::Key_C, Qt::AltModifier);
        ASSERT_TRUE(form.isVisible());
        EXPECT_EQ(captureEdit->text(), "Alt + C");
        QTest::keyClick(captureEdit, Qt::Key_P, Qt::ControlModifier | Qt::AltModifier);
        EXPECT_EQ(captureEdit->text(), "Ctrl + Alt + P");
        setButton->click();
        EXPECT_EQ(Key("Global hotkeys", "0"), "0110-80");
        EXPECT_EQ(Key("Global hotkeys", "2"), "");  // one function per combination
        EXPECT_EQ(hotKeyList->topLevelItem(0)->text(1), " Ctrl + Alt + P");
        EXPECT_EQ(hotKeyList->topLevelItem(2)->text(1), "");

        // A modifier alone binds nothing; Delete alone clears the binding.
        QTest::keyClick(captureEdit, Qt::Key_Control, Qt::ControlModifier);
        setButton->click();
        EXPECT_EQ(Key("Global hotkeys", "0"), "0110-80");
        QTest::keyClick(captureEdit, Qt::Key_Delete);
        EXPECT_EQ(captureEdit->text(), "");
        setButton->click();
        EXPECT_EQ(Key("Global hotkeys", "0"), "<none>");
        QKeyEvent media(QEvent::KeyPress, Qt::Key_MediaTogglePlayPause, Qt::NoModifier);
        QApplication::sendEvent(captureEdit, &media);
        EXPECT_EQ(captureEdit->text(), "Media key: Play/Pause");
        setButton->click();
        hotKeys.accept = false;  // held by another program
        hotKeys.registered.clear();
        QTest::keyClick(captureEdit,
                        Qt::Key_Escape);  // not a combination: it closes
        EXPECT_FALSE(form.isVisible());
    });
    ASSERT_EQ(hotKeys.registered.size(), 1u);  // taken again at close
    EXPECT_EQ(hotKeys.registered[0], (HotKey{0, HotKeyModifiers::None, 179}));
    ASSERT_EQ(dialogs.notices.size(), 1u);  // closed on the hot keys' page
    EXPECT_EQ(dialogs.notices[0].text,
              "Can't register global hotkey Play.\rDisable other global key binding software.");

    WhileOpen([&](TPreferences_Form& form) { ShowPage(form, 0); });
    EXPECT_EQ(dialogs.notices.size(), 1u);  // elsewhere the failure is not shown
}

TEST_F(PreferencesWindow, TheOutputLevelIsWrittenTheLocalesWay) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    app->controller.engine().SetVolume(500);
    WhileOpen([&](TPreferences_Form& form) {
        ShowPage(form, 6);
        EXPECT_EQ(form.LabelVoldB->text(), "Mirvo output level: -12,0 dB");
        EXPECT_EQ(form.LabelBufferlength->text(), "Buffer length: 3000 ms");
        ASSERT_GE(form.ComboDevice->count(), 1);
        EXPECT_EQ(form.ComboDevice->itemText(0), "Default");
        EXPECT_EQ(form.ComboDevice->currentIndex(), -1);  // the test device is none of them
    });
    app->controller.engine().SetVolume(300);
    WhileOpen([&](TPreferences_Form& form) {
        EXPECT_EQ(form.LabelVoldB->text(), "Mirvo output level: -20,9 dB");
    });
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    WhileOpen([&](TPreferences_Form& form) {
        EXPECT_EQ(form.LabelVoldB->text(), "Mirvo output level: -20.9 dB");
    });
    QLocale::setDefault(before);
}

TEST_F(PreferencesWindow, CheckConnectionSaysWhatTheServiceAnswered) {
    test::FakeService service;
    app->player.values.LastfmHost = service.Base();
    WhileOpen([&](TPreferences_Form& form) {
        ShowPage(form, 5);
        form.CheckBox_Lastfm->click();
        form.Edit_Lastfm_Username->setText("John Doe");
        form.Edit_Lastfm_Password->setText("secret");
        test::Child<QPushButton>(form, "Button8")->click();
        ASSERT_TRUE(RunUntil([&] { return !dialogs.notices.empty(); }));
        EXPECT_EQ(dialogs.notices[0].text, "Authentication last.fm: OK");
        EXPECT_EQ(Key("PlayingHistory", "LastfmUsername"), "John Doe");
        EXPECT_EQ(Key("PlayingHistory", "LastfmPassword"), "secret");
        EXPECT_EQ(Key("PlayingHistory", "LastfmEnable"), "1");
    });
    app->scrobbler.WaitForWorkers();
}

// Through a private PulseAudio server: the combo's first item is the system's
// default output, device 1.
TEST_F(PreferencesWindow, ChoosingAnotherOutputKeepsThePausedSongWhereItWas) {
    test::SoundServer server;
    ASSERT_TRUE(server.ready()) << "pulseaudio did not start";
    Engine& engine = app->controller.engine();
    engine.PlayEntry(0);
    engine.Settle();
    engine.Pause();
    engine.SeekTo(176400);
    ASSERT_EQ(engine.CurrentPositionBytes(), 176400);
    WhileOpen([&](TPreferences_Form& form) {
        ShowPage(form, 6);
        form.ComboDevice->setCurrentIndex(0);
        engine.Settle();  // the track opened again on the new device
        EXPECT_EQ(Key("General", "Device"), "1");
        EXPECT_TRUE(dialogs.notices.empty()) << dialogs.notices[0].text;
        EXPECT_TRUE(engine.IsPaused());
        EXPECT_EQ(engine.CurrentPositionBytes(), 176400);
    });
    engine.StopPlayback(true);
}

}  // namespace
}  // namespace mirvo
