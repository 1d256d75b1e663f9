#pragma once
// Integers as the tag formats store them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace mirvo::tagnumbers {

inline std::uint32_t BigEndian(const std::uint8_t* b, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = value << 8 | b[i];
    }
    return value;
}

inline std::uint32_t LittleEndian32(const std::uint8_t* b) {
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// Seven bits per byte, most significant first.
inline std::uint32_t SyncSafe(const std::uint8_t* b) {
    return (b[0] & 0x7Fu) << 21 | (b[1] & 0x7Fu) << 14 | (b[2] & 0x7Fu) << 7 | (b[3] & 0x7Fu);
}

// Nearest whole kbit/s, held within range for absurd headers.
inline std::int32_t RoundKbps(double kbps) {
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::lround(std::clamp(kbps, -kMax, kMax)));
}

}  // namespace mirvo::tagnumbers
