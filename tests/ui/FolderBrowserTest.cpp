// The folder browser on generated folder trees, the copy dialog and the total
// time command, with real widgets offscreen.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/StartedWindow.h"
#include "fakes/TempDir.h"
#include "fakes/WhenShown.h"
#include "playlist/Scanning.h"
#include "support/Files.h"
#include "ui/DirForm.h"
#include "ui/MainApp.h"
#include "ui/QtServices.h"
#include "ui/TransferFilesForm.h"

namespace mirvo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

using test::WhenShown;

// Lets the worker's listings arrive until none is outstanding.
void Settle(const TDir_Form& form) {
    QElapsedTimer clock;
    clock.start();
    while (form.Loading() && clock.elapsed() < 20000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_FALSE(form.Loading());
}

QStringList Children(const QTreeWidgetItem* node) {
    QStringList names;
    for (int i = 0; i < node->childCount(); ++i) {
        names << node->child(i)->text(0);
    }
    return names;
}

QTreeWidgetItem* Child(QTreeWidgetItem* node, const QString& name) {
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->text(0) == name) {
            return node->child(i);
        }
    }
    ADD_FAILURE() << "no " << name.toStdString();
    return nullptr;
}

class FolderBrowser : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(music_ + "Alpha/Inner/Deep");
        fs::create_directories(music_ + "beta");
        fs::create_directories(music_ + "Gamma");
        dir_.Write("music/Alpha/x.mp3", "");
        dir_.Write("music/Gamma/y.mp3", "");
        dir_.Write("prog/Mirvo.ini", "[Root media]\npath0=" + music_ + "\n");
        fake_.player.values.LastOpenedDrive = music_;
        form_ = std::make_unique<TDir_Form>(nullptr, fake_.player,
                                            fake_.player.values.LastOpenedDrive, dir_ / "mounts");
    }

    // Opens the browser at `folder` and runs `step` while it shows.
    std::optional<FolderChoice> Browse(const std::string& folder,
                                       const std::function<void(TDir_Form&)>& step,
                                       const std::string& caption = "Add a folder with music files",
                                       const Dialogs::QuickAdd& quickAdd = {}) {
        WhenShown<TDir_Form>([step](TDir_Form& form) {
            Settle(form);
            step(form);
            if (form.isVisible()) {
                form.reject();
            }
        });
        return form_->Choose(caption, folder, true, quickAdd);
    }

    TempDir dir_;
    std::string music_ = dir_ / "music/";
    test::FakePlayer fake_{dir_ / "prog"};
    std::unique_ptr<TDir_Form> form_;
};

TEST_F(FolderBrowser, AMusicFolderRootLoadsEachBranchWhenItOpens) {
    Browse("", [&](TDir_Form& form) {
        QTreeWidget* folderTree = test::Child<QTreeWidget>(form, "TreeView1");
        ASSERT_EQ(folderTree->topLevelItemCount(), 1);
        QTreeWidgetItem* root = folderTree->topLevelItem(0);
        EXPECT_EQ(root->text(0).toStdString(), music_);
        EXPECT_FALSE(folderTree->rootIsDecorated());
        EXPECT_TRUE(root->isExpanded());
        EXPECT_EQ(Children(root), (QStringList{"Alpha", "beta", "Gamma"}));
        QTreeWidgetItem* alpha = Child(root, "Alpha");
        // Only a folder with folders in it can be opened; what is in it waits.
        EXPECT_EQ(Children(alpha), QStringList{"-"});
        EXPECT_EQ(Child(root, "beta")->childCount(), 0);
        alpha->setExpanded(true);
        Settle(form);
        EXPECT_EQ(Children(alpha), QStringList{"Inner"});
        EXPECT_EQ(Children(alpha->child(0)), QStringList{"-"});
        EXPECT_EQ(form.NodePath(alpha->child(0)), music_ + "Alpha/Inner");
        EXPECT_EQ(folderTree->currentItem(), root);
        // Ctrl+E shows the root in the file manager; F12 maximises.
        QTest::keyClick(folderTree, Qt::Key_E, Qt::ControlModifier);
        EXPECT_EQ(fake_.desktop.opened, std::vector<std::string>{music_});
        QTest::keyClick(folderTree, Qt::Key_F12);
        EXPECT_TRUE(form.isMaximized());
    });
}

TEST_F(FolderBrowser, NewMusicFoldersRefillTheRootsAndTheTree) {
    Browse("", [](TDir_Form& form) {
        EXPECT_EQ(test::Child<QComboBox>(form, "ComboBox1")->count(), 2);
    });
    fake_.player.playlist.MusicFolders = {music_, music_ + "Gamma/"};
    fake_.player.settings.SaveMusicFolders(fake_.player.playlist, fake_.player.values);
    fake_.player.playlist.MusicFolders.clear();  // the browser reads them back itself
    form_->MusicFoldersChanged();
    Settle(*form_);
    ASSERT_EQ(test::Child<QComboBox>(*form_, "ComboBox1")->count(), 3);
    EXPECT_EQ(test::Child<QComboBox>(*form_, "ComboBox1")->itemText(2).toStdString(),
              music_ + "Gamma/");
    ASSERT_EQ(test::Child<QTreeWidget>(*form_, "TreeView1")->topLevelItemCount(), 1);
    EXPECT_EQ(Children(test::Child<QTreeWidget>(*form_, "TreeView1")->topLevelItem(0)),
              (QStringList{"Alpha", "beta", "Gamma"}));
}

TEST_F(FolderBrowser, TheLastFolderIsSelectedAgainAndOkGivesIt) {
    const auto choice = Browse(music_ + "Alpha/Inner/Deep", [&](TDir_Form& form) {
        EXPECT_EQ(form.NodePath(test::Child<QTreeWidget>(form, "TreeView1")->currentItem()),
                  music_ + "Alpha/Inner/Deep");
        form.CheckSubDirs->setChecked(false);
        form.OkButton->click();
    });
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->Path, music_ + "Alpha/Inner/Deep");
    EXPECT_FALSE(choice->IncludeSubfolders);
    // F5 reads the tree again and keeps the place.
    Browse("", [&](TDir_Form& form) {
        QTreeWidget* folderTree = test::Child<QTreeWidget>(form, "TreeView1");
        fs::create_directories(music_ + "Alpha/Inner/Deep/New");
        QTest::keyClick(folderTree, Qt::Key_F5);
        Settle(form);
        QTreeWidgetItem* current = folderTree->currentItem();
        EXPECT_EQ(form.NodePath(current), music_ + "Alpha/Inner/Deep");
        EXPECT_EQ(Children(current), QStringList{"New"});
    });
}

TEST_F(FolderBrowser, PastTheLimitALineShowsTheRestOnEnter) {
    for (int i = 0; i < 1200; ++i) {
        fs::create_directories(music_ + "Many/" + std::to_string(10000 + i));
    }
    Browse("", [&](TDir_Form& form) {
        QTreeWidget* folderTree = test::Child<QTreeWidget>(form, "TreeView1");
        QTreeWidgetItem* many = Child(folderTree->topLevelItem(0), "Many");
        many->setExpanded(true);
        Settle(form);
        ASSERT_EQ(many->childCount(), 1001);
        EXPECT_EQ(many->child(999)->text(0), "10999");
        QTreeWidgetItem* more = many->child(1000);
        EXPECT_EQ(more->text(0), "(200 more folders, Enter shows the next 200)");
        EXPECT_EQ(form.NodePath(more), "");
        folderTree->setCurrentItem(more);
        QTest::keyClick(folderTree, Qt::Key_Return);
        Settle(form);
        EXPECT_TRUE(form.isVisible());
        ASSERT_EQ(many->childCount(), 1200);
        EXPECT_EQ(many->child(1199)->text(0), "11199");
        EXPECT_EQ(form.NodePath(folderTree->currentItem()), music_ + "Many/11000");
    });
    // A saved folder past the limit is found too.
    form_ = std::make_unique<TDir_Form>(nullptr, fake_.player, fake_.player.values.LastOpenedDrive,
                                        dir_ / "mounts");
    Browse(music_ + "Many/11150", [&](TDir_Form& form) {
        EXPECT_EQ(form.NodePath(test::Child<QTreeWidget>(form, "TreeView1")->currentItem()),
                  music_ + "Many/11150");
    });
}

TEST_F(FolderBrowser, AFolderThatCannotBeReadSaysSo) {
    fs::create_directories(music_ + "Vanishing/sub");
    Browse("", [&](TDir_Form& form) {
        QTreeWidgetItem* vanishing =
            Child(test::Child<QTreeWidget>(form, "TreeView1")->topLevelItem(0), "Vanishing");
        ASSERT_EQ(Children(vanishing), QStringList{"-"});
        fs::remove_all(music_ + "Vanishing");
        vanishing->setExpanded(true);
        Settle(form);
        EXPECT_EQ(Children(vanishing),
                  QStringList{"(This folder cannot be read: No such file or directory)"});
        EXPECT_EQ(vanishing->child(0)->flags(), Qt::NoItemFlags);
    });
}

TEST_F(FolderBrowser, AllDrivesShowsSlashHomeAndVolumesAndABadRootIsRefused) {
    const char* oldHome = std::getenv("HOME");
    const std::string keptHome = oldHome ? oldHome : "";
    fs::create_directories(dir_ / "home");
    fs::create_directories(dir_ / "stick");
    setenv("HOME", (dir_ / "home").c_str(), 1);
    dir_.Write("mounts", "proc /proc proc rw 0 0\ntmpfs /tmp tmpfs rw 0 0\n/dev/sdb1 " +
                             dir_ / "stick" + " vfat rw 0 0\n");
    dir_.Write("prog/Mirvo.ini",
               "[Root media]\npath0=" + music_ + "\npath1=" + dir_ / "gone/" + "\n");
    TDir_Form form(nullptr, fake_.player, fake_.player.values.LastOpenedDrive, dir_ / "mounts");
    fake_.player.values.LastOpenedDrive = "All drives";
    WhenShown<TDir_Form>([&](TDir_Form& shown) {
        QComboBox* rootCombo = test::Child<QComboBox>(shown, "ComboBox1");
        QTreeWidget* folderTree = test::Child<QTreeWidget>(shown, "TreeView1");
        Settle(shown);
        EXPECT_EQ(rootCombo->count(), 3);
        QStringList roots;
        for (int i = 0; i < folderTree->topLevelItemCount(); ++i) {
            roots << folderTree->topLevelItem(i)->text(0);
            EXPECT_EQ(Children(folderTree->topLevelItem(i)), QStringList{"****"});
        }
        EXPECT_EQ(roots, (QStringList{"/", QString::fromStdString(dir_ / "home"),
                                      QString::fromStdString(dir_ / "stick")}));
        EXPECT_TRUE(folderTree->rootIsDecorated());
        rootCombo->setCurrentIndex(2);
        emit rootCombo->activated(2);
        ASSERT_EQ(fake_.dialogs.notices.size(), 1u);
        EXPECT_EQ(fake_.dialogs.notices[0].text,
                  dir_ / "gone/" + " does not exists or can not be opened.");
        EXPECT_EQ(folderTree->topLevelItemCount(), 3);
        EXPECT_EQ(rootCombo->currentIndex(), 0);
        rootCombo->setCurrentIndex(1);
        emit rootCombo->activated(1);
        Settle(shown);
        EXPECT_EQ(fake_.player.values.LastOpenedDrive, music_);
        EXPECT_EQ(Children(folderTree->topLevelItem(0)), (QStringList{"Alpha", "beta", "Gamma"}));
        shown.reject();
    });
    form.Choose("Open a folder with music files", "", true, {});
    setenv("HOME", keptHome.c_str(), 1);
}

// The open command through the Qt dialogs, as the main window runs it.
TEST_F(FolderBrowser, InsertOpensThenAddsWithoutClosingAndOkAddsNothingMore) {
    QtEventLoop loop;
    QtDialogs dialogs(nullptr, loop);
    test::FakeMainView view;
    Player player(dir_ / "prog", Services{view, dialogs, loop, fake_.desktop, fake_.hotKeys});
    dialogs.AttachPlayer(player);
    player.values.LastOpenedDrive = music_;
    player.playlist.PlaylistEntries = {"/old/z.mp3"};
    WhenShown<TDir_Form>([&](TDir_Form& form) {
        QTreeWidget* folderTree = test::Child<QTreeWidget>(form, "TreeView1");
        Settle(form);
        EXPECT_EQ(form.windowTitle(), "Open a folder with music files");
        QTreeWidgetItem* root = folderTree->topLevelItem(0);
        folderTree->setCurrentItem(Child(root, "Alpha"));
        QTest::keyClick(folderTree, Qt::Key_Insert);
        EXPECT_EQ(player.playlist.PlaylistEntries,
                  std::vector<std::string>{music_ + "Alpha/x.mp3"});
        folderTree->setCurrentItem(Child(root, "Gamma"));
        QTest::keyClick(folderTree, Qt::Key_Insert);
        EXPECT_TRUE(form.isVisible());
        folderTree->setCurrentItem(Child(root, "Alpha"));
        form.OkButton->click();
    });
    OpenDirAc(player);
    EXPECT_EQ(player.playlist.PlaylistEntries,
              (std::vector<std::string>{music_ + "Alpha/x.mp3", music_ + "Gamma/y.mp3"}));
}

TEST(PickFolder, ExplainsAndAnswersWithATrailingSlash) {
    TempDir dir;
    fs::create_directories(dir / "Music");
    test::FakeEventLoop loop;
    QtDialogs dialogs(nullptr, loop);
    WhenShown<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Set your music folder");
        auto* text = dialog.findChild<QLabel*>(QStringLiteral("Explanation"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(), "Pick one.\nOr not.");
        dialog.setDirectory(QString::fromStdString(dir.path()));
        dialog.selectFile(QString::fromStdString(dir / "Music"));
        static_cast<QDialog&>(dialog).accept();
    });
    EXPECT_EQ(dialogs.PickFolder("Set your music folder", "Pick one.\rOr not."), dir / "Music/");
}

// A player on the real event loop, so the copy's worker reports back through it.
struct LivePlayer {
    explicit LivePlayer(const std::string& folder)
        : player(folder, Services{view, dialogs, loop, desktop, hotKeys}) {}
    test::FakeMainView view;
    test::FakeDialogs dialogs;
    QtEventLoop loop;
    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    Player player;
};

TEST(CopyDialog, FiguresThenCancelAsksAfterEachFile) {
    TempDir dir;
    LivePlayer live(dir.path());
    const std::string device = dir / "device";
    dir.Write("Mirvo.ini", "[General]\nDevicePath=" + device + "/\n");
    auto& entries = live.player.playlist.PlaylistEntries;
    entries = {dir.Write("music/Rock/a.mp3", std::string(2 << 20, 'a')),
               dir.Write("music/Jazz/b.mp3", "b"), dir.Write("music/Jazz/c.mp3", "c"),
               dir.Write("music/Pop/d.mp3", "d")};
    live.view.selectedRows = {0, 1, 2};
    TTransferFiles_Form form(nullptr, live.player);
    WhenShown<TTransferFiles_Form>([&](TTransferFiles_Form& shown) {
        QLabel* notConnected = test::Child<QLabel>(shown, "Label4");
        QPushButton* startButton = test::Child<QPushButton>(shown, "Button2");
        EXPECT_EQ(test::Child<QLineEdit>(shown, "Edit1")->text().toStdString(), device);
        EXPECT_FALSE(notConnected->isHidden());
        EXPECT_TRUE(shown.LabelInUse->isHidden());
        EXPECT_EQ(shown.LabelSelectedFiles->text(), "2 MB");
        startButton->click();
        EXPECT_EQ(live.dialogs.notices.back().text,
                  "The path cannot be accessed.\rIf it is an external device, please make sure "
                  "it's proper connected.");
        fs::create_directory(device);
        shown.Timer1Timer();
        EXPECT_TRUE(notConnected->isHidden());
        EXPECT_FALSE(shown.LabelInUse->isHidden());
        EXPECT_TRUE(shown.LabelInUse->text().endsWith(" %"));
        live.dialogs.yesNoAnswers = {false, true};
        startButton->click();
        EXPECT_FALSE(startButton->isEnabled());
        test::Child<QPushButton>(shown, "Button3")->click();
        EXPECT_TRUE(shown.isVisible());
    });
    form.exec();
    EXPECT_EQ(live.dialogs.questions,
              (std::vector<std::string>{"Abort operation?", "Abort operation?"}));
    EXPECT_EQ(live.dialogs.notices.back().text, "2 file(s) have been copied.");
    EXPECT_TRUE(fs::exists(device + "/Rock/a.mp3"));
    EXPECT_TRUE(fs::exists(device + "/Jazz/b.mp3"));
    EXPECT_FALSE(fs::exists(device + "/Jazz/c.mp3"));
    EXPECT_FALSE(fs::exists(device + "/Pop"));
}

TEST(TotalTimeWindow, EscapeDuringTheCountAsksAndKeepsTheWindow) {
    TempDir home;
    std::vector<std::string> files;
    for (int i = 0; i < 30; ++i) {
        files.push_back(home / (std::to_string(i) + ".wav"));
        test::WriteWav(files.back(), test::Tone(8000, 1.0, 440), 8000);
    }
    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    test::FakeDialogs dialogs;
    const auto app = test::StartWindow(home, files, desktop, hotKeys, dialogs);
    QWidget* list = app->window.ListScreen;
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    dialogs.yesNoAnswers = {true};
    // Pressed while the count runs: it lets window messages in at every entry.
    QTimer::singleShot(0, list, [list] { QTest::keyClick(list, Qt::Key_Escape); });
    QTest::keyClick(list, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(dialogs.questions, std::vector<std::string>{"Abort operation?"});
    EXPECT_TRUE(dialogs.notices.empty());
    EXPECT_TRUE(app->window.isVisible());
    dialogs.questions.clear();
    QTest::keyClick(list, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(dialogs.notices[0].text, "Total time: 0:30 minutes.");
    app->window.close();
}

}  // namespace
}  // namespace mirvo
