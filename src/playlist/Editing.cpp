#include "playlist/Editing.h"

#include <sys/stat.h>
#include <algorithm>
#include <chrono>
#include <numeric>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "player/PlaylistContext.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "playlist/Scanning.h"
#include "support/Files.h"
#include "support/Text.h"

namespace mirvo {
namespace {

constexpr std::size_t kWalkBufferSlots = 100000;

// A file, not a folder.
bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Anything at all under that name, a dangling link included.
bool PathPresent(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The folder part with its trailing "/", or empty.
std::string FolderWithSlashOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

// Refresh adds only these; FLAC files come in by the folder commands.
bool IsRefreshFile(std::string_view path) {
    if (path.size() < 3) {
        return false;
    }
    const std::string tail = LowerAscii(path.substr(path.size() - 3));
    return tail == "mp3" || tail == "wav" || tail == "ogg" || AudioFileType(path) >= 4;
}

bool IsStream(std::string_view entry) {
    return IsStreamAddress(EntryAddress(entry));
}

int FindPlaying(const PlaylistState& pl) {
    return pl.PlayingEntry.empty() ? -1 : FindEntry(pl, pl.PlayingEntry);
}

std::vector<int> SelectedRows(const PlaylistContext& ctx) {
    std::vector<int> rows = ctx.view.ListSelectedRows();
    const int count = static_cast<int>(ctx.playlist.PlaylistEntries.size());
    std::erase_if(rows, [count](int row) { return row < 0 || row >= count; });
    return rows;
}

template <class T>
void Compact(std::vector<T>& items, const std::vector<char>& keep) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (keep[i]) {
            if (out != i) {
                items[out] = std::move(items[i]);
            }
            ++out;
        }
    }
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(out), items.end());
}

// Keeps the entries flagged in `keep`, in order. The playing row keeps its
// mark where it goes, or loses it (-1) when it goes. Returns how many went.
std::size_t KeepEntries(PlaylistState& pl, const std::vector<char>& keep) {
    const std::size_t before = pl.PlaylistEntries.size();
    const int playing = pl.PlayingIndex;
    if (playing >= 0 && static_cast<std::size_t>(playing) < before) {
        pl.PlayingIndex = keep[static_cast<std::size_t>(playing)]
                              ? static_cast<int>(std::count(keep.begin(), keep.begin() + playing,
                                                            static_cast<char>(1)))
                              : -1;
    }
    Compact(pl.PlaylistEntries, keep);
    return before - pl.PlaylistEntries.size();
}

// One queue element per row that goes, first occurrences first.
void DropFromQueue(PlaylistState& pl, const std::vector<char>& keep) {
    std::vector<std::string>& queue = pl.QueueList;
    if (queue.empty()) {
        return;
    }
    std::unordered_map<std::string_view, std::size_t> going;
    for (const std::string& queued : queue) {
        going.emplace(queued, 0);
    }
    for (std::size_t i = 0; i < keep.size(); ++i) {
        if (!keep[i]) {
            const auto it = going.find(pl.PlaylistEntries[i]);
            if (it != going.end()) {
                ++it->second;
            }
        }
    }
    std::vector<char> stays(queue.size(), 1);
    for (std::size_t j = 0; j < queue.size(); ++j) {
        std::size_t& left = going.find(queue[j])->second;
        if (left > 0) {
            --left;
            stays[j] = 0;
        }
    }
    going.clear();
    Compact(queue, stays);
}

// Entries whose file is there; stream entries never are.
std::vector<char> ExistingFiles(const std::vector<std::string>& entries) {
    std::vector<char> keep(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        keep[i] = !IsStream(entries[i]) && FileExists(entries[i]);
    }
    return keep;
}

// Lines ended by LF or CR LF; the last one needs no end. Empty lines are no
// entries.
std::vector<std::string> ClipboardLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            lines.emplace_back(line);
        }
    }
    return lines;
}

std::string ClipboardForm(const PlaylistContext& ctx, const std::vector<int>& rows) {
    std::string text;
    for (const int row : rows) {
        text += ctx.playlist.PlaylistEntries[static_cast<std::size_t>(row)];
        text += "\r\n";
    }
    return text;
}

void Inform(const PlaylistContext& ctx, const std::string& text) {
    ctx.dialogs.ShowNotice(NoticeKind::Information, text);
}

// Moves every selected index by -d (d > 0 up, d < 0 down) with the entries
// between closing up; the playing index follows its entry.
void MoveBlock(PlaylistState& pl, std::vector<int>& selection, int d) {
    auto& list = pl.PlaylistEntries;
    int& playing = pl.PlayingIndex;
    const auto at = [&list](int i) { return list.begin() + i; };
    if (d > 0) {
        for (const int s : selection) {
            if (s == playing) {
                playing -= d;
            } else if (playing >= s - d && playing < s) {
                ++playing;
            }
            std::rotate(at(s - d), at(s), at(s + 1));
        }
    } else if (d < 0) {
        const int e = -d;
        for (auto it = selection.rbegin(); it != selection.rend(); ++it) {
            const int s = *it;
            if (s == playing) {
                playing += e;
            } else if (playing > s && playing <= s + e) {
                --playing;
            }
            std::rotate(at(s), at(s + 1), at(s + e + 1));
        }
    }
    for (int& s : selection) {
        s -= d;
    }
}

// The row drawn at height `y` of the list, -1 outside the client area or in
// the empty space below the last row; with `nearest` that space means the
// last row.
int RowAt(const PlaylistContext& ctx, int y, bool nearest) {
    const MainView& view = ctx.view;
    const int count = static_cast<int>(ctx.playlist.PlaylistEntries.size());
    const int height = view.ListItemHeight();
    if (count == 0 || height <= 0 || y < 0 || y >= view.ListClientHeight()) {
        return -1;
    }
    const int row = std::max(0, view.ListTopRow() + y / height);
    return row < count ? row : nearest ? count - 1 : -1;
}

}  // namespace

void Refresh(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    MainView& view = ctx.view;
    if (!pl.PlaylistEntries.empty() && (pl.CurrentFolder.empty() || FileExists(pl.CurrentFolder))) {
        pl.CurrentFolder = FolderWithSlashOf(pl.PlaylistEntries.front());
    }
    const std::size_t missing = KeepEntries(pl, ExistingFiles(pl.PlaylistEntries));
    if (!IsFolder(pl.CurrentFolder)) {
        RefreshListView(ctx, true, true);
        Inform(ctx, "Open a folder first.");
        return;
    }
    std::vector<std::string> found;
    found.reserve(kWalkBufferSlots);
    view.SetBusyCursor(true);
    pl.AbortRequested = false;  // an earlier Escape is not meant for this walk
    pl.ScanRunning = true;
    const WalkResult walked = CollectFolderFiles(ctx, found, pl.CurrentFolder, true);
    pl.ScanRunning = false;
    view.SetBusyCursor(false);
    if (walked == WalkResult::Aborted) {
        pl.AbortRequested = false;
        RefreshListView(ctx, true, true);
        return;
    }
    if (walked == WalkResult::Failed) {
        ctx.dialogs.ShowNotice(NoticeKind::Error, "Error 13\r\rPlease report this error.");
    }
    // Built after the walk: commands run during it may have changed the list.
    std::unordered_set<std::string_view> known(pl.PlaylistEntries.begin(),
                                               pl.PlaylistEntries.end());
    std::vector<char> fresh(found.size());
    std::size_t added = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (IsRefreshFile(found[i]) && known.insert(found[i]).second) {
            fresh[i] = 1;
            ++added;
        }
    }
    known.clear();
    pl.PlaylistEntries.reserve(pl.PlaylistEntries.size() + added);
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (fresh[i]) {
            pl.PlaylistEntries.push_back(std::move(found[i]));
        }
    }
    RefreshListView(ctx, true, true);
    std::string text;
    if (missing > 0) {
        text = std::to_string(missing) + " missing file(s) removed.\r";
    }
    Inform(ctx,
           text + std::to_string(added) + " new file(s) found in:" + "\r\r" + pl.CurrentFolder);
}

void RemoveSelected(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    const std::vector<int> rows = SelectedRows(ctx);
    if (rows.empty()) {
        return;
    }
    std::vector<char> keep(pl.PlaylistEntries.size(), 1);
    for (const int row : rows) {
        keep[static_cast<std::size_t>(row)] = 0;
    }
    DropFromQueue(pl, keep);
    KeepEntries(pl, keep);
    RefreshListView(ctx, true, false);
}

bool RecycleFiles(const PlaylistContext& ctx, const std::vector<std::string>& files, bool confirm) {
    if (files.empty()) {
        return true;
    }
    if (confirm) {
        const std::string question =
            files.size() == 1
                ? "Move this file to the trash?\r\r" + files.front()
                : "Move these " + std::to_string(files.size()) + " files to the trash?";
        if (!ctx.dialogs.AskYesNo(question)) {
            return false;
        }
    }
    std::string failed;
    for (const std::string& file : files) {
        // A file that is gone already needs nothing.
        if (PathPresent(file) && !ctx.desktop.MoveToTrash(file) && PathPresent(file)) {
            failed += "\r" + file;
        }
    }
    if (!failed.empty()) {
        ctx.dialogs.ShowNotice(NoticeKind::Error, "Tried to recycle file:" + failed + "\r\n" +
                                                      "It could not be moved to the trash.");
    }
    return true;
}

void RealDelAc(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    const std::vector<int> rows = SelectedRows(ctx);
    if (rows.empty()) {
        return;
    }
    std::vector<std::string> files;
    files.reserve(rows.size());
    for (const int row : rows) {
        if (row == pl.PlayingIndex && ctx.playback != nullptr) {
            ctx.playback->StopPlayback(true);
        }
        files.push_back(pl.PlaylistEntries[static_cast<std::size_t>(row)]);
    }
    if (!RecycleFiles(ctx, files, true)) {
        return;
    }
    // Only rows whose file really went leave the list, found by their entries:
    // the list may have changed while the question was open.
    std::vector<char> keep(pl.PlaylistEntries.size(), 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = RowOfEntry(pl, rows[i], files[i]);
        if (row >= 0) {
            keep[static_cast<std::size_t>(row)] = PathPresent(files[i]);
        }
    }
    DropFromQueue(pl, keep);
    Compact(pl.PlaylistEntries, keep);
    pl.PlayingIndex = FindPlaying(pl);
    RefreshListView(ctx, true, false);
}

void CropAc(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    const std::vector<int> rows = SelectedRows(ctx);
    std::vector<std::string> list;
    if (rows.size() >= 2) {
        list.reserve(rows.size());
        for (const int row : rows) {
            list.push_back(std::move(pl.PlaylistEntries[static_cast<std::size_t>(row)]));
        }
    } else if (pl.QueueList.size() >= 2) {
        list = std::move(pl.QueueList);
        pl.QueueList.clear();
    } else {
        Inform(ctx, "Please select or queue at least two files first.");
        return;
    }
    pl.PlaylistEntries = std::move(list);
    RefreshListView(ctx, false, false);
    pl.PlayingIndex = FindPlaying(pl);
    if (pl.PlayingIndex >= 0) {
        ShowPlayingEntry(ctx);
        SelectOnly(ctx.view, pl.PlayingIndex);
    }
}

void BrokenFilesAc(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    const std::size_t missing = KeepEntries(pl, ExistingFiles(pl.PlaylistEntries));
    RefreshListView(ctx, true, true);
    Inform(ctx, std::to_string(missing) + " missing file(s) removed.");
}

void DupAc(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    const auto& list = pl.PlaylistEntries;
    std::vector<char> keep(list.size());
    {
        std::unordered_set<std::string_view> seen;
        seen.reserve(list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            keep[i] = seen.insert(list[i]).second;
        }
    }
    // A playing duplicate hands its mark to the copy that stays.
    const int playing = pl.PlayingIndex;
    if (playing >= 0 && static_cast<std::size_t>(playing) < list.size() &&
        !keep[static_cast<std::size_t>(playing)]) {
        pl.PlayingIndex = FindEntry(pl, list[static_cast<std::size_t>(playing)]);
    }
    const std::size_t removed = KeepEntries(pl, keep);
    RefreshListView(ctx, true, true);
    Inform(ctx, std::to_string(removed) + " duplicated item(s) have been removed.");
}

void CopyAc(const PlaylistContext& ctx) {
    ctx.desktop.SetClipboardText(ClipboardForm(ctx, SelectedRows(ctx)));
}

void CutAc(const PlaylistContext& ctx) {
    CopyAc(ctx);
    RemoveSelected(ctx);
}

void PastAc(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    MainView& view = ctx.view;
    std::vector<std::string> lines = ClipboardLines(ctx.desktop.ClipboardText());
    if (lines.empty()) {
        return;
    }
    const int count = static_cast<int>(pl.PlaylistEntries.size());
    const int at = std::clamp(view.ListFocusedRow(), 0, count);
    const int n = static_cast<int>(lines.size());
    pl.PlaylistEntries.insert(pl.PlaylistEntries.begin() + at,
                              std::make_move_iterator(lines.begin()),
                              std::make_move_iterator(lines.end()));
    RefreshListView(ctx, true, true);
    view.BeginListUpdate();
    std::vector<int> pasted;
    if (n < VisibleRowCount(ctx.view)) {
        pasted.resize(static_cast<std::size_t>(n));
        std::iota(pasted.begin(), pasted.end(), at);
    }
    view.SetListSelection(pasted);
    view.EndListUpdate();
    pl.PlayingIndex = FindPlaying(pl);
}

void CopyPlAc(const PlaylistContext& ctx) {
    const PlaylistState& pl = ctx.playlist;
    const int count = static_cast<int>(pl.PlaylistEntries.size());
    if (pl.PlayingIndex < 0 || pl.PlayingIndex >= count || pl.PlayingEntry.empty()) {
        return;
    }
    // A station's title, not the tail of its address.
    const std::string_view title =
        IsStream(pl.PlayingEntry) ? EntryTitle(pl.PlayingEntry) : FileNamePart(pl.PlayingEntry);
    ctx.desktop.SetClipboardText(std::string(title) + "\r\n");
}

void QueuAc(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    MainView& view = ctx.view;
    for (const int row : SelectedRows(ctx)) {
        ToggleQueue(pl, pl.PlaylistEntries[static_cast<std::size_t>(row)]);
    }
    const int focused = view.ListFocusedRow();
    if (focused <= static_cast<int>(pl.PlaylistEntries.size()) - 2) {
        SelectOnly(ctx.view, focused + 1);
    }
    // Queue numbers of other rows may have changed too.
    view.RepaintList();
}

void ListEntryAc(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    const int focused = ctx.view.ListFocusedRow();
    if (focused >= 0 && focused < static_cast<int>(pl.PlaylistEntries.size())) {
        const std::string entry = pl.PlaylistEntries[static_cast<std::size_t>(focused)];
        auto edited = ctx.dialogs.InputText("Edit playlist entry", "Entry", entry);
        const int row = RowOfEntry(pl, focused, entry);
        if (edited && row >= 0) {
            pl.PlaylistEntries[static_cast<std::size_t>(row)] = std::move(*edited);
        }
    }
    RefreshListView(ctx, true, false);
}

void ClearShuffleHistoryAc(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    if (!pl.ShuffleHistory.empty() || !pl.QueueList.empty()) {
        pl.ShuffleHistory.clear();
        pl.QueueList.clear();
        RefreshListView(ctx, true, true);
    }
}

void NewListAc(const PlaylistContext& ctx) {
    ctx.playlist.PlaylistEntries.clear();
    ClearShuffleHistoryAc(ctx);
    RefreshListView(ctx, false, false);
}

void RandomizeList(const PlaylistContext& ctx, std::mt19937& random) {
    PlaylistState& pl = ctx.playlist;
    auto& list = pl.PlaylistEntries;
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        std::uniform_int_distribution<std::size_t> pick(0, list.size() - i - 1);
        std::swap(list[i], list[i + pick(random)]);
    }
    // An index kept without its entry would mark a random row as playing.
    pl.PlayingIndex = FindPlaying(pl);
    RefreshListView(ctx, false, false);
    ShowPlayingEntry(ctx);
    SelectOnly(ctx.view, pl.PlayingIndex);
}

void SuffleListRealAc(const PlaylistContext& ctx) {
    std::mt19937 random(static_cast<std::mt19937::result_type>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    RandomizeList(ctx, random);
}

void JumpAc(const PlaylistContext& ctx) {
    const PlaylistState& pl = ctx.playlist;
    if (pl.PlayingEntry.empty()) {
        return;
    }
    if (pl.PlayingIndex < 0 || pl.PlayingIndex >= static_cast<int>(pl.PlaylistEntries.size())) {
        Inform(ctx, pl.PlayingEntry + "\r" +
                        "is not in the current playlist or the list has been changed.");
        return;
    }
    ShowPlayingEntry(ctx);
    SelectOnly(ctx.view, pl.PlayingIndex);
}

void SelectAll(const PlaylistContext& ctx) {
    MainView& view = ctx.view;
    const int focused = view.ListFocusedRow();
    const int top = view.ListTopRow();
    view.BeginListUpdate();
    std::vector<int> rows(ctx.playlist.PlaylistEntries.size());
    std::iota(rows.begin(), rows.end(), 0);
    view.SetListSelection(rows);
    view.SetListFocusedRow(focused);
    view.SetListTopRow(top);
    view.EndListUpdate();
}

void MoveSelectionUp(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    MainView& view = ctx.view;
    std::vector<int> rows = SelectedRows(ctx);
    if (rows.empty() || rows.front() == 0) {
        return;
    }
    view.BeginListUpdate();
    for (int& i : rows) {
        if (i == pl.PlayingIndex + 1) {
            ++pl.PlayingIndex;
        } else if (i == pl.PlayingIndex) {
            --pl.PlayingIndex;
        }
        std::swap(pl.PlaylistEntries[static_cast<std::size_t>(i - 1)],
                  pl.PlaylistEntries[static_cast<std::size_t>(i)]);
        --i;
    }
    view.SetListSelection(rows);
    view.SetListFocusedRow(std::max(0, view.ListFocusedRow() - 1));
    view.EndListUpdate();
}

void MoveSelectionDown(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    MainView& view = ctx.view;
    std::vector<int> rows = SelectedRows(ctx);
    const int last = static_cast<int>(pl.PlaylistEntries.size()) - 1;
    if (rows.empty() || rows.back() == last) {
        return;
    }
    view.BeginListUpdate();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        int& i = *it;
        if (i + 1 == pl.PlayingIndex) {
            --pl.PlayingIndex;
        } else if (i == pl.PlayingIndex) {
            ++pl.PlayingIndex;
        }
        std::swap(pl.PlaylistEntries[static_cast<std::size_t>(i)],
                  pl.PlaylistEntries[static_cast<std::size_t>(i + 1)]);
        ++i;
    }
    view.SetListSelection(rows);
    view.SetListFocusedRow(std::min(last, view.ListFocusedRow() + 1));
    view.EndListUpdate();
}

bool KeepFocusInView(const PlaylistContext& ctx, bool down) {
    MainView& view = ctx.view;
    const int visible = VisibleRowCount(ctx.view);
    const int top = view.ListTopRow();
    const int focused = view.ListFocusedRow();
    if (top <= focused && focused <= top + visible) {
        return false;
    }
    view.SetListSelection({});
    const int target = down ? top : top + visible - 1;
    if (target >= 0 && target < static_cast<int>(ctx.playlist.PlaylistEntries.size())) {
        view.SetListFocusedRow(target);
        view.SetListSelection({target});
    }
    return true;
}

void SelectBeforeContextMenu(const PlaylistContext& ctx, int row) {
    if (ctx.view.ListSelectedRows().size() <= 1) {
        SelectOnly(ctx.view, row);
    }
}

bool DragStart(const PlaylistContext& ctx, DragState& drag, int y) {
    MainView& view = ctx.view;
    drag.DragSelection = SelectedRows(ctx);
    drag.DragAnchor = 0;
    const int row = RowAt(ctx, y, false);
    if (row < 0) {
        // Grabbing empty space moves nothing.
        drag.DragSelection.clear();
        return false;
    }
    view.SetListFocusedRow(row);
    const auto at = std::lower_bound(drag.DragSelection.begin(), drag.DragSelection.end(), row);
    if (at != drag.DragSelection.end() && *at == row) {
        drag.DragAnchor = static_cast<std::size_t>(at - drag.DragSelection.begin());
    }
    return true;
}

void DragMoveTo(const PlaylistContext& ctx, DragState& drag, int y) {
    PlaylistState& pl = ctx.playlist;
    MainView& view = ctx.view;
    const int count = static_cast<int>(pl.PlaylistEntries.size());
    std::vector<int>& selection = drag.DragSelection;
    // The list may have changed under a drag; then it moves nothing.
    if (selection.empty() || drag.DragAnchor >= selection.size() || selection.front() < 0 ||
        selection.back() >= count) {
        return;
    }
    const int top = view.ListTopRow();
    const DragTarget here{RowAt(ctx, y, true), top};
    if (here.Row == drag.DragLastTarget.Row && here.TopRow == drag.DragLastTarget.TopRow) {
        return;
    }
    drag.DragLastTarget = here;
    view.BeginListUpdate();
    const int half = view.ListItemHeight() / 2;
    const int client = view.ListClientHeight();
    if (y < half && top > 0) {
        view.SetListTopRow(top - 1);
    } else if (y >= client - half && count >= VisibleRowCount(ctx.view) + top) {
        view.SetListTopRow(top + 1);
    }
    int t = RowAt(ctx, std::clamp(y, 0, std::max(0, client - 1)), true);
    const int a = selection[drag.DragAnchor];
    if (t >= 0 && (selection.front() + t - a < 0 || selection.back() + t - a > count - 1)) {
        t = -1;  // the block would leave the list
    }
    if (t >= 0) {
        MoveBlock(pl, selection, a - t);
        view.SetListFocusedRow(t);
        view.SetListSelection(selection);
    }
    view.EndListUpdate();
}

int DragOverWindow(const PlaylistContext& ctx, DragState& drag, int y) {
    if (drag.DragSelection.empty()) {
        return 0;
    }
    if (y < 0) {
        DragMoveTo(ctx, drag, 0);
        return 7;
    }
    if (y >= ctx.view.ListClientHeight()) {
        DragMoveTo(ctx, drag, 10000);
        return 14;
    }
    return 0;
}

void DragEnd(DragState& drag) {
    drag.DragLastTarget = {};
    drag.DragSelection.clear();
    drag.DragAnchor = 0;
}

}  // namespace mirvo
