#include "playlist/Find.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "player/PlaylistContext.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "support/FastStrings.h"
#include "support/Text.h"

namespace mirvo {
namespace {

// One search over many texts, for short typed texts: the first character is
// found with memchr in each of its cases (fast, vectorised), the rest compared.
class Searcher {
  public:
    explicit Searcher(std::string_view pattern) : pattern_(pattern) {
        const auto& upper = FastStrings::UpperCaseTable();
        const auto c = static_cast<unsigned char>(pattern_[0]);
        one_ = static_cast<char>(upper[c]);
        other_ = static_cast<char>(std::tolower(upper[c]));
    }
    bool In(const std::string& text) const {
        return Find(text, one_) || (other_ != one_ && Find(text, other_));
    }

  private:
    bool Find(const std::string& text, char first) const {
        if (text.size() < pattern_.size()) {
            return false;
        }
        const char* at = text.data();
        const char* const last = text.data() + text.size() - pattern_.size();
        while (at <= last) {
            at = static_cast<const char*>(
                std::memchr(at, first, static_cast<std::size_t>(last - at) + 1));
            if (at == nullptr) {
                return false;
            }
            if (StartsWithNoCase(std::string_view(at + 1, pattern_.size() - 1),
                                 pattern_.substr(1))) {
                return true;
            }
            ++at;
        }
        return false;
    }

    std::string_view pattern_;
    char one_ = 0;
    char other_ = 0;
};

}  // namespace

const std::vector<std::int32_t>& FindFilter::Filter(const std::vector<std::string>& entries,
                                                    std::string_view query) {
    const bool narrowing = valid_ && from_ == &entries && fromSize_ == entries.size() &&
                           !last_.empty() && StartsWithNoCase(query, last_);
    last_ = std::string(query);
    from_ = &entries;
    fromSize_ = entries.size();
    valid_ = true;
    if (query.empty()) {
        matches_.resize(entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            matches_[i] = static_cast<std::int32_t>(i);
        }
        return matches_;
    }
    const Searcher searcher(query);
    if (narrowing) {
        std::erase_if(matches_, [&](std::int32_t i) {
            return !searcher.In(entries[static_cast<std::size_t>(i)]);
        });
        return matches_;
    }
    matches_.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (searcher.In(entries[i])) {
            matches_.push_back(static_cast<std::int32_t>(i));
        }
    }
    return matches_;
}

void FindFilter::Forget() {
    valid_ = false;
    matches_.clear();
    matches_.shrink_to_fit();
    last_.clear();
}

int FindKeyRow(FindKey key, int current, int top, int visibleRows, int rowCount) {
    int row = -1;
    switch (key) {
        case FindKey::Down:
            row = current + 1;
            break;
        case FindKey::Up:
            row = current - 1;
            break;
        case FindKey::PageUp:
            row = current == top ? top - visibleRows : top;
            break;
        case FindKey::PageDown:
            row = current + 1 == top + visibleRows ? top + 2 * visibleRows - 1
                                                   : top + visibleRows - 1;
            break;
        case FindKey::Other:
            break;
    }
    return std::clamp(row, 0, std::max(0, rowCount - 1));
}

std::string FindRowText(const PlaylistState& pl, std::int32_t index, int viewMode) {
    const auto& entries = pl.PlaylistEntries;
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) {
        return {};
    }
    const std::string& entry = entries[static_cast<std::size_t>(index)];
    switch (viewMode) {
        case 0:
            return entry;
        case 2:
            return RelativeText(pl, entry);
        default:
            return std::string(FileNamePart(entry));
    }
}

namespace {

bool Valid(const PlaylistContext& ctx, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < ctx.playlist.PlaylistEntries.size();
}

// Runs `show` with the playing mark on `index` for a moment, as the dialog's
// selecting commands do, and puts the mark back.
template <typename Show>
void WithPlayingAt(const PlaylistContext& ctx, std::int32_t index, Show show) {
    PlaylistState& pl = ctx.playlist;
    const int kept = pl.PlayingIndex;
    pl.PlayingIndex = index;
    ShowPlayingEntry(ctx);
    SelectOnly(ctx.view, index);
    show();
    pl.PlayingIndex = kept;
}

}  // namespace

void FindPlay(const PlaylistContext& ctx, std::int32_t index) {
    if (!Valid(ctx, index)) {
        return;
    }
    PlaylistState& pl = ctx.playlist;
    ctx.view.SetListSelection({});
    pl.PlayingIndex = index;
    ShowPlayingEntry(ctx);
    SelectOnly(ctx.view, index);
    if (ctx.playback != nullptr) {
        ctx.playback->PlayEntry(index);
    }
}

void FindSelect(const PlaylistContext& ctx, std::int32_t index) {
    if (!Valid(ctx, index)) {
        return;
    }
    WithPlayingAt(ctx, index, [] {});
    RefreshListView(ctx, true, false);
}

void FindQueue(const PlaylistContext& ctx, std::int32_t index) {
    if (!Valid(ctx, index)) {
        return;
    }
    PlaylistState& pl = ctx.playlist;
    MainView& view = ctx.view;
    view.SetListSelection({});
    WithPlayingAt(ctx, index,
                  [&] { ToggleQueue(pl, pl.PlaylistEntries[static_cast<std::size_t>(index)]); });
    view.RepaintList();
    const int focused = view.ListFocusedRow();
    if (focused <= static_cast<int>(pl.PlaylistEntries.size()) - 2) {
        SelectOnly(ctx.view, focused + 1);
    }
}

}  // namespace mirvo
