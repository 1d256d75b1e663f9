#pragma once
// Tag and stream layouts written byte by byte, for tests, fuzz seeds and the
// benchmark. Every function returns the bytes as a std::string.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tagfixtures {

inline std::string LE32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

inline std::string BE(std::uint32_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>(v >> (8 * i));
    }
    return out;
}

inline std::string SyncSafe(std::uint32_t v) {
    return {static_cast<char>((v >> 21) & 0x7F), static_cast<char>((v >> 14) & 0x7F),
            static_cast<char>((v >> 7) & 0x7F), static_cast<char>(v & 0x7F)};
}

// 128 bytes: "TAG", the fields padded with zero bytes, bytes 125-126 as given.
inline std::string Id3v1(std::string_view title, std::string_view artist, std::string_view album,
                         std::string_view year, std::string_view comment, std::uint8_t genre) {
    std::string tag(128, '\0');
    auto put = [&](std::size_t at, std::string_view text, std::size_t room) {
        tag.replace(at, std::min(text.size(), room), text.substr(0, room));
    };
    put(0, "TAG", 3);
    put(3, title, 30);
    put(33, artist, 30);
    put(63, album, 30);
    put(93, year, 4);
    put(97, comment, 30);
    tag[127] = static_cast<char>(genre);
    return tag;
}

// "LYRICSBEGIN", the fields (id, data), the 6-digit size and "LYRICS200".
inline std::string Lyrics3(std::initializer_list<std::pair<std::string, std::string>> fields) {
    std::string block = "LYRICSBEGIN";
    for (const auto& [id, data] : fields) {
        std::string length = std::to_string(data.size());
        block += id + std::string(5 - length.size(), '0') + length + data;
    }
    std::string size = std::to_string(block.size());
    return block + std::string(6 - size.size(), '0') + size + "LYRICS200";
}

// One frame; version 2 has 3-character ids and no flags, version 4 sync-safe sizes.
inline std::string Id3v2Frame(int version, std::string_view id, std::string_view data,
                              std::uint8_t formatFlags = 0) {
    std::string out(id);
    if (version == 2) {
        return out + BE(static_cast<std::uint32_t>(data.size()), 3) + std::string(data);
    }
    auto size = static_cast<std::uint32_t>(data.size());
    out += version == 4 ? SyncSafe(size) : BE(size, 4);
    out += '\0';
    out += static_cast<char>(formatFlags);
    return out + std::string(data);
}

// A text frame in ISO-8859-1 (encoding byte 0).
inline std::string Id3v2Text(int version, std::string_view id, std::string_view text) {
    std::string data(1, '\0');
    data.append(text);
    return Id3v2Frame(version, id, data);
}

inline std::string Id3v2Tag(int version, std::string_view frames, std::size_t padding = 0,
                            std::uint8_t flags = 0) {
    std::string body = std::string(frames) + std::string(padding, '\0');
    return std::string("ID3") + static_cast<char>(version) + '\0' + static_cast<char>(flags) +
           SyncSafe(static_cast<std::uint32_t>(body.size())) + body;
}

inline std::string FlacStreamInfo(std::uint32_t rate, int channels, int bits,
                                  std::uint64_t samples) {
    std::string info(34, '\0');
    info[0] = 0x10;  // block sizes 4096
    info[2] = 0x10;
    info[10] = static_cast<char>(rate >> 12);
    info[11] = static_cast<char>(rate >> 4);
    info[12] = static_cast<char>((rate & 0xF) << 4 | (channels - 1) << 1 | (bits - 1) >> 4);
    info[13] = static_cast<char>(((bits - 1) & 0xF) << 4 | ((samples >> 32) & 0xF));
    std::string low = BE(static_cast<std::uint32_t>(samples), 4);
    info.replace(14, 4, low);
    return info;
}

inline std::string FlacBlock(int type, std::string_view data, bool last) {
    return static_cast<char>(type | (last ? 0x80 : 0)) +
           BE(static_cast<std::uint32_t>(data.size()), 3) + std::string(data);
}

// Vendor, count and comments as a Vorbis comment block holds them.
inline std::string VorbisComments(std::string_view vendor,
                                  const std::vector<std::string>& comments) {
    std::string out = LE32(static_cast<std::uint32_t>(vendor.size())) + std::string(vendor);
    out += LE32(static_cast<std::uint32_t>(comments.size()));
    for (const std::string& c : comments) {
        out += LE32(static_cast<std::uint32_t>(c.size())) + c;
    }
    return out;
}

// "fLaC", STREAMINFO and the given blocks (each made with FlacBlock).
inline std::string Flac(std::uint32_t rate, int channels, int bits, std::uint64_t samples,
                        std::string_view blocks) {
    return "fLaC" + FlacBlock(0, FlacStreamInfo(rate, channels, bits, samples), blocks.empty()) +
           std::string(blocks);
}

// One Ogg page (checksum left 0) of the logical stream `serial` whose
// segments carry `body`; `open` leaves the last packet unfinished so that it
// goes on in the next page.
inline std::string OggPage(std::uint8_t headerType, std::uint64_t granule, std::uint32_t sequence,
                           std::string_view body, bool open = false,
                           std::uint32_t serial = 0x4D49525Au) {
    std::string segments;
    std::size_t left = body.size();
    while (left >= 255) {
        segments += static_cast<char>(255);
        left -= 255;
    }
    if (!open) {
        segments += static_cast<char>(left);
    }
    std::string page = "OggS";
    page += '\0';
    page += static_cast<char>(headerType);
    page +=
        LE32(static_cast<std::uint32_t>(granule)) + LE32(static_cast<std::uint32_t>(granule >> 32));
    page += LE32(serial) + LE32(sequence) + LE32(0);
    page += static_cast<char>(segments.size());
    return page + segments + std::string(body);
}

inline std::string VorbisIdentification(int channels, std::uint32_t rate, std::int32_t nominal) {
    std::string id = "\x01vorbis" + LE32(0);
    id += static_cast<char>(channels);
    id += LE32(rate) + LE32(0) + LE32(static_cast<std::uint32_t>(nominal)) + LE32(0);
    id += '\xB8';
    id += '\x01';
    return id;
}

inline std::string VorbisCommentPacket(std::string_view vendor,
                                       const std::vector<std::string>& comments) {
    return "\x03vorbis" + VorbisComments(vendor, comments) + '\x01';
}

// First page with the identification header, second with the comment header.
inline std::string OggVorbisHeaders(int channels, std::uint32_t rate, std::int32_t nominal,
                                    std::string_view vendor,
                                    const std::vector<std::string>& comments) {
    return OggPage(2, 0, 0, VorbisIdentification(channels, rate, nominal)) +
           OggPage(0, 0, 1, VorbisCommentPacket(vendor, comments));
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tagfixtures
