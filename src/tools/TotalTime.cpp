#include "tools/TotalTime.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "audio/Audio.h"
#include "playback/Format.h"
#include "playback/TimeText.h"
#include "player/PlaylistContext.h"
#include "playlist/Entries.h"
#include "tags/FLACfile.h"
#include "tags/OggVorbis.h"

namespace mirvo {

namespace {

std::int64_t WholeSeconds(double seconds) {
    return seconds > 0 ? std::llround(seconds) : 0;
}

// What a decode stream reports, for the formats without a length in a header.
std::int64_t StreamSeconds(const std::string& path) {
    const audio::Handle stream = audio::StreamCreateFile(
        false, path.c_str(), 0, 0, audio::kStreamDecode | audio::kStreamNoScan);
    if (stream == 0) {
        return 0;
    }
    const std::uint64_t bytes = audio::StreamGetLength(stream);
    const double seconds =
        bytes == audio::kPositionError ? 0.0 : audio::ChannelBytes2Seconds(stream, bytes);
    audio::StreamFree(stream);
    return WholeSeconds(seconds);
}

}  // namespace

std::int64_t PlayingSeconds(const std::string& path) {
    // The headers first, by the name; what they do not answer, the library does by content.
    switch (AudioFileType(path)) {
        case 0:
        case 1:
            if (const std::optional<double> seconds = audio::HeaderSeconds(path.c_str())) {
                return WholeSeconds(*seconds);
            }
            break;
        case 2: {
            TOggVorbis ogg;
            if (ogg.ReadFromFile(path) && ogg.Samples() > 0 && ogg.SampleRate() > 0) {
                return WholeSeconds(static_cast<double>(ogg.Samples()) / ogg.SampleRate());
            }
            break;
        }
        case 3: {
            TFLACfile flac;
            if (flac.ReadFromFile(path) && flac.Samples() > 0 && flac.SampleRate() > 0) {
                return WholeSeconds(static_cast<double>(flac.Samples()) / flac.SampleRate());
            }
            break;
        }
        default:
            break;
    }
    return StreamSeconds(path);
}

namespace {

// Reads the lengths of the chosen files in order on its own thread, so the
// window never waits for a slow disk; the UI loop takes them as they come.
// The playing entry's format description, shown once the count ends, is read
// there first.
class LengthReader {
  public:
    LengthReader(std::vector<std::string> paths, std::string described)
        : paths_(std::move(paths)),
          described_(std::move(described)),
          seconds_(paths_.size(), 0),
          thread_([this] { Run(); }) {}
    ~LengthReader() {
        stop_ = true;
        thread_.join();
    }
    LengthReader(const LengthReader&) = delete;
    LengthReader& operator=(const LengthReader&) = delete;

    // The length of path `k` once read, waiting at most `wait` for it.
    std::optional<std::int64_t> Take(std::size_t k, std::chrono::milliseconds wait) {
        std::unique_lock lock(lock_);
        if (!read_.wait_for(lock, wait, [&] { return done_ > k; })) {
            return std::nullopt;
        }
        return seconds_[k];
    }

    std::optional<std::string> TakeDescription(std::chrono::milliseconds wait) {
        std::unique_lock lock(lock_);
        if (!read_.wait_for(lock, wait, [&] { return description_.has_value(); })) {
            return std::nullopt;
        }
        return description_;
    }

  private:
    void Run() {
        std::string description = FormatDescription(described_, 0);
        {
            const std::lock_guard lock(lock_);
            description_ = std::move(description);
        }
        read_.notify_one();
        for (std::size_t k = 0; k < paths_.size() && !stop_; ++k) {
            const std::int64_t seconds = PlayingSeconds(paths_[k]);
            {
                const std::lock_guard lock(lock_);
                seconds_[k] = seconds;
                done_ = k + 1;
            }
            read_.notify_one();
        }
    }

    const std::vector<std::string> paths_;
    const std::string described_;
    std::optional<std::string> description_;
    std::vector<std::int64_t> seconds_;
    std::size_t done_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::condition_variable read_;
    std::thread thread_;
};

}  // namespace

void TotalTimeAcExecute(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    const std::vector<int> rows = ctx.view.ListSelectedRows();
    // The selected entries as they are now: messages run between them and a
    // question may wait for an answer, and what runs meanwhile may edit the list.
    const std::size_t size = pl.PlaylistEntries.size();
    std::vector<std::size_t> chosen;
    std::vector<std::string> paths;
    chosen.reserve(rows.size());
    for (const int row : rows) {
        if (row < 0 || static_cast<std::size_t>(row) >= size) {
            continue;
        }
        const std::string& entry = pl.PlaylistEntries[static_cast<std::size_t>(row)];
        const int kind = EntryKind(entry);
        if (kind == kKindAudio || kind == kKindModule || kind == kKindFlac) {
            chosen.push_back(static_cast<std::size_t>(row));
            paths.push_back(entry);
        }
    }
    std::string ofSelected(1, '/');
    ofSelected += std::to_string(rows.size());
    // An Escape pressed before the count is not meant for it.
    pl.AbortRequested = false;
    pl.ScanRunning = true;
    std::int64_t total = 0;
    std::size_t counted = 0;
    bool aborted = false;
    // Runs the window's messages; false once the count is to end.
    const auto pump = [&] {
        ctx.loop.ProcessPendingMessages();
        if (ctx.loop.Quitting()) {
            return false;
        }
        if (pl.AbortRequested) {
            pl.AbortRequested = false;
            if (ctx.dialogs.AskYesNo("Abort operation?")) {
                return false;
            }
        }
        return true;
    };
    {
        LengthReader reader(std::move(paths), std::string(EntryAddress(pl.PlayingEntry)));
        for (std::size_t i = 0; i < size && !aborted; ++i) {
            if (counted % 10 == 0) {
                ctx.view.SetStatusText(3, "Calculating time... " + std::to_string(counted) +
                                              ofSelected + " Press ESC to abort");
            }
            if (!pump()) {
                aborted = true;
                break;
            }
            for (; counted < chosen.size() && chosen[counted] == i; ++counted) {
                std::optional<std::int64_t> seconds;
                while (!(seconds = reader.Take(counted, std::chrono::milliseconds(10)))) {
                    if (!pump()) {
                        aborted = true;
                        break;
                    }
                }
                if (aborted) {
                    break;
                }
                total += *seconds;
            }
        }
        // Read first, so it waits at most for the one file being read.
        std::optional<std::string> description;
        while (!(description = reader.TakeDescription(std::chrono::milliseconds(10)))) {
            ctx.loop.ProcessPendingMessages();
        }
        pl.ScanRunning = false;
        ctx.view.SetStatusText(3, *description);
    }
    if (!aborted) {
        ctx.dialogs.ShowNotice(NoticeKind::Information,
                               "Total time: " + FormatSeconds(total) + " minutes.");
    }
}

}  // namespace mirvo
