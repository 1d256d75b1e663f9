// The opener thread's work: the decoders of the track the UI thread prepared,
// and the look-ahead of a track the UI thread opened. The feed only takes what
// is ready here, so a slow disk never holds up the update thread.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "playback/Engine.h"
#include "playback/EngineDetail.h"
#include "playback/Format.h"
#include "playlist/Entries.h"
#include "scrobble/Scrobbling.h"

namespace mirvo {

using namespace engine_detail;

namespace {

// The seamless switch enters a track after its near-silent start: the source
// is moved there; returns the bytes skipped.
std::int64_t SkipLeadIn(audio::Handle source) {
    if (Length(source) <= Bytes(source, 0.2)) {
        return 0;
    }
    std::vector<std::int16_t> samples(static_cast<std::size_t>(Bytes(source, 0.2) / 2));
    const std::uint32_t got = audio::ChannelGetData(source, samples.data(),
                                                    static_cast<std::uint32_t>(samples.size() * 2));
    const std::size_t count = got == audio::kDataError ? 0 : got / 2;
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
    return skip;
}

// The look-ahead is needed only for the tail trim (Feed.cpp), which moves it
// to where the source stands a second before the end. Parked 3 s before the
// end, its buffer holds that part already: the feed's seek reads nothing.
void Park(audio::Handle lookahead) {
    const std::int64_t at = Length(lookahead) - Bytes(lookahead, 3.0);
    audio::ChannelSetPosition(lookahead, static_cast<std::uint64_t>(std::max<std::int64_t>(at, 0)));
}

}  // namespace

void Engine::OpenPrepared(std::uint64_t id, const ChoiceInput& in) {
    std::mt19937 random;
    // A newer choice or a reset makes the rest of the walk moot.
    TrackChoice choice = Plan(in.View(), false, random, [&](const std::string& candidate) {
        return id == latestPrepared_ && CheckCandidate(candidate) == kPlayable;
    });
    std::string entry;
    int kind = -1;
    audio::Handle source = 0;
    audio::Handle lookahead = 0;
    std::int64_t length = 0;
    std::int64_t threeSeconds = 0;
    std::int64_t leadIn = 0;
    std::vector<std::int16_t> tail;
    std::string description;
    TrackTags tags;
    if (choice.index >= 0) {
        entry = in.entries[static_cast<std::size_t>(choice.index)];
        kind = EntryKind(entry);
    }
    if (choice.index >= 0 && HasDecoder(kind) && id == latestPrepared_) {
        source = OpenDecoder(entry, kind);
        // Scanned whole: the tail trim seeks it near the end on the update thread.
        lookahead = OpenDecoder(entry, kind, audio::kStreamPrescan);
        length = Length(source);
        threeSeconds = Bytes(source, 3.0);
        leadIn = length > threeSeconds ? SkipLeadIn(source) : 0;
        Park(lookahead);
        tail.resize(static_cast<std::size_t>(threeSeconds / 2));
        if (source != 0) {
            description = FormatDescription(std::string(EntryAddress(entry)), source);
        }
        tags = GatherTrack(entry, 0);
    }
    const bool isMp3 = AudioFileType(entry) == 0;
    {
        const std::lock_guard lock(prepareLock_);
        if (prepared_ && prepared_->id == id) {
            prepared_->choice = std::move(choice);
            prepared_->entry = std::move(entry);
            prepared_->kind = kind;
            prepared_->source = source;
            prepared_->lookahead = lookahead;
            prepared_->length = length;
            prepared_->threeSeconds = threeSeconds;
            prepared_->leadIn = leadIn;
            prepared_->isMp3 = isMp3;
            prepared_->tail.swap(tail);
            prepared_->description = std::move(description);
            prepared_->tags = std::move(tags);
            prepared_->opened = true;
            return;
        }
    }
    // The choice went stale while they opened.
    FreeStream(source);
    FreeStream(lookahead);
}

void Engine::OpenLookahead(std::uint64_t track, const std::string& entry, int kind) {
    const audio::Handle lookahead = OpenDecoder(entry, kind, audio::kStreamPrescan);
    Park(lookahead);
    {
        const std::lock_guard lock(prepareLock_);
        if (trackId_ == track && lookahead_ == 0) {
            lookahead_ = lookahead;
            return;
        }
    }
    FreeStream(lookahead);
}

void Engine::FreePrepared(std::optional<Prepared>& prepared) {
    if (prepared) {
        FreeStream(prepared->source);
        FreeStream(prepared->lookahead);
        prepared.reset();
    }
}

void Engine::Retire(audio::Handle handle) {
    if (handle == 0) {
        return;
    }
    for (auto& slot : retired_) {
        audio::Handle empty = 0;
        if (slot.compare_exchange_strong(empty, handle)) {
            return;
        }
    }
    FreeStream(handle);  // never expected: the UI thread empties the slots every tick
}

void Engine::FreeRetired() {
    for (auto& slot : retired_) {
        FreeStream(slot.exchange(0));
    }
}

}  // namespace mirvo
