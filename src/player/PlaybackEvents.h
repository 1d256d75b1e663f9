#pragma once
// What happens to playback, told to everything that follows it: the caption
// and tray hint, the scrobbler, the level meters and the desktop's media
// controls. Listeners are called on the UI thread, in the order they attached.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace mirvo {

enum class PlayState { Stopped, Playing, Paused };

// A file's tags as its listeners show and report them.
struct TrackTags {
    std::string Artist;
    std::string Title;
    std::string Album;
    int TrackNumber = 0;
    std::string MusicBrainzID;
};

// A track that becomes audible, with all its listeners need of it: read once
// where it was opened, so none of them reads the file or a widget again.
struct AudibleTrack {
    std::string entry;
    std::int64_t lengthMs = 0;  // as the progress bar shows it
    int kind = 0;               // the entry's kind (EntryKind)
    TrackTags tags;             // none for a station
};

class PlaybackListener {
  public:
    virtual ~PlaybackListener() = default;
    // `track` is heard from now on.
    virtual void TrackAudible(const AudibleTrack& /*track*/) {}
    virtual void StateChanged(PlayState /*state*/) {}
    // 0..1000, as the volume bar shows it.
    virtual void VolumeChanged(int /*volume*/) {}
    // A seek: the position no longer follows from the last one.
    virtual void PositionJumped(std::int64_t /*positionMs*/) {}
    // One status refresh of a playing track, `elapsedMs` after the last one.
    virtual void PositionAdvanced(std::int64_t /*positionMs*/, std::int64_t /*lengthMs*/,
                                  int /*elapsedMs*/) {}
    // The playlist's entries or their order changed.
    virtual void ListChanged() {}
    // The playing station names another song ("Artist - Title" as it sends
    // it), or, when it names none, the station's entry title.
    virtual void StationTitleChanged(const std::string& /*title*/) {}
};

class PlaybackEvents {
  public:
    void Attach(PlaybackListener& listener) { listeners_.push_back(&listener); }
    void Detach(PlaybackListener& listener) { std::erase(listeners_, &listener); }

    void TrackAudible(const AudibleTrack& track) const {
        Tell(&PlaybackListener::TrackAudible, track);
    }
    void StateChanged(PlayState state) const { Tell(&PlaybackListener::StateChanged, state); }
    void VolumeChanged(int volume) const { Tell(&PlaybackListener::VolumeChanged, volume); }
    void PositionJumped(std::int64_t positionMs) const {
        Tell(&PlaybackListener::PositionJumped, positionMs);
    }
    void PositionAdvanced(std::int64_t positionMs, std::int64_t lengthMs, int elapsedMs) const {
        Tell(&PlaybackListener::PositionAdvanced, positionMs, lengthMs, elapsedMs);
    }
    void ListChanged() const { Tell(&PlaybackListener::ListChanged); }
    void StationTitleChanged(const std::string& title) const {
        Tell(&PlaybackListener::StationTitleChanged, title);
    }

  private:
    template <typename Method, typename... Args>
    void Tell(Method method, const Args&... args) const {
        // A copy: a listener may detach itself while being told.
        const std::vector<PlaybackListener*> now = listeners_;
        for (PlaybackListener* listener : now) {
            (listener->*method)(args...);
        }
    }

    std::vector<PlaybackListener*> listeners_;
};

}  // namespace mirvo
