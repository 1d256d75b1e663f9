#pragma once
// Small text helpers shared by every layer.
#include <cstdint>
#include <string>
#include <string_view>

namespace mirvo {

// `value` with `separator` between each group of three digits from the right.
std::string GroupThousands(std::uint64_t value, std::string_view separator);
// Whole megabytes (1048576 bytes, rounded) grouped with `separator`.
std::string FormatMegabytes(std::uint64_t bytes, std::string_view separator);

// `text` without the bytes of `blanks` at either end; inside it they stay.
std::string_view Trim(std::string_view text, std::string_view blanks);

// Letter case is folded for A-Z only: UTF-8 sequences pass through untouched.
inline unsigned char LowerAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}
std::string LowerAscii(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool ContainsNoCase(std::string_view text, std::string_view needle);

}  // namespace mirvo
