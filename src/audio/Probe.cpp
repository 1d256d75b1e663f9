// Tells formats apart by their content, never by the file name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "audio/Audio.h"
#include "audio/Decoder.h"

namespace audio::detail {

std::size_t SampleBytes(SampleType type) {
    switch (type) {
        case SampleType::U8:
            return 1;
        case SampleType::S16:
            return 2;
        case SampleType::F32:
            return 4;
    }
    return 2;
}

bool RateSupported(std::uint64_t rate) {
    return rate >= 1000 && rate <= 384000;
}
bool ChannelsSupported(std::uint64_t channels) {
    return channels >= 1 && channels <= 8;
}

std::string JoinTitle(const char* artist, const char* title) {
    const std::string a = artist != nullptr ? artist : "";
    const std::string t = title != nullptr ? title : "";
    return a.empty() || t.empty() ? a + t : a + " - " + t;
}

namespace {

bool StartsWith(const std::vector<unsigned char>& data, std::size_t at, const char* magic) {
    const std::size_t n = std::strlen(magic);
    return data.size() >= at + n && std::memcmp(data.data() + at, magic, n) == 0;
}

// Bytes of ID3v2 tags at the start (MP3 and FLAC files may carry them).
std::int64_t Id3v2Size(Source& source) {
    std::int64_t at = 0;
    for (;;) {
        unsigned char h[10];
        if (!source.Seek(at) || source.Read(h, 10) != 10 || std::memcmp(h, "ID3", 3) != 0 ||
            ((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0) {
            return at;
        }
        const std::int64_t size = (std::int64_t{h[6]} << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
        at += 10 + size + ((h[5] & 0x10) ? 10 : 0);
    }
}

struct MpegHeader {
    int version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5 (the header's own code)
    int layer = 0;    // 1, 2, 3
    int rate = 0;
    int length = 0;  // frame bytes
};

bool ParseMpegHeader(const unsigned char* p, MpegHeader& h) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) {
        return false;
    }
    const int version = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3) {
        return false;  // reserved values; free format is not taken
    }
    static constexpr int kRates[3] = {44100, 48000, 32000};
    static constexpr int kBitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    const bool mpeg1 = version == 3;
    h.version = version;
    h.layer = 4 - layerBits;
    h.rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const int kbps = kBitrates[mpeg1 ? 0 : 1][h.layer - 1][bitrateIndex];
    const int padding = (p[2] >> 1) & 1;
    if (h.layer == 1) {
        h.length = (12000 * kbps / h.rate + padding) * 4;
    } else {
        const int factor = (h.layer == 3 && !mpeg1) ? 72000 : 144000;
        h.length = factor * kbps / h.rate + padding;
    }
    return h.length > 4;
}

// MPEG audio: a frame within the first bytes after the tags, followed by two
// more frames of the same kind (or the end of the file), so noise is not taken.
bool LooksLikeMpeg(Source& source, std::int64_t start) {
    constexpr std::size_t kWindow = 8192;
    std::vector<unsigned char> buf(kWindow + 3 * 1500);
    if (!source.Seek(start)) {
        return false;
    }
    buf.resize(source.Read(buf.data(), buf.size()));
    const std::size_t n = buf.size();
    for (std::size_t i = 0; i + 4 <= n && i < kWindow; ++i) {
        MpegHeader first;
        if (!ParseMpegHeader(&buf[i], first)) {
            continue;
        }
        std::size_t at = i + static_cast<std::size_t>(first.length);
        int matched = 1;
        while (matched < 3) {
            MpegHeader next;
            if (at == n && start + static_cast<std::int64_t>(n) == source.Size()) {
                break;  // the file ends with a whole frame
            }
            if (at + 4 > n || !ParseMpegHeader(&buf[at], next) || next.version != first.version ||
                next.layer != first.layer || next.rate != first.rate) {
                break;
            }
            at += static_cast<std::size_t>(next.length);
            ++matched;
        }
        if (matched == 3 || (at == n && start + static_cast<std::int64_t>(n) == source.Size())) {
            return true;
        }
    }
    return false;
}

// Files that are plainly something other than audio.
bool LooksLikeNonAudio(const std::vector<unsigned char>& h) {
    static constexpr std::array<const char*, 10> kMagic = {"\x89PNG",
                                                           "\xFF\xD8\xFF",
                                                           "GIF8",
                                                           "%PDF",
                                                           "PK\x03\x04",
                                                           "\x7F"
                                                           "ELF",
                                                           "\x1F\x8B",
                                                           "7z\xBC\xAF",
                                                           "Rar!",
                                                           "BZh"};
    for (const char* magic : kMagic) {
        if (StartsWith(h, 0, magic)) {
            return true;
        }
    }
    if (StartsWith(h, 0, "RIFF")) {
        return true;  // RIFF but not WAVE: AVI and kin
    }
    // Text (playlists, notes): no control characters besides white space.
    return std::all_of(h.begin(), h.end(), [](unsigned char c) {
        return c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
    });
}

// A FLAC frame header, its CRC-8 right, at `at`: a stream received from its
// middle starts so, without "fLaC" and metadata. FF F8 is no MPEG header.
bool FlacFrameAt(Source& source, std::int64_t at) {
    unsigned char h[16];
    if (!source.Seek(at) || source.Read(h, sizeof h) != sizeof h || h[0] != 0xFF ||
        (h[1] & 0xFE) != 0xF8) {
        return false;
    }
    const unsigned block = h[2] >> 4;
    const unsigned rate = h[2] & 0xF;
    const unsigned bits = (h[3] >> 1) & 7;
    // Without STREAMINFO the header must give the rate and the sample size.
    if (block == 0 || rate == 0 || rate == 0xF || (h[3] >> 4) > 10 || bits == 0 || bits == 3 ||
        (h[3] & 1) != 0) {
        return false;
    }
    // The frame or sample number, coded as UTF-8 is (up to seven bytes).
    const int ones = std::countl_one(h[4]);
    if (ones == 1 || ones > 7) {
        return false;
    }
    std::size_t end = 5;
    for (int i = 1; i < ones; ++i, ++end) {
        if ((h[end] & 0xC0) != 0x80) {
            return false;
        }
    }
    end += block == 6 ? 1 : block == 7 ? 2 : 0;
    end += rate == 12 ? 1 : rate == 13 || rate == 14 ? 2 : 0;
    unsigned crc = 0;
    for (std::size_t i = 0; i < end; ++i) {
        crc ^= h[i];
        for (int b = 0; b < 8; ++b) {
            crc = (crc & 0x80) != 0 ? ((crc << 1) ^ 0x07) & 0xFF : (crc << 1) & 0xFF;
        }
    }
    return crc == h[end];
}

std::uint32_t BigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

std::uint32_t LittleEndian32(const unsigned char* p) {
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) |
           p[0];
}

std::uint16_t LittleEndian16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Reads exactly `n` bytes at `at`.
bool ReadAt(int fd, std::int64_t at, unsigned char* out, std::size_t n) {
    return ::pread(fd, out, n, static_cast<off_t>(at)) == static_cast<ssize_t>(n);
}

std::optional<double> WaveSeconds(int fd, std::int64_t fileSize) {
    unsigned char chunk[8];
    std::uint32_t rate = 0;
    std::uint32_t blockAlign = 0;
    std::int64_t at = 12;
    // A few dozen chunks at most stand before the samples.
    for (int i = 0; i < 64 && ReadAt(fd, at, chunk, 8); ++i) {
        const std::uint32_t size = LittleEndian32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[16];
            if (size < 16 || !ReadAt(fd, at + 8, fmt, 16)) {
                return std::nullopt;
            }
            // PCM, float, extensible: a frame is a block; compressed data is not.
            const std::uint16_t format = LittleEndian16(fmt);
            if (format != 1 && format != 3 && format != 0xFFFE) {
                return std::nullopt;
            }
            rate = LittleEndian32(fmt + 4);
            blockAlign = LittleEndian16(fmt + 12);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!RateSupported(rate) || blockAlign == 0) {
                return std::nullopt;
            }
            // A file cut short holds less than its header says.
            const std::int64_t bytes = std::min<std::int64_t>(size, fileSize - at - 8);
            return static_cast<double>(bytes / blockAlign) / rate;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

std::optional<double> MpegSeconds(int fd, std::int64_t fileSize) {
    std::int64_t start = 0;
    unsigned char id3[10];
    while (ReadAt(fd, start, id3, 10) && std::memcmp(id3, "ID3", 3) == 0 &&
           ((id3[6] | id3[7] | id3[8] | id3[9]) & 0x80) == 0) {
        start += 10 + ((std::int64_t{id3[6]} << 21) | (id3[7] << 14) | (id3[8] << 7) | id3[9]) +
                 ((id3[5] & 0x10) ? 10 : 0);
    }
    std::vector<unsigned char> buf(8192 + 512);
    const ssize_t got = ::pread(fd, buf.data(), buf.size(), static_cast<off_t>(start));
    if (got < 4) {
        return std::nullopt;
    }
    buf.resize(static_cast<std::size_t>(got));
    for (std::size_t i = 0; i + 4 <= buf.size() && i < 8192; ++i) {
        MpegHeader h;
        if (!ParseMpegHeader(&buf[i], h)) {
            continue;
        }
        // The next frame must follow, or this was noise that looked like one.
        MpegHeader next;
        const std::size_t after = i + static_cast<std::size_t>(h.length);
        if (after + 4 <= buf.size() && !ParseMpegHeader(&buf[after], next)) {
            continue;
        }
        const unsigned char* p = &buf[i];
        const std::size_t left = buf.size() - i;
        const double samplesPerFrame = h.layer == 1                       ? 384
                                       : (h.layer == 3 && h.version != 3) ? 576
                                                                          : 1152;
        const bool mono = (p[3] >> 6) == 3;
        const std::size_t side =
            4 + ((p[1] & 1) == 0 ? 2 : 0) + (h.version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17));
        if (h.layer == 3 && left >= side + 12 &&
            (std::memcmp(p + side, "Xing", 4) == 0 || std::memcmp(p + side, "Info", 4) == 0) &&
            (p[side + 7] & 1) != 0) {
            double samples = BigEndian32(p + side + 8) * samplesPerFrame;
            // The encoder's delay and padding, which gapless playback leaves out.
            const std::size_t lame = side + 120;
            if (left >= lame + 24 && std::memcmp(p + lame, "LAME", 4) == 0) {
                const unsigned char* d = p + lame + 21;
                samples -= ((d[0] << 4) | (d[1] >> 4)) + (((d[1] & 0x0F) << 8) | d[2]);
            }
            return std::max(samples, 0.0) / h.rate;
        }
        if (left >= 36 + 18 && std::memcmp(p + 36, "VBRI", 4) == 0) {
            return BigEndian32(p + 36 + 14) * samplesPerFrame / h.rate;
        }
        // No frame count: the first frame's bit rate over the audio bytes.
        unsigned char tag[3] = {};
        const bool v1 = ReadAt(fd, fileSize - 128, tag, 3) && std::memcmp(tag, "TAG", 3) == 0;
        const double bytes =
            static_cast<double>(fileSize - start - static_cast<std::int64_t>(i) - (v1 ? 128 : 0));
        const double bytesPerSecond = static_cast<double>(h.length) * h.rate / samplesPerFrame;
        return std::max(bytes, 0.0) / bytesPerSecond;
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> HeaderSecondsOf(const char* file) {
    const int fd = ::open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    unsigned char head[12];
    std::optional<double> seconds;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAt(fd, 0, head, 12)) {
        if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) {
            seconds = WaveSeconds(fd, st.st_size);
        } else {
            seconds = MpegSeconds(fd, st.st_size);
        }
    }
    ::close(fd);
    return seconds;
}

bool MpegHeaderHasFrames(Source& source, std::int64_t start) {
    unsigned char buf[4 + 2 + 32 + 8];
    MpegHeader h;
    if (!source.Seek(start) || source.Read(buf, sizeof buf) != sizeof buf ||
        !ParseMpegHeader(buf, h) || h.layer != 3) {
        return false;
    }
    const bool mono = (buf[3] >> 6) == 3;
    const std::size_t crc = (buf[1] & 1) == 0 ? 2 : 0;
    const std::size_t side = h.version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const unsigned char* tag = buf + 4 + crc + side;
    return (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0) &&
           (tag[7] & 1) != 0;
}

Opened OpenDecoder(Source& source, SampleType type, bool flacOnly, Scan scan) {
    std::vector<unsigned char> head(4096);
    head.resize(source.Read(head.data(), head.size()));
    if (head.empty()) {
        return {nullptr, kErrorNotAudio};
    }
    auto open = [&](auto&& opener) {
        source.Seek(0);
        return opener();
    };
    if (StartsWith(head, 0, "OggS") && head.size() > 27) {
        if (StartsWith(head, 27 + head[26],
                       "\x7F"
                       "FLAC")) {
            return open([&] { return OpenFlac(source, type, true); });
        }
        // A file of several streams (a video and its sound) begins with the
        // first page of each; vorbisfile plays the Vorbis one among them.
        bool video = false;
        std::size_t page = 0;
        while (page + 27 < head.size() && StartsWith(head, page, "OggS") &&
               (page == 0 || (head[page + 5] & 2) != 0)) {
            const std::size_t segments = head[page + 26];
            const std::size_t packet = page + 27 + segments;
            if (packet > head.size()) {
                break;
            }
            if (!flacOnly && StartsWith(head, packet, "\x01vorbis")) {
                return open([&] { return OpenVorbis(source, type); });
            }
            if (!flacOnly && StartsWith(head, packet, "OpusHead")) {
                return open([&] { return OpenFfmpeg(source, type, FfmpegContainer::Opus); });
            }
            video = video || StartsWith(head, packet, "\x80theora");
            page = packet;
            for (std::size_t i = 0; i < segments; ++i) {
                page += head[packet - segments + i];
            }
        }
        return {nullptr, video ? kErrorNotAudio : kErrorFileFormat};
    }
    const std::int64_t tags = Id3v2Size(source);
    unsigned char magic[4] = {};
    if ((source.Seek(tags) && source.Read(magic, 4) == 4 && std::memcmp(magic, "fLaC", 4) == 0) ||
        FlacFrameAt(source, tags)) {
        return open([&] { return OpenFlac(source, type, false); });
    }
    if (flacOnly) {
        return {nullptr, kErrorFileFormat};
    }
    if ((StartsWith(head, 0, "RIFF") || StartsWith(head, 0, "RIFX") ||
         StartsWith(head, 0, "RF64")) &&
        StartsWith(head, 8, "WAVE")) {
        return open([&] { return OpenWave(source, type); });
    }
    if (StartsWith(head, 4, "ftyp")) {
        return open([&] { return OpenFfmpeg(source, type, FfmpegContainer::Mp4); });
    }
    if (StartsWith(head, 0, "wvpk")) {
        return open([&] { return OpenFfmpeg(source, type, FfmpegContainer::WavPack); });
    }
    if (std::memcmp(magic, "MAC ", 4) == 0) {
        return open([&] { return OpenFfmpeg(source, type, FfmpegContainer::Ape); });
    }
    if (LooksLikeMpeg(source, tags)) {
        const bool full = scan == Scan::Always ||
                          (scan == Scan::IfNoHeader && !MpegHeaderHasFrames(source, tags));
        return open([&] { return OpenMpeg(source, type, full); });
    }
    if (ProbeModule(head, source.Size())) {
        return open([&] { return OpenModule(source, type); });
    }
    if (LooksLikeNonAudio(head)) {
        return {nullptr, kErrorNotAudio};
    }
    return {nullptr, kErrorFileFormat};
}

}  // namespace audio::detail
