// AAC and HE-AAC stations in ADTS through libfaad, read forward only. Each ADTS
// frame is gathered whole before it is decoded, so a slow station costs no
// decoder errors. libfaad assumes HE-AAC below 24 kHz and parametric stereo in
// mono until the data says otherwise; the first frames tell, and a plain
// low-rate or mono station is then decoded at its own rate and channels.
#include <neaacdec.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {
namespace {

constexpr std::size_t kHeader = 7;
// Frames that fail in a row before the stream counts as ended.
constexpr int kMaxErrors = 32;

class AacDecoder final : public Decoder {
  public:
    AacDecoder(Source& source, SampleType type)
        : source_(source), sampleBytes_(SampleBytes(type)), float_(type == SampleType::F32) {}
    ~AacDecoder() override {
        if (handle_ != nullptr) {
            NeAACDecClose(handle_);
        }
    }

    bool Init() {
        replay_ = true;
        if (!Start(false) || !DecodeFrame()) {
            return false;
        }
        if (sbr_ == NO_SBR_UPSAMPLED) {
            // Plain AAC at a low rate: again from the first frame, not upsampled.
            in_.insert(in_.begin(), seen_.begin(), seen_.end());
            rate_ = channels_ = 0;
            if (!Start(true) || !DecodeFrame()) {
                return false;
            }
        }
        replay_ = false;
        seen_.clear();
        type_ = kTypeAac;
        return RateSupported(rate_) && ChannelsSupported(channels_) && channels_ <= 2;
    }

    std::size_t Read(void* out, std::size_t frames) override {
        auto* dst = static_cast<unsigned char*>(out);
        const std::size_t frameBytes = channels_ * sampleBytes_;
        std::size_t have = 0;
        while (have < frames) {
            if (pcmAt_ == pcm_.size()) {
                pcm_.clear();
                pcmAt_ = 0;
                if (!DecodeFrame()) {
                    break;
                }
                continue;
            }
            const std::size_t take =
                std::min((frames - have) * frameBytes, pcm_.size() - pcmAt_) / frameBytes;
            std::memcpy(dst + have * frameBytes, pcm_.data() + pcmAt_, take * frameBytes);
            pcmAt_ += take * frameBytes;
            have += take;
        }
        return have;
    }

    bool Seek(std::uint64_t) override { return false; }

  private:
    bool Start(bool noImplicitSbr) {
        if (handle_ != nullptr) {
            NeAACDecClose(handle_);
        }
        handle_ = NeAACDecOpen();
        if (handle_ == nullptr) {
            return false;
        }
        NeAACDecConfigurationPtr config = NeAACDecGetCurrentConfiguration(handle_);
        config->outputFormat = float_ ? FAAD_FMT_FLOAT : FAAD_FMT_16BIT;
        config->downMatrix = 1;  // 5.1 to stereo
        config->dontUpSampleImplicitSBR = noImplicitSbr ? 1 : 0;
        NeAACDecSetConfiguration(handle_, config);
        const std::size_t length = NextFrame(true);
        unsigned long rate = 0;
        unsigned char channels = 0;
        // The header's channel configuration: 1 is mono.
        mono_ = length > 0 && ((in_[2] & 0x01) << 2 | in_[3] >> 6) == 1;
        return length > 0 && NeAACDecInit(handle_, in_.data(), static_cast<unsigned long>(length),
                                          &rate, &channels) >= 0;
    }

    // Reads until `n` bytes are buffered; false at the end of the data.
    bool Want(std::size_t n) {
        while (in_.size() < n) {
            const std::size_t old = in_.size();
            in_.resize(n);
            const std::size_t got = source_.Read(in_.data() + old, n - old);
            in_.resize(old + got);
            if (got == 0) {
                return false;
            }
        }
        return true;
    }

    // Puts the next whole ADTS frame at the start of the buffer; its length, or
    // 0 at the end of the data.
    // `confirmed`: only a frame that another one follows, so that a stream that
    // starts in the middle of a frame is not taken for what its bytes look like.
    std::size_t NextFrame(bool confirmed = false) {
        for (;;) {
            if (!Want(kHeader)) {
                return 0;
            }
            const std::size_t length = FrameAt(0);
            if (length > 0) {
                if (!Want(length + (confirmed ? kHeader : 0))) {
                    return 0;
                }
                if (!confirmed || FrameAt(length) > 0) {
                    return length;
                }
            }
            // Not at a frame: on to the next sync byte.
            const auto next = std::find(in_.begin() + 1, in_.end(), 0xFF);
            in_.erase(in_.begin(), next);
        }
    }

    // The length of the ADTS frame whose header starts at `at`, 0 for none.
    std::size_t FrameAt(std::size_t at) const {
        const unsigned char* h = in_.data() + at;
        const std::size_t length = ((h[3] & 0x03u) << 11) | (h[4] << 3) | (h[5] >> 5);
        return h[0] == 0xFF && (h[1] & 0xF6) == 0xF0 && length >= kHeader ? length : 0;
    }

    // Decodes frames until one gives samples; false at the end or on a change
    // of format.
    bool DecodeFrame() {
        for (int errors = 0; errors < kMaxErrors;) {
            const std::size_t length = NextFrame();
            if (length == 0) {
                return false;
            }
            NeAACDecFrameInfo info{};
            void* samples =
                NeAACDecDecode(handle_, &info, in_.data(), static_cast<unsigned long>(length));
            if (replay_) {
                seen_.insert(seen_.end(), in_.begin(),
                             in_.begin() + static_cast<std::ptrdiff_t>(length));
            }
            in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(length));
            if (info.error != 0 || samples == nullptr) {
                ++errors;
                continue;
            }
            if (info.samples == 0) {
                continue;
            }
            // Mono made stereo for a parametric stereo that is not there.
            const bool upmixed = mono_ && info.ps == 0 && info.channels == 2;
            const std::uint32_t channels = upmixed ? 1 : info.channels;
            if (rate_ == 0) {
                rate_ = static_cast<std::uint32_t>(info.samplerate);
                channels_ = channels;
                sbr_ = info.sbr;
            } else if (info.samplerate != rate_ || channels != channels_) {
                return false;  // a stream that changes its format ends there
            }
            const auto* bytes = static_cast<const unsigned char*>(samples);
            if (upmixed) {
                pcm_.resize(info.samples / 2 * sampleBytes_);
                for (std::size_t i = 0; i < info.samples / 2; ++i) {
                    std::memcpy(pcm_.data() + i * sampleBytes_, bytes + 2 * i * sampleBytes_,
                                sampleBytes_);
                }
            } else {
                pcm_.assign(bytes, bytes + info.samples * sampleBytes_);
            }
            pcmAt_ = 0;
            return true;
        }
        return false;
    }

    Source& source_;
    std::size_t sampleBytes_;
    bool float_;
    NeAACDecHandle handle_ = nullptr;
    std::vector<unsigned char> in_;
    std::vector<unsigned char> pcm_;
    std::size_t pcmAt_ = 0;
    bool mono_ = false;
    unsigned char sbr_ = NO_SBR;
    bool replay_ = false;              // keep the frames decoded, for a second start
    std::vector<unsigned char> seen_;  // those frames
};

}  // namespace

Opened OpenAacStream(Source& source, SampleType type) {
    auto decoder = std::make_unique<AacDecoder>(source, type);
    if (!decoder->Init()) {
        return {nullptr, kErrorFileFormat};
    }
    return {std::move(decoder), kOk};
}

}  // namespace audio::detail
