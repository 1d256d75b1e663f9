// The find dialog in the real window, driven with keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QTimer>

#include "engine/EngineFixtures.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/StartedWindow.h"
#include "ui/FindForm.h"

namespace mirvo {
namespace {

class FindWindow : public test::WindowTest {
  protected:
    void Start(const std::vector<std::string>& names) {
        const std::string tone = home / "tone.wav";
        test::WriteWav(tone, test::Tone(44100, 3.0, 440), 44100);
        for (const std::string& name : names) {
            std::filesystem::create_directories(std::filesystem::path(home / name).parent_path());
            std::filesystem::copy_file(tone, home / name);
            files.push_back(home / name);
        }
        Open();
    }
    // Runs `inside` once the dialog is up; the dialog is modal.
    void WhileOpen(std::function<void(TFind_Form&)> inside) {
        QTimer::singleShot(0, [this, inside] {
            auto* form = app->window.findChild<TFind_Form*>();
            ASSERT_NE(form, nullptr);
            // Closed whatever happens inside, or the modal loop would never end.
            const std::unique_ptr<TFind_Form, void (*)(TFind_Form*)> closer(
                form, [](TFind_Form* f) { f->reject(); });
            QApplication::processEvents();  // the dialog settles before anyone types
            ASSERT_TRUE(form->isVisible());
            inside(*form);
        });
    }
    // The file names of the entries whose whole path holds `query`; the test's
    // own folder has a random name that may hold it too.
    QStringList Holding(const QString& query) const {
        QStringList names;
        for (const std::string& f : files) {
            const QString path = QString::fromStdString(f);
            if (path.contains(query, Qt::CaseInsensitive)) {
                names << path.section(QLatin1Char('/'), -1);
            }
        }
        return names;
    }
    static QStringList Rows(TFind_Form& form) {
        QStringList rows;
        auto* model = test::Child<QListView>(form, "ListBox1")->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            rows << model->data(model->index(r, 0)).toString();
        }
        return rows;
    }
};

TEST_F(FindWindow, ALetterInTheListOpensItAndEnterPlaysTheChoice) {
    Start({"Cure/Lullaby.wav", "abba.wav", "Clash.wav", "doors.wav"});
    bool seen = false;
    WhileOpen([&](TFind_Form& form) {
        QLineEdit* searchEdit = test::Child<QLineEdit>(form, "Edit1");
        seen = true;
        EXPECT_EQ(searchEdit->text(), QStringLiteral("c"));
        EXPECT_EQ(searchEdit->selectedText(), "");
        // Every entry whose path holds a c; the rows show file names.
        EXPECT_EQ(Rows(form), Holding(QStringLiteral("c")));
        ASSERT_GE(Rows(form).size(), 2);
        EXPECT_EQ(form.SelectedRow(), 0);
        QTest::keyClick(searchEdit, Qt::Key_Down);
        EXPECT_EQ(form.SelectedRow(), 1);
        QTest::keyClicks(searchEdit, "la");
        EXPECT_EQ(Rows(form), QStringList{QStringLiteral("Clash.wav")});
        EXPECT_EQ(form.SelectedRow(), 0);
        QTest::keyClick(searchEdit,
                        Qt::Key_F8);  // the relative path, then the whole entry
        QTest::keyClick(searchEdit, Qt::Key_F8);
        EXPECT_EQ(Rows(form), QStringList{QString::fromStdString(files[2])});
        QTest::keyClick(searchEdit, Qt::Key_Return);
        EXPECT_FALSE(form.isVisible());
    });
    QTest::keyClick(app->window.ListScreen, Qt::Key_C);
    app->controller.engine().Settle();
    ASSERT_TRUE(seen);
    EXPECT_EQ(app->player.playlist.PlayingIndex, 2);
    EXPECT_EQ(app->controller.engine().OutputState(), audio::kActivePlaying);
}

TEST_F(FindWindow, SelectAndQueueActOnTheListWithoutPlaying) {
    Start({"one.wav", "two.wav", "three.wav"});
    WhileOpen([](TFind_Form& form) {
        QLineEdit* searchEdit = test::Child<QLineEdit>(form, "Edit1");
        QTest::keyClicks(searchEdit, "thr");
        QTest::keyClick(searchEdit,
                        Qt::Key_QuoteLeft);  // select item in list
        EXPECT_FALSE(form.isVisible());
    });
    QTest::keyClick(app->window.ListScreen, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(app->window.ListFocusedRow(), 2);
    EXPECT_EQ(app->player.playlist.PlayingIndex, 0);  // the mark stays where it was
    EXPECT_EQ(app->controller.engine().OutputState(), audio::kActiveStopped);

    WhileOpen([](TFind_Form& form) {
        QTest::keyClicks(test::Child<QLineEdit>(form, "Edit1"), "two");
        QTest::keyClick(test::Child<QListView>(form, "ListBox1"), Qt::Key_Insert);
        EXPECT_FALSE(form.isVisible());
    });
    QTest::keyClick(app->window.ListScreen, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(app->player.playlist.QueueList, std::vector<std::string>{files[1]});
}

TEST_F(FindWindow, AListOfOneEntryOpensNothing) {
    Start({"alone.wav"});
    QTest::keyClick(app->window.ListScreen, Qt::Key_A);
    QApplication::processEvents();
    auto* form = app->window.findChild<TFind_Form*>();
    EXPECT_TRUE(form == nullptr || !form->isVisible());
}

}  // namespace
}  // namespace mirvo
