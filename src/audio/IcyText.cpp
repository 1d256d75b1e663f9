#include "audio/IcyText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

namespace audio::detail {
namespace {

// Windows-1252 0x80..0x9F; 0 where the code page leaves a hole (kept as U+FFFD).
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsAddress(std::string_view line) {
    const std::string lower = Lower(line.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

Codec OggCodec(std::string_view head) {
    if (head.find("OpusHead") != std::string_view::npos) {
        return Codec::Opus;
    }
    if (head.find("\x01vorbis") != std::string_view::npos) {
        return Codec::Vorbis;
    }
    if (head.find("\x7f"
                  "FLAC") != std::string_view::npos) {
        return Codec::Flac;
    }
    return Codec::None;
}

// The first MPEG sync word: layer bits 00 are ADTS (AAC), others MPEG audio.
Codec SyncCodec(std::string_view head) {
    for (std::size_t i = 0; i + 1 < head.size(); ++i) {
        const auto a = static_cast<unsigned char>(head[i]);
        const auto b = static_cast<unsigned char>(head[i + 1]);
        if (a == 0xFF && (b & 0xF0) == 0xF0) {
            return (b & 0x06) == 0 ? Codec::Aac : Codec::Mpeg;
        }
        if (a == 0xFF && (b & 0xE0) == 0xE0 && (b & 0x06) != 0) {
            return Codec::Mpeg;  // MPEG 2.5
        }
    }
    return Codec::None;
}

}  // namespace

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string MediaType(std::string_view contentType) {
    return Lower(Trim(contentType.substr(0, contentType.find(';'))));
}

bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t min = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;
        }
        char32_t value = c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string ToUtf8(std::string_view text) {
    if (IsUtf8(text)) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c < 0xA0) {
            const char16_t mapped = kHigh[c - 0x80];
            AppendUtf8(out, mapped == 0 ? 0xFFFD : mapped);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

// The first web address an ASX list refers to (<ref href="...">).
std::optional<std::string> AsxAddress(std::string_view text) {
    const std::string lower = Lower(text);
    for (std::size_t ref = lower.find("<ref"); ref != std::string::npos;
         ref = lower.find("<ref", ref + 4)) {
        const std::size_t href = lower.find("href", ref);
        const std::size_t open = lower.find_first_of("\"'", href);
        if (href == std::string::npos || open == std::string::npos) {
            break;
        }
        const std::size_t close = lower.find(lower[open], open + 1);
        if (close == std::string::npos) {
            break;
        }
        const std::string_view address = Trim(text.substr(open + 1, close - open - 1));
        if (IsAddress(address)) {
            return std::string(address);
        }
    }
    return std::nullopt;
}

std::optional<std::string> PlaylistAddress(std::string_view text, bool isList) {
    if (Lower(text.substr(0, 4096)).find("<asx") != std::string::npos) {
        return AsxAddress(text);
    }
    std::size_t start = 0;
    bool pls = false;
    std::optional<std::string> firstLine;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        const std::string lower = Lower(line);
        if (lower == "[playlist]") {
            pls = true;
        } else if (lower.starts_with("file")) {
            const std::size_t eq = line.find('=');
            if (eq != std::string_view::npos && IsAddress(Trim(line.substr(eq + 1)))) {
                return std::string(Trim(line.substr(eq + 1)));
            }
        } else if (lower.starts_with("#extm3u")) {
            isList = true;
        } else if (!pls && line.front() != '#' && !firstLine) {
            if (!isList && !IsAddress(line)) {
                return std::nullopt;  // neither list kind starts like this
            }
            firstLine = std::string(line);
        }
    }
    return pls ? std::nullopt : firstLine;
}

bool IsPlaylistType(std::string_view contentType) {
    const std::string type = MediaType(contentType);
    return type == "audio/x-scpls" || type == "audio/scpls" || type == "audio/x-mpegurl" ||
           type == "audio/mpegurl" || type == "application/pls+xml" || type == "video/x-ms-asf" ||
           type == "video/x-ms-asx" || type == "audio/x-ms-asx";
}

bool ValidMetaInterval(std::string_view value) {
    value = Trim(value);
    // Stations use a few kilobytes; a megabyte between titles is no station.
    constexpr std::uint64_t kMost = 1 << 20;
    std::uint64_t n = 0;
    for (const char c : value) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0 || (n = n * 10 + (c - '0')) > kMost) {
            return false;
        }
    }
    return !value.empty();
}

bool LooksLikePlaylist(std::string_view head) {
    const std::string start = Lower(Trim(head.substr(0, 64)).substr(0, 10));
    return start.starts_with("[playlist]") || start.starts_with("#extm3u") ||
           start.starts_with("http://") || start.starts_with("https://") ||
           start.starts_with("<asx");
}

namespace {

// A web page or XML. An audio station may start with "<" anywhere in a frame,
// so one that says it sends audio must start with a real tag.
bool LooksLikeMarkup(std::string_view head, const std::string& type) {
    const std::size_t text = head.find_first_not_of(" \t\r\n");
    if (text == std::string_view::npos || head[text] != '<') {
        return false;
    }
    if (!type.starts_with("audio/") && type != "application/ogg") {
        return true;
    }
    const std::string start = Lower(head.substr(text, 9));
    return start.starts_with("<!doctype") || start.starts_with("<html") ||
           start.starts_with("<?xml") || start.starts_with("<head") || start.starts_with("<body");
}

}  // namespace

Codec Sniff(std::string_view head, const std::string& type) {
    if (LooksLikeMarkup(head, type)) {
        return Codec::None;
    }
    if (head.starts_with("OggS")) {
        return OggCodec(head);
    }
    if (head.starts_with("ID3")) {
        return Codec::Mpeg;
    }
    if (type == "audio/mpeg" || type == "audio/mp3" || type == "audio/x-mpeg" ||
        type == "audio/mpeg3") {
        return Codec::Mpeg;
    }
    if (type == "audio/aac" || type == "audio/aacp" || type == "audio/x-aac") {
        return Codec::Aac;
    }
    if (type.starts_with("text/")) {
        return Codec::None;
    }
    return SyncCodec(head);
}

std::string Resolve(const std::string& base, const std::string& address) {
    if (address.find("://") != std::string::npos || address.empty()) {
        return address;
    }
    const std::size_t scheme = base.find("://");
    if (scheme == std::string::npos) {
        return address;
    }
    if (address.front() == '/') {
        const std::size_t path = base.find('/', scheme + 3);
        return base.substr(0, path) + address;
    }
    return base.substr(0, base.rfind('/') + 1) + address;
}

}  // namespace audio::detail
