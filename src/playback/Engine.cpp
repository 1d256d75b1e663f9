#include "playback/Engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <unordered_set>

#include "app/Application.h"
#include "playback/Format.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"

namespace mirvo {
namespace {

constexpr int kRadioKind = 2;
constexpr int kNoiseFloor = 20;

std::uint32_t FeedProc(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    return static_cast<Engine*>(user)->StreamFeed(buffer, length);
}

std::int64_t Bytes(audio::Handle handle, double seconds) {
    const std::uint64_t b = audio::ChannelSeconds2Bytes(handle, static_cast<float>(seconds));
    return b == audio::kPositionError ? 0 : static_cast<std::int64_t>(b);
}

std::int64_t Length(audio::Handle handle) {
    const std::uint64_t b = audio::StreamGetLength(handle);
    return b == audio::kPositionError ? 0 : static_cast<std::int64_t>(b);
}

void FreeStream(audio::Handle handle) {
    if (handle != 0) {
        audio::StreamFree(handle);
        audio::MusicFree(handle);
    }
}

// Average absolute value of the samples louder than the noise floor; 0 when none.
std::int64_t AverageLevel(const std::int16_t* samples, std::size_t count) {
    std::int64_t sum = 0;
    std::int64_t n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int a = std::abs(static_cast<int>(samples[i]));
        if (a > kNoiseFloor) {
            sum += a;
            ++n;
        }
    }
    return n == 0 ? 0 : sum / n;
}

std::uint32_t ReadData(audio::Handle handle, void* buffer, std::uint32_t length) {
    if (length == 0) {
        return 0;
    }
    const std::uint32_t got = audio::ChannelGetData(handle, buffer, length);
    return got == audio::kDataError ? 0 : got;
}

audio::Handle OpenDecoder(const std::string& path, int kind) {
    return kind == kKindFlac
               ? audio::FlacStreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode)
               : audio::StreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode);
}

// Files of no known kind go to the decoders too: they recognise data by content.
bool HasDecoder(int kind) {
    return kind == kKindAudio || kind == kKindModule || kind == kKindFlac || kind == kKindUnknown;
}

}  // namespace

std::string FormatMs(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>((ms % 60000) / 1000));
    return text;
}

std::string FormatMsHundredths(std::int64_t ms) {
    char text[8];
    std::snprintf(text, sizeof text, ":%02lld", static_cast<long long>((ms % 1000) / 10));
    return FormatMs(ms) + text;
}

std::string FormatMsMillis(std::int64_t ms) {
    char text[8];
    std::snprintf(text, sizeof text, ":%03lld", static_cast<long long>(ms % 1000));
    return FormatMs(ms) + text;
}

std::string FormatSeconds(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

std::string FormatWholeMinutes(std::int64_t seconds) {
    return std::to_string(seconds / 60);
}

Engine::Engine(Player& player, PlaybackView& view, Scrobbler* scrobbler)
    : p_(player),
      view_(view),
      scrobbler_(scrobbler),
      random_(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())) {
    PlaylistLinks& links = p_.playlist.Links;
    links.PlayEntry = [this](int index) { PlayEntry(index); };
    links.StopPlayback = [this](bool release) { StopPlayback(release); };
    links.TransitionInProgress = [this] { return TransitionState() != 0; };
    links.OutputPaused = [this] { return IsPaused(); };
    links.FormatDescription = [this](const std::string& entry) {
        return FormatDescription(std::string(EntryAddress(entry)), SourceStream());
    };
}

Engine::~Engine() {
    SuspendStatus();
    FreeHandles();
    PlaylistLinks& links = p_.playlist.Links;
    links.PlayEntry = nullptr;
    links.StopPlayback = nullptr;
    links.TransitionInProgress = nullptr;
    links.OutputPaused = nullptr;
    links.FormatDescription = nullptr;
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
    std::error_code error;
    if (!std::filesystem::exists(entry, error)) {
        return kFileNotFound;
    }
    // A float probe tells unsupported rates and formats apart from the files we can play.
    const audio::Handle probe = audio::StreamCreateFile(false, entry.c_str(), 0, 0,
                                                        audio::kStreamDecode | audio::kSampleFloat);
    int result;
    if (probe != 0 && Length(probe) > 0) {
        audio::ChannelInfo info;
        audio::ChannelGetInfo(probe, &info);
        const audio::Handle out =
            audio::StreamCreate(info.Frequency, info.Channels, 0, FeedProc, this);
        result = out != 0 ? kPlayable : kDriverUnsupported;
        FreeStream(out);
    } else {
        const int code = audio::ErrorGetCode();
        switch (code) {
            case audio::kErrorFileOpen:
                result = kCannotOpen;
                break;
            case audio::kErrorFormat:
                result = kUnsupportedSampleFormat;
                break;
            case audio::kErrorNotAudio:
                result = kNotAudioFile;
                break;
            case audio::kErrorFrequency:
                result = kIllegalSampleRate;
                break;
            case audio::kErrorFileFormat:
                result = kUnsupportedFormat;
                break;
            default:
                result = kUnknownFormat;
                break;
        }
        if (!quiet) {
            p_.ui.dialogs.ShowNotice(NoticeKind::Information,
                                     "Error" + std::to_string(code) + " Function CheckFile");
        }
    }
    FreeStream(probe);
    return result;
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
    FreeStream(lookahead_.exchange(0));
}

void Engine::ResetFeedState() {
    tailRemaining_ = -1;
    bytesDelivered_ = 0;
    decoderFinished_ = false;
    transition_ = 0;
    trackBoundary_ = -1;
    const std::lock_guard lock(prepareLock_);
    prepared_.reset();
    switched_.reset();
}

void Engine::PlayEntry(int index, bool keepThreads, bool resume) {
    PlaylistState& pl = p_.playlist;
    if (!resume) {
        if (pl.PlaylistEntries.empty() || index < 0 ||
            index >= static_cast<int>(pl.PlaylistEntries.size())) {
            return;
        }
        const std::string entry = pl.PlaylistEntries[static_cast<std::size_t>(index)];
        const int code = CheckFile(entry);
        if (code != kPlayable) {
            ShowCheckWarning(code, entry);
            return;
        }
        if (EntryKind(entry) == kRadioKind) {
            SuspendStatus();
            p_.engine.PlayMode = 0;
            ApplyPlayMode();
            view_.SetRecordVisible(true);
            view_.SetTimeLabelLeft(146);
        } else {
            view_.SetRecordVisible(false);
            view_.SetTimeLabelLeft(view_.PlayBarVisible() ? 130 : 6);
        }
        FreeHandles();
        InitDevice();
        ResetFeedState();
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
    audio::ChannelInfo info;
    audio::ChannelGetInfo(source_, &info);
    output_ = audio::StreamCreate(info.Frequency, info.Channels, 0, FeedProc, this);
    SetVolume(p_.engine.Volume);
    CheckPlaySubmission();
    SubmitEntry = pl.PlayingEntry;
    NowPlayingPending = true;
    PlayedMs = 0;
    AfterOpen(keepThreads);
    SeekTo(0);
    SetVolume(p_.engine.Volume);
    audio::StreamPlay(output_, false, 0);
    TrimWorkingSet();
}

void Engine::OpenSources() {
    const int index = pendingIndex_;
    const PlaylistState& pl = p_.playlist;
    if (index < 0 || index >= static_cast<int>(pl.PlaylistEntries.size())) {
        source_ = 0;
        return;
    }
    const std::string entry = pl.PlaylistEntries[static_cast<std::size_t>(index)];
    audio::SetConfig(audio::kConfigBuffer, 3000);
    const int kind = EntryKind(entry);
    if (HasDecoder(kind)) {
        source_ = OpenDecoder(entry, kind);
        lookahead_ = OpenDecoder(entry, kind);
        sourceLength_ = Length(source_);
        sourceThreeSeconds_ = Bytes(source_, 3.0);
        sourceIsMp3_ = AudioFileType(entry) == 0;
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
    const std::string_view title = EntryTitle(entry);
    SetCaptionTitle(p_, FileNamePart(title), title);
    const std::int64_t lengthMs = BytesToMs(Length(source_));
    view_.SetProgressMax(static_cast<int>(lengthMs));
    view_.SetProgressPosition(0);
    fineTime_ = lengthMs <= 9999;
    refreshPeriod_ = fineTime_ ? 10 : 33;
    // Shown at once: a track opened paused gets no status tick until resumed.
    WriteTimeLabel(0, lengthMs);
    if (!keepThreads) {
        SuspendStatus();  // restarts with the new period
        ResumeStatus();
        if (WakeMeters) {
            WakeMeters();
        }
    } else if (statusTimer_ != 0) {
        SuspendStatus();
        ResumeStatus();
    }
    ShowPlayingEntry(p_);
}

void Engine::SeekTo(std::int64_t bytes) {
    if (EntryKind(p_.playlist.PlayingEntry) == kRadioKind) {
        return;
    }
    const std::uint32_t state = OutputState();
    if (decoderFinished_) {
        // The source is used up (or already the next track's): open this track again.
        StopPlayback(false);
        PlayEntry(p_.playlist.PlayingIndex);
    }
    const std::int64_t last = sourceLength_ - MsToBytes(1000);
    bytes = std::max<std::int64_t>(0, std::min(bytes, last));
    bytes -= bytes % 4;
    audio::ChannelStop(output_);
    audio::ChannelSetPosition(source_, static_cast<std::uint64_t>(bytes));
    audio::ChannelSetPosition(lookahead_, static_cast<std::uint64_t>(bytes));
    positionBase_ = -bytes;
    ResetFeedState();
    if (state == audio::kActivePlaying || state == audio::kActiveStalled) {
        SetVolume(p_.engine.Volume);
        audio::StreamPlay(output_, false, 0);
    } else if (state == audio::kActivePaused) {
        audio::StreamPlay(output_, false, 0);
        audio::ChannelPause(output_);
        WriteTimeLabel(BytesToMs(bytes), view_.ProgressMax());
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
    SuspendStatus();
    if (StopMeters) {
        StopMeters();
    }
    FreeHandles();
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
    CheckPlaySubmission();
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
    e.Volume = value;
    audio::ChannelSetAttributes(output_, -1, VolumeCurve(value), -101);
    view_.ShowVolume(value / 10);
    std::string panel(1, ' ');  // built piecewise: g++ 12 warns wrongly on " " + string
    panel += std::to_string(value / 10);
    panel += " %";
    p_.ui.view.SetStatusText(0, panel);
}

void Engine::CheckPlaySubmission() {
    const int length = view_.ProgressMax();
    if (length > 30000 && PlayedMs > length / 2) {
        PlayedMs = 0;
        if (scrobbler_ != nullptr) {
            scrobbler_->Submit(SubmitEntry, length / 1000, 0);
        }
    }
}

std::uint32_t Engine::OutputState() const {
    const audio::Handle out = output_;
    return out == 0 ? audio::kActiveStopped : audio::ChannelIsActive(out);
}

bool Engine::IsPaused() const {
    return OutputState() == audio::kActivePaused;
}

void Engine::Pause() {
    audio::ChannelPause(output_);
    p_.ui.view.SetStatusText(3, "Paused");
    SuspendStatus();
    if (StopMeters) {
        StopMeters();
    }
}

void Engine::Resume() {
    const std::string& entry = p_.playlist.PlayingEntry;
    p_.ui.view.SetStatusText(3, FormatDescription(std::string(EntryAddress(entry)), source_));
    audio::ChannelResume(output_);
    ResumeStatus();
    if (WakeMeters) {
        WakeMeters();
    }
}

void Engine::ResumeStatus() {
    if (statusTimer_ == 0) {
        statusTimer_ = p_.ui.loop.StartTimer(std::chrono::milliseconds(refreshPeriod_),
                                             [this] { StatusTick(); });
    }
}

void Engine::SuspendStatus() {
    if (statusTimer_ != 0) {
        p_.ui.loop.StopTimer(statusTimer_);
        statusTimer_ = 0;
    }
}

void Engine::WriteTimeLabel(std::int64_t pos, std::int64_t length) {
    const auto format = fineTime_ ? FormatMsHundredths : FormatMs;
    p_.ui.view.SetTimeLabel(format(pos) + " / " + format(length) + " / -" + format(length - pos));
}

void Engine::StatusTick() {
    const int kind = EntryKind(p_.playlist.PlayingEntry);
    if (kind == kKindAudio || kind == kKindModule || kind == kKindFlac) {
        if (!SeekPending) {
            const std::int64_t pos = BytesToMs(CurrentPositionBytes());
            const std::int64_t length = view_.ProgressMax();
            if (pos > length) {
                view_.SetProgressPosition(static_cast<int>(length));
            } else {
                if (pos != view_.ProgressPosition()) {
                    view_.SetProgressPosition(static_cast<int>(pos));
                }
                WriteTimeLabel(pos, length);
                PlayedMs += refreshPeriod_;
                if (pos >= 10001 && pos <= 10999 && NowPlayingPending) {
                    NowPlayingPending = false;
                    if (length > 30000 && scrobbler_ != nullptr) {
                        scrobbler_->Submit(SubmitEntry, static_cast<int>(length / 1000), 1);
                    }
                }
            }
        }
        PrepareNextTrack();
    }

    const int state = transition_;
    if (state == 1 || state == 3) {
        CheckPlaySubmission();  // the track that has just ended; the bar still shows it
    }
    // A switch completes once its boundary is heard, also when the feed has
    // since ended the new track (2 or 3 stored over the 1).
    if (state != 0 && SwitchPending()) {
        const std::uint64_t outPos = output_ != 0 ? audio::ChannelGetPosition(output_) : 0;
        if (outPos != audio::kPositionError &&
            static_cast<std::int64_t>(outPos) >= trackBoundary_) {
            FinishSeamlessSwitch();
        }
    }
    // Only the state read here is cleared: one the feed stores meanwhile waits
    // for the next tick.
    int seen = state;
    if (state == 1) {
        if (!SwitchPending()) {
            transition_.compare_exchange_strong(seen, 0);
        }
    } else if ((state == 2 || state == 3) && OutputState() == audio::kActiveStopped &&
               transition_.compare_exchange_strong(seen, 0)) {
        if (state == 2) {
            AdvanceAfterDrain();
        } else {
            StopPlayback(true);
        }
    }
}

bool Engine::SwitchPending() {
    const std::lock_guard lock(prepareLock_);
    return switched_.has_value();
}

void Engine::FinishSeamlessSwitch() {
    std::optional<Prepared> done;
    {
        const std::lock_guard lock(prepareLock_);
        done.swap(switched_);
    }
    PlaylistState& pl = p_.playlist;
    // Continue the display from the skipped lead-in, counted from the boundary itself.
    positionBase_ = trackBoundary_ - leadInSkipped_;
    if (done) {
        pl.PlayingEntry = done->entry;
        ApplyEffects(done->choice.effects);
    }
    // The list may have changed since the feed chose: find the entry again then.
    const int chosen = pendingIndex_;
    const bool stillThere = chosen >= 0 && chosen < static_cast<int>(pl.PlaylistEntries.size()) &&
                            pl.PlaylistEntries[static_cast<std::size_t>(chosen)] == pl.PlayingEntry;
    pl.PlayingIndex = stillThere ? chosen : FindEntry(pl, pl.PlayingEntry);
    const std::string_view title = EntryTitle(pl.PlayingEntry);
    SetCaptionTitle(p_, FileNamePart(title), title);
    ShowPlayingEntry(p_);
    if (p_.engine.PlayMode == 4) {
        PushShuffleBack(pl.PlayingEntry);
        pl.ShuffleHistory.push_back(pl.PlayingEntry);
    }
    const std::int64_t lengthMs = BytesToMs(sourceLength_);
    view_.SetProgressMax(static_cast<int>(lengthMs));
    view_.SetProgressPosition(0);
    p_.ui.view.RepaintList();
    TrimWorkingSet();
    decoderFinished_ = false;
    // Reports name what is heard: the new track starts its own play count here.
    SubmitEntry = pl.PlayingEntry;
    NowPlayingPending = true;
    PlayedMs = 0;
}

void Engine::AdvanceAfterDrain() {
    const int next = ChooseTrack(false);
    if (next == -1) {
        StopPlayback(true);
    } else {
        PlayEntry(next, true, false);
    }
}

bool Engine::PreparedIsCurrent(const Prepared& prepared) const {
    const PlaylistState& pl = p_.playlist;
    const int index = prepared.choice.index;
    return prepared.playMode == p_.engine.PlayMode && prepared.playingIndex == pl.PlayingIndex &&
           prepared.entryCount == pl.PlaylistEntries.size() && prepared.queue == pl.QueueList &&
           (index < 0 || pl.PlaylistEntries[static_cast<std::size_t>(index)] == prepared.entry);
}

void Engine::PrepareNextTrack() {
    const audio::Handle source = source_;
    if (source == 0 || transition_ != 0) {
        return;
    }
    const std::uint64_t decoded = audio::ChannelGetPosition(source);
    if (decoded == audio::kPositionError ||
        static_cast<std::int64_t>(decoded) + Bytes(source, 2.5) < sourceLength_) {
        return;
    }
    {
        const std::lock_guard lock(prepareLock_);
        if (switched_ || (prepared_ && PreparedIsCurrent(*prepared_))) {
            return;
        }
    }
    Prepared next;
    next.choice = PlanTrack(false);
    const PlaylistState& pl = p_.playlist;
    if (next.choice.index >= 0) {
        next.entry = pl.PlaylistEntries[static_cast<std::size_t>(next.choice.index)];
        next.kind = EntryKind(next.entry);
    }
    next.playMode = p_.engine.PlayMode;
    next.playingIndex = pl.PlayingIndex;
    next.entryCount = pl.PlaylistEntries.size();
    next.queue = pl.QueueList;
    const std::lock_guard lock(prepareLock_);
    prepared_ = std::move(next);
}

// ---- The feed, on the audio library's update thread ----

bool Engine::TailTrimDue() {
    const audio::Handle source = source_;
    if (!sourceIsMp3_ || sourceLength_ <= sourceThreeSeconds_) {
        return false;
    }
    const std::uint64_t pos = audio::ChannelGetPosition(source);
    return pos != audio::kPositionError &&
           static_cast<std::int64_t>(pos) >= sourceLength_ - Bytes(output_, 1.0);
}

std::int64_t Engine::TrimTail() {
    const audio::Handle source = source_;
    // The look-ahead decoder is moved to where the source stands only now: seeks
    // are sample-exact, and decoding every file twice would double the work.
    const std::uint64_t at = audio::ChannelGetPosition(source);
    if (at == audio::kPositionError || !audio::ChannelSetPosition(lookahead_, at)) {
        return -1;
    }
    const std::int64_t window = Bytes(source, 3.0);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(window / 2));
    const std::uint32_t got =
        ReadData(lookahead_, samples.data(), static_cast<std::uint32_t>(samples.size() * 2));
    const std::size_t count = got / 2;
    const std::size_t edge = static_cast<std::size_t>(Bytes(source, 0.2) / 2);
    const std::size_t start = count > edge ? count - edge : 0;
    const std::int64_t average = AverageLevel(samples.data() + start, count - start);
    const auto threshold = static_cast<std::int64_t>(std::nearbyint(average / 2.0));
    std::size_t last = start;
    for (std::size_t i = count; i-- > start;) {
        if (std::abs(static_cast<int>(samples[i])) > threshold) {
            last = i;
            break;
        }
    }
    const std::int64_t bytes = static_cast<std::int64_t>(last) * 2;
    return std::max<std::int64_t>(0, bytes - bytes % 4);
}

void Engine::SkipLeadIn() {
    const audio::Handle source = source_;
    leadInSkipped_ = 0;
    if (Length(source) <= Bytes(source, 0.2)) {
        return;
    }
    std::vector<std::int16_t> samples(static_cast<std::size_t>(Bytes(source, 0.2) / 2));
    const std::uint32_t got =
        ReadData(source, samples.data(), static_cast<std::uint32_t>(samples.size() * 2));
    const std::size_t count = got / 2;
    const std::int64_t threshold = AverageLevel(samples.data(), count) / 2;
    std::size_t first = count == 0 ? 0 : count - 1;
    for (std::size_t i = 0; i < count; ++i) {
        if (std::abs(static_cast<int>(samples[i])) > threshold) {
            first = i;
            break;
        }
    }
    std::int64_t skip = static_cast<std::int64_t>(first) * 2;
    skip = std::max<std::int64_t>(0, skip - skip % 4);
    audio::ChannelSetPosition(source, static_cast<std::uint64_t>(skip));
    audio::ChannelSetPosition(lookahead_, static_cast<std::uint64_t>(skip));
    leadInSkipped_ = skip;
}

bool Engine::SameOutputFormat() {
    audio::ChannelInfo source;
    audio::ChannelInfo output;
    if (!audio::ChannelGetInfo(source_, &source) || !audio::ChannelGetInfo(output_, &output)) {
        return false;
    }
    return source.Frequency == output.Frequency && source.Channels == output.Channels &&
           (source.Flags & audio::kSample8Bits) == (output.Flags & audio::kSample8Bits);
}

std::uint32_t Engine::StreamFeed(void* buffer, std::uint32_t length) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t result = 0;
    bool finished = true;
    const audio::Handle source = source_;
    if (source != 0 && audio::ChannelIsActive(source) != audio::kActiveStopped) {
        finished = false;
        if (tailRemaining_ == -1 && TailTrimDue()) {
            tailRemaining_ = TrimTail();
        }
        if (tailRemaining_ == -1) {
            const std::uint32_t got = audio::ChannelGetData(source, out, length);
            if (got == audio::kDataError) {
                transition_ = 3;
                return audio::kFeedEnd;
            }
            result = got;
            finished = audio::ChannelIsActive(source) == audio::kActiveStopped;
        } else {
            const auto n = static_cast<std::uint32_t>(
                std::min<std::int64_t>(length, std::max<std::int64_t>(0, tailRemaining_)));
            result = ReadData(source, out, n);
            tailRemaining_ -= result;
            // The trimmed end is reached: whatever the source still holds is dropped.
            finished = tailRemaining_ <= 0;
        }
    }
    if (!finished) {
        bytesDelivered_ += result;
        return result;
    }

    // The source is used up; `result` bytes of its end are already in the buffer.
    decoderFinished_ = true;
    const std::uint32_t kept = result;
    bytesDelivered_ += kept;
    if (sourceLength_ <= sourceThreeSeconds_) {
        transition_ = 2;
        return kept | audio::kFeedEnd;
    }
    FreeStream(source_.exchange(0));
    FreeStream(lookahead_.exchange(0));

    std::optional<Prepared> next;
    {
        const std::lock_guard lock(prepareLock_);
        next.swap(prepared_);
    }
    if (!next) {
        // The UI thread has not chosen yet: it opens the next track after the drain.
        transition_ = 2;
        return kept | audio::kFeedEnd;
    }
    if (next->choice.index < 0) {
        transition_ = 3;
        return kept | audio::kFeedEnd;
    }
    if (!HasDecoder(next->kind)) {
        transition_ = 2;
        return kept | audio::kFeedEnd;
    }
    source_ = OpenDecoder(next->entry, next->kind);
    lookahead_ = OpenDecoder(next->entry, next->kind);
    pendingIndex_ = next->choice.index;
    sourceLength_ = Length(source_);
    sourceThreeSeconds_ = Bytes(source_, 3.0);
    sourceIsMp3_ = AudioFileType(next->entry) == 0;
    if (source_ == 0 || !SameOutputFormat() || sourceLength_ <= sourceThreeSeconds_) {
        transition_ = 2;
        return kept | audio::kFeedEnd;
    }
    SkipLeadIn();
    const std::uint32_t fresh = ReadData(source_, out + kept, length - kept);
    if (audio::ChannelIsActive(source_) == audio::kActiveStopped) {
        FreeStream(source_.exchange(0));
    }
    tailRemaining_ = -1;
    // Set only for a real switch: a pending one still needs its boundary.
    trackBoundary_ = bytesDelivered_.load();
    bytesDelivered_ += fresh;
    {
        const std::lock_guard lock(prepareLock_);
        switched_ = std::move(next);
    }
    transition_ = 1;
    return kept + fresh;
}

// ---- Track choice ----

namespace {

// The queue and histories as a choice sees them, changed only in this copy;
// the changes are recorded as effects.
struct ChoiceState {
    const PlaylistState& pl;
    std::vector<std::string> queue;
    std::array<std::string, 11> queueBack;
    std::array<std::string, 11> shuffleBack;
    bool shuffleCleared = false;
    std::vector<ChoiceEffect> effects;
    std::optional<std::vector<int>> open;  // shuffle's undrawn entries, made on first use
};

bool InPlaylist(const PlaylistState& pl, const std::string& entry) {
    return std::find(pl.PlaylistEntries.begin(), pl.PlaylistEntries.end(), entry) !=
           pl.PlaylistEntries.end();
}

std::string PopBack(std::array<std::string, 11>& slots, const PlaylistState& pl) {
    if (slots[1].empty() || !InPlaylist(pl, slots[1])) {
        return {};
    }
    std::string entry = slots[1];
    std::move(slots.begin() + 1, slots.end(), slots.begin());
    slots[10].clear();
    return entry;
}

// Slot 0 is the entry playing now; all eleven slots are used, so Previous can
// go ten steps back.
void PushBack(std::array<std::string, 11>& slots, const std::string& entry) {
    if (std::find(slots.begin(), slots.end(), entry) != slots.end()) {
        return;
    }
    std::move_backward(slots.begin(), slots.end() - 1, slots.end());
    slots[0] = entry;
}

// Indices of the first occurrence of every entry string not yet played.
std::vector<int> UnplayedEntries(const ChoiceState& s) {
    const auto& entries = s.pl.PlaylistEntries;
    std::unordered_set<std::string_view> skip;
    skip.reserve(entries.size() + s.pl.ShuffleHistory.size());
    if (!s.shuffleCleared) {
        skip.insert(s.pl.ShuffleHistory.begin(), s.pl.ShuffleHistory.end());
    }
    std::vector<int> open;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (skip.insert(entries[i]).second) {
            open.push_back(static_cast<int>(i));
        }
    }
    return open;
}

// Draws from `s.open`, built once per choice: an entry drawn leaves it, so
// attempts that fail cost no pass over the list.
int PickShuffle(ChoiceState& s, std::mt19937& random) {
    const auto& entries = s.pl.PlaylistEntries;
    if (!s.open) {
        s.open = UnplayedEntries(s);
    }
    random.seed(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::vector<int>& open = *s.open;
    if (open.empty()) {
        s.shuffleCleared = true;
        s.effects.push_back({ChoiceEffect::ClearShuffleHistory, {}});
        if (entries.empty()) {
            return -1;
        }
        const auto pick = static_cast<int>(random() % entries.size());
        s.open = UnplayedEntries(s);
        // The pick counts as drawn: its first occurrence leaves the new pass.
        const auto first =
            std::find(entries.begin(), entries.end(), entries[static_cast<std::size_t>(pick)]);
        std::erase(*s.open, static_cast<int>(first - entries.begin()));
        return pick;
    }
    const std::size_t at = random() % open.size();
    const int pick = open[at];
    open[at] = open.back();
    open.pop_back();
    return pick;
}

}  // namespace

TrackChoice Engine::PlanTrack(bool previous) {
    const PlaylistState& pl = p_.playlist;
    const int count = static_cast<int>(pl.PlaylistEntries.size());
    if (count == 0) {
        return {};
    }
    ChoiceState s{pl, pl.QueueList, QueueBackHistory, ShuffleBackHistory, false, {}, {}};
    const auto firstIndex = [&](const std::string& entry) {
        const auto it = std::find(pl.PlaylistEntries.begin(), pl.PlaylistEntries.end(), entry);
        return it == pl.PlaylistEntries.end() ? -1
                                              : static_cast<int>(it - pl.PlaylistEntries.begin());
    };
    const auto passes = [&](int index) {
        const std::string& entry = pl.PlaylistEntries[static_cast<std::size_t>(index)];
        return EntryKind(entry) != kRadioKind && CheckFile(entry, true) == kPlayable;
    };

    int b = pl.PlayingIndex;
    int candidate = -1;
    std::size_t skippedQueued = 0;  // queued entries before the candidate that cannot play
    if (previous) {
        const std::string t = PopBack(s.queueBack, pl);
        if (!t.empty()) {
            s.effects.push_back({ChoiceEffect::PopQueueBack, {}});
            const int i = firstIndex(t);
            if (i >= 0 && passes(i)) {
                candidate = i;
            }
        }
    } else {
        for (const std::string& queued : s.queue) {
            const int i = firstIndex(queued);
            if (i >= 0 && passes(i)) {
                candidate = i;
                break;
            }
            ++skippedQueued;
        }
    }

    const int mode = p_.engine.PlayMode;
    for (int pass = 0; pass < 2; ++pass) {
        for (int attempt = 0; attempt < count; ++attempt) {
            if (candidate >= 0) {
                if (!previous) {
                    // The queued entries that cannot play leave the queue with the
                    // one that plays; the rest keep their turn. A candidate is taken
                    // once, so nothing further is dropped from the queue.
                    for (std::size_t i = 0; i <= skippedQueued && i < s.queue.size(); ++i) {
                        s.effects.push_back({ChoiceEffect::RemoveQueued, s.queue[i]});
                    }
                    const std::string& entry =
                        pl.PlaylistEntries[static_cast<std::size_t>(candidate)];
                    s.effects.push_back({ChoiceEffect::PushQueueBack, entry});
                    PushBack(s.queueBack, entry);
                }
                b = candidate;
                candidate = -1;
            } else {
                switch (mode) {
                    case 0:
                        b = previous ? (b - 1 < 0 ? count - 1 : b - 1)
                                     : (b + 1 >= count ? 0 : b + 1);
                        break;
                    case 1:
                        break;
                    case 2:
                        b = previous ? b - 1 : b + 1;
                        if (b < 0 || b >= count) {
                            return {};
                        }
                        break;
                    case 3:
                        return {};
                    default:
                        if (previous) {
                            const std::string t = PopBack(s.shuffleBack, pl);
                            if (!t.empty()) {
                                s.effects.push_back({ChoiceEffect::PopShuffleBack, {}});
                            }
                            const int i = t.empty() ? -1 : firstIndex(t);
                            if (i >= 0) {
                                b = i;
                            }
                        } else {
                            b = PickShuffle(s, random_);
                        }
                        break;
                }
            }
            if (b < 0 || b >= count) {
                return {};
            }
            const std::string& entry = pl.PlaylistEntries[static_cast<std::size_t>(b)];
            if (EntryKind(entry) != kRadioKind) {
                if (CheckFile(entry, true) == kPlayable) {
                    return {b, std::move(s.effects)};
                }
                if (mode == 4) {
                    s.effects.push_back({ChoiceEffect::AppendShuffleHistory, entry});
                }
            }
        }
        if (mode != 4) {
            break;
        }
        s.shuffleCleared = true;
        s.open.reset();
        s.effects.push_back({ChoiceEffect::ClearShuffleHistory, {}});
    }
    return {};
}

void Engine::ApplyEffects(const std::vector<ChoiceEffect>& effects) {
    PlaylistState& pl = p_.playlist;
    for (const ChoiceEffect& e : effects) {
        switch (e.kind) {
            case ChoiceEffect::RemoveQueued: {
                const auto it = std::find(pl.QueueList.begin(), pl.QueueList.end(), e.entry);
                if (it != pl.QueueList.end()) {
                    pl.QueueList.erase(it);
                }
                break;
            }
            case ChoiceEffect::PushQueueBack:
                PushQueueBack(e.entry);
                break;
            case ChoiceEffect::PopQueueBack:
                PopQueueBack();
                break;
            case ChoiceEffect::PushShuffleBack:
                PushShuffleBack(e.entry);
                break;
            case ChoiceEffect::PopShuffleBack:
                PopShuffleBack();
                break;
            case ChoiceEffect::AppendShuffleHistory:
                pl.ShuffleHistory.push_back(e.entry);
                break;
            case ChoiceEffect::ClearShuffleHistory:
                pl.ShuffleHistory.clear();
                break;
        }
    }
}

int Engine::ChooseTrack(bool previous) {
    TrackChoice choice = PlanTrack(previous);
    ApplyEffects(choice.effects);
    return choice.index;
}

void Engine::PushShuffleBack(const std::string& entry) {
    PushBack(ShuffleBackHistory, entry);
}
void Engine::PushQueueBack(const std::string& entry) {
    PushBack(QueueBackHistory, entry);
}
std::string Engine::PopShuffleBack() {
    return PopBack(ShuffleBackHistory, p_.playlist);
}
std::string Engine::PopQueueBack() {
    return PopBack(QueueBackHistory, p_.playlist);
}

void Engine::ApplyPlayMode() {
    static constexpr const char* kModeTexts[] = {"", "Repeat file", "Play list", "Play file     ",
                                                 "Shuffle"};
    const int mode = std::clamp(p_.engine.PlayMode, 0, 4);
    p_.ui.view.SetStatusText(2, kModeTexts[mode]);
    PlaylistState& pl = p_.playlist;
    if (!pl.QueueList.empty() || !pl.ShuffleHistory.empty()) {
        pl.QueueList.clear();
        pl.ShuffleHistory.clear();
        RefreshListView(p_, true, true);
    }
}

}  // namespace mirvo
