#include "playback/Session.h"

#include "playlist/Entries.h"

namespace mirvo {

void CaptionFollower::TrackAudible(const AudibleTrack& track) {
    const std::string_view title = EntryTitle(track.entry);
    SetCaptionTitle(ctx_, FileNamePart(title), title);
}

void CaptionFollower::StationTitleChanged(const std::string& title) {
    SetCaptionTitle(ctx_, title, title);
}

void Session::MeterFollower::StateChanged(PlayState state) {
    if (state == PlayState::Playing && !hidden) {
        vu_.Wake();
    } else {
        vu_.RequestStop();
    }
}

Session::Session(Player& player, PlaybackView& view, MeterView& meterView, Scrobbler* scrobbler)
    : p_(player),
      engine_(player, view),
      commands_(player, engine_),
      meters_(player.settings, player.values, meterView, *this),
      vu_(player.ui.loop, meters_, player.values.VUStyle),
      caption_(player),
      meterFollower_(vu_),
      stations_(player) {
    PlaybackEvents& events = p_.events;
    events.Attach(caption_);
    if (scrobbler != nullptr) {
        report_.emplace(*scrobbler);
        events.Attach(*report_);
    }
    events.Attach(meterFollower_);
}

Session::~Session() {
    PlaybackEvents& events = p_.events;
    events.Detach(meterFollower_);
    if (report_) {
        events.Detach(*report_);
    }
    events.Detach(caption_);
}

void Session::SettingsLoaded() {
    meters_.SetLevelMeterStyle(p_.values.VUStyle);
    engine_.SetVolume(p_.engine.Volume);
    engine_.ApplyPlayMode();
}

void Session::HideDisplays() {
    meterFollower_.hidden = true;
    vu_.RequestStop();
}

void Session::ShowDisplays() {
    meterFollower_.hidden = false;
    const std::uint32_t state = engine_.OutputState();
    if (state == audio::kActivePlaying || state == audio::kActiveStalled) {
        engine_.ResumeStatus();
        vu_.Wake();
    }
}

std::uint64_t Session::SecondsToBytes(float seconds) {
    return audio::ChannelSeconds2Bytes(engine_.OutputChannel(), seconds);
}

std::uint32_t Session::RecentData(std::int16_t* samples, std::uint32_t bytes) {
    // Hidden, the meters see silence and fall dark, so their timer can sleep.
    if (meterFollower_.hidden) {
        return 0xFFFFFFFF;
    }
    return audio::ChannelGetData(engine_.OutputChannel(), samples, bytes);
}

int Session::Channels() {
    audio::ChannelInfo info;
    return audio::ChannelGetInfo(engine_.OutputChannel(), &info) ? static_cast<int>(info.Channels)
                                                                 : 0;
}

}  // namespace mirvo
