// FLAC (native and in Ogg) through libFLAC, any bit depth brought to 16-bit or float.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {
namespace {

class FlacDecoder final : public Decoder {
  public:
    FlacDecoder(Source& source, SampleType type)
        : source_(source), float_(type == SampleType::F32), decoder_(FLAC__stream_decoder_new()) {}
    ~FlacDecoder() override {
        if (decoder_ != nullptr) {
            FLAC__stream_decoder_delete(decoder_);
        }
    }

    int Init(bool ogg) {
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
        if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder_) || channels_ == 0) {
            return kErrorFileFormat;
        }
        if (!RateSupported(rate_)) {
            return kErrorFrequency;
        }
        if (!ChannelsSupported(channels_)) {
            return kErrorFormat;
        }
        type_ = ogg ? kTypeFlacOgg : kTypeFlac;
        if (frames_ == 0) {
            // No length in the header: count the frames once, then start over.
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
        if (FLAC__stream_decoder_seek_absolute(decoder_, frame)) {
            return true;
        }
        if (FLAC__stream_decoder_get_state(decoder_) == FLAC__STREAM_DECODER_SEEK_ERROR) {
            FLAC__stream_decoder_flush(decoder_);
        }
        // Without a length in the header the decoder cannot bisect; the start is
        // always reachable by rewinding.
        return frame == 0 && FLAC__stream_decoder_reset(decoder_) &&
               FLAC__stream_decoder_process_until_end_of_metadata(decoder_);
    }

  private:
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

    FLAC__StreamDecoderWriteStatus Write(const FLAC__Frame* frame, const FLAC__int32* const* buf) {
        const unsigned blocksize = frame->header.blocksize;
        if (counting_) {
            counted_ += blocksize;
            return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        }
        const unsigned bits = frame->header.bits_per_sample;
        if (frame->header.channels != channels_ || bits < 4 || bits > 32) {
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
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
        if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO && d->channels_ == 0) {
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
    bool counting_ = false;
    std::uint64_t counted_ = 0;
};

}  // namespace

Opened OpenFlac(Source& source, SampleType type, bool ogg) {
    auto decoder = std::make_unique<FlacDecoder>(source, type);
    const int error = decoder->Init(ogg);
    if (error != kOk) {
        return {nullptr, error};
    }
    return {std::move(decoder), kOk};
}

}  // namespace audio::detail
