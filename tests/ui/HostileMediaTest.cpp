// The whole program in its window on a real X server (Xvfb), on the audio
// library's test device, against a folder of over a thousand hostile files
// (tests/ui/HostileFiles.h): the folder is added with F3, every entry is played
// with Enter, heard for a while, shown with Alt+Enter and F2, then Tab walks the
// playable ones; find, the total playing time and every playlist file follow.
// Nothing may crash, hang or leak a file descriptor, and every message shown
// must be one of the program's own. The UI thread's longest stall is printed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "audio/TestDevice.h"
#include "fakes/Child.h"
#include "fakes/FakeServices.h"
#include "fakes/ModalSteps.h"
#include "fakes/StartedWindow.h"
#include "fakes/TempDir.h"
#include "fakes/WhenShown.h"
#include "playlist/Entries.h"
#include "ui/FileInfoForm.h"
#include "ui/FindForm.h"
#include "ui/HostileFiles.h"
#include "ui/MainApp.h"

namespace mirvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

#ifdef __SANITIZE_ADDRESS__
// Instrumented decoders are several times slower.
constexpr int kScale = 1;
constexpr std::size_t kHugeMb = 3;
constexpr std::size_t kAtLeast = 500;
#else
constexpr int kScale = 4;
constexpr std::size_t kHugeMb = 8;
constexpr std::size_t kAtLeast = 1000;
#endif

// Open file descriptors and what they are.
std::multiset<std::string> OpenFds() {
    std::multiset<std::string> fds;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        fds.insert(fs::read_symlink(entry.path(), error).string());
    }
    return fds;
}

// How long the UI thread went without serving its event loop: a thread asks it
// for a queued call every millisecond and times each answer.
class StallWatch {
  public:
    StallWatch() : thread_([this] { Run(); }) {}
    ~StallWatch() {
        stop_ = true;
        thread_.join();
    }
    double LongestMs() const { return longestUs_ / 1000.0; }

  private:
    void Run() {
        while (!stop_) {
            auto answered = std::make_shared<std::atomic<bool>>(false);
            const auto sent = Clock::now();
            QMetaObject::invokeMethod(
                qApp, [answered] { *answered = true; }, Qt::QueuedConnection);
            while (!*answered && !stop_) {
                std::this_thread::sleep_for(1ms);
            }
            if (*answered) {
                const auto us =
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent);
                longestUs_ = std::max<long>(longestUs_, static_cast<long>(us.count()));
            }
            std::this_thread::sleep_for(1ms);
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<long> longestUs_{0};
    std::thread thread_;
};

// The texts the program shows about a file it cannot play or read.
bool KnownMessage(const test::Notice& n) {
    static const char* const kWarnings[] = {
        "File not found.\r\r",
        "Unsupported file format.\r\r",
        "File has illegal sample rate.\r\r",
        "File is not an audio file.\r\r",
        "File has an unsupported sample format\r\r",
        "File can't be opened.\r\r",
        "Your soundcard driver does not support this type of sample format.\r\r",
        "Unknown file format.\r\r",
    };
    if (n.kind == NoticeKind::Warning) {
        return std::any_of(std::begin(kWarnings), std::end(kWarnings),
                           [&](const char* w) { return n.text.rfind(w, 0) == 0; });
    }
    return n.kind == NoticeKind::Information &&
           (n.text.ends_with(" Function CheckFile") || n.text.rfind("Total time: ", 0) == 0 ||
            n.text == "No music files found in given folder.");
}

// The entries that became audible.
class Heard : public PlaybackListener {
  public:
    explicit Heard(std::set<std::string>& heard) : heard_(heard) {}
    void TrackAudible(const AudibleTrack& track) override { heard_.insert(track.entry); }

  private:
    std::set<std::string>& heard_;
};

class HostileMedia : public ::testing::Test {
  protected:
    void SetUp() override {
        // Whatever modal dialog comes up is closed as a user would, with Escape.
        closer_.setInterval(1);
        QObject::connect(&closer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog != nullptr && qobject_cast<TFind_Form*>(dialog) == nullptr &&
                dialog->isVisible()) {
                ++closed_[dialog->metaObject()->className()];
                QWidget* focus = QApplication::focusWidget();
                QTest::keyClick(focus != nullptr ? focus : dialog, Qt::Key_Escape);
                if (dialog->isVisible()) {
                    dialog->reject();
                }
            }
        });
        closer_.start();
    }
    void TearDown() override {
        closer_.stop();
        app_.reset();
        audio::Free();
    }

    // A key on the list, timed: the slowest command is named in the output.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers, const std::string& what) {
        const auto start = Clock::now();
        test::KeyOnList(window(), key, modifiers);
        QApplication::processEvents();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        // What the key started lands through the event loop, as it does for a
        // user, so the stall watch sees the landing but not the wait for the disk.
        for (int i = 0; i < 60000 && engine().Starting(); ++i) {
            QApplication::processEvents();
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_FALSE(engine().Starting()) << what << " never started";
        slowest_.emplace(ms, what);
        if (slowest_.size() > 5) {
            slowest_.erase(slowest_.begin());
        }
    }
    // `cycles` tenths of a second of sound through the test device.
    void Hear(int cycles) {
        for (int i = 0; i < cycles; ++i) {
            engine().WaitForOpener();
            audio::test::Update();
            audio::test::Advance(17640);
            engine().StatusTick();
            QApplication::processEvents();
        }
    }
    void Select(int row) {
        window().SetListSelection({row});
        window().SetListFocusedRow(row);
    }
    Engine& engine() { return app_->controller.engine(); }
    PlaylistState& list() { return app_->player.playlist; }
    MainWindow& window() { return app_->window; }
    bool Playing(int row) {
        return list().PlayingIndex == row && engine().OutputState() == audio::kActivePlaying;
    }

    test::TempDir home_;
    test::FakeDesktop desktop_;
    test::FakeHotKeys hotKeys_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<MainApp> app_;
    QTimer closer_;
    std::map<std::string, int> closed_;
    std::multimap<double, std::string> slowest_;  // the five slowest commands
};

TEST_F(HostileMedia, TheWindowPlaysShowsAndOutlivesEveryFile) {
    const std::string root = home_ / "hostile";
    const test::HostileFolder made =
        test::MakeHostileFolder(root, MIRVO_AUDIO_FIXTURES, kScale, kHugeMb);
    ASSERT_GE(made.files.size(), kAtLeast);
    const std::string good1 = home_ / "good.wav";
    const std::string good2 = home_ / "good.mp3";
    fs::copy_file(MIRVO_AUDIO_FIXTURES "/tone.wav", good1);
    fs::copy_file(MIRVO_AUDIO_FIXTURES "/tone.mp3", good2);

    app_ = test::StartWindow(home_, {good1, good2}, desktop_, hotKeys_, dialogs_);
    Press(Qt::Key_N, Qt::AltModifier, "repeat list");
    // Once through everything on good files, so what Qt opens once is open.
    Select(0);
    Press(Qt::Key_Return, Qt::NoModifier, "warm-up");
    Hear(3);
    Press(Qt::Key_F2, Qt::NoModifier, "warm-up");
    test::WhenShown<TFind_Form>([](TFind_Form& form) {
        QLineEdit* searchEdit = test::Child<QLineEdit>(form, "Edit1");
        QTest::keyClicks(searchEdit, QStringLiteral("good"));
        QTest::keyClick(searchEdit, Qt::Key_Return);
    });
    Press(Qt::Key_F, Qt::ControlModifier, "warm-up");
    Press(Qt::Key_0, Qt::KeypadModifier, "warm-up");
    Press(Qt::Key_0, Qt::KeypadModifier, "warm-up");
    engine().WaitForOpener();
    ASSERT_FALSE(app_->player.engine.DeviceReady);
    ASSERT_TRUE(dialogs_.notices.empty()) << dialogs_.notices[0].text;
    QThreadPool::globalInstance()->waitForDone();  // Qt's own pooled workers
    const std::multiset<std::string> fdsBefore = OpenFds();

    StallWatch stalls;
    dialogs_.musicFolderAnswers = {FolderChoice{root, true}};
    Press(Qt::Key_F3, Qt::NoModifier, "add folder");
    dialogs_.openFiles = made.added;
    Press(Qt::Key_L, Qt::ControlModifier, "add files");
    const int count = static_cast<int>(list().PlaylistEntries.size());
    ASSERT_GT(count, static_cast<int>(made.files.size() - made.playlists.size()) / 2);
    EXPECT_TRUE(dialogs_.notices.empty());

    // Every entry: Enter plays it or says why not, then it is heard a while,
    // and both properties commands show it.
    std::vector<int> playable;
    std::size_t shownUpTo = 0;
    for (int row = 0; row < count; ++row) {
        const std::string entry = list().PlaylistEntries[static_cast<std::size_t>(row)];
        Select(row);
        const std::size_t before = dialogs_.notices.size();
        Press(Qt::Key_Return, Qt::NoModifier, "Enter on " + entry);
        const bool told = dialogs_.notices.size() > before;
        if (Playing(row)) {
            playable.push_back(row);
            EXPECT_FALSE(told) << entry << ": " << dialogs_.notices.back().text;
        } else {
            EXPECT_TRUE(told) << entry << " neither plays nor says why";
            if (told) {
                EXPECT_NE(dialogs_.notices.back().text.find(entry), std::string::npos)
                    << dialogs_.notices.back().text;
            }
        }
        Hear(4);
        Select(row);
        const int closedBefore = closed_["mirvo::TFileInfo_Form"];
        Press(Qt::Key_F2, Qt::NoModifier, "F2 on " + entry);
        EXPECT_EQ(closed_["mirvo::TFileInfo_Form"], closedBefore + 1) << entry;
        Press(Qt::Key_Return, Qt::AltModifier, "Alt+Enter on " + entry);
        for (; shownUpTo < dialogs_.notices.size(); ++shownUpTo) {
            EXPECT_TRUE(KnownMessage(dialogs_.notices[shownUpTo]))
                << entry << ": " << dialogs_.notices[shownUpTo].text;
        }
    }
    EXPECT_EQ(desktop_.properties.size(), static_cast<std::size_t>(count));
    ASSERT_GE(playable.size(), 20u);

    // Tab from the first playable entry: every other one is heard, some of the
    // shortest by themselves as the one before ends.
    std::set<std::string> heard;
    std::set<std::string> expected;
    for (int row : playable) {
        expected.insert(list().PlaylistEntries[static_cast<std::size_t>(row)]);
    }
    Heard listener(heard);
    app_->player.events.Attach(listener);
    Select(playable.front());
    Press(Qt::Key_Return, Qt::NoModifier, "Enter");
    for (std::size_t tab = 0; tab < 2 * playable.size() && heard.size() < expected.size(); ++tab) {
        const int was = list().PlayingIndex;
        Press(Qt::Key_Tab, Qt::NoModifier, "Tab from " + std::to_string(was));
        EXPECT_NE(list().PlayingIndex, was);
        EXPECT_EQ(engine().OutputState(), audio::kActivePlaying);
        Hear(2);
    }
    app_->player.events.Detach(listener);
    EXPECT_EQ(heard, expected);

    // Find a damaged copy and play what it finds.
    bool found = false;
    test::WhenShown<TFind_Form>([&](TFind_Form& form) {
        QLineEdit* searchEdit = test::Child<QLineEdit>(form, "Edit1");
        QTest::keyClicks(searchEdit, QStringLiteral("flip1"));
        found = test::Child<QListView>(form, "ListBox1")->model()->rowCount() > 0;
        QTest::keyClick(searchEdit, Qt::Key_Return);
    });
    const std::size_t beforeFind = dialogs_.notices.size();
    Press(Qt::Key_F, Qt::ControlModifier, "find");
    ASSERT_TRUE(found);
    ASSERT_GE(list().PlayingIndex, 0);
    EXPECT_NE(list().PlaylistEntries[static_cast<std::size_t>(list().PlayingIndex)].find("flip1"),
              std::string::npos);
    EXPECT_TRUE(engine().OutputState() == audio::kActivePlaying ||
                dialogs_.notices.size() > beforeFind);

    // The total time of everything.
    Press(Qt::Key_A, Qt::ControlModifier, "select all");
    Press(Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, "total time");
    ASSERT_FALSE(dialogs_.notices.empty());
    EXPECT_EQ(dialogs_.notices.back().text.rfind("Total time: ", 0), 0u)
        << dialogs_.notices.back().text;

    // Every playlist file in place of the list, its first entry played and one Tab.
    for (const std::string& playlist : made.playlists) {
        dialogs_.openAnswers = {playlist};
        Press(Qt::Key_O, Qt::ControlModifier, "open " + playlist);
        const std::size_t entries = list().PlaylistEntries.size();
        if (EntryKind(playlist) != kKindTextPlaylist) {
            EXPECT_LE(entries, 100000u) << playlist;
        }
        if (entries > 0) {
            Select(0);
            Press(Qt::Key_Return, Qt::NoModifier, "Enter in " + playlist);
            Hear(2);
            Press(Qt::Key_Tab, Qt::NoModifier, "Tab in " + playlist);
            Hear(2);
        }
    }
    for (; shownUpTo < dialogs_.notices.size(); ++shownUpTo) {
        EXPECT_TRUE(KnownMessage(dialogs_.notices[shownUpTo])) << dialogs_.notices[shownUpTo].text;
    }

    // Stopped with the device released, every dialog closed: no descriptor left
    // open. Stop releases the device only from playback, so a good file plays first.
    dialogs_.openAnswers = {home_.Write("good.txt", "good.wav\r\ngood.mp3\r\n")};
    Press(Qt::Key_O, Qt::ControlModifier, "open good.txt");
    Select(0);
    Press(Qt::Key_Return, Qt::NoModifier, "Enter on good.wav");
    ASSERT_TRUE(Playing(0));
    Hear(2);
    Press(Qt::Key_0, Qt::KeypadModifier, "stop");
    Press(Qt::Key_0, Qt::KeypadModifier, "stop");
    engine().WaitForOpener();
    QApplication::processEvents();
    EXPECT_FALSE(app_->player.engine.DeviceReady);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    QThreadPool::globalInstance()->waitForDone();
    const std::multiset<std::string> fdsAfter = OpenFds();
    std::printf("%zu hostile files (%zu playlists), %d entries, %zu playable, %zu messages\n",
                made.files.size(), made.playlists.size(), count, playable.size(),
                dialogs_.notices.size());
    std::printf("file descriptors: %zu before, %zu after\n", fdsBefore.size(), fdsAfter.size());
    std::printf("longest UI thread stall: %.1f ms; slowest commands:\n", stalls.LongestMs());
    for (const auto& [ms, what] : slowest_) {
        std::printf("  %.1f ms %s\n", ms, what.substr(0, 200).c_str());
    }
    EXPECT_EQ(fdsAfter, fdsBefore);
    EXPECT_LT(stalls.LongestMs(), 3000.0) << "the window hung";
    for (const auto& [name, times] : closed_) {
        EXPECT_EQ(name, "mirvo::TFileInfo_Form") << times << " unexpected dialogs";
    }
}

}  // namespace
}  // namespace mirvo
