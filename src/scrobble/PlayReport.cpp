#include "scrobble/PlayReport.h"

namespace mirvo {

namespace {
constexpr std::int64_t kShortestReported = 30000;
}

void PlayReport::TrackAudible(const std::string& entry, std::int64_t lengthMs) {
    SubmitIfHeard();  // the track that has just ended
    entry_ = entry;
    lengthMs_ = lengthMs;
    playedMs_ = 0;
    nowPlayingPending_ = true;
}

void PlayReport::StateChanged(PlayState state) {
    if (state == PlayState::Stopped) {
        SubmitIfHeard();
    }
}

void PlayReport::PositionAdvanced(std::int64_t positionMs, std::int64_t lengthMs, int elapsedMs) {
    playedMs_ += elapsedMs;
    if (positionMs >= 10001 && positionMs <= 10999 && nowPlayingPending_) {
        nowPlayingPending_ = false;
        if (lengthMs > kShortestReported) {
            scrobbler_.Submit(entry_, static_cast<int>(lengthMs / 1000), 1);
        }
    }
}

void PlayReport::SubmitIfHeard() {
    if (lengthMs_ > kShortestReported && playedMs_ > lengthMs_ / 2) {
        playedMs_ = 0;
        scrobbler_.Submit(entry_, static_cast<int>(lengthMs_ / 1000), 0);
    }
}

}  // namespace mirvo
