// Ogg Opus stations through opusfile, read forward only; always 48 kHz. More than
// two channels are mixed down to stereo.
#include <opus/opusfile.h>

#include <algorithm>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {
namespace {

int ReadCallback(void* source, unsigned char* ptr, int n) {
    return static_cast<int>(static_cast<Source*>(source)->Read(ptr, static_cast<std::size_t>(n)));
}

class OpusDecoder final : public Decoder {
  public:
    explicit OpusDecoder(SampleType type) : float_(type == SampleType::F32) {}
    ~OpusDecoder() override {
        if (file_ != nullptr) {
            op_free(file_);
        }
    }

    bool Init(Source& source) {
        // No seek or tell: opusfile reads forward only.
        const OpusFileCallbacks callbacks{ReadCallback, nullptr, nullptr, nullptr};
        file_ = op_open_callbacks(&source, &callbacks, nullptr, 0, nullptr);
        if (file_ == nullptr) {
            return false;
        }
        rate_ = 48000;
        channels_ = op_channel_count(file_, -1) == 1 ? 1 : 2;
        type_ = kTypeOpus;
        return true;
    }

    std::size_t Read(void* out, std::size_t frames) override {
        std::size_t have = 0;
        while (have < frames) {
            const int room =
                static_cast<int>(std::min<std::size_t>(frames - have, 1 << 16) * channels_);
            int got = 0;
            int link = -1;
            if (float_) {
                float* dst = static_cast<float*>(out) + have * channels_;
                got = channels_ == 2 ? op_read_float_stereo(file_, dst, room)
                                     : op_read_float(file_, dst, room, &link);
            } else {
                auto* dst = static_cast<opus_int16*>(out) + have * channels_;
                got = channels_ == 2 ? op_read_stereo(file_, dst, room)
                                     : op_read(file_, dst, room, &link);
            }
            if (got == OP_HOLE) {
                continue;  // a gap in the data; decoding goes on after it
            }
            // A mono station whose next part has more channels ends there.
            if (got <= 0 || (link >= 0 && op_channel_count(file_, link) != 1)) {
                break;
            }
            have += static_cast<std::size_t>(got);
        }
        return have;
    }

    bool Seek(std::uint64_t) override { return false; }

    std::string Title() override {
        const OpusTags* tags = op_tags(file_, -1);
        if (tags == nullptr) {
            return {};
        }
        return JoinTitle(opus_tags_query(tags, "ARTIST", 0), opus_tags_query(tags, "TITLE", 0));
    }

  private:
    OggOpusFile* file_ = nullptr;
    bool float_;
};

}  // namespace

Opened OpenOpusStream(Source& source, SampleType type) {
    auto decoder = std::make_unique<OpusDecoder>(type);
    if (!decoder->Init(source)) {
        return {nullptr, kErrorFileFormat};
    }
    return {std::move(decoder), kOk};
}

}  // namespace audio::detail
