#pragma once
// What the scrobbler hears of a track: the now-playing notice ten seconds in,
// and the finished play once half of it, or four minutes, was heard. Tracks
// of 30 s or less are never reported.
#include "player/PlaybackEvents.h"
#include "scrobble/Scrobbler.h"

namespace mirvo {

class PlayReport final : public PlaybackListener {
  public:
    explicit PlayReport(Scrobbler& scrobbler, const ScrobbleClock& clock = ScrobbleClock::System())
        : scrobbler_(scrobbler), clock_(clock) {}

    void TrackAudible(const AudibleTrack& track) override;
    void StateChanged(PlayState state) override;
    void PositionJumped(std::int64_t positionMs) override;
    void PositionAdvanced(std::int64_t positionMs, std::int64_t lengthMs, int elapsedMs) override;

    // How long the current track has been heard.
    std::int64_t PlayedMs() const { return playedMs_; }

  private:
    void SubmitIfHeard();

    Scrobbler& scrobbler_;
    const ScrobbleClock& clock_;
    AudibleTrack track_;
    std::int64_t lengthMs_ = 0;
    std::int64_t playedMs_ = 0;
    std::int64_t lastPositionMs_ = 0;
    std::int64_t startedAt_ = 0;
    bool nowPlayingPending_ = false;
};

}  // namespace mirvo
