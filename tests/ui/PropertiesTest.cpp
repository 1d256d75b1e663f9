// The properties command and the multiple filename renamer driven with keys
// on the whole program (offscreen, real widgets, the test device).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/ModalSteps.h"
#include "fakes/StartedWindow.h"
#include "fakes/TempDir.h"
#include "fakes/WhenShown.h"
#include "ui/FileInfoForm.h"
#include "ui/MainApp.h"
#include "ui/ReplaceFilenamesForm.h"

namespace mirvo {
namespace {

using test::PressButton;
using test::TempDir;
using test::WhenShown;

void Key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(widget, key, modifiers);
}

class Properties : public ::testing::Test {
  protected:
    // `count` tracks t0.wav, t1.wav, ... of 5, 6, ... seconds.
    void Start(int count = 4, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) {
            // Built piecewise: g++ 12 warns wrongly on "t" + string.
            const std::string path =
                dir_ / std::string("t").append(std::to_string(i)).append(".wav");
            test::WriteWav(path, test::Tone(8000, 5.0 + i, 440), 8000);
            files.push_back(path);
        }
        files.insert(files.end(), extra.begin(), extra.end());
        app_ = test::StartWindow(dir_, files, desktop_, hotKeys_, dialogs_);
        window().SetListFocusedRow(0);
    }
    void TearDown() override {
        app_.reset();
        audio::Free();
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        test::KeyOnList(window(), key, modifiers);
        engine().Settle();  // what the command started has landed
    }
    Engine& engine() { return app_->controller.engine(); }
    PlaylistState& list() { return app_->player.playlist; }
    MainWindow& window() { return app_->window; }
    std::int64_t PositionMs() { return engine().BytesToMs(engine().CurrentPositionBytes()); }

    TempDir dir_;
    test::FakeDesktop desktop_;
    test::FakeHotKeys hotKeys_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<MainApp> app_;
};

TEST_F(Properties, ReportCleanUpAndRenameOnOkWithTheMissingExtensionKeepingTheDialogOpen) {
    Start();
    window().SetListFocusedRow(1);
    bool shown = false;
    WhenShown<TFileInfo_Form>([&](TFileInfo_Form& form) {
        QLineEdit* nameEdit = test::Child<QLineEdit>(form, "Edit1");
        shown = true;
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Rename single file"));
        EXPECT_EQ(nameEdit->text(), QStringLiteral("t1.wav"));
        EXPECT_EQ(nameEdit->selectedText(), QStringLiteral("t1.wav"));
        EXPECT_EQ(test::Child<QPlainTextEdit>(form, "Memo1")->toPlainText().toStdString(),
                  (dir_.path() + "/\n\nSize: \t\t192,044 bytes\n"
                                 "Format: \t\tWAVE 256 kbps - 8000 Hz 16 bit Stereo\n"
                                 "Length: \t\t0:06:000\n\n"));
        QTest::keyClicks(nameEdit, QStringLiteral("a_b%20c__d"));
        PressButton(test::Child<QPushButton>(form, "Button3"));
        EXPECT_EQ(nameEdit->text(), QStringLiteral("a b c d"));
        nameEdit->setFocus();
        Key(nameEdit, Qt::Key_Return);
        EXPECT_TRUE(form.isVisible());
        ASSERT_EQ(dialogs_.notices.size(), 1u);
        EXPECT_EQ(dialogs_.notices[0].text,
                  "Please end your new filename with an extention (ie \".mp3\" or \".wav\")");
        QTest::keyClicks(nameEdit, QStringLiteral(".wav"));
        Key(nameEdit, Qt::Key_Return);
        EXPECT_FALSE(form.isVisible());
    });
    Press(Qt::Key_F2);
    ASSERT_TRUE(shown);
    EXPECT_EQ(list().PlaylistEntries[1], dir_ / "a b c d.wav");
    EXPECT_TRUE(std::filesystem::exists(dir_ / "a b c d.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "t1.wav"));
    EXPECT_EQ(dialogs_.notices.size(), 1u);
}

TEST_F(Properties, ThePlayingFileGoesOnWhereItWasUnderItsNewName) {
    Start();
    Press(Qt::Key_Return);
    Press(Qt::Key_Space);
    engine().SeekTo(engine().MsToBytes(2000));
    ASSERT_EQ(engine().OutputState(), audio::kActivePaused);
    const auto rename = [&](const char* name) {
        WhenShown<TFileInfo_Form>([name](TFileInfo_Form& form) {
            QLineEdit* nameEdit = test::Child<QLineEdit>(form, "Edit1");
            QTest::keyClicks(nameEdit, QString::fromLatin1(name));
            Key(nameEdit, Qt::Key_Return);
        });
        Press(Qt::Key_F2);
    };
    rename("paused.wav");
    EXPECT_EQ(list().PlayingIndex, 0);
    EXPECT_EQ(list().PlayingEntry, dir_ / "paused.wav");
    EXPECT_EQ(engine().OutputState(), audio::kActivePaused);
    EXPECT_EQ(PositionMs(), 2000);
    EXPECT_EQ(window().windowTitle(), QStringLiteral("paused.wav - Mirvo"));

    Press(Qt::Key_Space);
    rename("playing.wav");
    EXPECT_EQ(list().PlayingEntry, dir_ / "playing.wav");
    EXPECT_EQ(engine().OutputState(), audio::kActivePlaying);
    EXPECT_GE(PositionMs(), 2000);
    EXPECT_TRUE(dialogs_.notices.empty());
}

TEST_F(Properties, ATakenNameLeavesBothFilesAndTheEntry) {
    Start();
    const auto size0 = std::filesystem::file_size(dir_ / "t0.wav");
    const auto size1 = std::filesystem::file_size(dir_ / "t1.wav");
    WhenShown<TFileInfo_Form>([](TFileInfo_Form& form) {
        QLineEdit* nameEdit = test::Child<QLineEdit>(form, "Edit1");
        QTest::keyClicks(nameEdit, QStringLiteral("t1.wav"));
        Key(nameEdit, Qt::Key_Return);
    });
    Press(Qt::Key_F2);
    ASSERT_EQ(dialogs_.notices.size(), 1u);
    EXPECT_EQ(dialogs_.notices[0].text, "Can't rename file.");
    EXPECT_EQ(std::filesystem::file_size(dir_ / "t0.wav"), size0);
    EXPECT_EQ(std::filesystem::file_size(dir_ / "t1.wav"), size1);
    EXPECT_EQ(list().PlaylistEntries[0], dir_ / "t0.wav");
}

// A "/" would move the file into another folder, ".." would name one.
TEST_F(Properties, ANameWithASlashMovesNothingAndKeepsTheDialogOpen) {
    Start();
    std::filesystem::create_directory(dir_ / "sub");
    int stayed = 0;
    WhenShown<TFileInfo_Form>([&](TFileInfo_Form& form) {
        QLineEdit* nameEdit = test::Child<QLineEdit>(form, "Edit1");
        for (const char* name : {"sub/t0.wav", "../t0.wav", ".."}) {
            nameEdit->setText(QString::fromLatin1(name));
            Key(nameEdit, Qt::Key_Return);
            stayed += form.isVisible() ? 1 : 0;
        }
        Key(nameEdit, Qt::Key_Escape);
    });
    Press(Qt::Key_F2);
    EXPECT_EQ(stayed, 3);
    ASSERT_EQ(dialogs_.notices.size(), 3u);
    EXPECT_EQ(dialogs_.notices[0].text,
              "You want to rename\rt0.wav\rto 'sub/t0.wav'.\rThat's not possible.");
    EXPECT_TRUE(std::filesystem::exists(dir_ / "t0.wav"));
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "sub"));
    EXPECT_EQ(list().PlaylistEntries[0], dir_ / "t0.wav");
}

// A path handed over while the dialog is open waits for it: the rename is
// of the file the dialog showed, and the path loads after.
TEST_F(Properties, AHandOverWhileTheDialogIsOpenComesAfterIt) {
    Start();
    TempDir other;
    const std::string handed = other / "handed.wav";
    test::WriteWav(handed, test::Tone(8000, 1.0, 440), 8000);
    WhenShown<TFileInfo_Form>([&](TFileInfo_Form& form) {
        QLineEdit* nameEdit = test::Child<QLineEdit>(form, "Edit1");
        EXPECT_TRUE(app_->application.ReceivePath(handed));
        QApplication::processEvents();
        EXPECT_EQ(list().PlaylistEntries.size(), 4u);
        nameEdit->setText(QStringLiteral("renamed.wav"));
        Key(nameEdit, Qt::Key_Return);
    });
    Press(Qt::Key_F2);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "renamed.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "t0.wav"));
    EXPECT_TRUE(std::filesystem::exists(handed));
    QApplication::processEvents();
    engine().Settle();
    // Played, with its folder as the list (the default for a path from outside).
    EXPECT_EQ(list().PlaylistEntries, std::vector<std::string>{handed});
    EXPECT_EQ(list().PlayingEntry, handed);
}

TEST_F(Properties, EscapeOnTheReportClosesWithoutRenaming) {
    Start();
    bool closed = false;
    WhenShown<TFileInfo_Form>([&](TFileInfo_Form& form) {
        QPlainTextEdit* reportMemo = test::Child<QPlainTextEdit>(form, "Memo1");
        QTest::keyClicks(test::Child<QLineEdit>(form, "Edit1"), QStringLiteral("other.wav"));
        reportMemo->setFocus();
        Key(reportMemo, Qt::Key_Escape);
        closed = !form.isVisible();
    });
    Press(Qt::Key_F2);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "t0.wav"));
    EXPECT_EQ(list().PlaylistEntries[0], dir_ / "t0.wav");
}

TEST_F(Properties, F2OnSeveralFilesRenamesThemAllAndStopsThePlayingOne) {
    Start();
    Press(Qt::Key_Return);
    ASSERT_EQ(engine().OutputState(), audio::kActivePlaying);
    window().SetListSelection({0, 2});
    dialogs_.yesNoAnswers = {true};
    bool shown = false;
    WhenShown<TReplaceFilenames_Form>([&](TReplaceFilenames_Form& form) {
        QPlainTextEdit* previewMemo = test::Child<QPlainTextEdit>(form, "Memo2");
        QLineEdit* nameEdit = test::Child<QLineEdit>(form, "Edit1");
        QLineEdit* replaceEdit = test::Child<QLineEdit>(form, "Edit2");
        shown = true;
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Rename multiple files"));
        EXPECT_EQ(previewMemo->toPlainText(), QStringLiteral("t0.wav\nt2.wav"));
        QTest::keyClicks(nameEdit, QStringLiteral("T"));
        Key(nameEdit, Qt::Key_Tab);
        QTest::keyClicks(replaceEdit, QStringLiteral("song "));
        EXPECT_EQ(previewMemo->toPlainText(), QStringLiteral("song 0.wav\nsong 2.wav"));
        PressButton(test::Child<QPushButton>(form, "Button1"));
        EXPECT_EQ(dialogs_.questions,
                  std::vector<std::string>{"Rename all selected files to the previewed "
                                           "filenames?\rThere's no undo!\r\rContinue?"});
        // Shown again for the renamed files, the find text empty after the first use.
        EXPECT_EQ(nameEdit->text(), QString());
        EXPECT_EQ(previewMemo->toPlainText(), QStringLiteral("song song 0.wav\nsong song 2.wav"));
        Key(replaceEdit, Qt::Key_Escape);
    });
    Press(Qt::Key_F2);
    ASSERT_TRUE(shown);
    EXPECT_EQ(list().PlaylistEntries,
              (std::vector<std::string>{dir_ / "song 0.wav", dir_ / "t1.wav", dir_ / "song 2.wav",
                                        dir_ / "t3.wav"}));
    ASSERT_EQ(dialogs_.notices.size(), 1u);
    EXPECT_EQ(dialogs_.notices[0].text,
              "2 files have been renamed.\rCheck your playlist for the updated files.");
    EXPECT_EQ(engine().OutputState(), audio::kActiveStopped);
    EXPECT_FALSE(app_->player.engine.DeviceReady);
    EXPECT_EQ(list().PlayingEntry, dir_ / "song 0.wav");

    // Used once, it opens with the first name to find, and the menu item opens it too.
    shown = false;
    WhenShown<TReplaceFilenames_Form>([&](TReplaceFilenames_Form& form) {
        shown = true;
        EXPECT_EQ(test::Child<QLineEdit>(form, "Edit1")->text(), QStringLiteral("song 0.wav"));
        form.reject();
    });
    app_->controller.Action("RenamerAc")->trigger();
    EXPECT_TRUE(shown);
}

TEST_F(Properties, OverAHundredFilesWarnFirstAndNoStopsThere) {
    Start(101);
    Press(Qt::Key_A, Qt::ControlModifier);
    bool warned = false;
    WhenShown<TReplaceFilenames_Form>([&](TReplaceFilenames_Form& form) {
        QPushButton* okButton = test::Child<QPushButton>(form, "Button1");
        QTest::keyClicks(test::Child<QLineEdit>(form, "Edit2"), QStringLiteral("x"));
        WhenShown<QMessageBox>([&](QMessageBox& box) {
            warned = true;
            EXPECT_EQ(box.icon(), QMessageBox::Warning);
            EXPECT_EQ(box.text(),
                      QStringLiteral("You are about to rename > 100 files!\n\nContinue?"));
            Key(&box, Qt::Key_Escape);
        });
        PressButton(okButton);
        EXPECT_TRUE(warned);
        EXPECT_TRUE(dialogs_.questions.empty());
        // Yes goes on to the usual question, which the fake answers No.
        WhenShown<QMessageBox>([](QMessageBox& box) { Key(&box, Qt::Key_Return); });
        PressButton(okButton);
        EXPECT_EQ(dialogs_.questions.size(), 1u);
        form.reject();
    });
    Press(Qt::Key_F2);
    EXPECT_TRUE(warned);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "t0.wav"));
    EXPECT_TRUE(dialogs_.notices.empty());
}

TEST_F(Properties, MixedOrMissingEntriesOnlySaySo) {
    Start(2, {"http://radio.example:8000/live"});
    std::filesystem::remove(dir_ / "t1.wav");
    window().SetListFocusedRow(1);
    Press(Qt::Key_F2);
    window().SetListSelection({0, 2});
    Press(Qt::Key_F2);
    ASSERT_EQ(dialogs_.notices.size(), 2u);
    EXPECT_EQ(dialogs_.notices[0].text, "File not found.\r\r" + dir_ / "t1.wav");
    EXPECT_EQ(dialogs_.notices[1].text,
              "Your properties request is invalid.\rPlease select only music items or a single "
              "url item.");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace mirvo
