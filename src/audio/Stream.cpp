#include "audio/Stream.h"

#include <algorithm>
#include <cstring>

namespace audio::detail {

FileDecoding::FileDecoding(std::unique_ptr<Source> source, std::unique_ptr<Decoder> decoder,
                           SampleType type)
    : source_(std::move(source)),
      decoder_(std::move(decoder)),
      type_(type),
      frameBytes_(decoder_->Channels() * static_cast<std::uint32_t>(SampleBytes(type))),
      length_(decoder_->Frames()) {}

std::uint32_t FileDecoding::Read(void* out, std::uint32_t bytes) {
    std::lock_guard lock(mutex_);
    if (ended_ || failed_) {
        return 0;
    }
    const std::uint64_t at = position_.load();
    const std::uint64_t frames = std::min<std::uint64_t>(bytes / frameBytes_, length_ - at);
    std::size_t got = 0;
    if (type_ == SampleType::U8) {
        scratch_.resize(static_cast<std::size_t>(frames) * decoder_->Channels());
        got = decoder_->Read(scratch_.data(), static_cast<std::size_t>(frames));
        auto* dst = static_cast<std::uint8_t*>(out);
        for (std::size_t i = 0; i < got * decoder_->Channels(); ++i) {
            dst[i] = static_cast<std::uint8_t>((scratch_[i] >> 8) + 128);
        }
    } else {
        got = decoder_->Read(out, static_cast<std::size_t>(frames));
    }
    position_ = at + got;
    // A decoder that runs dry before the length it reported has ended too,
    // unless the data changed its format: the next read tells that.
    const bool failed = got < frames && decoder_->FormatChanged();
    failed_ = failed;
    ended_ = !failed && (at + got >= length_ || got < frames);
    return static_cast<std::uint32_t>(got * frameBytes_);
}

bool FileDecoding::Seek(std::uint64_t frame) {
    std::lock_guard lock(mutex_);
    // The end needs no decoder seek (and FLAC cannot make one); the next seek
    // back positions the decoder.
    if (frame > length_ || (frame < length_ && !decoder_->Seek(frame))) {
        return false;
    }
    position_ = frame;
    ended_ = frame >= length_;
    failed_ = false;
    return true;
}

bool FileDecoding::Ended() {
    return ended_;
}

bool FileDecoding::Failed() {
    return failed_;
}

std::uint64_t FileDecoding::PositionFrames() {
    return position_;
}

std::uint64_t FileDecoding::SourcePosition() {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint64_t>(std::max<std::int64_t>(source_->Tell(), 0));
}

std::uint64_t FileDecoding::SourceSize() {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint64_t>(std::max<std::int64_t>(source_->Size(), 0));
}

void Ramp::Set(float v) {
    value = from = to = v;
    total = done = 0;
}

void Ramp::Slide(float target, std::uint64_t frames) {
    if (frames == 0) {
        Set(target);
        return;
    }
    from = value;
    to = target;
    total = frames;
    done = 0;
}

float Ramp::At(std::uint64_t offset) const {
    if (total == 0) {
        return value;
    }
    const std::uint64_t at = done + offset;
    if (at >= total) {
        return to;
    }
    return from + (to - from) * static_cast<float>(static_cast<double>(at) / total);
}

void Ramp::Advance(std::uint64_t frames) {
    if (total == 0) {
        return;
    }
    done += frames;
    if (done >= total) {
        Set(to);
    } else {
        value = At(0);
    }
}

Playback::Playback(const Format& f, std::uint32_t bufferMs) : format(f), playRate(f.rate) {
    const std::uint64_t frameBytes = format.FrameBytes();
    const std::uint64_t perSecond = std::uint64_t{format.rate} * frameBytes;
    bufferBytes = std::max<std::uint64_t>(perSecond * bufferMs / 1000 / frameBytes, 1) * frameBytes;
    // Played data stays readable for ChannelGetData for half a second.
    historyBytes = std::max<std::uint64_t>(perSecond / 2 / frameBytes, 1) * frameBytes;
    ring.resize(static_cast<std::size_t>(bufferBytes + historyBytes));
}

Playback::~Playback() {
    if (converter != nullptr) {
        SDL_FreeAudioStream(converter);
    }
}

void Playback::Reset() {
    written = read = played = outFrames = 0;
    renderRead = reported = 0;
    ended = starved = flushed = false;
    ++generation;
    if (converter != nullptr) {
        SDL_AudioStreamClear(converter);
    }
}

void Playback::Write(const unsigned char* data, std::uint64_t bytes) {
    const std::uint64_t size = ring.size();
    while (bytes > 0) {
        const std::uint64_t at = written % size;
        const std::uint64_t n = std::min(bytes, size - at);
        std::memcpy(ring.data() + at, data, static_cast<std::size_t>(n));
        data += n;
        bytes -= n;
        written += n;
    }
}

void Playback::Copy(std::uint64_t from, unsigned char* out, std::uint64_t bytes) const {
    const std::uint64_t size = ring.size();
    while (bytes > 0) {
        const std::uint64_t at = from % size;
        const std::uint64_t n = std::min(bytes, size - at);
        std::memcpy(out, ring.data() + at, static_cast<std::size_t>(n));
        out += n;
        bytes -= n;
        from += n;
    }
}

}  // namespace audio::detail
