#pragma once
// Audio files for the engine tests: WAV written here, MP3 and FLAC made from
// them by the Debian encoders into seekable files, so their gapless headers
// are written.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "audio/Audio.h"

namespace mirvo::test {

// Interleaved 16-bit stereo: `silence` seconds of zeros, then a tone whose
// level falls to nothing over the last `fade` seconds.
inline std::vector<std::int16_t> Tone(int rate, double seconds, double frequency,
                                      double silence = 0.0, double fade = 0.0) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    const auto quiet = static_cast<std::size_t>(silence * rate);
    const auto fadeFrames = static_cast<std::size_t>(fade * rate);
    std::vector<std::int16_t> samples(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        double level = i < quiet ? 0.0 : 0.5;
        if (fadeFrames > 0 && i + fadeFrames >= frames) {
            level *= static_cast<double>(frames - i) / static_cast<double>(fadeFrames);
        }
        const double value = level * 32767.0 * std::sin(2 * M_PI * frequency * i / rate);
        samples[2 * i] = static_cast<std::int16_t>(value);
        samples[2 * i + 1] = static_cast<std::int16_t>(-value);
    }
    return samples;
}

inline void WriteWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate,
                     int channels = 2) {
    std::ofstream out(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(static_cast<std::uint16_t>(channels));
    put32(static_cast<std::uint32_t>(rate));
    put32(static_cast<std::uint32_t>(rate * channels * 2));
    put16(static_cast<std::uint16_t>(channels * 2));
    put16(16);
    out.write("data", 4);
    put32(dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
}

inline bool Encode(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// The whole decoded data of a file, as the engine's sources deliver it.
inline std::vector<std::uint8_t> DecodeAll(const std::string& path) {
    const audio::Handle h =
        audio::StreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode);
    std::vector<std::uint8_t> data;
    if (h == 0) {
        return data;
    }
    std::vector<std::uint8_t> block(65536);
    for (;;) {
        const std::uint32_t got =
            audio::ChannelGetData(h, block.data(), static_cast<std::uint32_t>(block.size()));
        if (got == audio::kDataError || got == 0) {
            break;
        }
        data.insert(data.end(), block.begin(), block.begin() + got);
    }
    audio::StreamFree(h);
    return data;
}

}  // namespace mirvo::test
