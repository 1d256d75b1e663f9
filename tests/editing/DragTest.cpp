// Reordering by dragging: rows are 16 pixels high and 11 fit the list.
#include <random>

#include "editing/EditingFixture.h"
#include "playlist/Editing.h"

namespace mirvo {
namespace {

using Strings = std::vector<std::string>;

class DragTest : public test::EditingTest {
  protected:
    // The middle of a row's line in the list, given the top row.
    int Y(int row) const { return (row - view.topRow) * 16 + 8; }
    std::vector<int> Rows(std::initializer_list<int> rows) { return rows; }

    DragState drag;
};

TEST_F(DragTest, BlockMovesWithItsGapsAndStopsAtTheEnds) {
    SetList(Names(8));
    Select({2, 3, 5}, 3);
    ASSERT_TRUE(DragStart(p, drag, Y(3)));
    EXPECT_EQ(drag.DragAnchor, 1u);
    DragMoveTo(p, drag, Y(1));
    EXPECT_EQ(List(), (Strings{"/m/2.mp3", "/m/3.mp3", "/m/0.mp3", "/m/5.mp3", "/m/1.mp3",
                               "/m/4.mp3", "/m/6.mp3", "/m/7.mp3"}));
    EXPECT_EQ(view.selectedRows, Rows({0, 1, 3}));
    EXPECT_EQ(view.focusedRow, 1);
    EXPECT_EQ(view.updateDepth, 0);

    // Row 0 under the mouse would put the block's first row above the list.
    DragMoveTo(p, drag, Y(0));
    EXPECT_EQ(view.selectedRows, Rows({0, 1, 3}));

    // Down to where the last selected row reaches the end, not further.
    DragMoveTo(p, drag, Y(5));
    EXPECT_EQ(view.selectedRows, Rows({4, 5, 7}));
    EXPECT_EQ(List()[7], "/m/5.mp3");
    const Strings before = List();
    DragMoveTo(p, drag, Y(6));
    EXPECT_EQ(List(), before);
    EXPECT_EQ(view.selectedRows, Rows({4, 5, 7}));
    DragEnd(drag);
    EXPECT_EQ(drag.DragLastTarget.Row, -1);
}

TEST_F(DragTest, GrabbingEmptySpaceMovesNothing) {
    SetList(Names(3));
    Select({0, 1}, 1);
    EXPECT_FALSE(DragStart(p, drag, Y(5)));
    DragMoveTo(p, drag, Y(2));
    EXPECT_EQ(List(), Names(3));
    EXPECT_EQ(DragOverWindow(p, drag, -5), 0);

    // Below the last row the cursor counts as on the last row.
    Select({0}, 0);
    ASSERT_TRUE(DragStart(p, drag, Y(0)));
    DragMoveTo(p, drag, Y(9));
    EXPECT_EQ(List(), (Strings{"/m/1.mp3", "/m/2.mp3", "/m/0.mp3"}));
    EXPECT_EQ(view.selectedRows, Rows({2}));
}

TEST_F(DragTest, NearTheEdgesTheListScrolls) {
    SetList(Names(100));
    view.topRow = 10;
    Select({12}, 12);
    ASSERT_TRUE(DragStart(p, drag, Y(12)));
    DragMoveTo(p, drag, 3);  // within half a row of the top edge
    EXPECT_EQ(view.topRow, 9);
    EXPECT_EQ(view.selectedRows, Rows({9}));
    EXPECT_EQ(List()[9], "/m/12.mp3");

    // Held above the list, it keeps scrolling up to row 0.
    for (int step = 0; step < 30; ++step) {
        EXPECT_EQ(DragOverWindow(p, drag, -20), 7);
    }
    EXPECT_EQ(view.topRow, 0);
    EXPECT_EQ(List()[0], "/m/12.mp3");
    EXPECT_EQ(view.focusedRow, 0);

    // Below it, down to the end; the list stops one row past a full page.
    for (int step = 0; step < 200; ++step) {
        EXPECT_EQ(DragOverWindow(p, drag, 400), 14);
    }
    EXPECT_EQ(view.topRow, 90);
    EXPECT_EQ(List()[99], "/m/12.mp3");
    EXPECT_EQ(view.selectedRows, Rows({99}));
    EXPECT_EQ(DragOverWindow(p, drag, 50), 0);

    // The same spot again does nothing, not even a list update.
    DragEnd(drag);
    view.topRow = 50;
    Select({60}, 60);
    ASSERT_TRUE(DragStart(p, drag, Y(60)));
    DragMoveTo(p, drag, Y(55));
    const Strings before = List();
    view.selectedRows = {};
    DragMoveTo(p, drag, Y(55) + 3);
    EXPECT_TRUE(view.selectedRows.empty());
    EXPECT_EQ(List(), before);
}

TEST_F(DragTest, AListChangedUnderTheDragMovesNothing) {
    SetList(Names(10));
    Select({7, 8}, 8);
    ASSERT_TRUE(DragStart(p, drag, Y(8)));
    p.playlist.PlaylistEntries.resize(5);
    DragMoveTo(p, drag, Y(2));
    EXPECT_EQ(List(), Names(5));
}

// Random drags against a plain model: the block's rows land at their place,
// the others keep their order, and the playing index stays on its entry.
TEST_F(DragTest, RandomDragsMatchAPlainModel) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        const int count = 1 + static_cast<int>(random() % 30);
        SetList(Names(count));
        view.topRow = static_cast<int>(random() % static_cast<unsigned>(count));
        Playing(static_cast<int>(random() % static_cast<unsigned>(count)));
        std::vector<int> rows;
        for (int i = 0; i < count; ++i) {
            if (random() % 4 == 0) {
                rows.push_back(i);
            }
        }
        if (rows.empty()) {
            rows.push_back(count - 1);
        }
        const int anchor = rows[random() % rows.size()];
        Select(rows, anchor);
        view.topRow = std::min(view.topRow, anchor);
        if (anchor - view.topRow >= 11) {
            view.topRow = anchor - 10;
        }
        const std::string playing = p.playlist.PlayingEntry;
        ASSERT_TRUE(DragStart(p, drag, Y(anchor)));
        for (int step = 0; step < 4; ++step) {
            const int y = static_cast<int>(random() % 220) - 20;
            const Strings before = List();
            const std::vector<int> selection = drag.DragSelection;
            const int top = view.topRow;
            DragOverWindow(p, drag, y);
            if (y >= 0 && y < 183) {
                DragMoveTo(p, drag, y);
            }
            // Whatever happened, it is the block moved by one distance.
            const int d = selection.front() - drag.DragSelection.front();
            Strings expected(before.size());
            std::vector<char> taken(before.size());
            for (std::size_t k = 0; k < selection.size(); ++k) {
                const int to = selection[k] - d;
                ASSERT_GE(to, 0);
                ASSERT_LT(to, count);
                ASSERT_EQ(drag.DragSelection[k], to);
                expected[static_cast<std::size_t>(to)] =
                    before[static_cast<std::size_t>(selection[k])];
                taken[static_cast<std::size_t>(to)] = 1;
            }
            std::size_t next = 0;
            for (int i = 0; i < count; ++i) {
                if (std::binary_search(selection.begin(), selection.end(), i)) {
                    continue;
                }
                while (taken[next]) {
                    ++next;
                }
                expected[next++] = before[static_cast<std::size_t>(i)];
            }
            ASSERT_EQ(List(), expected) << round << " " << step;
            ASSERT_EQ(List()[static_cast<std::size_t>(p.playlist.PlayingIndex)], playing);
            ASSERT_LE(std::abs(view.topRow - top), 2);
        }
        DragEnd(drag);
    }
}

}  // namespace
}  // namespace mirvo
