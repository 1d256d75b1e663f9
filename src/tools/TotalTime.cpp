#include "tools/TotalTime.h"

#include <cmath>
#include <utility>

#include "audio/Audio.h"
#include "playback/TimeText.h"
#include "player/Player.h"
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

void TotalTimeAcExecute(Player& player) {
    PlaylistState& pl = player.playlist;
    const std::vector<int> rows = player.ui.view.ListSelectedRows();
    // The selected entries as they are now: messages run between them and a
    // question may wait for an answer, and what runs meanwhile may edit the list.
    const std::size_t size = pl.PlaylistEntries.size();
    std::vector<std::pair<std::size_t, std::string>> chosen;
    chosen.reserve(rows.size());
    for (const int row : rows) {
        if (row >= 0 && static_cast<std::size_t>(row) < size) {
            chosen.emplace_back(row, pl.PlaylistEntries[static_cast<std::size_t>(row)]);
        }
    }
    std::string ofSelected(1, '/');
    ofSelected += std::to_string(rows.size());
    // An Escape pressed before the count is not meant for it.
    pl.AbortRequested = false;
    pl.ScanRunning = true;
    std::int64_t total = 0;
    std::size_t counted = 0;
    std::size_t next = 0;
    bool aborted = false;
    for (std::size_t i = 0; i < size; ++i) {
        if (counted % 10 == 0) {
            player.ui.view.SetStatusText(3, "Calculating time... " + std::to_string(counted) +
                                                ofSelected + " Press ESC to abort");
        }
        player.ui.loop.ProcessPendingMessages();
        if (player.ui.loop.Quitting()) {
            aborted = true;
            break;
        }
        for (; next < chosen.size() && chosen[next].first == i; ++next) {
            const std::string& entry = chosen[next].second;
            const int kind = EntryKind(entry);
            if (kind == kKindAudio || kind == kKindModule || kind == kKindFlac) {
                total += PlayingSeconds(entry);
                ++counted;
            }
        }
        if (pl.AbortRequested) {
            pl.AbortRequested = false;
            if (player.ui.dialogs.AskYesNo("Abort operation?")) {
                aborted = true;
                break;
            }
        }
    }
    pl.ScanRunning = false;
    const auto& describe = pl.Links.FormatDescription;
    player.ui.view.SetStatusText(3, describe ? describe(pl.PlayingEntry) : std::string());
    if (!aborted) {
        player.ui.dialogs.ShowNotice(NoticeKind::Information,
                                     "Total time: " + FormatSeconds(total) + " minutes.");
    }
}

}  // namespace mirvo
