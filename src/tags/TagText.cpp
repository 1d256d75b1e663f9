#include "tags/TagText.h"

namespace mirvo::tagtext {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {

bool IsControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

// Length of the well-formed sequence at the start of `s`, or 0.
std::size_t SequenceLength(std::string_view s) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length;
    unsigned char low = 0x80;   // bounds of the second byte, which rule out
    unsigned char high = 0xBF;  // overlong forms, surrogates and values past U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (s.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        AppendUtf8(out, static_cast<unsigned char>(c));
    }
    return out;
}

std::string Utf16ToUtf8(std::string_view bytes, ByteOrder order) {
    std::string out;
    char32_t pendingHigh = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        if (i == 0 && ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF))) {
            order = b0 == 0xFF ? ByteOrder::LittleEndian : ByteOrder::BigEndian;
            continue;
        }
        char32_t unit = order == ByteOrder::LittleEndian ? (b1 << 8 | b0) : (b0 << 8 | b1);
        if (unit == 0) {
            break;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF && pendingHigh != 0) {
            AppendUtf8(out, 0x10000 + ((pendingHigh - 0xD800) << 10) + (unit - 0xDC00));
            pendingHigh = 0;
            continue;
        }
        if (pendingHigh != 0) {
            AppendUtf8(out, 0xFFFD);
            pendingHigh = 0;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            pendingHigh = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else if (unit != 0xFEFF) {
            AppendUtf8(out, unit);
        }
    }
    if (pendingHigh != 0) {
        AppendUtf8(out, 0xFFFD);
    }
    return out;
}

std::string_view Utf8ValidPrefix(std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t length = SequenceLength(bytes.substr(at));
        if (length == 0) {
            break;
        }
        at += length;
    }
    return bytes.substr(0, at);
}

std::string_view TrimControls(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size() && IsControl(text[begin])) {
        ++begin;
    }
    return TrimTrailingControls(text.substr(begin));
}

std::string_view TrimTrailingControls(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && IsControl(text[end - 1])) {
        --end;
    }
    return text.substr(0, end);
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::optional<std::uint32_t> ParseDecimal(std::string_view text, std::uint32_t limit) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > limit) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(value);
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    std::size_t at = 0;
    while (true) {
        std::size_t hit = from.empty() ? std::string_view::npos : text.find(from, at);
        if (hit == std::string_view::npos) {
            out.append(text.substr(at));
            return out;
        }
        out.append(text.substr(at, hit - at));
        out.append(to);
        at = hit + from.size();
    }
}

std::string_view FirstCharacters(std::string_view text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t n = 0; n < count && at < text.size(); ++n) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            ++at;
        }
    }
    return text.substr(0, at);
}

}  // namespace mirvo::tagtext
