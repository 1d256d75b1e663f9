#include "support/Text.h"

namespace mirvo {

std::string GroupThousands(std::uint64_t value, std::string_view separator) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += separator;
        }
        out += digits[i];
    }
    return out;
}

std::string FormatMegabytes(std::uint64_t bytes, std::string_view separator) {
    return GroupThousands(static_cast<std::uint64_t>(static_cast<double>(bytes) / 1048576.0 + 0.5),
                          separator);
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(LowerAscii(static_cast<unsigned char>(c)));
    }
    return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(static_cast<unsigned char>(text[i])) !=
            LowerAscii(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

bool ContainsNoCase(std::string_view text, std::string_view needle) {
    for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
        if (StartsWithNoCase(text.substr(i), needle)) {
            return true;
        }
    }
    return false;
}

}  // namespace mirvo
