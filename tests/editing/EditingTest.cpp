// The editing commands: what they leave in the list, the queue, the playing
// index and the selection, and what they tell the user.
#include "playlist/Editing.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>

#include "app/Application.h"
#include "audio/TestDevice.h"
#include "editing/EditingFixture.h"
#include "engine/EngineFixtures.h"
#include "playback/Engine.h"
#include "playlist/PlaylistFiles.h"

namespace mirvo {
namespace {

using test::EditingTest;
using Strings = std::vector<std::string>;

TEST_F(EditingTest, RemoveKeepsThePlayingEntryAndClosesUpTheQueue) {
    SetList(Names(6));
    Playing(4);
    p.playlist.QueueList = {"/m/1.mp3", "/m/5.mp3", "/m/3.mp3"};
    Select({1, 3}, 3);
    RemoveSelected(p);
    EXPECT_EQ(List(), (Strings{"/m/0.mp3", "/m/2.mp3", "/m/4.mp3", "/m/5.mp3"}));
    EXPECT_EQ(p.playlist.PlayingIndex, 2);
    EXPECT_EQ(p.playlist.QueueList, Strings{"/m/5.mp3"});
    EXPECT_EQ(view.focusedRow, 3);
    EXPECT_EQ(view.selectedRows, std::vector<int>{3});
    EXPECT_EQ(view.status[1], "4 Files");

    // The playing row itself, and past the end the focus lands on the last row.
    Select({2, 3}, 3);
    RemoveSelected(p);
    EXPECT_EQ(List(), (Strings{"/m/0.mp3", "/m/2.mp3"}));
    EXPECT_EQ(p.playlist.PlayingIndex, -1);
    EXPECT_EQ(view.focusedRow, 1);

    // Nothing selected, or a stale selection past the end: nothing happens.
    Select({5}, 1);
    RemoveSelected(p);
    EXPECT_EQ(List().size(), 2u);
}

TEST_F(EditingTest, CropKeepsSelectedRowsOrTheQueueInQueueOrder) {
    SetList(Names(6));
    Playing(3);
    p.playlist.QueueList = {"/m/5.mp3", "/m/0.mp3"};
    Select({1, 3, 4}, 4);
    CropAc(p);
    EXPECT_EQ(List(), (Strings{"/m/1.mp3", "/m/3.mp3", "/m/4.mp3"}));
    EXPECT_EQ(p.playlist.QueueList.size(), 2u);
    EXPECT_EQ(p.playlist.PlayingIndex, 1);
    EXPECT_EQ(view.selectedRows, std::vector<int>{1});

    SetList(Names(6));
    p.playlist.QueueList = {"/m/5.mp3", "/m/0.mp3", "/m/2.mp3"};
    Select({1}, 1);
    CropAc(p);
    EXPECT_EQ(List(), (Strings{"/m/5.mp3", "/m/0.mp3", "/m/2.mp3"}));
    EXPECT_TRUE(p.playlist.QueueList.empty());
    EXPECT_EQ(p.playlist.PlayingIndex, -1);
    EXPECT_EQ(view.selectedRows, std::vector<int>{0});

    p.playlist.QueueList = {"/m/5.mp3"};
    CropAc(p);
    EXPECT_EQ(LastNotice(), "Please select or queue at least two files first.");
    EXPECT_EQ(List().size(), 3u);
}

TEST_F(EditingTest, MissingFilesAndStreamsLeaveThePlayingEntryMarked) {
    const std::string a = dir.Write("a.mp3", "x");
    const std::string b = dir.Write("b.mp3", "x");
    SetList({dir / "gone.mp3", a, "http://radio.example:8000/live|Radio", dir.path(), b});
    Playing(4);
    BrokenFilesAc(p);
    EXPECT_EQ(List(), (Strings{a, b}));
    EXPECT_EQ(LastNotice(), "3 missing file(s) removed.");
    EXPECT_EQ(dialogs.notices.back().kind, NoticeKind::Information);
    EXPECT_EQ(p.playlist.PlayingIndex, 1);

    BrokenFilesAc(p);
    EXPECT_EQ(LastNotice(), "0 missing file(s) removed.");
}

TEST_F(EditingTest, DuplicatesKeepTheFirstOfEachExactText) {
    SetList({"/m/a.mp3", "/m/A.mp3", "/m/b.mp3", "/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
    Playing(4);  // the second b: the mark goes to the one that stays
    DupAc(p);
    EXPECT_EQ(List(), (Strings{"/m/a.mp3", "/m/A.mp3", "/m/b.mp3", "/m/c.mp3"}));
    EXPECT_EQ(LastNotice(), "2 duplicated item(s) have been removed.");
    EXPECT_EQ(p.playlist.PlayingIndex, 2);

    Playing(3);
    DupAc(p);
    EXPECT_EQ(LastNotice(), "0 duplicated item(s) have been removed.");
    EXPECT_EQ(p.playlist.PlayingIndex, 3);
}

TEST_F(EditingTest, CutAndPasteMoveEntriesWithTheirTitles) {
    SetList({"/m/0.mp3", "http://a.example/s|Station One", "/m/2.mp3", "/m/3.mp3", "/m/4.mp3"});
    Playing(3);
    Select({1, 2}, 2);
    CutAc(p);
    EXPECT_EQ(desktop.clipboard, "http://a.example/s|Station One\r\n/m/2.mp3\r\n");
    EXPECT_EQ(List(), (Strings{"/m/0.mp3", "/m/3.mp3", "/m/4.mp3"}));
    EXPECT_EQ(p.playlist.PlayingIndex, 1);

    Select({2}, 2);
    PastAc(p);
    EXPECT_EQ(List(), (Strings{"/m/0.mp3", "/m/3.mp3", "http://a.example/s|Station One", "/m/2.mp3",
                               "/m/4.mp3"}));
    EXPECT_EQ(view.selectedRows, (std::vector<int>{2, 3}));
    EXPECT_EQ(view.focusedRow, 2);
    EXPECT_EQ(p.playlist.PlayingIndex, 1);
    EXPECT_EQ(view.updateDepth, 0);

    // Copy leaves the list alone; nothing selected copies an empty text.
    Select({4, 0}, 0);
    view.selectedRows = {0, 4};
    CopyAc(p);
    EXPECT_EQ(desktop.clipboard, "/m/0.mp3\r\n/m/4.mp3\r\n");
    EXPECT_EQ(List().size(), 5u);
    Select({}, 0);
    CopyAc(p);
    EXPECT_EQ(desktop.clipboard, "");
}

TEST_F(EditingTest, PasteKeepsALastLineWithoutALineEnd) {
    SetList(Names(3));
    Select({1}, 1);
    desktop.clipboard = "/x/first.mp3\r\n/x/second.mp3";
    PastAc(p);
    EXPECT_EQ(List(),
              (Strings{"/m/0.mp3", "/x/first.mp3", "/x/second.mp3", "/m/1.mp3", "/m/2.mp3"}));

    // Plain LF ends, blank lines, and a path copied without any line end.
    Select({0}, 0);
    desktop.clipboard = "/y/1.mp3\n\n/y/2.mp3\r\n\r\n";
    PastAc(p);
    EXPECT_EQ(List()[0], "/y/1.mp3");
    EXPECT_EQ(List()[1], "/y/2.mp3");
    EXPECT_EQ(List().size(), 7u);
    desktop.clipboard = "/z/only.mp3";
    Select({7}, 7);
    view.focusedRow = 7;
    PastAc(p);
    EXPECT_EQ(List().back(), "/z/only.mp3");

    // An empty clipboard changes nothing.
    desktop.clipboard = "\r\n";
    Select({2}, 2);
    PastAc(p);
    EXPECT_EQ(List().size(), 8u);
    EXPECT_EQ(view.selectedRows, std::vector<int>{2});
}

TEST_F(EditingTest, PasteIntoAnEmptyListAndPastesTooLongToSelect) {
    SetList({});
    view.focusedRow = -1;
    p.playlist.PlayingEntry = "/p/5.mp3";
    std::string text;
    for (int i = 0; i < 20; ++i) {
        text += "/p/" + std::to_string(i) + ".mp3\r\n";
    }
    desktop.clipboard = text;
    PastAc(p);
    ASSERT_EQ(List().size(), 20u);
    EXPECT_EQ(List().front(), "/p/0.mp3");
    // 20 rows do not fit the 11 visible ones: nothing stays selected.
    EXPECT_TRUE(view.selectedRows.empty());
    EXPECT_EQ(p.playlist.PlayingIndex, 5);
}

TEST_F(EditingTest, CopyPlayingTitle) {
    SetList({"/m/dir/Song One.mp3", "http://radio.example:8000/live|Radio One"});
    CopyPlAc(p);
    EXPECT_EQ(desktop.clipboard, "");
    Playing(0);
    CopyPlAc(p);
    EXPECT_EQ(desktop.clipboard, "Song One.mp3\r\n");
    Playing(1);
    CopyPlAc(p);
    EXPECT_EQ(desktop.clipboard, "Radio One\r\n");
    desktop.clipboard.clear();
    p.playlist.PlayingIndex = 2;  // past the end
    CopyPlAc(p);
    EXPECT_EQ(desktop.clipboard, "");
}

TEST_F(EditingTest, QueueTogglesAndStepsDown) {
    SetList({"/m/0.mp3", "/m/1.mp3", "http://a.example/s|S", "/m/3.mp3"});
    Playing(0);
    Select({0, 1, 2}, 2);
    QueuAc(p);
    // The playing entry and the stream cannot be queued.
    EXPECT_EQ(p.playlist.QueueList, Strings{"/m/1.mp3"});
    EXPECT_EQ(view.selectedRows, std::vector<int>{3});
    EXPECT_EQ(view.focusedRow, 3);

    // Insert on the last row queues it and leaves the focus there.
    QueuAc(p);
    EXPECT_EQ(p.playlist.QueueList, (Strings{"/m/1.mp3", "/m/3.mp3"}));
    EXPECT_EQ(view.focusedRow, 3);
    EXPECT_EQ(view.selectedRows, std::vector<int>{3});

    // Twice takes it out again; the rest keep their order.
    Select({1}, 1);
    QueuAc(p);
    EXPECT_EQ(p.playlist.QueueList, Strings{"/m/3.mp3"});
    EXPECT_EQ(view.focusedRow, 2);
    EXPECT_GT(view.repaints, 0);
}

TEST_F(EditingTest, EditEntryChangesTheFocusedRowOnOk) {
    SetList(Names(3));
    Select({1}, 1);
    dialogs.textAnswers = {std::string("http://b.example/x|New"), std::nullopt};
    ListEntryAc(p);
    EXPECT_EQ(dialogs.questions, Strings{"Entry"});
    EXPECT_EQ(List()[1], "http://b.example/x|New");
    ListEntryAc(p);  // cancelled
    EXPECT_EQ(List()[1], "http://b.example/x|New");
    EXPECT_EQ(view.focusedRow, 1);

    view.focusedRow = -1;  // no focused row: no dialog
    ListEntryAc(p);
    SetList({});
    ListEntryAc(p);
    EXPECT_EQ(dialogs.questions.size(), 2u);
}

// The list changes while the box is open (the edit keeps no hold on the row):
// the edit goes to the entry it was asked about, or nowhere.
TEST_F(EditingTest, EditEntryFindsItsEntryAfterTheListChanged) {
    SetList(Names(2));
    Select({1}, 1);
    dialogs.textAnswers = {std::string("/m/edited.mp3"), std::string("/m/lost.mp3")};
    dialogs.meanwhile = [&] {
        auto& list = p.playlist.PlaylistEntries;
        list.insert(list.begin(), {"/m/new0.mp3", "/m/new1.mp3", "/m/new2.mp3"});
    };
    ListEntryAc(p);
    EXPECT_EQ(List(),
              (Strings{"/m/new0.mp3", "/m/new1.mp3", "/m/new2.mp3", "/m/0.mp3", "/m/edited.mp3"}));
    Select({4}, 4);
    dialogs.meanwhile = [&] { p.playlist.PlaylistEntries.clear(); };
    ListEntryAc(p);
    EXPECT_TRUE(List().empty());
}

TEST_F(EditingTest, ClearHistoryAndClearList) {
    SetList(Names(4));
    Playing(2);
    p.playlist.QueueList = {"/m/1.mp3"};
    p.playlist.ShuffleHistory = {"/m/0.mp3"};
    Select({3}, 3);
    ClearShuffleHistoryAc(p);
    EXPECT_TRUE(p.playlist.QueueList.empty());
    EXPECT_TRUE(p.playlist.ShuffleHistory.empty());
    EXPECT_EQ(view.focusedRow, 3);

    p.playlist.QueueList = {"/m/1.mp3"};
    NewListAc(p);
    EXPECT_TRUE(List().empty());
    EXPECT_TRUE(p.playlist.QueueList.empty());
    EXPECT_EQ(view.status[1], "0 Files");
    EXPECT_EQ(view.rowCount, 0);
    EXPECT_EQ(p.playlist.PlayingIndex, 2);
    EXPECT_EQ(p.playlist.PlayingEntry, "/m/2.mp3");
}

TEST_F(EditingTest, RandomizeIsAPermutationAndFollowsThePlayingEntry) {
    const Strings names = Names(200);
    SetList(names);
    Playing(150);
    std::mt19937 random(7);
    RandomizeList(p, random);
    EXPECT_NE(List(), names);
    Strings sorted = List();
    std::sort(sorted.begin(), sorted.end());
    Strings expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);
    ASSERT_GE(p.playlist.PlayingIndex, 0);
    EXPECT_EQ(List()[static_cast<std::size_t>(p.playlist.PlayingIndex)], "/m/150.mp3");
    EXPECT_EQ(view.selectedRows, std::vector<int>{p.playlist.PlayingIndex});

    // Every entry reaches every place: the draw covers the whole rest.
    SetList({"a", "b", "c"});
    p.playlist.PlayingEntry.clear();
    std::map<std::string, int> firsts;
    for (int i = 0; i < 300; ++i) {
        RandomizeList(p, random);
        ++firsts[List()[0]];
    }
    EXPECT_EQ(firsts.size(), 3u);
    for (const auto& [entry, times] : firsts) {
        EXPECT_GT(times, 50) << entry;
    }
    // Without the playing entry in the list no row is marked.
    p.playlist.PlayingIndex = 1;
    p.playlist.PlayingEntry = "/gone.mp3";
    SuffleListRealAc(p);
    EXPECT_EQ(p.playlist.PlayingIndex, -1);
}

TEST_F(EditingTest, SelectPlayingItem) {
    SetList(Names(40));
    JumpAc(p);  // nothing ever played
    EXPECT_TRUE(dialogs.notices.empty());
    Playing(30);
    Select({1}, 1);
    JumpAc(p);
    EXPECT_EQ(view.selectedRows, std::vector<int>{30});
    EXPECT_EQ(view.topRow, 28);
    p.playlist.PlayingIndex = -1;
    JumpAc(p);
    EXPECT_EQ(LastNotice(),
              "/m/30.mp3\ris not in the current playlist or the list has been changed.");
}

TEST_F(EditingTest, MoveSelectionUpAndDown) {
    SetList(Names(6));
    Playing(2);
    Select({3, 5}, 5);
    MoveSelectionUp(p);
    EXPECT_EQ(List(),
              (Strings{"/m/0.mp3", "/m/1.mp3", "/m/3.mp3", "/m/2.mp3", "/m/5.mp3", "/m/4.mp3"}));
    EXPECT_EQ(view.selectedRows, (std::vector<int>{2, 4}));
    EXPECT_EQ(view.focusedRow, 4);
    EXPECT_EQ(p.playlist.PlayingIndex, 3);
    EXPECT_EQ(view.updateDepth, 0);

    MoveSelectionDown(p);
    EXPECT_EQ(List(), Names(6));
    EXPECT_EQ(p.playlist.PlayingIndex, 2);
    EXPECT_EQ(view.selectedRows, (std::vector<int>{3, 5}));

    // Row 0 (or the last row) selected: nothing moves.
    MoveSelectionDown(p);
    Select({0, 3}, 3);
    MoveSelectionUp(p);
    EXPECT_EQ(List(), Names(6));
    EXPECT_EQ(view.selectedRows, (std::vector<int>{0, 3}));
}

// Against a plain model of the moves: every entry string is unique, so the
// playing index must point at the same string afterwards.
TEST_F(EditingTest, MovingRandomSelectionsKeepsThePlayingEntry) {
    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        const int count = 1 + static_cast<int>(random() % 12);
        SetList(Names(count));
        Playing(static_cast<int>(random() % static_cast<unsigned>(count)));
        std::vector<int> rows;
        for (int i = 0; i < count; ++i) {
            if (random() % 3 == 0) {
                rows.push_back(i);
            }
        }
        Select(rows, rows.empty() ? 0 : rows.back());
        const bool up = random() % 2 == 0;
        const std::string playing = p.playlist.PlayingEntry;
        Strings expected = List();
        const bool blocked = rows.empty() || (up ? rows.front() == 0 : rows.back() == count - 1);
        if (!blocked) {
            if (up) {
                for (const int i : rows) {
                    std::swap(expected[static_cast<std::size_t>(i - 1)],
                              expected[static_cast<std::size_t>(i)]);
                }
            } else {
                for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
                    std::swap(expected[static_cast<std::size_t>(*it)],
                              expected[static_cast<std::size_t>(*it + 1)]);
                }
            }
        }
        up ? MoveSelectionUp(p) : MoveSelectionDown(p);
        ASSERT_EQ(List(), expected) << round;
        ASSERT_EQ(List()[static_cast<std::size_t>(p.playlist.PlayingIndex)], playing) << round;
    }
}

TEST_F(EditingTest, SelectAllKeepsFocusAndScroll) {
    SetList(Names(50));
    view.focusedRow = 20;
    view.topRow = 15;
    SelectAll(p);
    EXPECT_EQ(view.selectedRows.size(), 50u);
    EXPECT_EQ(view.selectedRows.back(), 49);
    EXPECT_EQ(view.focusedRow, 20);
    EXPECT_EQ(view.topRow, 15);
}

TEST_F(EditingTest, UpAndDownBringAScrolledAwayFocusBack) {
    SetList(Names(100));
    // 11 visible rows from 40: rows 40 to 51 count as in view.
    view.topRow = 40;
    Select({51}, 51);
    EXPECT_FALSE(KeepFocusInView(p, true));
    EXPECT_EQ(view.selectedRows, std::vector<int>{51});

    // Down goes to the top visible row, Up to the bottom one.
    Select({3, 4}, 4);
    EXPECT_TRUE(KeepFocusInView(p, true));
    EXPECT_EQ(view.focusedRow, 40);
    EXPECT_EQ(view.selectedRows, std::vector<int>{40});
    Select({3}, 3);
    EXPECT_TRUE(KeepFocusInView(p, false));
    EXPECT_EQ(view.focusedRow, 50);
    EXPECT_EQ(view.selectedRows, std::vector<int>{50});

    // Near the end the row for Up does not exist: only the deselection.
    view.topRow = 95;
    Select({2}, 2);
    EXPECT_TRUE(KeepFocusInView(p, false));
    EXPECT_TRUE(view.selectedRows.empty());
    EXPECT_EQ(view.focusedRow, 2);
}

TEST_F(EditingTest, RightButtonSelectsUnlessSeveralRowsAre) {
    SetList(Names(10));
    Select({2}, 2);
    SelectBeforeContextMenu(p, 7);
    EXPECT_EQ(view.selectedRows, std::vector<int>{7});
    EXPECT_EQ(view.focusedRow, 7);
    SelectBeforeContextMenu(p, -1);
    EXPECT_EQ(view.selectedRows, std::vector<int>{7});
    Select({2, 3}, 3);
    SelectBeforeContextMenu(p, 7);
    EXPECT_EQ(view.selectedRows, (std::vector<int>{2, 3}));
}

// Deleting to the trash: real files, a trash that really moves them.
class DeleteTest : public EditingTest {
  protected:
    class NoPlaybackView : public PlaybackView {
      public:
        void SetProgressMax(int) override {}
        int ProgressMax() const override { return 0; }
        void SetProgressPosition(int) override {}
        int ProgressPosition() const override { return 0; }
        void ShowVolume(int) override {}
        void SetRecordVisible(bool) override {}
        void SetTimeLabelLeft(int) override {}
        bool PlayBarVisible() const override { return true; }
        void SetRecordCaption(const std::string&) override {}
        std::string ThousandsSeparator() const override { return ","; }
    };

    DeleteTest() {
        p.engine.Device = audio::test::kDevice;
        engine = std::make_unique<Engine>(p, playbackView);
        for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
            test::WriteWav(dir / name, test::Tone(44100, 0.5, 440), 44100);
            files.push_back(dir / name);
        }
    }
    ~DeleteTest() override {
        engine.reset();
        audio::Free();
    }

    NoPlaybackView playbackView;
    std::unique_ptr<Engine> engine;
    Strings files;
};

TEST_F(DeleteTest, YesMovesTheFilesAndStopsThePlayingOne) {
    SetList({files[0], files[1], files[2], "http://a.example/s|S"});
    p.playlist.QueueList = {files[2], files[0]};
    engine->PlayEntry(1);
    engine->Settle();
    ASSERT_NE(engine->OutputChannel(), 0u);
    ASSERT_EQ(p.playlist.PlayingIndex, 1);
    Select({1, 2, 3}, 3);
    dialogs.yesNoAnswers = {true};
    RealDelAc(p);
    EXPECT_EQ(dialogs.questions, Strings{"Move these 3 files to the trash?"});
    EXPECT_EQ(engine->OutputChannel(), 0u);
    EXPECT_FALSE(p.engine.DeviceReady);
    EXPECT_FALSE(std::filesystem::exists(files[1]));
    EXPECT_FALSE(std::filesystem::exists(files[2]));
    EXPECT_TRUE(std::filesystem::exists(files[0]));
    // The stream was no file: it only leaves the list.
    EXPECT_EQ(desktop.trashed, (Strings{files[1], files[2]}));
    EXPECT_EQ(List(), Strings{files[0]});
    EXPECT_EQ(p.playlist.QueueList, Strings{files[0]});
    EXPECT_EQ(p.playlist.PlayingIndex, -1);
    EXPECT_EQ(view.focusedRow, 0);
    EXPECT_TRUE(dialogs.notices.empty());
}

TEST_F(DeleteTest, NoKeepsEverything) {
    SetList(files);
    Select({0}, 0);
    dialogs.yesNoAnswers = {false};
    RealDelAc(p);
    EXPECT_EQ(dialogs.questions, Strings{"Move this file to the trash?\r\r" + files[0]});
    EXPECT_TRUE(std::filesystem::exists(files[0]));
    EXPECT_EQ(List(), files);
    EXPECT_TRUE(desktop.trashed.empty());

    Select({}, 0);  // nothing selected: no question
    RealDelAc(p);
    EXPECT_EQ(dialogs.questions.size(), 1u);
}

// A hand-over while "Move these files to the trash?" is open waits for the
// answer, and the rows that leave are those of the files that went.
TEST_F(DeleteTest, AHandOverWaitsForTheTrashQuestion) {
    Application app(p);
    app.LoadPlaylistPath = [this](const std::string& path, int mode) {
        LoadPlaylistPath(p, path, mode);
    };
    const std::string other = dir / "other/x.wav";
    test::WriteWav(other, test::Tone(44100, 0.5, 440), 44100);
    SetList(files);
    Select({0, 2}, 2);
    dialogs.yesNoAnswers = {true};
    dialogs.meanwhile = [&] { EXPECT_TRUE(app.ReceivePath(other)); };
    RealDelAc(p);
    EXPECT_FALSE(std::filesystem::exists(files[0]));
    EXPECT_FALSE(std::filesystem::exists(files[2]));
    EXPECT_EQ(List(), Strings{files[1]});
    // Then the hand-over, once the loop gets to it: the folder of the path.
    loop.RunPosted();
    EXPECT_EQ(List(), Strings{other});
}

// The list changed under the question anyway: the rows are found by their entries.
TEST_F(DeleteTest, TheFilesThatWentLeaveWhereverTheirRowsAreNow) {
    SetList(files);
    Select({1, 2}, 2);
    dialogs.yesNoAnswers = {true};
    dialogs.meanwhile = [&] {
        auto& list = p.playlist.PlaylistEntries;
        list.erase(list.begin());
        list.push_back("/m/new.mp3");
    };
    RealDelAc(p);
    EXPECT_EQ(desktop.trashed, (Strings{files[1], files[2]}));
    EXPECT_EQ(List(), Strings{"/m/new.mp3"});
}

TEST_F(DeleteTest, AFileTheTrashRefusesStaysInTheList) {
    SetList(files);
    Playing(2);
    Select({0, 1}, 1);
    desktop.trashSucceeds = false;
    dialogs.yesNoAnswers = {true};
    RealDelAc(p);
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(dialogs.notices[0].kind, NoticeKind::Error);
    EXPECT_EQ(dialogs.notices[0].text, "Tried to recycle file:\r" + files[0] + "\r" + files[1] +
                                           "\r\nIt could not be moved to the trash.");
    EXPECT_EQ(List(), files);
    EXPECT_EQ(p.playlist.PlayingIndex, 2);
}

// A favourite list of files from two folders: the folder of the first entry
// is rescanned recursively.
TEST_F(EditingTest, RefreshRescansTheFolderOfTheFirstEntry) {
    const std::string music = dir / "music";
    const std::string a = dir.Write("music/a.mp3", "x");
    dir.Write("music/sub/b.OGG", "x");
    dir.Write("music/sub/c.flac", "x");
    dir.Write("music/d.wav", "x");
    dir.Write("music/notes.txt", "x");
    const std::string other = dir.Write("other/e.mp3", "x");
    p.playlist.CurrentFolder = dir.Write("Favorites/mine.txt", "");
    SetList({a, music + "/gone.mp3", other, "http://a.example/s|S"});
    Playing(2);
    Refresh(p);
    EXPECT_EQ(p.playlist.CurrentFolder, music + "/");
    ASSERT_EQ(List().size(), 4u);
    EXPECT_EQ(List()[0], a);
    EXPECT_EQ(List()[1], other);
    Strings added(List().begin() + 2, List().end());
    std::sort(added.begin(), added.end());
    EXPECT_EQ(added, (Strings{music + "/d.wav", music + "/sub/b.OGG"}));
    EXPECT_EQ(p.playlist.PlayingIndex, 1);
    EXPECT_EQ(LastNotice(),
              "2 missing file(s) removed.\r2 new file(s) found in:\r\r" + music + "/");
    EXPECT_FALSE(p.playlist.ScanRunning);

    // Again: nothing missing, nothing new.
    Refresh(p);
    EXPECT_EQ(LastNotice(), "0 new file(s) found in:\r\r" + music + "/");
    EXPECT_EQ(List().size(), 4u);
}

TEST_F(EditingTest, RefreshWithoutAFolderOrAbortedByEscape) {
    SetList({"http://a.example/s|S"});
    p.playlist.CurrentFolder.clear();
    Refresh(p);
    EXPECT_EQ(LastNotice(), "Open a folder first.");
    EXPECT_TRUE(List().empty());

    const std::string a = dir.Write("music/a.mp3", "x");
    dir.Write("music/sub/b.mp3", "x");
    p.playlist.CurrentFolder = dir / "music";
    SetList({a});
    // Escape during the walk must not close the window: the scan counts as running.
    bool runningSeen = false;
    loop.onPending = [this, &runningSeen] {
        runningSeen = p.playlist.ScanRunning;
        p.playlist.AbortRequested = true;
    };
    dialogs.yesNoAnswers = {true};
    const std::size_t notices = dialogs.notices.size();
    Refresh(p);
    EXPECT_TRUE(runningSeen);
    EXPECT_EQ(dialogs.questions.back(), "Abort operation?");
    EXPECT_EQ(dialogs.notices.size(), notices);
    EXPECT_EQ(List(), Strings{a});
    EXPECT_FALSE(p.playlist.AbortRequested);
    EXPECT_FALSE(p.playlist.ScanRunning);
}

}  // namespace
}  // namespace mirvo
