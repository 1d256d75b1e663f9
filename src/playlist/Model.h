#pragma once
// Keeping the list on screen in step with the playlist, and the queue.
#include <string>
#include <string_view>

namespace mirvo {

class MainView;
struct PlaylistContext;
struct PlaylistState;

// "0 Files", "1 File", "25 Files".
std::string CountText(std::size_t count);

void RefreshListView(const PlaylistContext& ctx, bool keepSelection, bool restoreSelectedRows);
void SelectOnly(MainView& view, int index);
int VisibleRowCount(const MainView& view);
void ShowPlayingEntry(const PlaylistContext& ctx);
void ToggleQueue(PlaylistState& playlist, const std::string& entry);

// First index holding exactly `entry`, or -1.
int FindEntry(const PlaylistState& playlist, std::string_view entry);
// The row holding `entry` now: `row` while it still does, else the first
// that does, or -1. For commands that asked about a row and got the answer
// after the list may have changed.
int RowOfEntry(const PlaylistState& playlist, int row, std::string_view entry);
// PlayingIndex := the first entry equal to PlayingEntry, or -1.
void FindPlayingEntryAgain(PlaylistState& playlist);

// View commands.
void View1Ac(const PlaylistContext& ctx);
void View2Ac(const PlaylistContext& ctx);
void View3Ac(const PlaylistContext& ctx);
void ViewFormatPathAc(const PlaylistContext& ctx);

}  // namespace mirvo
