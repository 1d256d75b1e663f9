#pragma once
// FLAC files whose format changes mid-way, as stream captures and some
// encoders write them: the frames of one file after a whole other one.
#include <cstdint>
#include <string>

namespace mirvo::test {

// Where the frames of a FLAC file begin: after "fLaC" and its metadata blocks.
inline std::size_t FlacFramesStart(const std::string& flac) {
    std::size_t at = 4;
    while (at + 4 <= flac.size()) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(flac[i]); };
        const bool last = (byte(at) & 0x80) != 0;
        at += 4 + (std::size_t{byte(at + 1)} << 16 | std::size_t{byte(at + 2)} << 8 | byte(at + 3));
        if (last) {
            break;
        }
    }
    return at;
}

// `first` whole, then the frames of `second`; its STREAMINFO counts `samples`.
inline std::string JoinFlac(const std::string& first, const std::string& second,
                            std::uint64_t samples) {
    std::string joined = first + second.substr(FlacFramesStart(second));
    // 36 bits from the low half of STREAMINFO's byte 13 (the block starts at 8).
    joined[21] = static_cast<char>((joined[21] & 0xF0) | ((samples >> 32) & 0xF));
    for (int i = 0; i < 4; ++i) {
        joined[22 + static_cast<std::size_t>(i)] = static_cast<char>(samples >> (24 - 8 * i));
    }
    return joined;
}

}  // namespace mirvo::test
