#pragma once
// The test signal every fixture is made from, so tests know each sample without
// asking a decoder.
#include <cmath>
#include <cstdint>
#include <string>

namespace audio_fixtures {

inline constexpr std::uint32_t kRate = 44100;
inline constexpr std::uint32_t kFrames = 66150;  // 1.5 s
// Lengths of the three gapless parts, in frames.
inline constexpr std::uint32_t kPartFrames[3] = {22050, 32101, 48511};
// The 48 kHz fixtures (Opus) of the same signal: 1.5 s.
inline constexpr std::uint32_t kFrames48 = 72000;
// A longer WavPack fixture (seed 3): 10 s.
inline constexpr std::uint32_t kTenFrames = 441000;
// An album cut from one run of the signal (seed 5) into three tracks, at 44.1
// and at 48 kHz: where each track starts, and the end.
inline constexpr std::uint32_t kAlbumCuts[4] = {0, 30011, 74111, 99124};
inline constexpr std::uint32_t kAlbumCuts48[4] = {0, 33331, 80640, 107999};
// The module: one pattern broken after 16 rows at speed 6, 125 BPM (1.92 s).
inline constexpr std::uint32_t kModuleFrames = 84672;
// Silent MPEG fixtures written frame by frame.
inline constexpr std::uint32_t kLayer1Frames = 40;
inline constexpr std::uint32_t kLayer2Frames = 40;

// Two tones (440 Hz left, 660 Hz right) with a little deterministic noise, so that
// bit-exact comparisons mean something. `seed` varies the noise per file.
inline std::int16_t Sample(std::uint32_t frame, std::uint32_t channel, std::uint32_t seed = 0) {
    constexpr double kPi = 3.14159265358979323846;
    const double freq = channel == 0 ? 440.0 : 660.0;
    const double tone = 12000.0 * std::sin(2.0 * kPi * freq * frame / kRate);
    std::uint32_t h = (frame * 2 + channel + seed * 7919u) * 2654435761u;
    h ^= h >> 15;
    const int noise = static_cast<int>(h % 129) - 64;
    return static_cast<std::int16_t>(std::lround(tone) + noise);
}

}  // namespace audio_fixtures
