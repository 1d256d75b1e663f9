// MP1/MP2/MP3 through libmpg123: gapless; the exact length from the Info/Xing
// header or else from a scan of the whole file. A station's stream is read
// forward only and has no length.
#include <mpg123.h>

#include <cstdio>
#include <mutex>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {
namespace {

ssize_t ReadCallback(void* handle, void* buf, size_t n) {
    return static_cast<ssize_t>(static_cast<Source*>(handle)->Read(buf, n));
}

off_t SeekCallback(void* handle, off_t offset, int whence) {
    return static_cast<off_t>(SeekWhence(*static_cast<Source*>(handle), offset, whence));
}

class MpegDecoder final : public Decoder {
  public:
    MpegDecoder(mpg123_handle* handle, std::size_t frameBytes)
        : handle_(handle), frameBytes_(frameBytes) {}
    ~MpegDecoder() override {
        mpg123_close(handle_);
        mpg123_delete(handle_);
    }

    // `scan` < 0: a stream, neither seekable nor of known length.
    bool Init(Source& source, SampleType type, int scan) {
        const int encoding = type == SampleType::F32 ? MPG123_ENC_FLOAT_32 : MPG123_ENC_SIGNED_16;
        const bool stream = scan < 0;
        mpg123_param(handle_, MPG123_FLAGS,
                     stream ? MPG123_QUIET | MPG123_SEEKBUFFER : MPG123_GAPLESS | MPG123_QUIET,
                     0.0);
        mpg123_format_none(handle_);
        const long* rates = nullptr;
        std::size_t count = 0;
        mpg123_rates(&rates, &count);
        for (std::size_t i = 0; i < count; ++i) {
            mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, encoding);
        }
        if (mpg123_replace_reader_handle(handle_, ReadCallback, stream ? nullptr : SeekCallback,
                                         nullptr) != MPG123_OK ||
            mpg123_open_handle(handle_, &source) != MPG123_OK) {
            return false;
        }
        long rate = 0;
        int channels = 0;
        int enc = 0;
        if (mpg123_getformat(handle_, &rate, &channels, &enc) != MPG123_OK ||
            (scan > 0 && mpg123_scan(handle_) != MPG123_OK)) {
            return false;
        }
        mpg123_frameinfo info{};
        const off_t length = stream ? 0 : mpg123_length(handle_);
        if (mpg123_info(handle_, &info) != MPG123_OK || (!stream && length <= 0)) {
            return false;
        }
        rate_ = static_cast<std::uint32_t>(rate);
        channels_ = static_cast<std::uint32_t>(channels);
        type_ = info.layer == 1 ? kTypeMp1 : info.layer == 2 ? kTypeMp2 : kTypeMp3;
        frames_ = static_cast<std::uint64_t>(length);
        frameBytes_ *= channels_;
        if (stream) {
            // Once it has played, a station that sends a stretch of junk goes on after it.
            mpg123_param(handle_, MPG123_RESYNC_LIMIT, -1, 0.0);
        }
        return true;
    }

    std::size_t Read(void* out, std::size_t frames) override {
        auto* dst = static_cast<unsigned char*>(out);
        const std::size_t want = frames * frameBytes_;
        std::size_t have = 0;
        while (have < want) {
            std::size_t done = 0;
            const int rc = mpg123_read(handle_, dst + have, want - have, &done);
            have += done;
            if (rc == MPG123_NEW_FORMAT) {
                long rate = 0;
                int channels = 0;
                int enc = 0;
                mpg123_getformat(handle_, &rate, &channels, &enc);
                if (rate != static_cast<long>(rate_) || channels != static_cast<int>(channels_)) {
                    break;  // a stream that changes its format mid-way ends there
                }
            } else if (rc != MPG123_OK || done == 0) {
                break;
            }
        }
        return have / frameBytes_;
    }

    std::uint32_t Kbps() override {
        mpg123_frameinfo info{};
        return mpg123_info(handle_, &info) == MPG123_OK && info.bitrate > 0
                   ? static_cast<std::uint32_t>(info.bitrate)
                   : 0;
    }

    bool Seek(std::uint64_t frame) override {
        return mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET) ==
               static_cast<off_t>(frame);
    }

  private:
    mpg123_handle* handle_;
    std::size_t frameBytes_;
};

Opened Open(Source& source, SampleType type, int scan) {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int err = 0;
    mpg123_handle* handle = mpg123_new(nullptr, &err);
    if (handle == nullptr) {
        return {nullptr, kErrorMemory};
    }
    auto decoder = std::make_unique<MpegDecoder>(handle, SampleBytes(type));
    if (!decoder->Init(source, type, scan)) {
        return {nullptr, kErrorFileFormat};
    }
    if (!RateSupported(decoder->Rate())) {
        return {nullptr, kErrorFrequency};
    }
    return {std::move(decoder), kOk};
}

}  // namespace

Opened OpenMpeg(Source& source, SampleType type, bool scan) {
    return Open(source, type, scan ? 1 : 0);
}

Opened OpenMpegStream(Source& source, SampleType type) {
    return Open(source, type, -1);
}

}  // namespace audio::detail
