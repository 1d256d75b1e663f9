#include "playlist/Model.h"

#include <algorithm>

#include "player/PlaylistContext.h"
#include "playlist/Entries.h"

namespace mirvo {

std::string CountText(std::size_t count) {
    if (count == 1) {
        return "1 File";
    }
    return std::to_string(count) + " Files";
}

void RefreshListView(const PlaylistContext& ctx, bool keepSelection, bool restoreSelectedRows) {
    MainView& view = ctx.view;
    const PlaylistState& pl = ctx.playlist;
    for (int format = 0; format < 3; ++format) {
        view.SetViewActionChecked(format, false);
    }
    if (pl.ViewFormat >= 0 && pl.ViewFormat < 3) {
        view.SetViewActionChecked(pl.ViewFormat, true);
    }
    if (view.ListRowCount() == 0) {
        keepSelection = false;
    }
    view.BeginListUpdate();
    int focused = 0;
    int top = 0;
    std::vector<int> selected;
    if (keepSelection) {
        focused = view.ListFocusedRow();
        top = view.ListTopRow();
        selected = view.ListSelectedRows();
    }
    const int count = static_cast<int>(pl.PlaylistEntries.size());
    view.SetStatusText(1, CountText(pl.PlaylistEntries.size()));
    view.SetListRowCount(count);
    if (keepSelection) {
        focused = std::min(focused, count - 1);
        std::vector<int> rows;
        if (restoreSelectedRows) {
            // Remembered rows come ascending, so the kept ones are a prefix.
            const auto end = std::lower_bound(selected.begin(), selected.end(), count);
            rows.assign(selected.begin(), end);
        }
        if (focused >= 0) {
            const auto at = std::lower_bound(rows.begin(), rows.end(), focused);
            if (at == rows.end() || *at != focused) {
                rows.insert(at, focused);
            }
        }
        view.SetListSelection(rows);
        view.SetListFocusedRow(focused);
        if (top < count) {
            view.SetListTopRow(top);
        }
    } else {
        SelectOnly(view, 0);
    }
    view.EndListUpdate();
    ctx.events.ListChanged();
}

void SelectOnly(MainView& view, int index) {
    const int count = view.ListRowCount();
    if (count > 0 && index >= 0 && index <= count - 1) {
        view.SetListSelection({index});
        view.SetListFocusedRow(index);
    }
}

int VisibleRowCount(const MainView& view) {
    const int itemHeight = view.ListItemHeight();
    return itemHeight > 0 ? view.ListClientHeight() / itemHeight : 0;
}

void ShowPlayingEntry(const PlaylistContext& ctx) {
    MainView& view = ctx.view;
    const int visible = VisibleRowCount(view);
    const int top = view.ListTopRow();
    const int playing = ctx.playlist.PlayingIndex;
    if (top <= playing && playing < top + visible - 1) {
        view.RepaintList();
        return;
    }
    int newTop = ctx.engine.PlayMode == 4 ? playing - visible / 2 + 1 : playing - 2;
    view.SetListTopRow(std::max(newTop, 0));
    view.RepaintList();
}

void ToggleQueue(PlaylistState& playlist, const std::string& entry) {
    if (EntryKind(entry) == kKindStream) {
        return;
    }
    auto& queue = playlist.QueueList;
    if (std::find(queue.begin(), queue.end(), entry) == queue.end()) {
        if (entry != playlist.PlayingEntry) {
            queue.push_back(entry);
        }
    } else {
        std::erase(queue, entry);
    }
}

int FindEntry(const PlaylistState& playlist, std::string_view entry) {
    const auto& entries = playlist.PlaylistEntries;
    const auto at = std::find(entries.begin(), entries.end(), entry);
    return at == entries.end() ? -1 : static_cast<int>(at - entries.begin());
}

int RowOfEntry(const PlaylistState& playlist, int row, std::string_view entry) {
    const auto& entries = playlist.PlaylistEntries;
    if (row >= 0 && static_cast<std::size_t>(row) < entries.size() &&
        entries[static_cast<std::size_t>(row)] == entry) {
        return row;
    }
    return FindEntry(playlist, entry);
}

void FindPlayingEntryAgain(PlaylistState& playlist) {
    playlist.PlayingIndex = FindEntry(playlist, playlist.PlayingEntry);
}

namespace {

void SetViewFormat(const PlaylistContext& ctx, int format) {
    ctx.playlist.ViewFormat = format;
    RefreshListView(ctx, true, true);
}

}  // namespace

void View1Ac(const PlaylistContext& ctx) {
    SetViewFormat(ctx, 0);
}

void View2Ac(const PlaylistContext& ctx) {
    SetViewFormat(ctx, 1);
}

void View3Ac(const PlaylistContext& ctx) {
    if (ctx.playlist.MusicFolders.empty()) {
        ctx.dialogs.ShowNotice(NoticeKind::Information,
                               "Before you start viewing in relative path style, please "
                               "set your music folder first.");
        if (ctx.shell != nullptr) {
            ctx.shell->SetUpMusicFolders();
        }
    }
    SetViewFormat(ctx, 2);
}

void ViewFormatPathAc(const PlaylistContext& ctx) {
    SetViewFormat(ctx, (ctx.playlist.ViewFormat + 1) % 3);
}

}  // namespace mirvo
