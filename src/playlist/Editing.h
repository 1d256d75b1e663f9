#pragma once
// The editing commands of the playlist: removing, deleting, cropping,
// cleaning, the clipboard, the queue, reordering by keys and by dragging.
#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace mirvo {

struct PlaylistContext;

// "Check for new files": drops entries whose file is gone, then appends the
// mp3, wav and ogg files of `CurrentFolder` (recursively) that the list lacks.
void Refresh(const PlaylistContext& ctx);

// Removes the selected rows; the playing entry keeps its index (or -1 when it
// was removed) and one queue element per removed row leaves the queue.
void RemoveSelected(const PlaylistContext& ctx);

// Moves `files` to the trash, after the user's Yes when `confirm`. Files that
// are already gone need nothing; failures are reported. False when declined.
bool RecycleFiles(const PlaylistContext& ctx, const std::vector<std::string>& files, bool confirm);

// "&Delete...": the selected files go to the trash and their rows leave the
// list; playback stops first when the playing row is among them.
void RealDelAc(const PlaylistContext& ctx);
// "&Crop selected or queued items".
void CropAc(const PlaylistContext& ctx);
// "Remove &missing files from list".
void BrokenFilesAc(const PlaylistContext& ctx);
// "&Remove duplicates".
void DupAc(const PlaylistContext& ctx);

// The clipboard holds entries one a line, each ended by CR LF.
void CopyAc(const PlaylistContext& ctx);
void CutAc(const PlaylistContext& ctx);
// Inserts the clipboard's lines before the focused row.
void PastAc(const PlaylistContext& ctx);
// "&Copy playing title".
void CopyPlAc(const PlaylistContext& ctx);

// "&Queue": toggles every selected row in the queue and steps the cursor down.
void QueuAc(const PlaylistContext& ctx);
// "&Edit playlist entry...".
void ListEntryAc(const PlaylistContext& ctx);
// "&Clear shuffle/queue history".
void ClearShuffleHistoryAc(const PlaylistContext& ctx);
// "&Clear list": the playing index and entry stay.
void NewListAc(const PlaylistContext& ctx);
// "&Randomize list", with a generator seeded from the clock.
void SuffleListRealAc(const PlaylistContext& ctx);
void RandomizeList(const PlaylistContext& ctx, std::mt19937& random);
// "Select &playing item".
void JumpAc(const PlaylistContext& ctx);

// Selects every row, keeping the focused row and the top row.
void SelectAll(const PlaylistContext& ctx);
void MoveSelectionUp(const PlaylistContext& ctx);
void MoveSelectionDown(const PlaylistContext& ctx);
// Up (down = false) or Down without modifiers: when the list was scrolled away
// from the focus, brings the focus to the visible rows and returns true (the
// key is consumed); otherwise false and the list moves the focus itself.
bool KeepFocusInView(const PlaylistContext& ctx, bool down);
// The right button pressed on `row` (-1 for none), before the context menu.
void SelectBeforeContextMenu(const PlaylistContext& ctx, int row);

// Reordering by dragging inside the list. Positions are in the list's client
// coordinates; the list widget owns one DragState.
struct DragTarget {
    int Row = -1;  // -1 while no drag is in progress
    int TopRow = 0;
};
struct DragState {
    std::vector<int> DragSelection;  // selected rows, ascending
    std::size_t DragAnchor = 0;      // position in DragSelection of the grabbed row
    DragTarget DragLastTarget;
};

// The mouse started a drag at height `y`; false when no row is there (and
// nothing will move).
bool DragStart(const PlaylistContext& ctx, DragState& drag, int y);
// The cursor is over the list at height `y`: scrolls near the edges and moves
// the selected block so that the grabbed row lands under the cursor.
void DragMoveTo(const PlaylistContext& ctx, DragState& drag, int y);
// The cursor is over another part of the window, `y` relative to the list's
// top edge: above it or below it the list scrolls by one step. Returns the
// milliseconds to wait before the next step (0: none, the cursor is level
// with the list).
int DragOverWindow(const PlaylistContext& ctx, DragState& drag, int y);
void DragEnd(DragState& drag);

}  // namespace mirvo
