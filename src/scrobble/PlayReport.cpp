#include "scrobble/PlayReport.h"

#include <algorithm>

namespace mirvo {

namespace {
constexpr std::int64_t kShortestReported = 30000;
// The protocol counts a play after half of it or this long, whichever comes first.
constexpr std::int64_t kLongestWait = 240000;
}  // namespace

void PlayReport::TrackAudible(const AudibleTrack& track) {
    SubmitIfHeard();  // the track that has just ended
    track_ = track;
    lengthMs_ = track.lengthMs;
    playedMs_ = 0;
    lastPositionMs_ = 0;
    startedAt_ = clock_.UnixTime();
    nowPlayingPending_ = true;
}

void PlayReport::StateChanged(PlayState state) {
    if (state == PlayState::Stopped) {
        SubmitIfHeard();
    }
}

void PlayReport::PositionJumped(std::int64_t positionMs) {
    lastPositionMs_ = positionMs;
}

void PlayReport::PositionAdvanced(std::int64_t positionMs, std::int64_t lengthMs, int) {
    // The heard time follows what the device played, not the number of ticks:
    // a tick that comes late on a busy machine loses nothing.
    playedMs_ += std::max<std::int64_t>(0, positionMs - lastPositionMs_);
    lastPositionMs_ = positionMs;
    if (positionMs >= 10001 && positionMs <= 10999 && nowPlayingPending_) {
        nowPlayingPending_ = false;
        if (lengthMs > kShortestReported) {
            scrobbler_.Submit(track_, static_cast<int>(lengthMs / 1000), 1, startedAt_);
        }
    }
}

void PlayReport::SubmitIfHeard() {
    if (lengthMs_ > kShortestReported && playedMs_ > std::min(lengthMs_ / 2, kLongestWait)) {
        playedMs_ = 0;
        scrobbler_.Submit(track_, static_cast<int>(lengthMs_ / 1000), 0, startedAt_);
    }
}

}  // namespace mirvo
