#include "support/FastStrings.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <type_traits>

namespace mirvo::FastStrings {
namespace {

std::array<unsigned char, 256> MakeUpperCaseTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A')
                                          : static_cast<unsigned char>(c);
    }
    return table;
}

const std::array<unsigned char, 256> kUpper = MakeUpperCaseTable();

inline unsigned char Byte(char c) {
    return static_cast<unsigned char>(c);
}

struct Exact {
    static unsigned char Map(char c) { return Byte(c); }
};
struct NoCase {
    static unsigned char Map(char c) { return kUpper[Byte(c)]; }
};

template <class Fold>
void BuildTable(const char* pattern, std::size_t m, SkipTable& table) {
    if (m == 0) {
        throw std::invalid_argument("BufferLen is 0");
    }
    // Patterns longer than the table's range still skip correctly by the clamp.
    const auto full = static_cast<std::int32_t>(
        std::min<std::size_t>(m, std::numeric_limits<std::int32_t>::max()));
    table.fill(full);
    for (std::size_t i = 0; i + 1 < m; ++i) {
        const std::size_t shift = m - 1 - i;
        table[Fold::Map(pattern[i])] = static_cast<std::int32_t>(
            std::min<std::size_t>(shift, std::numeric_limits<std::int32_t>::max()));
    }
}

template <class Fold>
const char* Scan(const char* text, const char* pattern, std::size_t n, const SkipTable& table,
                 std::size_t m) {
    if (m == 0 || n < m) {
        return nullptr;
    }
    const unsigned char last = Fold::Map(pattern[m - 1]);
    std::size_t pos = 0;
    const std::size_t lastStart = n - m;
    while (pos <= lastStart) {
        const unsigned char c = Fold::Map(text[pos + m - 1]);
        if (c == last) {
            std::size_t i = m - 1;
            while (i > 0 && Fold::Map(text[pos + i - 1]) == Fold::Map(pattern[i - 1])) {
                --i;
            }
            if (i == 0) {
                return text + pos;
            }
        }
        pos += static_cast<std::size_t>(table[c]);
    }
    return nullptr;
}

template <class Fold>
std::size_t Forward(const char* source, const char* pattern, std::size_t n, std::size_t k,
                    std::size_t m) {
    if (k < 1) {
        throw std::logic_error("FastStrings: start position below 1");
    }
    if (m == 0 || n < m || k > n) {
        return 0;
    }
    const std::size_t scanLength = n - k + 1;
    if constexpr (std::is_same_v<Fold, Exact>) {
        // The C library's vectorised search finds the same first match several
        // times faster than a byte-wise skip loop.
        const auto hit = std::string_view(source, n).find(std::string_view(pattern, m), k - 1);
        return hit == std::string_view::npos ? 0 : hit + 1;
    }
    SkipTable table;
    BuildTable<Fold>(pattern, m, table);
    const char* hit = Scan<Fold>(source + k - 1, pattern, scanLength, table, m);
    return hit ? static_cast<std::size_t>(hit - source) + 1 : 0;
}

template <class Fold>
std::size_t Backward(const char* source, const char* pattern, std::size_t n, std::size_t k,
                     std::size_t m) {
    if (m == 0 || n < m) {
        return 0;
    }
    std::size_t pos = (k == 0 || k + m > n) ? n - m + 1 : k;
    const unsigned char first = Fold::Map(pattern[0]);
    for (; pos >= 1; --pos) {
        const char* at = source + pos - 1;
        if (Fold::Map(at[0]) != first) {
            continue;
        }
        std::size_t i = 1;
        while (i < m && Fold::Map(at[i]) == Fold::Map(pattern[i])) {
            ++i;
        }
        if (i == m) {
            return pos;
        }
    }
    return 0;
}

}  // namespace

const std::array<unsigned char, 256>& UpperCaseTable() {
    return kUpper;
}

void BuildSkipTable(const char* pattern, std::size_t m, SkipTable& table) {
    BuildTable<Exact>(pattern, m, table);
}

void BuildSkipTableNoCase(const char* pattern, std::size_t m, SkipTable& table) {
    BuildTable<NoCase>(pattern, m, table);
}

const char* SkipScan(const char* start, const char* pattern, std::size_t scanLength,
                     const SkipTable& table, std::size_t m) {
    return Scan<Exact>(start, pattern, scanLength, table, m);
}

const char* SkipScanNoCase(const char* start, const char* pattern, std::size_t scanLength,
                           const SkipTable& table, std::size_t m) {
    return Scan<NoCase>(start, pattern, scanLength, table, m);
}

std::size_t FindForward(const char* source, const char* pattern, std::size_t n, std::size_t k,
                        std::size_t m) {
    return Forward<Exact>(source, pattern, n, k, m);
}

std::size_t FindForwardNoCase(const char* source, const char* pattern, std::size_t n, std::size_t k,
                              std::size_t m) {
    return Forward<NoCase>(source, pattern, n, k, m);
}

std::size_t FindBackward(const char* source, const char* pattern, std::size_t n, std::size_t k,
                         std::size_t m) {
    return Backward<Exact>(source, pattern, n, k, m);
}

std::size_t FindBackwardNoCase(const char* source, const char* pattern, std::size_t n,
                               std::size_t k, std::size_t m) {
    return Backward<NoCase>(source, pattern, n, k, m);
}

std::size_t FindText(std::string_view pattern, std::string_view source, bool caseSensitive,
                     bool forward, std::size_t startPosition) {
    if (forward) {
        return caseSensitive ? FindForward(source.data(), pattern.data(), source.size(),
                                           startPosition, pattern.size())
                             : FindForwardNoCase(source.data(), pattern.data(), source.size(),
                                                 startPosition, pattern.size());
    }
    return caseSensitive ? FindBackward(source.data(), pattern.data(), source.size(), startPosition,
                                        pattern.size())
                         : FindBackwardNoCase(source.data(), pattern.data(), source.size(),
                                              startPosition, pattern.size());
}

std::string ReplaceAllText(std::string_view source, std::string_view find,
                           std::string_view replacement, int& counter, bool caseSensitive) {
    if (source.empty() || find.empty()) {
        return std::string(source);
    }
    const std::size_t n = source.size();
    const std::size_t f = find.size();
    const std::size_t r = replacement.size();

    // One reservation up front; std::string grows geometrically past it.
    std::size_t reserve = n;
    if (f < r) {
        reserve = (n > std::numeric_limits<std::size_t>::max() / r) ? 0 : n * r / f;
    }
    if (reserve == 0) {
        reserve = (n + r) + (n + r) / 2;
    }
    std::string result;
    result.reserve(reserve);

    SkipTable table;
    if (!caseSensitive) {
        BuildSkipTableNoCase(find.data(), f, table);
    }

    std::size_t pos = 0;
    while (n - pos >= f) {
        std::size_t at;
        if (caseSensitive) {
            at = source.find(find, pos);
            if (at == std::string_view::npos) {
                break;
            }
        } else {
            const char* hit = SkipScanNoCase(source.data() + pos, find.data(), n - pos, table, f);
            if (hit == nullptr) {
                break;
            }
            at = static_cast<std::size_t>(hit - source.data());
        }
        result.append(source.data() + pos, at - pos);
        if (r != 0) {
            ++counter;
            result.append(replacement);
        }
        pos = at + f;
    }
    result.append(source.data() + pos, n - pos);
    return result;
}

void CopyChars(const char* source, char* destination, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        destination[i] = source[i];
    }
}

}  // namespace mirvo::FastStrings
