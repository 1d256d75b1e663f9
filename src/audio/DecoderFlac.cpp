// FLAC (native and in Ogg) through libFLAC, any bit depth brought to 16-bit or float.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {
namespace {

constexpr unsigned kMostChannels = 8;
// How much of the end is searched for the last frame or page: more than the
// largest frame of ordinary files.
constexpr std::int64_t kTailBytes = 256 * 1024;
using MixMatrix = std::array<std::array<float, kMostChannels>, kMostChannels>;

// How much of each of `from` channels goes into each of `to`, for a stream
// whose channel count changes mid-way: through stereo, the centre and the
// surrounds at -3 dB and the LFE left out, scaled so that nothing clips.
MixMatrix ChannelMix(unsigned from, unsigned to) {
    // The channels of each count in FLAC's order: L R, C centre, l r
    // surrounds, B back centre, E low frequencies.
    static constexpr std::array<std::string_view, kMostChannels + 1> kRoles = {
        "", "C", "LR", "LRC", "LRlr", "LRClr", "LRCElr", "LRCEBlr", "LRCElrlr"};
    std::array<float, kMostChannels> left{};
    std::array<float, kMostChannels> right{};
    float sum = 0;
    for (unsigned c = 0; c < from; ++c) {
        const char role = kRoles[from][c];
        left[c] = role == 'L' || from == 1     ? 1.0f
                  : role == 'C' || role == 'l' ? 0.7071f
                  : role == 'B'                ? 0.5f
                                               : 0.0f;
        right[c] = role == 'R' || from == 1     ? 1.0f
                   : role == 'C' || role == 'r' ? 0.7071f
                   : role == 'B'                ? 0.5f
                                                : 0.0f;
        sum += left[c];
    }
    MixMatrix mix{};
    for (unsigned c = 0; c < from; ++c) {
        left[c] /= sum;
        right[c] /= sum;
        if (to == 1) {
            mix[0][c] = (left[c] + right[c]) / 2;
        } else {
            mix[0][c] = left[c];
            mix[1][c] = right[c];
        }
    }
    return mix;
}

class FlacDecoder final : public Decoder {
  public:
    FlacDecoder(Source& source, SampleType type)
        : source_(source), float_(type == SampleType::F32), decoder_(FLAC__stream_decoder_new()) {}
    ~FlacDecoder() override {
        if (decoder_ != nullptr) {
            FLAC__stream_decoder_delete(decoder_);
        }
    }

    // `stream`: read forward only, of no known length.
    int Init(bool ogg, bool stream) {
        if (decoder_ == nullptr) {
            return kErrorMemory;
        }
        FLAC__stream_decoder_set_md5_checking(decoder_, false);
        const auto status =
            ogg ? FLAC__stream_decoder_init_ogg_stream(decoder_, ReadCb, SeekCb, TellCb, LengthCb,
                                                       EofCb, WriteCb, MetadataCb, ErrorCb, this)
                : FLAC__stream_decoder_init_stream(decoder_, ReadCb, SeekCb, TellCb, LengthCb,
                                                   EofCb, WriteCb, MetadataCb, ErrorCb, this);
        if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
            return kErrorFileFormat;
        }
        if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder_)) {
            return kErrorFileFormat;
        }
        // The first frame tells the format the stream starts with: a stream
        // received from its middle has no STREAMINFO, a damaged one may
        // disagree with its frames. Its samples wait for the first read.
        if (!FLAC__stream_decoder_process_single(decoder_) || channels_ == 0) {
            return kErrorFileFormat;
        }
        if (!RateSupported(rate_)) {
            return kErrorFrequency;
        }
        if (!ChannelsSupported(channels_)) {
            return kErrorFormat;
        }
        type_ = ogg ? kTypeFlacOgg : kTypeFlac;
        if (frames_ == 0 && !stream) {
            frames_ = ogg ? LastGranule() : LastFrameEnd();
        }
        if (frames_ == 0 && !stream) {
            // No length anywhere we can read it from: count the frames once, then start over.
            counting_ = true;
            FLAC__stream_decoder_process_until_end_of_stream(decoder_);
            counting_ = false;
            frames_ = counted_;
            if (frames_ == 0 || !Seek(0)) {
                return kErrorFileFormat;
            }
        }
        return kOk;
    }

    std::size_t Read(void* out, std::size_t frames) override {
        const std::size_t frameBytes = channels_ * (float_ ? 4 : 2);
        auto* dst = static_cast<unsigned char*>(out);
        std::size_t have = 0;
        while (have < frames) {
            if (pendingPos_ < pending_.size()) {
                const std::size_t n =
                    std::min((pending_.size() - pendingPos_) / frameBytes, frames - have);
                std::memcpy(dst + have * frameBytes, pending_.data() + pendingPos_, n * frameBytes);
                pendingPos_ += n * frameBytes;
                have += n;
            } else if (!DecodeMore()) {
                break;
            }
        }
        return have;
    }

    bool Seek(std::uint64_t frame) override {
        ClearPending();
        // Without STREAMINFO libFLAC's seek misses the first frame.
        if (frame == 0 && !hasStreamInfo_) {
            return Rewind();
        }
        if (FLAC__stream_decoder_seek_absolute(decoder_, frame)) {
            return true;
        }
        if (FLAC__stream_decoder_get_state(decoder_) == FLAC__STREAM_DECODER_SEEK_ERROR) {
            FLAC__stream_decoder_flush(decoder_);
        }
        // Without a length in the header the decoder cannot bisect; the start is
        // always reachable by rewinding.
        return frame == 0 && Rewind();
    }

  private:
    // The end of the file, read without moving the decoder's position.
    std::vector<unsigned char> Tail() {
        const std::int64_t size = source_.Size();
        const std::int64_t back = source_.Tell();
        if (size <= 0 || back < 0) {
            return {};
        }
        const std::int64_t from = std::max<std::int64_t>(0, size - kTailBytes);
        std::vector<unsigned char> tail(static_cast<std::size_t>(size - from));
        std::size_t have = 0;
        if (source_.Seek(from)) {
            while (have < tail.size()) {
                const std::size_t got = source_.Read(tail.data() + have, tail.size() - have);
                if (got == 0) {
                    break;
                }
                have += got;
            }
        }
        tail.resize(have);
        return source_.Seek(back) ? tail : std::vector<unsigned char>();
    }

    // Without a sample count the last frame's header says where the stream
    // ends: its first sample plus its block size. 0 when none is found.
    std::uint64_t LastFrameEnd() {
        const std::vector<unsigned char> tail = Tail();
        for (std::size_t at = tail.size(); at-- > 0;) {
            if (const std::uint64_t end = FrameEndAt(tail, at); end > firstSample_) {
                return end - firstSample_;
            }
        }
        return 0;
    }

    // A frame header at `at` that agrees with the stream: the sample after its last.
    std::uint64_t FrameEndAt(const std::vector<unsigned char>& b, std::size_t at) const {
        if (at + 6 > b.size() || b[at] != 0xFF || (b[at + 1] & 0xFE) != 0xF8) {
            return 0;
        }
        const unsigned sizeCode = b[at + 2] >> 4;
        const unsigned rateCode = b[at + 2] & 0x0F;
        if (sizeCode == 0 || rateCode == 0x0F || (b[at + 3] >> 4) > 10 ||
            ((b[at + 3] >> 1) & 7) == 3 || (b[at + 3] & 1) != 0) {
            return 0;
        }
        std::size_t i = at + 4;
        // The frame or sample number, UTF-8 coded.
        const unsigned lead = b[i];
        int more = lead < 0x80    ? 0
                   : lead < 0xC0  ? -1
                   : lead < 0xE0  ? 1
                   : lead < 0xF0  ? 2
                   : lead < 0xF8  ? 3
                   : lead < 0xFC  ? 4
                   : lead < 0xFE  ? 5
                   : lead == 0xFE ? 6
                                  : -1;
        if (more < 0 || i + static_cast<std::size_t>(more) + 1 >= b.size()) {
            return 0;
        }
        std::uint64_t number = more == 0 ? lead : lead & (0x3Fu >> more);
        for (++i; more > 0; --more, ++i) {
            if ((b[i] & 0xC0) != 0x80) {
                return 0;
            }
            number = number << 6 | (b[i] & 0x3Fu);
        }
        std::uint64_t block = 0;
        if (sizeCode == 1) {
            block = 192;
        } else if (sizeCode <= 5) {
            block = 576u << (sizeCode - 2);
        } else if (sizeCode >= 8) {
            block = 256u << (sizeCode - 8);
        }
        const std::size_t extra = (sizeCode == 6   ? 1
                                   : sizeCode == 7 ? 2
                                                   : 0) +
                                  (rateCode == 12   ? 1
                                   : rateCode >= 13 ? 2
                                                    : 0);
        if (i + extra >= b.size()) {
            return 0;
        }
        if (sizeCode == 6) {
            block = b[i] + 1u;
        } else if (sizeCode == 7) {
            block = (std::uint64_t{b[i]} << 8 | b[i + 1]) + 1;
        }
        i += extra;
        std::uint8_t crc = 0;
        for (std::size_t k = at; k < i; ++k) {
            crc = static_cast<std::uint8_t>(crc ^ b[k]);
            for (int bit = 0; bit < 8; ++bit) {
                crc = static_cast<std::uint8_t>((crc & 0x80) != 0 ? (crc << 1) ^ 0x07 : crc << 1);
            }
        }
        if (crc != b[i]) {
            return 0;
        }
        // Fixed-size blocks count frames, variable ones samples.
        const std::uint64_t first = (b[at + 1] & 1) != 0 ? number : number * firstBlock_;
        return first + block;
    }

    // Ogg FLAC: the granule position of the last page is the sample count.
    std::uint64_t LastGranule() {
        const std::vector<unsigned char> b = Tail();
        for (std::size_t at = b.size() >= 27 ? b.size() - 27 + 1 : 0; at-- > 0;) {
            if (b[at] != 'O' || b[at + 1] != 'g' || b[at + 2] != 'g' || b[at + 3] != 'S' ||
                b[at + 4] != 0) {
                continue;
            }
            std::size_t end = at + 27 + b[at + 26];
            if (end > b.size()) {
                continue;
            }
            for (std::size_t k = at + 27; k < at + 27 + b[at + 26]; ++k) {
                end += b[k];
            }
            std::uint64_t granule = 0;
            for (int k = 7; k >= 0; --k) {
                granule = granule << 8 | b[at + 6 + static_cast<std::size_t>(k)];
            }
            if (end <= b.size() && granule != ~std::uint64_t{0} && granule > 0 &&
                OggCrc(b, at, end) == ReadLe32(b, at + 22)) {
                return granule;
            }
        }
        return 0;
    }

    static std::uint32_t ReadLe32(const std::vector<unsigned char>& b, std::size_t at) {
        return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 |
               std::uint32_t{b[at + 2]} << 16 | std::uint32_t{b[at + 3]} << 24;
    }

    // The page's checksum, computed with its own field as zeros.
    static std::uint32_t OggCrc(const std::vector<unsigned char>& b, std::size_t from,
                                std::size_t end) {
        std::uint32_t crc = 0;
        for (std::size_t k = from; k < end; ++k) {
            const unsigned byte = k >= from + 22 && k < from + 26 ? 0 : b[k];
            crc ^= static_cast<std::uint32_t>(byte) << 24;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
            }
        }
        return crc;
    }

    bool Rewind() {
        ClearPending();
        return FLAC__stream_decoder_reset(decoder_) &&
               FLAC__stream_decoder_process_until_end_of_metadata(decoder_);
    }

    void ClearPending() {
        pending_.clear();
        pendingPos_ = 0;
    }

    bool DecodeMore() {
        ClearPending();
        // Corrupt data can yield frames with no samples; the decoder still moves on,
        // and the source's end stops it.
        for (int tries = 0; tries < 64 && pending_.empty(); ++tries) {
            if (FLAC__stream_decoder_get_state(decoder_) >= FLAC__STREAM_DECODER_END_OF_STREAM ||
                !FLAC__stream_decoder_process_single(decoder_)) {
                return false;
            }
        }
        return !pending_.empty();
    }

    FLAC__StreamDecoderWriteStatus Write(const FLAC__Frame* frame, const FLAC__int32* const* in) {
        const unsigned blocksize = frame->header.blocksize;
        if (!started_) {
            started_ = true;
            rate_ = frame->header.sample_rate;
            channels_ = frame->header.channels;
            firstBlock_ = blocksize;
            firstSample_ = frame->header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER
                               ? frame->header.number.sample_number
                               : std::uint64_t{frame->header.number.frame_number} * blocksize;
        }
        counted_ += blocksize;
        if (counting_) {
            return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        }
        const unsigned bits = frame->header.bits_per_sample;
        if (bits < 4 || bits > 32 || frame->header.channels > kMostChannels) {
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        // What follows a change of rate would play at the wrong speed.
        if (frame->header.sample_rate != rate_) {
            formatChanged_ = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        const FLAC__int32* const* buf = in;
        if (frame->header.channels != channels_) {
            buf = Remix(in, frame->header.channels, blocksize, bits);
        }
        const std::size_t samples = std::size_t{blocksize} * channels_;
        const std::size_t base = pending_.size();
        if (float_) {
            pending_.resize(base + samples * sizeof(float));
            const float scale = 1.0f / static_cast<float>(std::uint64_t{1} << (bits - 1));
            auto* dst = reinterpret_cast<float*>(pending_.data() + base);
            for (unsigned i = 0; i < blocksize; ++i) {
                for (unsigned c = 0; c < channels_; ++c) {
                    *dst++ = static_cast<float>(buf[c][i]) * scale;
                }
            }
        } else {
            pending_.resize(base + samples * sizeof(std::int16_t));
            auto* dst = reinterpret_cast<std::int16_t*>(pending_.data() + base);
            for (unsigned i = 0; i < blocksize; ++i) {
                for (unsigned c = 0; c < channels_; ++c) {
                    const FLAC__int32 v = buf[c][i];
                    *dst++ = static_cast<std::int16_t>(bits >= 16 ? v >> (bits - 16)
                                                                  : v * (1 << (16 - bits)));
                }
            }
        }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    // The frame's channels mixed into the count the stream was opened with.
    const FLAC__int32* const* Remix(const FLAC__int32* const* in, unsigned from, unsigned blocksize,
                                    unsigned bits) {
        const MixMatrix mix = ChannelMix(from, channels_);
        const double top = std::ldexp(1.0, static_cast<int>(bits) - 1);
        mixed_.resize(std::size_t{blocksize} * channels_);
        for (unsigned c = 0; c < channels_; ++c) {
            FLAC__int32* out = mixed_.data() + std::size_t{c} * blocksize;
            for (unsigned i = 0; i < blocksize; ++i) {
                double v = 0;
                for (unsigned k = 0; k < from; ++k) {
                    v += static_cast<double>(mix[c][k]) * in[k][i];
                }
                out[i] = static_cast<FLAC__int32>(std::clamp(std::nearbyint(v), -top, top - 1));
            }
            mixedPlanes_[c] = out;
        }
        return mixedPlanes_.data();
    }

    static FLAC__StreamDecoderReadStatus ReadCb(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                                size_t* bytes, void* self) {
        auto& source = static_cast<FlacDecoder*>(self)->source_;
        if (*bytes == 0) {
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        }
        *bytes = source.Read(buffer, *bytes);
        return *bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                           : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    }
    static FLAC__StreamDecoderSeekStatus SeekCb(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                                void* self) {
        return static_cast<FlacDecoder*>(self)->source_.Seek(static_cast<std::int64_t>(offset))
                   ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
                   : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    }
    static FLAC__StreamDecoderTellStatus TellCb(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                                void* self) {
        *offset = static_cast<FLAC__uint64>(static_cast<FlacDecoder*>(self)->source_.Tell());
        return FLAC__STREAM_DECODER_TELL_STATUS_OK;
    }
    static FLAC__StreamDecoderLengthStatus LengthCb(const FLAC__StreamDecoder*,
                                                    FLAC__uint64* length, void* self) {
        const std::int64_t size = static_cast<FlacDecoder*>(self)->source_.Size();
        if (size < 0) {
            return FLAC__STREAM_DECODER_LENGTH_STATUS_UNSUPPORTED;
        }
        *length = static_cast<FLAC__uint64>(size);
        return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
    }
    static FLAC__bool EofCb(const FLAC__StreamDecoder*, void* self) {
        const auto& source = static_cast<FlacDecoder*>(self)->source_;
        return source.Size() >= 0 && source.Tell() >= source.Size();
    }
    static FLAC__StreamDecoderWriteStatus WriteCb(const FLAC__StreamDecoder*,
                                                  const FLAC__Frame* frame,
                                                  const FLAC__int32* const buffer[], void* self) {
        return static_cast<FlacDecoder*>(self)->Write(frame, buffer);
    }
    static void MetadataCb(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata,
                           void* self) {
        auto* d = static_cast<FlacDecoder*>(self);
        if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO && !d->hasStreamInfo_) {
            d->hasStreamInfo_ = true;
            d->rate_ = metadata->data.stream_info.sample_rate;
            d->channels_ = metadata->data.stream_info.channels;
            d->frames_ = metadata->data.stream_info.total_samples;
        }
    }
    static void ErrorCb(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

    Source& source_;
    bool float_;
    FLAC__StreamDecoder* decoder_;
    // Decoded samples not yet read, already in the output type.
    std::vector<unsigned char> pending_;
    std::size_t pendingPos_ = 0;
    bool hasStreamInfo_ = false;
    bool started_ = false;  // the first frame has told the format
    // Where the first frame starts, and its size: frame numbers count in it.
    std::uint64_t firstSample_ = 0;
    std::uint64_t firstBlock_ = 0;
    bool counting_ = false;
    std::uint64_t counted_ = 0;  // samples per channel decoded: the length once counted
    std::vector<FLAC__int32> mixed_;
    std::array<const FLAC__int32*, kMostChannels> mixedPlanes_{};
};

}  // namespace

Opened OpenFlac(Source& source, SampleType type, bool ogg) {
    auto decoder = std::make_unique<FlacDecoder>(source, type);
    const int error = decoder->Init(ogg, false);
    if (error != kOk) {
        return {nullptr, error};
    }
    return {std::move(decoder), kOk};
}

Opened OpenFlacOggStream(Source& source, SampleType type) {
    auto decoder = std::make_unique<FlacDecoder>(source, type);
    const int error = decoder->Init(true, true);
    if (error != kOk) {
        return {nullptr, error};
    }
    return {std::move(decoder), kOk};
}

}  // namespace audio::detail
