#pragma once
// Where finished plays and now-playing notices go, and the clocks they are
// timed by.
#include <chrono>
#include <cstdint>
#include <string>

#include "player/PlaybackEvents.h"

namespace mirvo {

class ScrobbleClock {
  public:
    virtual ~ScrobbleClock() = default;
    // Seconds since 1970, UTC: when a play started, the handshake's time.
    virtual std::int64_t UnixTime() const = 0;
    // Never goes back: how long failures hold requests off.
    virtual std::chrono::steady_clock::time_point Monotonic() const = 0;
    // The system's clocks.
    static const ScrobbleClock& System();
};

class Scrobbler {
  public:
    virtual ~Scrobbler() = default;
    // mode 0: a finished play; mode 1: the now-playing notice. `startedAt`
    // is when the play began (ScrobbleClock::UnixTime).
    virtual void Submit(const AudibleTrack& track, int lengthSeconds, int mode,
                        std::int64_t startedAt) = 0;
};

}  // namespace mirvo
