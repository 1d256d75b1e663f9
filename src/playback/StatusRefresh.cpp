// The status refresh on the UI thread: position and time label, the next
// track prepared for the feed, and the switch completed once it is heard.
#include <algorithm>

#include "playback/Engine.h"
#include "playback/EngineDetail.h"
#include "playback/TimeText.h"
#include "playlist/Model.h"

namespace mirvo {

using namespace engine_detail;

namespace {

// The next track is chosen this long before the source is decoded to its end:
// the opener needs the time on a slow disk (a look-ahead is scanned whole).
constexpr double kPrepareSeconds = 10.0;

// A track of whole seconds moves its label once a second and its bar a pixel
// in several hundred ms: ten ticks a second show that. While its end is
// handled (the switch to be heard, the drain to be done) a tick comes every
// frame, as one with hundredths always does.
constexpr int kCoarsePeriod = 100;
constexpr int kEndPeriod = 33;
constexpr int kFinePeriod = 10;

}  // namespace

void Engine::ResumeStatus() {
    StartStatusTimer(refreshPeriod_);
}

void Engine::StartStatusTimer(int interval) {
    if (statusTimer_ == 0) {
        statusTimer_ =
            p_.ui.loop.StartTimer(std::chrono::milliseconds(interval), [this] { StatusTick(); });
        timerInterval_ = interval;
    }
}

void Engine::SuspendStatus() {
    if (statusTimer_ != 0) {
        p_.ui.loop.StopTimer(statusTimer_);
        statusTimer_ = 0;
    }
}

int Engine::WantedPeriod() const {
    if (fineTime_) {
        return kFinePeriod;
    }
    return transition_ != 0 ? kEndPeriod : kCoarsePeriod;
}

void Engine::FollowPeriod(std::int64_t pos) {
    refreshPeriod_ = WantedPeriod();
    int interval = refreshPeriod_;
    // A label of whole seconds moves when the sound passes the second, not up
    // to a tick later: the tick before it waits for the second instead.
    if (!fineTime_ && pos >= 0 && OutputState() == audio::kActivePlaying) {
        interval = std::min(interval, static_cast<int>(1000 - pos % 1000));
    }
    if (interval != timerInterval_ && statusTimer_ != 0) {
        SuspendStatus();
        StartStatusTimer(interval);
    }
}

void Engine::WriteTimeLabel(std::int64_t pos, std::int64_t length) {
    p_.ui.view.SetTimeLabel(TimeLabelText(pos, length, fineTime_));
}

void Engine::StatusTick() {
    FreeRetired();
    recorder_.ReportWriterFailure();
    if (pendingStart_ || pendingSeek_) {
        return;  // what ends or follows now is the start's to decide once it lands
    }
    const int kind = EntryKind(p_.playlist.PlayingEntry);
    const bool track = kind == kKindAudio || kind == kKindModule || kind == kKindFlac;
    std::int64_t pos = -1;
    if (track) {
        if (!SeekPending) {
            pos = BytesToMs(CurrentPositionBytes());
            const std::int64_t length = view_.ProgressMax();
            if (pos > length) {
                view_.SetProgressPosition(static_cast<int>(length));
            } else {
                if (pos != view_.ProgressPosition()) {
                    view_.SetProgressPosition(static_cast<int>(pos));
                }
                WriteTimeLabel(pos, length);
                p_.events.PositionAdvanced(pos, length, refreshPeriod_);
            }
        }
        PrepareNextTrack();
    } else if (kind == kRadioKind && !StationStatusTick()) {
        return;
    }
    if (track) {
        FollowPeriod(pos);
    }

    const int state = transition_;
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
            const bool unplayable = sourceUnplayable_;
            const std::string entry = p_.playlist.PlayingEntry;
            StopPlayback(true);
            if (unplayable) {
                ShowCheckWarning(kUnsupportedFormat, entry);
            }
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
        describedAddress_ = EntryAddress(done->entry);
        description_ = std::move(done->description);
        sourceTags_ = std::move(done->tags);
        ApplyEffects(done->choice.effects);
    }
    // The list may have changed since the feed chose: find the entry again then.
    const int chosen = pendingIndex_;
    const bool stillThere = chosen >= 0 && chosen < static_cast<int>(pl.PlaylistEntries.size()) &&
                            pl.PlaylistEntries[static_cast<std::size_t>(chosen)] == pl.PlayingEntry;
    pl.PlayingIndex = stillThere ? chosen : FindEntry(pl, pl.PlayingEntry);
    ShowPlayingEntry(p_);
    if (p_.engine.PlayMode == 4) {
        PushShuffleBack(pl.PlayingEntry);
        pl.ShuffleHistory.push_back(pl.PlayingEntry);
    }
    const std::int64_t lengthMs = BytesToMs(sourceLength_);
    view_.SetProgressMax(static_cast<int>(lengthMs));
    view_.SetProgressPosition(0);
    p_.ui.view.RepaintList();
    decoderFinished_ = false;
    // Told last: a listener may take long enough for the feed to move on.
    p_.events.TrackAudible({pl.PlayingEntry, lengthMs, EntryKind(pl.PlayingEntry), sourceTags_});
}

void Engine::AdvanceAfterDrain() {
    StartChoice(false, true, true);
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
        static_cast<std::int64_t>(decoded) + Bytes(source, kPrepareSeconds) < sourceLength_) {
        return;
    }
    std::optional<Prepared> stale;
    {
        const std::lock_guard lock(prepareLock_);
        if (switched_ || (prepared_ && PreparedIsCurrent(*prepared_))) {
            return;
        }
        stale.swap(prepared_);
    }
    FreePrepared(stale);
    // Chosen on the opener: the candidates' checks may each wait for the disk.
    Prepared next;
    const PlaylistState& pl = p_.playlist;
    next.playMode = p_.engine.PlayMode;
    next.playingIndex = pl.PlayingIndex;
    next.entryCount = pl.PlaylistEntries.size();
    next.queue = pl.QueueList;
    next.id = ++preparedId_;
    latestPrepared_ = next.id;
    {
        const std::lock_guard lock(prepareLock_);
        prepared_ = std::move(next);
    }
    auto in = std::make_shared<const ChoiceInput>(*this);
    opener_.Post([this, id = preparedId_, in = std::move(in)] { OpenPrepared(id, *in); });
}

}  // namespace mirvo
