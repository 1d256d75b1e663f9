#pragma once
// Text as stored in tags, turned into the program's UTF-8 text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mirvo::tagtext {

// Appends the code point `c` as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// Every byte is one ISO-8859-1 character.
std::string Latin1ToUtf8(std::string_view bytes);

enum class ByteOrder { LittleEndian, BigEndian };

// UTF-16 from `bytes` in `order`, unless a leading byte-order mark says
// otherwise. Stops at the first zero unit or when fewer than two bytes remain;
// byte-order marks are dropped, surrogate pairs joined, and a lone surrogate
// becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, ByteOrder order);

// The longest leading part of `bytes` that is well-formed UTF-8 (one to four
// byte sequences); decoding stops at the first malformed or cut sequence.
std::string_view Utf8ValidPrefix(std::string_view bytes);

// Removes characters of code 0 to 32 at both ends, or at the end only.
std::string_view TrimControls(std::string_view text);
std::string_view TrimTrailingControls(std::string_view text);

// ASCII letters upper-cased; other bytes unchanged.
std::string AsciiUpper(std::string_view text);

// `text` when it is nothing but decimal digits whose value is at most `limit`.
std::optional<std::uint32_t> ParseDecimal(std::string_view text, std::uint32_t limit);

// Every non-overlapping occurrence of `from`, left to right, replaced by `to`.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// The first `count` characters of UTF-8 text.
std::string_view FirstCharacters(std::string_view text, std::size_t count);

}  // namespace mirvo::tagtext
