// The engine's core on the UI thread: checking and opening entries, play,
// seek, stop, pause and volume.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "playback/Engine.h"
#include "playback/EngineDetail.h"
#include "playback/Format.h"
#include "playlist/Model.h"
#include "support/Memory.h"

namespace mirvo {

using namespace engine_detail;

namespace {

std::uint32_t FeedProc(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    return static_cast<Engine*>(user)->StreamFeed(buffer, length);
}

}  // namespace

Engine::Engine(Player& player, PlaybackView& view)
    : p_(player),
      view_(view),
      random_(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())),
      connector_(player.ui.loop, [this](audio::Handle handle, int serial,
                                        int error) { ConnectFinished(handle, serial, error); }),
      recorder_(
          player, view,
          Recorder::Links{[this] { return OutputChannel(); }, [this] { StopPlayback(true); }}) {
    p_.playback = &control_;
}

Engine::~Engine() {
    starter_.Stop();
    CancelStart();
    LandStarts();  // frees what the starter left
    opener_.Stop();
    SuspendStatus();
    EndReconnect();
    FreeHandles();
    ResetFeedState();  // frees the prepared track's decoders
    if (p_.playback == &control_) {
        p_.playback = nullptr;
    }
}

void Engine::InitDevice() {
    EngineState& e = p_.engine;
    if (e.DeviceReady) {
        return;
    }
    e.DeviceReady = audio::Init(e.Device, 44100, 0);
    if (!e.DeviceReady) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Warning, "Can't open sound device.");
    }
    audio::SetConfig(audio::kConfigUpdatePeriod, 100);
    audio::SetConfig(audio::kConfigBuffer, 3000);
    audio::SetConfig(audio::kConfigMaxVolume, 1000);
}

int Engine::CheckFile(const std::string& entry, bool quiet) {
    InitDevice();
    const int kind = EntryKind(entry);
    if (!HasDecoder(kind)) {
        return kPlayable;
    }
    const Probed probed = ProbeFile(entry, kind);
    if (probed.notice && !quiet) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Information,
                                 "Error" + std::to_string(probed.error) + " Function CheckFile");
    }
    return probed.result;
}

void Engine::ShowCheckWarning(int code, const std::string& entry) {
    const char* text = nullptr;
    switch (code) {
        case kFileNotFound:
            text = "File not found.\r\r";
            break;
        case kUnsupportedFormat:
            text = "Unsupported file format.\r\r";
            break;
        case kIllegalSampleRate:
            text = "File has illegal sample rate.\r\r";
            break;
        case kNotAudioFile:
            text = "File is not an audio file.\r\r";
            break;
        case kUnsupportedSampleFormat:
            text = "File has an unsupported sample format\r\r";
            break;
        case kCannotOpen:
            text = "File can't be opened.\r\r";
            break;
        case kDriverUnsupported:
            text = "Your soundcard driver does not support this type of sample format.\r\r";
            break;
        default:
            text = "Unknown file format.\r\r";
            break;
    }
    p_.ui.dialogs.ShowNotice(NoticeKind::Warning, text + entry);
}

void Engine::FreeHandles() {
    // The output channel first: freeing it waits for a feed that is running.
    audio::StreamFree(output_.exchange(0));
    FreeStream(source_.exchange(0));
    audio::Handle lookahead = 0;
    {
        const std::lock_guard lock(prepareLock_);
        ++trackId_;  // a look-ahead still opening belongs to what played
        lookahead = lookahead_.exchange(0);
    }
    FreeStream(lookahead);
    FreeRetired();
    // A seek still on the starter moves a source that is gone.
    pendingSeek_.reset();
    latestSeek_ = 0;
}

void Engine::ResetFeedState() {
    latestPrepared_ = 0;
    tailRemaining_ = -1;
    bytesDelivered_ = 0;
    decoderFinished_ = false;
    transition_ = 0;
    sourceUnplayable_ = false;
    trackBoundary_ = -1;
    std::optional<Prepared> dropped;
    {
        const std::lock_guard lock(prepareLock_);
        dropped.swap(prepared_);
        switched_.reset();
    }
    FreePrepared(dropped);
}

void Engine::PlayEntry(int index, bool keepThreads, bool resume) {
    PlaylistState& pl = p_.playlist;
    if (!resume) {
        recorder_.StopRecording();
        if (pl.PlaylistEntries.empty() || index < 0 ||
            index >= static_cast<int>(pl.PlaylistEntries.size())) {
            return;
        }
        const std::string entry = pl.PlaylistEntries[static_cast<std::size_t>(index)];
        const int kind = EntryKind(entry);
        if (HasDecoder(kind)) {
            // Checked and opened off this thread: a slow disk or a scan never holds the window.
            // A station still connecting or waiting to reconnect is dropped
            // now, not when the file lands.
            connector_.Reset();
            EndReconnect();
            InitDevice();
            PendingStart start;
            start.id = ++startId_;
            start.index = index;
            start.entry = entry;
            start.kind = kind;
            start.keepThreads = keepThreads;
            pendingStart_ = std::move(start);
            latestStart_ = startId_;
            starter_.Post([this, id = startId_, entry, kind] { OpenStart(id, entry, kind); });
            return;
        }
        CancelStart();
        const int code = CheckFile(entry);
        if (code != kPlayable) {
            ShowCheckWarning(code, entry);
            return;
        }
        if (kind == kRadioKind) {
            SuspendStatus();
            p_.engine.PlayMode = 0;
            ApplyPlayMode();
            RadioTickCount = -20;
            view_.SetRecordVisible(true);
            view_.SetTimeLabelLeft(146);
        } else {
            ShowFileControls();
        }
        ReleaseForOpen();
        pendingIndex_ = index;
        OpenSources();
        pl.PlayingIndex = pendingIndex_;
        if (source_ == 0) {
            // What played is gone; a station connects later, anything else
            // (a playlist file in the list) plays nothing and must look it.
            if (EntryKind(pl.PlayingEntry) != kRadioKind) {
                StopPlayback(false);
            }
            return;
        }
    }
    StartOutput(keepThreads);
}

void Engine::ShowFileControls() {
    connector_.Reset();
    view_.SetRecordVisible(false);
    view_.SetTimeLabelLeft(view_.PlayBarVisible() ? 130 : 6);
}

void Engine::ReleaseForOpen() {
    EndReconnect();
    stationGivenUp_ = false;
    FreeHandles();
    InitDevice();
    ResetFeedState();
    sourceIsStation_ = false;
    sourceTags_ = {};
}

void Engine::StartOutput(bool keepThreads) {
    PlaylistState& pl = p_.playlist;
    audio::ChannelInfo info;
    audio::ChannelGetInfo(source_, &info);
    output_ = audio::StreamCreate(info.Frequency, info.Channels, 0, FeedProc, this);
    SetVolume(p_.engine.Volume);
    AfterOpen(keepThreads);
    SeekTo(0, false);
    SetVolume(p_.engine.Volume);
    if (pendingSeek_) {
        pendingSeek_->state = audio::kActivePlaying;  // plays once the source is at its start
    } else {
        audio::StreamPlay(output_, false, 0);
    }
    if (EntryKind(pl.PlayingEntry) == kRadioKind &&
        p_.settings.ReadBool("General", "RecordAhead", false)) {
        recorder_.StartRecordDsp(true);
    }
    TellState(PlayState::Playing);
}

void Engine::OpenSources() {
    const int index = pendingIndex_;
    const PlaylistState& pl = p_.playlist;
    source_ = 0;
    if (index < 0 || index >= static_cast<int>(pl.PlaylistEntries.size())) {
        return;
    }
    const std::string entry = pl.PlaylistEntries[static_cast<std::size_t>(index)];
    audio::SetConfig(audio::kConfigBuffer, 3000);
    if (EntryKind(entry) == kRadioKind) {
        OpenStation(entry);
    }
    p_.playlist.PlayingEntry = entry;
}

void Engine::AfterOpen(bool keepThreads) {
    PlaylistState& pl = p_.playlist;
    const std::string& entry = pl.PlayingEntry;
    if (p_.engine.PlayMode == 4) {
        PushShuffleBack(entry);
        pl.ShuffleHistory.push_back(entry);
    }
    const auto queued = std::find(pl.QueueList.begin(), pl.QueueList.end(), entry);
    if (queued != pl.QueueList.end()) {
        pl.QueueList.erase(queued);
        PushQueueBack(entry);
    }
    const std::int64_t lengthMs = BytesToMs(Length(source_));
    p_.events.TrackAudible({entry, lengthMs, EntryKind(entry), sourceTags_});
    view_.SetProgressMax(static_cast<int>(lengthMs));
    view_.SetProgressPosition(0);
    fineTime_ = lengthMs <= 9999;
    refreshPeriod_ = WantedPeriod();
    // Shown at once: a track opened paused gets no status tick until resumed.
    // A station's label tells its rate once it is known.
    if (!sourceIsStation_) {
        WriteTimeLabel(0, lengthMs);
    }
    if (!keepThreads || statusTimer_ != 0) {
        SuspendStatus();  // restarts with the new period
        ResumeStatus();
    }
    ShowPlayingEntry(p_);
}

void Engine::SeekToMs(std::int64_t ms, bool announce) {
    if (pendingStart_) {
        pendingStart_->seekMs = ms;
        pendingStart_->seekBytes = -1;
        pendingStart_->announce = announce;
        return;
    }
    SeekTo(MsToBytes(ms), announce);
}

void Engine::SeekTo(std::int64_t bytes, bool announce) {
    if (pendingStart_) {
        pendingStart_->seekBytes = bytes;
        pendingStart_->seekMs = -1;
        pendingStart_->announce = announce;
        return;
    }
    if (EntryKind(p_.playlist.PlayingEntry) == kRadioKind) {
        return;
    }
    const std::uint32_t state = OutputState();
    if (decoderFinished_) {
        // The source is used up (or already the next track's): open this track
        // again, at this place once it is open.
        StopPlayback(false);
        PlayEntry(p_.playlist.PlayingIndex);
        if (pendingStart_) {
            pendingStart_->seekBytes = bytes;
            pendingStart_->announce = announce;
            pendingStart_->paused = state == audio::kActivePaused;
        }
        return;
    }
    const std::int64_t last = sourceLength_ - MsToBytes(1000);
    bytes = std::max<std::int64_t>(0, std::min(bytes, last));
    bytes -= bytes % 4;
    audio::ChannelStop(output_);
    positionBase_ = -bytes;
    ResetFeedState();
    if (announce) {
        p_.events.PositionJumped(BytesToMs(bytes));
    }
    if (state == audio::kActivePaused) {
        WriteTimeLabel(BytesToMs(bytes), view_.ProgressMax());
    }
    // The look-ahead stays parked near the end (OpenAhead.cpp). A source already
    // there (a track just opened) is left alone.
    const auto target = static_cast<std::uint64_t>(bytes);
    if (!pendingSeek_ && audio::ChannelGetPosition(source_) == target) {
        PlayOnAfterSeek(state);
        return;
    }
    pendingSeek_ = PendingSeek{++seekId_, state};
    latestSeek_ = seekId_;
    starter_.Post([this, id = seekId_, source = source_.load(), target] {
        // Only the newest seek moves the source: the older ones are on their way out.
        if (id == latestSeek_) {
            audio::ChannelSetPosition(source, target);
        }
        seekDone_ = id;
        p_.ui.loop.PostToUiThread([this, alive = std::weak_ptr<int>(alive_)] {
            if (!alive.expired()) {
                LandSeek();
            }
        });
    });
}

void Engine::LandSeek() {
    if (!pendingSeek_ || seekDone_ != pendingSeek_->id) {
        return;
    }
    const std::uint32_t state = pendingSeek_->state;
    pendingSeek_.reset();
    PlayOnAfterSeek(state);
}

void Engine::PlayOnAfterSeek(std::uint32_t state) {
    if (state == audio::kActivePlaying || state == audio::kActiveStalled) {
        SetVolume(p_.engine.Volume);
        audio::StreamPlay(output_, false, 0);
    } else if (state == audio::kActivePaused) {
        audio::StreamPlay(output_, false, 0);
        audio::ChannelPause(output_);
    }
}

std::int64_t Engine::CurrentPositionBytes() const {
    const audio::Handle out = output_;
    if (out == 0) {
        return 0;
    }
    const std::uint64_t pos = audio::ChannelGetPosition(out);
    return (pos == audio::kPositionError ? 0 : static_cast<std::int64_t>(pos)) - positionBase_;
}

std::int64_t Engine::BytesToMs(std::int64_t bytes) const {
    const audio::Handle out = output_ != 0 ? output_.load() : source_.load();
    const float seconds = audio::ChannelBytes2Seconds(out, static_cast<std::uint64_t>(bytes));
    return seconds < 0 ? 0 : static_cast<std::int64_t>(std::nearbyint(seconds * 1000.0));
}

std::int64_t Engine::MsToBytes(std::int64_t ms) const {
    const audio::Handle out = output_ != 0 ? output_.load() : source_.load();
    return Bytes(out, static_cast<double>(ms) / 1000.0);
}

void Engine::StopPlayback(bool releaseDevice) {
    CancelStart();
    if (EntryKind(p_.playlist.PlayingEntry) == kRadioKind) {
        recorder_.StopRecording();
    }
    SuspendStatus();
    EndReconnect();
    FreeHandles();
    connector_.Reset();
    ResetFeedState();
    view_.SetProgressPosition(0);
    p_.ui.view.SetTimeLabel("");
    EngineState& e = p_.engine;
    if (releaseDevice && e.DeviceReady) {
        e.DeviceReady = !audio::Free();
    }
    p_.ui.view.SetCaption(p_.app.ProgramTitle);
    p_.ui.view.RepaintList();
    p_.ui.view.SetStatusText(3, "");
    TellState(PlayState::Stopped);
    TrimWorkingSet();
}

int Engine::VolumeCurve(int value) {
    value = std::clamp(value, 0, 1000);
    if (value <= 10) {
        return value / 10;
    }
    return static_cast<int>(std::nearbyint(value * static_cast<double>(value) / 1000.0));
}

void Engine::SetVolume(int value) {
    EngineState& e = p_.engine;
    if (value != e.Volume) {
        e.MutedVolume = -1;
    }
    value = std::clamp(value, 0, 1000);
    const bool changed = value != e.Volume;
    e.Volume = value;
    audio::ChannelSetAttributes(output_, -1, VolumeCurve(value), -101);
    view_.ShowVolume(value / 10);
    std::string panel(1, ' ');  // built piecewise: g++ 12 warns wrongly on " " + string
    panel += std::to_string(value / 10);
    panel += " %";
    p_.ui.view.SetStatusText(0, panel);
    if (changed) {
        p_.events.VolumeChanged(value);
    }
}

void Engine::TellState(PlayState state) {
    // A track that follows another by the drain path keeps playing.
    if (state != told_) {
        told_ = state;
        p_.events.StateChanged(state);
    }
}

std::uint32_t Engine::OutputState() const {
    if (pendingSeek_) {
        return pendingSeek_->state;
    }
    const audio::Handle out = output_;
    return out == 0 ? audio::kActiveStopped : audio::ChannelIsActive(out);
}

bool Engine::IsPaused() const {
    return OutputState() == audio::kActivePaused;
}

void Engine::Pause() {
    if (pendingStart_) {
        pendingStart_->paused = true;
    }
    if (pendingSeek_) {
        pendingSeek_->state = audio::kActivePaused;
        // No status tick shows where the seek goes: its tick waited for it.
        WriteTimeLabel(BytesToMs(CurrentPositionBytes()), view_.ProgressMax());
    } else {
        audio::ChannelPause(output_);
    }
    p_.ui.view.SetStatusText(3, "Paused");
    SuspendStatus();
    TellState(PlayState::Paused);
}

std::string Engine::DescribeFormat(const std::string& entry) {
    const std::string address(EntryAddress(entry));
    if (source_ != 0 && address == describedAddress_) {
        return description_;
    }
    return FormatDescription(address, SourceStream());
}

void Engine::Resume() {
    if (pendingStart_) {
        pendingStart_->paused = false;
    }
    const std::string& entry = p_.playlist.PlayingEntry;
    p_.ui.view.SetStatusText(3, DescribeFormat(entry));
    if (pendingSeek_) {
        // Not before the source is where the seek moves it.
        pendingSeek_->state = audio::kActivePlaying;
    } else {
        audio::ChannelResume(output_);
    }
    ResumeStatus();
    TellState(PlayState::Playing);
}

}  // namespace mirvo
