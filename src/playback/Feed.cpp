// The feed: the only engine code on the audio library's update thread. It
// never touches the playlist; it takes the next track the UI thread prepared.
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "playback/Engine.h"
#include "playback/EngineDetail.h"

namespace mirvo {

using namespace engine_detail;

namespace {

std::uint32_t ReadData(audio::Handle handle, void* buffer, std::uint32_t length) {
    if (length == 0) {
        return 0;
    }
    const std::uint32_t got = audio::ChannelGetData(handle, buffer, length);
    return got == audio::kDataError ? 0 : got;
}

}  // namespace

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
    // are sample-exact, and decoding every file twice would double the work. It
    // waits parked just before, so the move reads what it has read already.
    const std::uint64_t at = audio::ChannelGetPosition(source);
    if (at == audio::kPositionError || !audio::ChannelSetPosition(lookahead_, at)) {
        return -1;
    }
    std::vector<std::int16_t>& samples = tailSamples_;
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
    if (sourceIsStation_) {
        return StationFeed(buffer, length);
    }
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
                sourceUnplayable_ = audio::ErrorGetCode() == audio::kErrorFileFormat;
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
    Retire(source_.exchange(0));

    std::optional<Prepared> next;
    {
        const std::lock_guard lock(prepareLock_);
        Retire(lookahead_.exchange(0));
        ++trackId_;  // a look-ahead still opening for the old track is dropped
        // A choice or decoders still on the opener are not waited for: the drain
        // path opens the next track.
        if (prepared_ && prepared_->opened) {
            next.swap(prepared_);
        }
    }
    if (!next) {
        // The UI thread has not chosen yet, or the opener is not done: the next
        // track opens after the drain.
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
    // Handles the drain path leaves here are freed when the UI thread opens the next track.
    source_ = std::exchange(next->source, 0);
    lookahead_ = std::exchange(next->lookahead, 0);
    pendingIndex_ = next->choice.index;
    sourceLength_ = next->length;
    sourceThreeSeconds_ = next->threeSeconds;
    sourceIsMp3_ = next->isMp3;
    tailSamples_.swap(next->tail);  // the old buffer goes with `next`, freed on the UI thread
    if (source_ == 0 || !SameOutputFormat() || sourceLength_ <= sourceThreeSeconds_) {
        transition_ = 2;
        return kept | audio::kFeedEnd;
    }
    leadInSkipped_ = next->leadIn;
    const std::uint32_t fresh = ReadData(source_, out + kept, length - kept);
    if (audio::ChannelIsActive(source_) == audio::kActiveStopped) {
        Retire(source_.exchange(0));
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

}  // namespace mirvo
