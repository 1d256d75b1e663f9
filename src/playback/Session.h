#pragma once
// The playing session, free of any window: the engine, the commands, the
// level meters and what follows playback events. The main window, the tray,
// global hot keys and the desktop's media controls all attach to one.
#include <memory>
#include <optional>

#include "playback/Commands.h"
#include "playback/Engine.h"
#include "playback/LevelMeters.h"
#include "playback/StationLists.h"
#include "player/PlaybackEvents.h"
#include "player/Player.h"
#include "scrobble/PlayReport.h"

namespace mirvo {

// The window caption, the format line and the tray hint name what is heard.
class CaptionFollower final : public PlaybackListener {
  public:
    explicit CaptionFollower(const PlaylistContext& ctx) : ctx_(ctx) {}
    void TrackAudible(const AudibleTrack& track) override;
    void StationTitleChanged(const std::string& title) override;

  private:
    PlaylistContext ctx_;
};

class Session final : public LevelSampler {
  public:
    // `scrobbler`, when given, hears of what was played.
    Session(Player& player, PlaybackView& view, MeterView& meterView,
            Scrobbler* scrobbler = nullptr);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Applies what the settings loader read: meter style, volume, play mode.
    void SettingsLoaded();
    // The window went to the tray: the meters fall dark and stay so until it
    // is back, when they and the status refresh run again for what plays.
    void HideDisplays();
    void ShowDisplays();
    bool MetersRunning() const { return !vu_.Suspended(); }

    Engine& engine() { return engine_; }
    Commands& commands() { return commands_; }
    LevelMeters& meters() { return meters_; }
    StationLists& stations() { return stations_; }

    // LevelSampler: the output channel's recent sound.
    std::uint64_t SecondsToBytes(float seconds) override;
    std::uint32_t RecentData(std::int16_t* samples, std::uint32_t bytes) override;
    int Channels() override;

  private:
    // The meters run while something plays and fall off when it stops.
    class MeterFollower final : public PlaybackListener {
      public:
        explicit MeterFollower(TVUThread& vu) : vu_(vu) {}
        void StateChanged(PlayState state) override;
        bool hidden = false;

      private:
        TVUThread& vu_;
    };

    Player& p_;
    Engine engine_;
    Commands commands_;
    LevelMeters meters_;
    TVUThread vu_;
    CaptionFollower caption_;
    MeterFollower meterFollower_;
    std::optional<PlayReport> report_;
    StationLists stations_;
};

}  // namespace mirvo
