// Ogg Vorbis through vorbisfile, with the exact length from the granule positions;
// a station's stream is read forward only, without length.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {
namespace {

size_t ReadCallback(void* ptr, size_t size, size_t count, void* source) {
    if (size == 0) {
        return 0;
    }
    return static_cast<Source*>(source)->Read(ptr, size * count) / size;
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
    return SeekWhence(*static_cast<Source*>(source), offset, whence) < 0 ? -1 : 0;
}

long TellCallback(void* source) {
    return static_cast<long>(static_cast<Source*>(source)->Tell());
}

class VorbisDecoder final : public Decoder {
  public:
    explicit VorbisDecoder(SampleType type) : type16_(type != SampleType::F32) {}
    ~VorbisDecoder() override {
        if (open_) {
            ov_clear(&file_);
        }
    }

    int Init(Source& source, bool stream) {
        // Without seek and tell callbacks vorbisfile reads forward only.
        const ov_callbacks callbacks =
            stream ? ov_callbacks{ReadCallback, nullptr, nullptr, nullptr}
                   : ov_callbacks{ReadCallback, SeekCallback, nullptr, TellCallback};
        const int rc = ov_open_callbacks(&source, &file_, nullptr, 0, callbacks);
        if (rc != 0) {
            return rc == OV_EREAD ? kErrorFileOpen : kErrorFileFormat;
        }
        open_ = true;
        const vorbis_info* info = ov_info(&file_, -1);
        const ogg_int64_t total = stream ? 0 : ov_pcm_total(&file_, -1);
        if (info == nullptr || total < 0) {
            return kErrorFileFormat;
        }
        if (!RateSupported(static_cast<std::uint64_t>(info->rate))) {
            return kErrorFrequency;
        }
        if (!ChannelsSupported(static_cast<std::uint64_t>(info->channels))) {
            return kErrorFormat;
        }
        rate_ = static_cast<std::uint32_t>(info->rate);
        channels_ = static_cast<std::uint32_t>(info->channels);
        type_ = kTypeOgg;
        frames_ = static_cast<std::uint64_t>(total);
        return kOk;
    }

    std::size_t Read(void* out, std::size_t frames) override {
        std::size_t have = 0;
        while (have < frames) {
            int link = 0;
            long got = 0;
            if (type16_) {
                auto* dst = static_cast<char*>(out) + have * channels_ * 2;
                const std::size_t bytes = (frames - have) * channels_ * 2;
                got = ov_read(&file_, dst, static_cast<int>(std::min<std::size_t>(bytes, 1 << 20)),
                              0, 2, 1, &link);
                if (got > 0) {
                    got /= static_cast<long>(channels_ * 2);
                }
            } else {
                float** pcm = nullptr;
                got = ov_read_float(&file_, &pcm,
                                    static_cast<int>(std::min<std::size_t>(frames - have, 1 << 16)),
                                    &link);
                if (got > 0 && SameFormat(link)) {
                    auto* dst = static_cast<float*>(out) + have * channels_;
                    for (long i = 0; i < got; ++i) {
                        for (std::uint32_t c = 0; c < channels_; ++c) {
                            *dst++ = pcm[c][i];
                        }
                    }
                }
            }
            if (got == OV_HOLE) {
                continue;  // a gap in the data; decoding goes on after it
            }
            if (got <= 0 || !SameFormat(link)) {
                break;
            }
            have += static_cast<std::size_t>(got);
        }
        return have;
    }

    bool Seek(std::uint64_t frame) override {
        return ov_pcm_seek(&file_, static_cast<ogg_int64_t>(frame)) == 0;
    }

    // Read forward only, vorbisfile gives the stream's nominal rate.
    std::uint32_t Kbps() override {
        const long bits = ov_bitrate(&file_, -1);
        return bits > 0 ? static_cast<std::uint32_t>(bits / 1000) : 0;
    }

    std::string Title() override {
        vorbis_comment* comment = ov_comment(&file_, -1);
        if (comment == nullptr) {
            return {};
        }
        return JoinTitle(Field(*comment, "ARTIST="), Field(*comment, "TITLE="));
    }

  private:
    // The first comment `name` ("NAME="), case aside; vorbisfile's own look-up is
    // libvorbis's, which the library does not link.
    static const char* Field(const vorbis_comment& comment, std::string_view name) {
        for (int i = 0; i < comment.comments; ++i) {
            const std::string_view entry(comment.user_comments[i],
                                         static_cast<std::size_t>(comment.comment_lengths[i]));
            if (entry.size() >= name.size() &&
                std::equal(name.begin(), name.end(), entry.begin(), [](char a, char b) {
                    return a == std::toupper(static_cast<unsigned char>(b));
                })) {
                return comment.user_comments[i] + name.size();
            }
        }
        return nullptr;
    }

    // A chained file whose later part changes rate or channels ends there.
    bool SameFormat(int link) {
        const vorbis_info* info = ov_info(&file_, link);
        return info != nullptr && static_cast<std::uint32_t>(info->channels) == channels_ &&
               static_cast<std::uint32_t>(info->rate) == rate_;
    }

    OggVorbis_File file_{};
    bool open_ = false;
    bool type16_;
};

Opened Open(Source& source, SampleType type, bool stream) {
    auto decoder = std::make_unique<VorbisDecoder>(type);
    const int error = decoder->Init(source, stream);
    if (error != kOk) {
        return {nullptr, error};
    }
    return {std::move(decoder), kOk};
}

}  // namespace

Opened OpenVorbis(Source& source, SampleType type) {
    return Open(source, type, false);
}

Opened OpenVorbisStream(Source& source, SampleType type) {
    return Open(source, type, true);
}

}  // namespace audio::detail
