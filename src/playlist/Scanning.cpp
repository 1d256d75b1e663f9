#include "playlist/Scanning.h"

#include <dirent.h>
#include <sys/stat.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <set>
#include <thread>
#include <utility>

#include "player/PlaylistContext.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "support/Files.h"
#include "support/Memory.h"
#include "support/Text.h"

namespace mirvo {
namespace {

constexpr std::size_t kBufferStep = 100000;

const std::array<unsigned char, 256> kLower = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = LowerAscii(static_cast<unsigned char>(c));
    }
    return table;
}();

// The middle-pivot quicksort, applying each exchange to `order` too. It
// compares ranks (equal keys, equal ranks), which decides every comparison as
// the texts would at a fraction of the cost. Parts are independent of each
// other, so the order they are sorted in (smaller first, larger by the loop,
// or on another thread) leaves the same result as plain recursion, without
// deep stacks.
class QuickSorter {
  public:
    QuickSorter(std::vector<std::uint32_t>& ranks, std::vector<std::uint32_t>& order)
        : keys_(ranks), order_(order) {}

    void Sort() {
        const auto last = static_cast<std::ptrdiff_t>(keys_.size()) - 1;
        if (last < 1) {
            return;
        }
        if (keys_.size() < kParallelFrom || std::thread::hardware_concurrency() < 2) {
            SortRange(0, last);
            return;
        }
        const auto [j, i] = Partition(0, last);
        std::thread left([this, j = j] {
            if (j > 0) {
                SortRange(0, j);
            }
        });
        if (i < last) {
            SortRange(i, last);
        }
        left.join();
    }

  private:
    static constexpr std::size_t kParallelFrom = 100000;

    // Returns the ends of the two parts: lo..j and i..hi.
    std::pair<std::ptrdiff_t, std::ptrdiff_t> Partition(std::ptrdiff_t lo, std::ptrdiff_t hi) {
        const std::uint32_t pivot = keys_[static_cast<std::size_t>((lo + hi) / 2)];
        std::ptrdiff_t i = lo;
        std::ptrdiff_t j = hi;
        do {
            while (keys_[static_cast<std::size_t>(i)] < pivot) {
                ++i;
            }
            while (keys_[static_cast<std::size_t>(j)] > pivot) {
                --j;
            }
            if (i <= j) {
                std::swap(keys_[static_cast<std::size_t>(i)], keys_[static_cast<std::size_t>(j)]);
                std::swap(order_[static_cast<std::size_t>(i)], order_[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        return {j, i};
    }

    void SortRange(std::ptrdiff_t first, std::ptrdiff_t last) {
        std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> pending;
        pending.emplace_back(first, last);
        while (!pending.empty()) {
            auto [lo, hi] = pending.back();
            pending.pop_back();
            while (lo < hi) {
                const auto [j, i] = Partition(lo, hi);
                if (j - lo < hi - i) {
                    if (i < hi) {
                        pending.emplace_back(i, hi);
                    }
                    hi = j;
                } else {
                    if (lo < j) {
                        pending.emplace_back(lo, j);
                    }
                    lo = i;
                }
            }
        }
    }

    std::vector<std::uint32_t>& keys_;
    std::vector<std::uint32_t>& order_;
};

// The keys' indices in lower-cased byte order, sorting by eight bytes at a
// time; equal keys end next to each other in no particular order, each one
// after the first marked in `equalsPrevious`.
std::vector<std::uint32_t> RadixOrder(const std::vector<std::string_view>& keys,
                                      std::vector<bool>& equalsPrevious) {
    equalsPrevious.assign(keys.size(), false);
    struct Item {
        std::uint64_t chunk;   // big-endian, so integer order is byte order
        std::uint32_t length;  // bytes of the chunk the key has, at most 8
        std::uint32_t index;
        bool operator<(const Item& o) const {
            return chunk != o.chunk ? chunk < o.chunk : length < o.length;
        }
        bool SameAs(const Item& o) const { return chunk == o.chunk && length == o.length; }
    };
    std::vector<Item> items(keys.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].index = static_cast<std::uint32_t>(i);
    }
    struct Task {
        std::size_t begin, end, depth;
    };
    // Paths of one scan share a long folder prefix; no need to sort by it.
    std::size_t common = keys.empty() ? 0 : keys.front().size();
    for (const std::string_view key : keys) {
        common = std::min(common, key.size());
        common = static_cast<std::size_t>(
            std::mismatch(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(common),
                          keys.front().begin())
                .first -
            key.begin());
    }
    std::vector<Task> tasks{{0, items.size(), common}};
    while (!tasks.empty()) {
        const Task task = tasks.back();
        tasks.pop_back();
        for (std::size_t k = task.begin; k < task.end; ++k) {
            const std::string_view key = keys[items[k].index];
            const std::size_t length = std::min<std::size_t>(key.size() - task.depth, 8);
            std::uint64_t chunk = 0;
            for (std::size_t b = 0; b < 8; ++b) {
                const unsigned byte =
                    b < length ? kLower[static_cast<unsigned char>(key[task.depth + b])] : 0;
                chunk = (chunk << 8) | byte;
            }
            items[k].chunk = chunk;
            items[k].length = static_cast<std::uint32_t>(length);
        }
        std::sort(items.begin() + static_cast<std::ptrdiff_t>(task.begin),
                  items.begin() + static_cast<std::ptrdiff_t>(task.end));
        for (std::size_t k = task.begin; k < task.end;) {
            std::size_t m = k + 1;
            while (m < task.end && items[m].SameAs(items[k])) {
                ++m;
            }
            if (m - k > 1 && items[k].length == 8) {
                tasks.push_back({k, m, task.depth + 8});
            } else {
                // A run that ended inside the chunk holds equal keys.
                for (std::size_t e = k + 1; e < m; ++e) {
                    equalsPrevious[e] = true;
                }
            }
            k = m;
        }
    }
    std::vector<std::uint32_t> order(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        order[i] = items[i].index;
    }
    return order;
}

// Without two equal keys every correct sort gives the quicksort's order; with
// them the quicksort runs, on the keys' ranks.
void SortByKeys(std::vector<std::string>& list, const std::vector<std::string_view>& keys) {
    std::vector<bool> equalsPrevious;
    std::vector<std::uint32_t> order = RadixOrder(keys, equalsPrevious);
    const bool ties =
        std::find(equalsPrevious.begin(), equalsPrevious.end(), true) != equalsPrevious.end();
    if (ties) {
        std::vector<std::uint32_t> ranks(keys.size());
        std::uint32_t rank = 0;
        for (std::size_t k = 0; k < order.size(); ++k) {
            rank += (k > 0 && !equalsPrevious[k]) ? 1 : 0;
            ranks[order[k]] = rank;
        }
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = static_cast<std::uint32_t>(i);
        }
        QuickSorter(ranks, order).Sort();
    }
    std::vector<std::string> sorted;
    sorted.reserve(list.size());
    for (const std::uint32_t from : order) {
        sorted.push_back(std::move(list[from]));
    }
    list.swap(sorted);
}

struct Walk {
    const PlaylistContext& ctx;
    std::vector<std::string>& buffer;
    bool recursive;
    std::set<std::pair<dev_t, ino_t>> visited;
};

void Append(std::vector<std::string>& buffer, std::string path) {
    if (buffer.size() == buffer.capacity()) {
        buffer.reserve(buffer.capacity() + kBufferStep);
    }
    buffer.push_back(std::move(path));
}

WalkResult WalkFolder(Walk& walk, std::string folder) {
    PlaylistState& pl = walk.ctx.playlist;
    walk.ctx.loop.ProcessPendingMessages();
    if (walk.ctx.loop.Quitting()) {
        pl.ScanRunning = false;
        return WalkResult::Aborted;
    }
    if (pl.AbortRequested) {
        pl.AbortRequested = false;
        if (walk.ctx.dialogs.AskYesNo("Abort operation?")) {
            pl.AbortRequested = true;
            pl.ScanRunning = false;
            return WalkResult::Aborted;
        }
    }
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        // An unreadable folder lists nothing, as an empty one would.
        return WalkResult::Complete;
    }
    struct stat self {};
    if (::fstat(::dirfd(dir), &self) == 0 &&
        !walk.visited.emplace(self.st_dev, self.st_ino).second) {
        ::closedir(dir);
        return WalkResult::Complete;
    }
    WalkResult result = WalkResult::Complete;
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(dir);
        if (item == nullptr) {
            if (errno != 0) {
                result = WalkResult::Failed;
            }
            break;
        }
        const std::string_view name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::string path = folder;
        path += name;
        bool isFolder = item->d_type == DT_DIR;
        if (walk.recursive && (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN)) {
            struct stat st {};
            isFolder = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (isFolder && walk.recursive) {
            result = WalkFolder(walk, std::move(path));
            if (result == WalkResult::Aborted) {
                break;
            }
        } else {
            Append(walk.buffer, std::move(path));
        }
    }
    ::closedir(dir);
    return result;
}

void PickAndScan(const PlaylistContext& ctx, bool open) {
    ctx.loop.ProcessPendingMessages();
    PlaylistState& pl = ctx.playlist;
    const auto scan = [&ctx](const FolderChoice& choice, bool replace) {
        PlaylistState& pl = ctx.playlist;
        pl.ScanSubfolders = choice.IncludeSubfolders;
        ScanFolder(ctx, choice.Path, replace, !replace, choice.IncludeSubfolders);
        pl.CurrentFolder = choice.Path;
        if (!pl.CurrentFolder.empty() && pl.CurrentFolder.back() != '/') {
            pl.CurrentFolder += '/';
        }
    };
    const auto choice = ctx.dialogs.PickMusicFolder(
        open ? "Open a folder with music files" : "Add a folder with music files", pl.CurrentFolder,
        pl.ScanSubfolders, scan);
    if (choice) {
        scan(*choice, open);
    }
    TrimWorkingSet();
}

}  // namespace

bool IsMusicFile(std::string_view path) {
    if (path.size() < 3) {
        return false;
    }
    char tail[3];
    for (int i = 0; i < 3; ++i) {
        tail[i] = static_cast<char>(kLower[static_cast<unsigned char>(path[path.size() - 3 + i])]);
    }
    const std::string_view t(tail, 3);
    // Opus, MP4, WavPack and Monkey's Audio by their whole extension.
    return t == "mp3" || t == "wav" || t == "ogg" || t == "lac" || AudioFileType(path) >= 4;
}

WalkResult CollectFolderFiles(const PlaylistContext& ctx, std::vector<std::string>& buffer,
                              const std::string& folder, bool recursive) {
    Walk walk{ctx, buffer, recursive, {}};
    return WalkFolder(walk, folder);
}

void ScanFolder(const PlaylistContext& ctx, const std::string& folder, bool replace,
                bool keepSelection, bool recursive) {
    PlaylistState& pl = ctx.playlist;
    PlaybackControl* playback = ctx.playback;
    MainView& view = ctx.view;
    // An Escape pressed before this scan (closing a dialog, say) is not meant for it.
    pl.AbortRequested = false;
    while (playback != nullptr && playback->TransitionInProgress()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        view.SetStatusText(1, "Waiting...");
        ctx.loop.ProcessPendingMessages();
        if (pl.AbortRequested || ctx.loop.Quitting()) {
            pl.AbortRequested = false;
            return;
        }
        if (playback->OutputPaused()) {
            playback->StopPlayback(true);
        }
    }
    if (!IsFolder(folder)) {
        ctx.dialogs.ShowNotice(NoticeKind::Warning, "Can't open this folder.");
        return;
    }
    view.SetBusyCursor(true);
    view.SetStatusText(3, "Opening... Press ESC to abort");
    ctx.loop.ProcessPendingMessages();
    std::vector<std::string> buffer;
    buffer.reserve(kBufferStep);
    pl.ScanRunning = true;
    const WalkResult walked = CollectFolderFiles(ctx, buffer, folder, recursive);
    if (walked != WalkResult::Complete) {
        view.SetBusyCursor(false);
        view.SetStatusText(3, "");
        if (pl.AbortRequested || ctx.loop.Quitting()) {
            pl.AbortRequested = false;
            pl.ScanRunning = false;
            return;
        }
        ctx.dialogs.ShowNotice(NoticeKind::Error, "Error 11\r\rPlease report this error.");
    }
    pl.ScanRunning = false;
    std::erase_if(buffer, [](const std::string& path) { return !IsMusicFile(path); });
    view.SetBusyCursor(false);
    view.SetStatusText(3, "");
    if (buffer.empty()) {
        ctx.dialogs.ShowNotice(NoticeKind::Information, "No music files found in given folder.");
        return;
    }
    if (replace) {
        pl.PlaylistEntries.clear();
    }
    view.SetStatusText(3, "Opening...");
    ctx.loop.ProcessPendingMessages();
    if (buffer.size() > 1) {
        if (pl.SortingWay == 1) {
            SortByFileName(buffer);
        } else {
            SortEntries(buffer);
        }
    }
    if (pl.PlaylistEntries.empty()) {
        pl.PlaylistEntries = std::move(buffer);
    } else {
        pl.PlaylistEntries.insert(pl.PlaylistEntries.end(), std::make_move_iterator(buffer.begin()),
                                  std::make_move_iterator(buffer.end()));
    }
    bool foundPlaying = false;
    if (replace) {
        pl.PlayingIndex = pl.PlayingEntry.empty() ? -1 : FindEntry(pl, pl.PlayingEntry);
        foundPlaying = pl.PlayingIndex >= 0;
        keepSelection = keepSelection || foundPlaying;
    }
    RefreshListView(ctx, keepSelection, keepSelection);
    if (foundPlaying) {
        ShowPlayingEntry(ctx);
        SelectOnly(ctx.view, pl.PlayingIndex);
    }
    view.SetStatusText(3, "");
}

void SortEntries(std::vector<std::string>& list) {
    if (list.size() < 2) {
        return;
    }
    std::vector<std::string_view> keys(list.begin(), list.end());
    SortByKeys(list, keys);
}

void SortByFileName(std::vector<std::string>& paths) {
    if (paths.size() < 2) {
        return;
    }
    std::vector<std::string_view> keys;
    keys.reserve(paths.size());
    for (const std::string& path : paths) {
        keys.push_back(FileNamePart(path));
    }
    SortByKeys(paths, keys);
}

void ApplySortingWay(const PlaylistContext& ctx, int way) {
    PlaylistState& pl = ctx.playlist;
    pl.SortingWay = way;
    if (pl.PlaylistEntries.size() < 2) {
        return;
    }
    const bool playing = pl.PlayingIndex >= 0 &&
                         static_cast<std::size_t>(pl.PlayingIndex) < pl.PlaylistEntries.size();
    const std::string remembered = playing ? pl.PlaylistEntries[pl.PlayingIndex] : std::string();
    if (way == 1) {
        SortByFileName(pl.PlaylistEntries);
    } else {
        SortEntries(pl.PlaylistEntries);
    }
    if (playing) {
        pl.PlayingIndex = FindEntry(pl, remembered);
    }
    RefreshListView(ctx, false, false);
    ShowPlayingEntry(ctx);
}

void OpenDirAc(const PlaylistContext& ctx) {
    PickAndScan(ctx, true);
}

void AddDirAc(const PlaylistContext& ctx) {
    PickAndScan(ctx, false);
}

}  // namespace mirvo
