#include "playlist/RowLook.h"

#include <algorithm>

#include "player/PlaylistState.h"
#include "playlist/Entries.h"

namespace mirvo {

RowLook DescribeRow(const PlaylistState& pl, bool deviceReady, const SchemeValues& scheme,
                    int index, bool selected) {
    RowLook look;
    look.Bold = scheme.FontBold;
    if (index < 0 || static_cast<std::size_t>(index) >= pl.PlaylistEntries.size()) {
        look.Background = scheme.Background;
        look.TextColour = scheme.FontColor;
        return look;
    }
    const std::string& entry = pl.PlaylistEntries[static_cast<std::size_t>(index)];
    look.Text = DisplayText(pl, index);
    for (std::size_t q = 0; q < pl.QueueList.size(); ++q) {
        if (pl.QueueList[q] == entry) {
            look.Text = std::to_string(q + 1) + " >   " + look.Text;
        }
    }
    const bool playing = index == pl.PlayingIndex && deviceReady;
    if (selected) {
        look.Background = playing ? scheme.SelectionColorPlayingItem : scheme.SelectionColor;
        look.TextColour = playing ? scheme.PlayingItemColorSelected : scheme.FontColorSelected;
        if (playing) {
            look.Bold = scheme.PlayingItemBold;
        }
        return look;
    }
    look.Background = scheme.Background;
    look.TextColour = scheme.FontColor;
    if (playing) {
        look.TextColour = scheme.PlayingItemColor;
        look.Bold = scheme.PlayingItemBold;
        return look;
    }
    const auto has = [&](const std::vector<std::string>& list) {
        return std::find(list.begin(), list.end(), entry) != list.end();
    };
    if (has(pl.ShuffleHistory)) {
        look.TextColour = scheme.ShuffledItemColor;
    }
    if (has(pl.QueueList)) {
        look.TextColour = scheme.QueuedItemColor;
    }
    if (EntryKind(entry) == kKindStream) {
        look.TextColour = kStreamGreen;
    }
    return look;
}

}  // namespace mirvo
