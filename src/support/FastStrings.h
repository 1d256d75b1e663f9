#pragma once
// Substring search and replace-all over byte text. Positions are 1-based;
// 0 means not found. Letter case is folded for ASCII letters only, so UTF-8
// sequences pass through untouched.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mirvo::FastStrings {

using SkipTable = std::array<std::int32_t, 256>;

// Entry c is byte c in upper case.
const std::array<unsigned char, 256>& UpperCaseTable();

// Both throw std::invalid_argument("BufferLen is 0") for an empty pattern.
void BuildSkipTable(const char* pattern, std::size_t patternLength, SkipTable& table);
void BuildSkipTableNoCase(const char* pattern, std::size_t patternLength, SkipTable& table);

// Address of the first match within `scanLength` bytes from `start`, or nullptr.
const char* SkipScan(const char* start, const char* pattern, std::size_t scanLength,
                     const SkipTable& table, std::size_t patternLength);
const char* SkipScanNoCase(const char* start, const char* pattern, std::size_t scanLength,
                           const SkipTable& table, std::size_t patternLength);

// First occurrence at or after `startPosition` (which must be at least 1).
std::size_t FindForward(const char* source, const char* pattern, std::size_t sourceLength,
                        std::size_t startPosition, std::size_t patternLength);
std::size_t FindForwardNoCase(const char* source, const char* pattern, std::size_t sourceLength,
                              std::size_t startPosition, std::size_t patternLength);

// Last occurrence starting at or before `startPosition`; 0 searches from the end.
std::size_t FindBackward(const char* source, const char* pattern, std::size_t sourceLength,
                         std::size_t startPosition, std::size_t patternLength);
std::size_t FindBackwardNoCase(const char* source, const char* pattern, std::size_t sourceLength,
                               std::size_t startPosition, std::size_t patternLength);

std::size_t FindText(std::string_view pattern, std::string_view source, bool caseSensitive,
                     bool forward, std::size_t startPosition);

// Every non-overlapping occurrence of `find` replaced; `counter` grows by the
// number of replacements when `replacement` is not empty.
std::string ReplaceAllText(std::string_view source, std::string_view find,
                           std::string_view replacement, int& counter, bool caseSensitive);

void CopyChars(const char* source, char* destination, std::size_t count);

}  // namespace mirvo::FastStrings
