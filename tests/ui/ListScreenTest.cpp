// The playlist's list control and its rows, rendered offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>
#include <fstream>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "ui/ColourSchemes.h"
#include "ui/HoxelListbox.h"
#include "ui/MainWindow.h"
#include "ui/PlaylistRendering.h"
#include "ui/RowSelection.h"

namespace mirvo {
namespace {

// The application lives from before the first test to after the last one,
// and goes before the library's own statics do.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[20] = "mirvo_ui_list_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

TEST(RowSelectionTest, Ranges) {
    RowSelection s;
    s.Add(5, 9);
    s.Add(10, 12);
    s.Add(2, 3);
    s.Toggle(7);
    EXPECT_EQ(s.Rows(), (std::vector<int>{2, 3, 5, 6, 8, 9, 10, 11, 12}));
    s.Remove(3, 9);
    EXPECT_EQ(s.Rows(), (std::vector<int>{2, 10, 11, 12}));
    s.ClipTo(11);
    EXPECT_EQ(s.Rows(), (std::vector<int>{2, 10}));
    s.Assign({1, 2, 3, 7, 5});
    EXPECT_EQ(s.Rows(), (std::vector<int>{1, 2, 3, 5, 7}));
    EXPECT_TRUE(s.Contains(2));
    EXPECT_FALSE(s.Contains(4));
    // A million rows are one range.
    std::vector<int> all(1000000);
    for (int i = 0; i < 1000000; ++i) {
        all[static_cast<std::size_t>(i)] = i;
    }
    s.Assign(all);
    EXPECT_TRUE(s.Contains(999999));
    EXPECT_FALSE(s.Contains(1000000));
}

constexpr Colour kBack = MakeColour(0x10, 0x20, 0x30);
constexpr Colour kText = MakeColour(0xF0, 0xF0, 0xF0);
constexpr Colour kSelBack = MakeColour(0x00, 0x00, 0xC0);
constexpr Colour kSelText = MakeColour(0xFF, 0xFF, 0x00);
constexpr Colour kPlaySelBack = MakeColour(0xC0, 0x00, 0x00);
constexpr Colour kPlayText = MakeColour(0x00, 0xFF, 0xFF);
constexpr Colour kQueued = MakeColour(0xFF, 0x6F, 0x28);

class ListScreenTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    test::FakePlayer fp{dir.path()};
    Player& p = fp.player;
    THoxelListbox* list = nullptr;
    std::unique_ptr<THoxelListbox> owner;

    void SetUp() override {
        owner = std::make_unique<THoxelListbox>();
        list = owner.get();
        list->resize(300, 160);
        list->show();
        SchemeValues s;
        s.Background = kBack;
        s.FontColor = kText;
        s.FontColorSelected = kSelText;
        s.SelectionColor = kSelBack;
        s.SelectionColorPlayingItem = kPlaySelBack;
        s.PlayingItemColor = kPlayText;
        s.PlayingItemColorSelected = kSelText;
        s.QueuedItemColor = kQueued;
        list->SetScheme(s);
        QFont font = list->font();
        font.setPointSize(10);
        list->SetListFont(font);
        list->SetItemHeight(16);
        list->OnDrawItem = [this](QPainter& painter, int row, const QRect& rect, bool selected) {
            ListScreenDrawItem(painter, p.playlist, p.engine.DeviceReady, *list, row, rect,
                               selected, list->height());
        };
    }

    void Fill(int n, const std::string& name = "Some Track Name.mp3") {
        p.playlist.PlaylistEntries.assign(static_cast<std::size_t>(n), "/m/" + name);
        list->SetRowCount(n);
    }
    QImage Shot() { return list->grab().toImage(); }
    static Colour At(const QImage& image, int x, int y) {
        return FromQColor(image.pixelColor(x, y));
    }
    // Pixels of the row band [y, y + 16) in `colour`.
    static int Count(const QImage& image, int row, Colour colour) {
        int n = 0;
        for (int y = row * 16; y < row * 16 + 16; ++y) {
            for (int x = 0; x < image.width(); ++x) {
                n += At(image, x, y) == colour ? 1 : 0;
            }
        }
        return n;
    }
    void Wheel(int delta, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta),
                          Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list->viewport(), &event);
    }
    void Click(int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        const QPointF at(20, row * 16 + 8);
        QMouseEvent event(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at),
                          Qt::LeftButton, Qt::LeftButton, mods);
        QApplication::sendEvent(list->viewport(), &event);
    }
};

TEST_F(ListScreenTest, RowColours) {
    Fill(4);
    p.playlist.PlaylistEntries[3] = "http://radio.example/|Radio";
    p.playlist.QueueList = {"/m/Some Track Name.mp3"};
    list->SetSelection({1});
    QImage image = Shot();
    // Right of the text only the row background shows.
    EXPECT_EQ(At(image, 290, 8), kBack);
    EXPECT_EQ(At(image, 290, 24), kSelBack);
    EXPECT_EQ(At(image, 290, 60), kBack);
    EXPECT_EQ(At(image, 290, 100), kBack);  // below the last row
    EXPECT_EQ(At(image, 2, 24), kSelBack);  // no focus rectangle at the edge
    EXPECT_GT(Count(image, 0, kQueued), 10);
    EXPECT_GT(Count(image, 1, kSelText), 10);
    EXPECT_EQ(Count(image, 1, kQueued), 0);
    EXPECT_GT(Count(image, 3, kStreamGreen), 10);
}

TEST_F(ListScreenTest, PlayingRowWhileTheOutputIsReady) {
    Fill(3);
    p.playlist.PlayingIndex = 1;
    list->SetSelection({2});
    EXPECT_EQ(Count(Shot(), 1, kPlayText), 0);
    p.engine.DeviceReady = true;
    const QImage image = Shot();
    const int bold = Count(image, 1, kPlayText);
    EXPECT_GT(bold, 10);
    // Bold takes more ink than the same text in the normal face.
    EXPECT_GT(bold, Count(image, 0, kText));
    p.playlist.PlayingIndex = 2;
    EXPECT_EQ(At(Shot(), 290, 40), kPlaySelBack);
}

TEST_F(ListScreenTest, NoStaleRowsAfterRemoving) {
    Fill(6);
    Shot();
    Fill(1);
    const QImage image = Shot();
    for (int row = 1; row < 10; ++row) {
        EXPECT_EQ(Count(image, row, kBack), 300 * 16) << row;
    }
    // A focused row that is not selected shows no frame.
    p.playlist.PlaylistEntries = {"/m/"};
    list->SetFocusedRow(0);
    list->SetSelection({});
    EXPECT_EQ(Count(Shot(), 0, kBack), 300 * 16);
}

TEST_F(ListScreenTest, AnEntryOfMegabytesShowsTheStartOfItsLine) {
    // Only the start is laid out; it must look as the whole line would.
    std::string name;
    for (int i = 0; name.size() < (6u << 20); ++i) {
        name += "Wide Ünïcode name " + std::to_string(i) + " ";
    }
    // Row 0 has the cursor's mark; the umlauts of the row below reach up into a row.
    Fill(4);
    p.playlist.PlaylistEntries[1] = "/m/" + name;
    p.playlist.PlaylistEntries[2] = p.playlist.PlaylistEntries[3] = "/m/" + name.substr(0, 3000);
    const QImage image = Shot();
    EXPECT_EQ(image.copy(0, 16, 300, 16), image.copy(0, 32, 300, 16));
    EXPECT_GT(Count(image, 1, kText), 10);
}

TEST_F(ListScreenTest, WheelSteps) {
    Fill(1000);
    list->SetSelection({3});
    list->SetFocusedRow(3);
    Wheel(-120);
    EXPECT_EQ(list->TopRow(), 8);
    Wheel(-120, Qt::ControlModifier);
    EXPECT_EQ(list->TopRow(), 88);
    Wheel(-120, Qt::ShiftModifier);
    EXPECT_EQ(list->TopRow(), 91);
    Wheel(-120, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(list->TopRow(), 171);
    Wheel(120, Qt::ControlModifier);
    Wheel(120, Qt::ControlModifier);
    EXPECT_EQ(list->TopRow(), 11);
    // Up from near the first row stops at row 0.
    Wheel(120, Qt::ControlModifier);
    EXPECT_EQ(list->TopRow(), 0);
    Wheel(120);
    EXPECT_EQ(list->TopRow(), 0);
    EXPECT_EQ(list->SelectedRows(), std::vector<int>{3});
    EXPECT_EQ(list->FocusedRow(), 3);
    // Never past the last page, and a short list does not move.
    list->SetTopRow(985);
    Wheel(-120);
    EXPECT_EQ(list->TopRow(), 1000 - list->VisibleRows());
    Fill(3);
    Wheel(-120);
    EXPECT_EQ(list->TopRow(), 0);
}

TEST_F(ListScreenTest, MouseSelection) {
    Fill(20);
    Click(2);
    Click(5, Qt::ShiftModifier);
    EXPECT_EQ(list->SelectedRows(), (std::vector<int>{2, 3, 4, 5}));
    Click(3, Qt::ControlModifier);
    Click(8, Qt::ControlModifier);
    EXPECT_EQ(list->SelectedRows(), (std::vector<int>{2, 4, 5, 8}));
    EXPECT_EQ(list->FocusedRow(), 8);
    Click(1);
    EXPECT_EQ(list->SelectedRows(), std::vector<int>{1});
    Click(15);  // below the last visible row's band is outside the viewport; nothing breaks
    EXPECT_LE(list->SelectedRows().size(), 1u);
}

TEST_F(ListScreenTest, MillionRows) {
    Fill(1000000);
    std::vector<int> all(1000000);
    for (int i = 0; i < 1000000; ++i) {
        all[static_cast<std::size_t>(i)] = i;
    }
    list->SetSelection(all);
    list->SetTopRow(999990);
    const QImage image = Shot();
    EXPECT_EQ(list->TopRow(), 1000000 - list->VisibleRows());
    EXPECT_EQ(At(image, 200, 8), kSelBack);  // left of the scroll bar
    EXPECT_EQ(list->SelectedRows().size(), 1000000u);
}

TEST_F(ListScreenTest, Schemes) {
    p.ui.view.SetListRowCount(0);
    const std::string folder = SchemesFolder(p.ProgramFolder);
    EXPECT_EQ(folder, dir.path() + "/Schemes/");
    const std::string file = folder + "Red.mirvoscheme";
    std::ofstream(file) << "[Style]\r\nbackground_color=#ff0000\r\nfont_size=12\r\n";
    Fill(1);
    LoadScheme(p, *list, file);
    EXPECT_EQ(list->ListFont().pointSize(), 12);
    EXPECT_EQ(list->ItemHeight(), QFontMetrics(list->ListFont()).height());
    EXPECT_EQ(list->Scheme().Background, MakeColour(0xFF, 0, 0));
    EXPECT_EQ(At(Shot(), 290, 100), MakeColour(0xFF, 0, 0));
    EXPECT_TRUE(fp.dialogs.notices.empty());
    // A malformed colour: an error, the keys before it applied, the list still drawn.
    std::ofstream(file) << "[Style]\nbackground_color=#00ff00\nfont_color=nonsense\n";
    LoadScheme(p, *list, file);
    ASSERT_EQ(fp.dialogs.notices.size(), 1u);
    EXPECT_EQ(fp.dialogs.notices[0].kind, NoticeKind::Error);
    EXPECT_EQ(At(Shot(), 290, 100), MakeColour(0, 0xFF, 0));
    // Built-in looks and the start-up choice.
    ApplyBuiltinScheme(p, *list, 1);
    EXPECT_EQ(list->ItemHeight(), 24);
    EXPECT_EQ(list->Scheme().Background, MakeColour(0xFD, 0x02, 0x47));
    p.values.ActiveScheme = "Schemes\\Red.mirvoscheme";
    ApplyStartScheme(p, *list, p.values.ActiveScheme);
    EXPECT_EQ(list->Scheme().Background, MakeColour(0, 0xFF, 0));
    p.values.ActiveScheme.clear();
    ApplyStartScheme(p, *list, p.values.ActiveScheme);
    EXPECT_EQ(list->ItemHeight(), 13);
    EXPECT_EQ(list->Scheme().Background, FromQColor(list->palette().color(QPalette::Base)));
}

TEST(MainWindowListTest, TheWindowServesTheListAndTakesDrops) {
    MainWindow window;
    window.resize(310, 370);
    window.show();
    MainView& view = window;
    ASSERT_NE(window.ListScreen, nullptr);
    view.SetListRowCount(50);
    view.SetListSelection({2, 3, 7});
    view.SetListFocusedRow(7);
    view.SetListTopRow(4);
    EXPECT_EQ(view.ListRowCount(), 50);
    EXPECT_EQ(view.ListSelectedRows(), (std::vector<int>{2, 3, 7}));
    EXPECT_EQ(view.ListFocusedRow(), 7);
    EXPECT_EQ(view.ListTopRow(), 4);
    EXPECT_EQ(view.ListItemHeight(), window.ListScreen->ItemHeight());
    EXPECT_EQ(view.ListClientHeight(), window.ListScreen->viewport()->height());
    view.SetListRowCount(5);
    EXPECT_EQ(view.ListSelectedRows(), (std::vector<int>{2, 3}));
    view.SetViewActionChecked(1, true);
    EXPECT_TRUE(window.View2Ac->isChecked());
    EXPECT_FALSE(window.View1Ac->isChecked());
    view.SetCaption("x - Mirvo");
    EXPECT_EQ(view.Caption(), "x - Mirvo");
    view.SetBusyCursor(true);
    view.SetBusyCursor(true);
    view.SetBusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    std::vector<std::string> dropped;
    window.OnFilesDropped = [&](const std::vector<std::string>& paths) { dropped = paths; };
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/m/b.mp3")),
                  QUrl(QStringLiteral("http://not.a.file/x.mp3")),
                  QUrl::fromLocalFile(QStringLiteral("/m/a folder"))});
    QDragEnterEvent enter(QPoint(50, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    EXPECT_TRUE(window.acceptDrops());
    EXPECT_EQ(dropped, (std::vector<std::string>{"/m/b.mp3", "/m/a folder"}));
}

}  // namespace
}  // namespace mirvo
