#pragma once
// What the playlist, the tools and the application ask of playback. The
// engine implements it and attaches itself to its player for its lifetime;
// a player without one (tests of the playlist alone) plays nothing.
#include <string>

namespace mirvo {

class PlaybackControl {
  public:
    virtual ~PlaybackControl() = default;
    virtual void PlayEntry(int index) = 0;
    virtual void StopPlayback(bool releaseDevice) = 0;
    // A seamless switch to the next track is under way.
    virtual bool TransitionInProgress() const = 0;
    virtual bool OutputPaused() const = 0;
    // The one-line format text of an entry for the playing output channel.
    virtual std::string FormatDescription(const std::string& entry) = 0;
};

}  // namespace mirvo
