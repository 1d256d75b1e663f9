#pragma once
// One decoder per stream, over a byte source it does not own. Decoders deliver
// interleaved 16-bit signed or 32-bit float samples, chosen when they are opened.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/Source.h"

namespace audio::detail {

enum class SampleType { U8, S16, F32 };

std::size_t SampleBytes(SampleType type);

class Decoder {
  public:
    virtual ~Decoder() = default;
    // Decodes up to `frames` frames into `out`; fewer only at the end of the data
    // (which includes data a decoder cannot make sense of).
    virtual std::size_t Read(void* out, std::size_t frames) = 0;
    // Moves to an exact frame.
    virtual bool Seek(std::uint64_t frame) = 0;
    // "Artist - Title" of the part now decoded, from the stream's own comments
    // (Ogg stations carry their titles so); "" when it has none.
    virtual std::string Title() { return {}; }
    // The bit rate of what was decoded last, kbit/s, as the stream gives it;
    // 0 when it does not say.
    virtual std::uint32_t Kbps() { return 0; }

    // True once the data changed its format where decoding ended (a FLAC
    // stream its rate): the rest cannot play as the stream was opened.
    bool FormatChanged() const { return formatChanged_; }

    std::uint32_t Rate() const { return rate_; }
    std::uint32_t Channels() const { return channels_; }
    std::uint32_t Type() const { return type_; }
    std::uint64_t Frames() const { return frames_; }

  protected:
    std::uint32_t rate_ = 0;
    std::uint32_t channels_ = 0;
    std::uint32_t type_ = 0;
    std::uint64_t frames_ = 0;
    bool formatChanged_ = false;
};

// When an MP3 file is scanned whole: for an exact length when its Info/Xing
// header lacks the frame count, always for exact seek points, or never (the
// length is then an estimate).
enum class Scan { IfNoHeader, Always, Never };

struct Opened {
    std::unique_ptr<Decoder> decoder;
    int error = 0;
    // The decoder allocates as it decodes: it runs on a thread of its own.
    bool ahead = false;
};

// Tells the format from the data and opens its decoder; `flacOnly` refuses the rest.
// `type` is S16 or F32.
Opened OpenDecoder(Source& source, SampleType type, bool flacOnly, Scan scan);

// The decoders, each called with the source at position 0.
Opened OpenMpeg(Source& source, SampleType type, bool scan);
Opened OpenVorbis(Source& source, SampleType type);
Opened OpenFlac(Source& source, SampleType type, bool ogg);
Opened OpenWave(Source& source, SampleType type);
Opened OpenModule(Source& source, SampleType type);
// Containers FFmpeg's libraries decode for the library.
enum class FfmpegContainer { Opus, Mp4, WavPack, Ape };
Opened OpenFfmpeg(Source& source, SampleType type, FfmpegContainer container);

// audio::HeaderSeconds.
std::optional<double> HeaderSecondsOf(const char* file);
// Decoders of a station's stream, read forward only; no length, no seeking.
Opened OpenMpegStream(Source& source, SampleType type);
Opened OpenVorbisStream(Source& source, SampleType type);
Opened OpenAacStream(Source& source, SampleType type);
Opened OpenOpusStream(Source& source, SampleType type);
Opened OpenFlacOggStream(Source& source, SampleType type);

// Whether the first MPEG frame at `start` is an Info/Xing header with the frame count.
bool MpegHeaderHasFrames(Source& source, std::int64_t start);

// libopenmpt's look at the first bytes of a file.
bool ProbeModule(const std::vector<unsigned char>& head, std::int64_t fileSize);

// "Artist - Title", or either one alone.
std::string JoinTitle(const char* artist, const char* title);

// Rates and channel counts the output side can take; anything else is refused.
bool RateSupported(std::uint64_t rate);
bool ChannelsSupported(std::uint64_t channels);

}  // namespace audio::detail
