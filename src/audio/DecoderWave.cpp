// WAV (PCM 8/16/24/32-bit, float, extensible) through libsndfile.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {
namespace {

sf_count_t LengthCb(void* source) {
    return static_cast<Source*>(source)->Size();
}
sf_count_t SeekCb(sf_count_t offset, int whence, void* source) {
    return SeekWhence(*static_cast<Source*>(source), offset, whence);
}
sf_count_t ReadCb(void* ptr, sf_count_t count, void* source) {
    return count <= 0 ? 0
                      : static_cast<sf_count_t>(static_cast<Source*>(source)->Read(
                            ptr, static_cast<std::size_t>(count)));
}
sf_count_t WriteCb(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t TellCb(void* source) {
    return static_cast<Source*>(source)->Tell();
}

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

// Why libsndfile refused a RIFF file: its "fmt " chunk tells a bad rate or an
// unsupported sample format from damaged data.
int DiagnoseWave(Source& source) {
    std::int64_t at = 12;
    unsigned char chunk[8];
    for (int i = 0; i < 64 && source.Seek(at) && source.Read(chunk, 8) == 8; ++i) {
        const std::uint32_t size = Le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[16];
            if (size < 16 || source.Read(fmt, 16) != 16) {
                return kErrorFileFormat;
            }
            const unsigned tag = fmt[0] | (fmt[1] << 8);
            const unsigned channels = fmt[2] | (fmt[3] << 8);
            const unsigned bits = fmt[14] | (fmt[15] << 8);
            if (!RateSupported(Le32(fmt + 4))) {
                return kErrorFrequency;
            }
            const bool known = tag == 1 || tag == 3 || tag == 0xFFFE;
            if (!known || !ChannelsSupported(channels) || bits == 0 || bits > 64) {
                return kErrorFormat;
            }
            return kErrorFileFormat;
        }
        at += 8 + size + (size & 1);
    }
    return kErrorFileFormat;
}

class WaveDecoder final : public Decoder {
  public:
    WaveDecoder(SNDFILE* file, const SF_INFO& info, SampleType type)
        : file_(file),
          float_(type == SampleType::F32),
          floatData_((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT ||
                     (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_DOUBLE) {
        rate_ = static_cast<std::uint32_t>(info.samplerate);
        channels_ = static_cast<std::uint32_t>(info.channels);
        type_ = kTypeWave;
        frames_ = static_cast<std::uint64_t>(info.frames);
        // Float data beyond full scale is clipped rather than wrapped.
        sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    ~WaveDecoder() override { sf_close(file_); }

    std::size_t Read(void* out, std::size_t frames) override {
        sf_count_t got = 0;
        if (float_) {
            got = sf_readf_float(file_, static_cast<float*>(out), static_cast<sf_count_t>(frames));
        } else if (floatData_) {
            // libsndfile's own float-to-integer path either scales to 32767 or to
            // the file's peak; full scale is 32768, as everywhere else here.
            scratch_.resize(frames * channels_);
            got = sf_readf_float(file_, scratch_.data(), static_cast<sf_count_t>(frames));
            auto* dst = static_cast<std::int16_t*>(out);
            for (std::size_t i = 0;
                 i < static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) * channels_; ++i) {
                const long v = std::lrint(scratch_[i] * 32768.0f);
                dst[i] = static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
            }
        } else {
            got = sf_readf_short(file_, static_cast<short*>(out), static_cast<sf_count_t>(frames));
        }
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }

    bool Seek(std::uint64_t frame) override {
        return sf_seek(file_, static_cast<sf_count_t>(frame), SEEK_SET) ==
               static_cast<sf_count_t>(frame);
    }

  private:
    SNDFILE* file_;
    bool float_;
    bool floatData_;
    std::vector<float> scratch_;
};

}  // namespace

Opened OpenWave(Source& source, SampleType type) {
    SF_VIRTUAL_IO io{LengthCb, SeekCb, ReadCb, WriteCb, TellCb};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &source);
    if (file == nullptr) {
        return {nullptr, DiagnoseWave(source)};
    }
    auto decoder = std::make_unique<WaveDecoder>(file, info, type);
    if (!RateSupported(decoder->Rate())) {
        return {nullptr, kErrorFrequency};
    }
    if (!ChannelsSupported(decoder->Channels())) {
        return {nullptr, kErrorFormat};
    }
    if (decoder->Frames() == 0) {
        return {nullptr, kErrorFileFormat};
    }
    return {std::move(decoder), kOk};
}

}  // namespace audio::detail
