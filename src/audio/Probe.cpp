// Tells formats apart by their content, never by the file name.
#include <algorithm>
#include <array>
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

}  // namespace

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
        const std::size_t packet = 27 + head[26];
        if (StartsWith(head, packet,
                       "\x7F"
                       "FLAC")) {
            return open([&] { return OpenFlac(source, type, true); });
        }
        if (!flacOnly && StartsWith(head, packet, "\x01vorbis")) {
            return open([&] { return OpenVorbis(source, type); });
        }
        if (StartsWith(head, packet, "\x80theora")) {
            return {nullptr, kErrorNotAudio};
        }
        return {nullptr, kErrorFileFormat};
    }
    const std::int64_t tags = Id3v2Size(source);
    unsigned char magic[4] = {};
    if (source.Seek(tags) && source.Read(magic, 4) == 4 && std::memcmp(magic, "fLaC", 4) == 0) {
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
