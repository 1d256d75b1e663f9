// Opus, MP4 (AAC, ALAC), WavPack and Monkey's Audio files through FFmpeg's
// libraries. FFmpeg reads through the library's Source (an AVIOContext of our
// own), so the read-ahead and the reader wrap apply as they do to the other
// decoders. The demuxers skip the Opus pre-skip and the MP4 priming; the end
// is the container's sample count, where the decoding stops reading. Every
// packet read allocates, so these decoders run ahead on a thread of their own.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {
namespace {

constexpr int kIoBuffer = 32 * 1024;

int ReadPacket(void* opaque, std::uint8_t* buf, int size) {
    const std::size_t got =
        static_cast<Source*>(opaque)->Read(buf, static_cast<std::size_t>(std::max(size, 0)));
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
}

std::int64_t SeekPacket(void* opaque, std::int64_t offset, int whence) {
    auto& source = *static_cast<Source*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0) {
        return source.Size() < 0 ? AVERROR(ENOSYS) : source.Size();
    }
    const std::int64_t at = SeekWhence(source, offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(EIO) : at;
}

struct Container {
    const char* demuxer;
    AVCodecID codecs[2];
    std::uint32_t types[2];
    // Samples decoded before the wanted one after a seek, so that a codec whose
    // frames overlap has its state again.
    std::int64_t preroll;
};

constexpr Container kContainers[] = {
    {"ogg", {AV_CODEC_ID_OPUS, AV_CODEC_ID_NONE}, {kTypeOpus, 0}, 3840},
    {"mov", {AV_CODEC_ID_AAC, AV_CODEC_ID_ALAC}, {kTypeMp4, kTypeAlac}, 4096},
    {"wv", {AV_CODEC_ID_WAVPACK, AV_CODEC_ID_NONE}, {kTypeWavPack, 0}, 0},
    {"ape", {AV_CODEC_ID_APE, AV_CODEC_ID_NONE}, {kTypeApe, 0}, 0},
};

// The sample count of an MP4 track, as its media header and edit list state it:
// FFmpeg takes the edit's duration in the movie's time scale (milliseconds, as
// its own muxer writes), which cuts the last samples of the track. Without an
// edit list, the iTunes gapless tag (iTunSMPB) counts them; FFmpeg skips its
// priming itself.
class Mp4Length {
  public:
    // The samples of the `track`-th track (0-based) after its priming, in
    // `scale` units a second; -1 unknown. Leaves the source where it was.
    static std::int64_t Of(Source& source, int track, std::uint32_t& scale) {
        Mp4Length m;
        m.wanted_ = track;
        const std::int64_t was = source.Tell();
        m.Walk(source, 0, source.Size(), 0);
        source.Seek(was);
        scale = m.mediaScale_;
        if (m.mediaDuration_ <= 0 || m.mediaScale_ == 0) {
            return -1;
        }
        if (m.editStart_ < 0) {
            return m.smpbSamples_ > 0 ? std::min(m.smpbSamples_, m.mediaDuration_)
                                      : m.mediaDuration_;
        }
        std::int64_t length = m.mediaDuration_ - m.editStart_;
        if (m.movieScale_ != 0) {
            // An edit clearly shorter than the media leaves out the encoder's padding.
            const std::int64_t edit = static_cast<std::int64_t>(
                static_cast<double>(m.editDuration_) * m.mediaScale_ / m.movieScale_);
            const std::int64_t tick = m.mediaScale_ / m.movieScale_ + 1;
            if (edit > 0 && edit + tick < length) {
                length = edit;
            }
        }
        return length;
    }

  private:
    static std::uint64_t Big(const unsigned char* p, int n) {
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            v = (v << 8) | p[i];
        }
        return v;
    }

    void Walk(Source& source, std::int64_t at, std::int64_t end, int depth) {
        // moov/udta/meta/ilst/----/data is the deepest box read.
        while (depth < 6 && at + 8 <= end) {
            unsigned char h[16];
            if (!source.Seek(at) || source.Read(h, 8) != 8) {
                return;
            }
            std::int64_t size = static_cast<std::int64_t>(Big(h, 4));
            std::int64_t header = 8;
            if (size == 1) {
                if (source.Read(h + 8, 8) != 8) {
                    return;
                }
                size = static_cast<std::int64_t>(Big(h + 8, 8));
                header = 16;
            } else if (size == 0) {
                size = end - at;
            }
            if (size < header || size > end - at) {
                return;
            }
            const std::string_view type(reinterpret_cast<const char*>(h + 4), 4);
            const std::int64_t body = at + header;
            if (type == "moov" || type == "mdia" || type == "edts" || type == "udta" ||
                type == "ilst") {
                Walk(source, body, at + size, depth + 1);
            } else if (type == "meta") {
                Walk(source, body + 4, at + size, depth + 1);  // after version and flags
            } else if (type == "----") {
                Freeform(source, body, at + size);
            } else if (type == "trak") {
                if (++track_ == wanted_) {
                    Walk(source, body, at + size, depth + 1);
                }
            } else if (type == "mvhd" || type == "mdhd") {
                Header(source, body, size - header, type == "mvhd");
            } else if (type == "elst" && track_ == wanted_) {
                Edit(source, body, size - header);
            }
            at += size;
        }
    }

    void Header(Source& source, std::int64_t at, std::int64_t size, bool movie) {
        unsigned char b[32];
        if (size < 24 || !source.Seek(at) || source.Read(b, 32) < 24) {
            return;
        }
        const bool v1 = b[0] == 1;
        if (v1 && size < 32) {
            return;
        }
        const auto scale = static_cast<std::uint32_t>(Big(b + (v1 ? 20 : 12), 4));
        const auto duration = static_cast<std::int64_t>(v1 ? Big(b + 24, 8) : Big(b + 16, 4));
        if (movie) {
            movieScale_ = scale;
        } else if (track_ == wanted_) {
            mediaScale_ = scale;
            mediaDuration_ = duration;
        }
    }

    // The first edit that plays media; an empty edit before it is a delay,
    // which gapless files do not have.
    void Edit(Source& source, std::int64_t at, std::int64_t size) {
        unsigned char b[8];
        if (size < 8 || !source.Seek(at) || source.Read(b, 8) != 8) {
            return;
        }
        const bool v1 = b[0] == 1;
        const std::uint64_t count = Big(b + 4, 4);
        const int entry = v1 ? 20 : 12;
        for (std::uint64_t i = 0; i < count && 8 + (i + 1) * entry <= std::uint64_t(size); ++i) {
            unsigned char e[20];
            if (!source.Seek(at + 8 + static_cast<std::int64_t>(i) * entry) ||
                source.Read(e, static_cast<std::size_t>(entry)) != std::size_t(entry)) {
                return;
            }
            const auto duration = static_cast<std::int64_t>(v1 ? Big(e, 8) : Big(e, 4));
            auto start = static_cast<std::int64_t>(v1 ? Big(e + 8, 8) : Big(e + 4, 4));
            if (!v1) {
                start = static_cast<std::int32_t>(start);
            }
            if (start >= 0) {
                editStart_ = start;
                editDuration_ = duration;
                return;
            }
        }
    }

    // "----" holds "mean", "name" and "data"; the data of "iTunSMPB" reads
    // " 00000000 priming padding samples ..." in hexadecimal.
    void Freeform(Source& source, std::int64_t at, std::int64_t end) {
        bool smpb = false;
        while (at + 8 <= end) {
            unsigned char h[8];
            if (!source.Seek(at) || source.Read(h, 8) != 8) {
                return;
            }
            const auto size = static_cast<std::int64_t>(Big(h, 4));
            if (size < 8 || size > end - at) {
                return;
            }
            const std::string_view type(reinterpret_cast<const char*>(h + 4), 4);
            char text[128] = {};
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(size - 8, 127));
            if (source.Read(text, n) != n) {
                return;
            }
            if (type == "name") {
                smpb = n >= 12 && std::string_view(text + 4, n - 4) == "iTunSMPB";
            } else if (type == "data" && smpb && n > 8) {
                unsigned priming = 0;
                unsigned padding = 0;
                unsigned long long samples = 0;
                if (std::sscanf(text + 8, "%*x %x %x %llx", &priming, &padding, &samples) == 3) {
                    smpbSamples_ = static_cast<std::int64_t>(samples);
                }
            }
            at += size;
        }
    }

    int wanted_ = 0;
    int track_ = -1;
    std::uint32_t movieScale_ = 0;
    std::uint32_t mediaScale_ = 0;
    std::int64_t mediaDuration_ = -1;
    std::int64_t editStart_ = -1;
    std::int64_t editDuration_ = 0;
    std::int64_t smpbSamples_ = 0;
};

class FfmpegDecoder final : public Decoder {
  public:
    FfmpegDecoder(Source& source, SampleType type, const Container& container)
        : source_(source), float_(type == SampleType::F32), container_(container) {}
    ~FfmpegDecoder() override { Close(); }
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    int Init() {
        if (const int error = Open(); error != kOk) {
            return error;
        }
        // The first frame tells what the decoder really gives (HE-AAC doubles
        // the rate its header states), and that the data decodes at all.
        if (!Next(true)) {
            return kErrorFileFormat;
        }
        if (!RateSupported(static_cast<std::uint64_t>(frame_->sample_rate))) {
            return kErrorFrequency;
        }
        if (!ChannelsSupported(static_cast<std::uint64_t>(frame_->ch_layout.nb_channels))) {
            return kErrorFormat;
        }
        rate_ = static_cast<std::uint32_t>(frame_->sample_rate);
        channels_ = static_cast<std::uint32_t>(frame_->ch_layout.nb_channels);
        Place();
        if (!Convert()) {
            return kErrorFileFormat;
        }
        const std::int64_t length = Length();
        if (length <= 0) {
            return kErrorFileFormat;
        }
        frames_ = static_cast<std::uint64_t>(length);
        return kOk;
    }

    std::size_t Read(void* out, std::size_t frames) override {
        auto* dst = static_cast<unsigned char*>(out);
        const std::size_t frameBytes = channels_ * (float_ ? 4 : 2);
        std::size_t have = 0;
        while (have < frames) {
            if (pendingAt_ == pendingEnd_ && !(Next(false) && Convert())) {
                break;
            }
            const std::size_t take = std::min(frames - have, pendingEnd_ - pendingAt_);
            std::memcpy(dst + have * frameBytes, pcm_.data() + pendingAt_ * frameBytes,
                        take * frameBytes);
            pendingAt_ += take;
            have += take;
        }
        return have;
    }

    bool Seek(std::uint64_t frame) override {
        const auto target = static_cast<std::int64_t>(frame);
        pendingAt_ = pendingEnd_ = 0;
        // From the demuxer as opened: the priming skip applies again at the
        // start, and a demuxer that has read the last page loses the time
        // stamps after a seek near the end.
        Close();
        if (Open() != kOk) {
            return false;
        }
        if (target > container_.preroll) {
            const AVRational tb = format_->streams[stream_]->time_base;
            const std::int64_t ts =
                av_rescale_q(target - container_.preroll, AVRational{1, int(rate_)}, tb) + start_;
            if (av_seek_frame(format_, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0) {
                return false;
            }
            avcodec_flush_buffers(codec_);
            draining_ = false;
            next_ = -1;
        }
        skipTo_ = target;
        return true;
    }

  private:
    int Open() {
        const AVInputFormat* input = av_find_input_format(container_.demuxer);
        if (input == nullptr || !source_.Seek(0)) {
            return kErrorFileFormat;
        }
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
        io_ = avio_alloc_context(buffer, kIoBuffer, 0, &source_, ReadPacket, nullptr,
                                 source_.Size() >= 0 ? SeekPacket : nullptr);
        format_ = avformat_alloc_context();
        if (io_ == nullptr || format_ == nullptr) {
            if (io_ == nullptr) {
                av_free(buffer);
            }
            return kErrorMemory;
        }
        format_->pb = io_;
        format_->flags |= AVFMT_FLAG_CUSTOM_IO;
        if (avformat_open_input(&format_, nullptr, input, nullptr) < 0) {
            return kErrorFileFormat;  // format_ is freed on failure
        }
        stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (stream_ < 0) {
            return kErrorFileFormat;
        }
        AVStream* st = format_->streams[stream_];
        const AVCodecID id = st->codecpar->codec_id;
        const int which = id == container_.codecs[0] ? 0 : id == container_.codecs[1] ? 1 : -1;
        if (which < 0) {
            return kErrorFileFormat;
        }
        type_ = container_.types[which];
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            if (static_cast<int>(i) != stream_) {
                format_->streams[i]->discard = AVDISCARD_ALL;
            }
        }
        const AVCodec* decoder = avcodec_find_decoder(id);
        codec_ = decoder != nullptr ? avcodec_alloc_context3(decoder) : nullptr;
        if (codec_ == nullptr || avcodec_parameters_to_context(codec_, st->codecpar) < 0) {
            return kErrorFileFormat;
        }
        codec_->pkt_timebase = st->time_base;
        codec_->thread_count = 1;
        if (avcodec_open2(codec_, decoder, nullptr) < 0) {
            return kErrorFileFormat;
        }
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        if (packet_ == nullptr || frame_ == nullptr) {
            return kErrorMemory;
        }
        start_ = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        next_ = 0;
        draining_ = false;
        return kOk;
    }

    void Close() {
        avcodec_free_context(&codec_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        if (format_ != nullptr) {
            avformat_close_input(&format_);
        }
        if (io_ != nullptr) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
        swr_free(&swr_);
    }

    // The next decoded frame into frame_; false at the end of the data.
    bool Next(bool first) {
        for (;;) {
            const int rc = avcodec_receive_frame(codec_, frame_);
            if (rc == 0) {
                if (first || Place()) {
                    return true;
                }
                continue;
            }
            if (rc != AVERROR(EAGAIN) || draining_) {
                return false;
            }
            if (av_read_frame(format_, packet_) < 0) {
                draining_ = true;
                avcodec_send_packet(codec_, nullptr);
                continue;
            }
            if (packet_->stream_index == stream_) {
                // A damaged packet is left out; decoding goes on after it.
                avcodec_send_packet(codec_, packet_);
            }
            av_packet_unref(packet_);
        }
    }

    // Where frame_ starts; false for a frame wholly before the sample a seek
    // asked for. Sets how much of it to leave out.
    bool Place() {
        std::int64_t at = next_;
        if (frame_->pts != AV_NOPTS_VALUE) {
            at =
                av_rescale_q(frame_->pts - start_, codec_->pkt_timebase, AVRational{1, int(rate_)});
        }
        if (at < 0 && next_ < 0) {
            at = 0;
        }
        next_ = at + frame_->nb_samples;
        drop_ =
            static_cast<std::size_t>(std::clamp<std::int64_t>(skipTo_ - at, 0, frame_->nb_samples));
        return drop_ < static_cast<std::size_t>(frame_->nb_samples);
    }

    // frame_ as interleaved samples in pcm_, less what a seek leaves out.
    bool Convert() {
        if (frame_->sample_rate != static_cast<int>(rate_) ||
            frame_->ch_layout.nb_channels != static_cast<int>(channels_)) {
            formatChanged_ = true;  // the rest cannot play as the stream was opened
            return false;
        }
        const auto format = static_cast<AVSampleFormat>(frame_->format);
        if (swr_ == nullptr || format != swrFormat_) {
            swr_free(&swr_);
            AVChannelLayout layout;
            av_channel_layout_default(&layout, static_cast<int>(channels_));
            const int rate = static_cast<int>(rate_);
            if (swr_alloc_set_opts2(&swr_, &layout, float_ ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16,
                                    rate, &layout, format, rate, 0, nullptr) < 0 ||
                swr_init(swr_) < 0) {
                return false;
            }
            swrFormat_ = format;
        }
        const std::size_t frameBytes = channels_ * (float_ ? 4 : 2);
        const auto samples = static_cast<std::size_t>(frame_->nb_samples);
        if (pcm_.size() < samples * frameBytes) {
            pcm_.resize(samples * frameBytes);
        }
        std::uint8_t* out = pcm_.data();
        const int got = swr_convert(swr_, &out, frame_->nb_samples,
                                    const_cast<const std::uint8_t**>(frame_->extended_data),
                                    frame_->nb_samples);
        if (got < 0) {
            return false;
        }
        pendingAt_ = std::min(drop_, static_cast<std::size_t>(got));
        pendingEnd_ = static_cast<std::size_t>(got);
        drop_ = 0;
        return true;
    }

    std::int64_t Length() {
        AVStream* st = format_->streams[stream_];
        const AVRational rate{1, int(rate_)};
        if (std::strcmp(container_.demuxer, "mov") == 0) {
            std::uint32_t scale = 0;
            const std::int64_t length = Mp4Length::Of(source_, stream_, scale);
            return length < 0 ? -1 : av_rescale_q(length, AVRational{1, int(scale)}, rate);
        }
        if (st->duration == AV_NOPTS_VALUE || st->duration <= 0) {
            return -1;
        }
        std::int64_t length = av_rescale_q(st->duration, st->time_base, rate);
        if (type_ == kTypeOpus) {
            length -= st->codecpar->initial_padding;  // the last granule counts the pre-skip
        }
        return length;
    }

    Source& source_;
    bool float_;
    const Container& container_;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVSampleFormat swrFormat_ = AV_SAMPLE_FMT_NONE;
    int stream_ = -1;
    std::int64_t start_ = 0;
    std::int64_t next_ = 0;    // where the next frame starts when it has no time stamp
    std::int64_t skipTo_ = 0;  // the first sample a seek wants
    std::size_t drop_ = 0;
    bool draining_ = false;
    std::vector<std::uint8_t> pcm_;
    std::size_t pendingAt_ = 0;
    std::size_t pendingEnd_ = 0;
};

}  // namespace

Opened OpenFfmpeg(Source& source, SampleType type, FfmpegContainer container) {
    av_log_set_level(AV_LOG_QUIET);
    auto decoder =
        std::make_unique<FfmpegDecoder>(source, type, kContainers[static_cast<int>(container)]);
    const int error = decoder->Init();
    if (error != kOk) {
        return {nullptr, error};
    }
    return {std::move(decoder), kOk, true};
}

}  // namespace audio::detail
