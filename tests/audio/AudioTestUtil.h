#pragma once
// Helpers shared by the audio tests.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Signal.h"
#include "audio/Audio.h"

namespace audio_fixtures {

inline std::string Path(const std::string& name) {
    return std::string(MIRVO_AUDIO_FIXTURES) + "/" + name;
}

inline audio::Handle OpenDecode(const std::string& name, std::uint32_t flags = 0) {
    const std::string path = Path(name);
    return audio::StreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode | flags);
}

// Everything a decode stream delivers from where it stands, in blocks of `block` bytes.
inline std::vector<std::uint8_t> ReadAll(audio::Handle handle, std::uint32_t block = 65536) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buf(block);
    for (;;) {
        const std::uint32_t got = audio::ChannelGetData(handle, buf.data(), block);
        if (got == audio::kDataError || got == 0) {
            break;
        }
        out.insert(out.end(), buf.begin(), buf.begin() + got);
    }
    return out;
}

inline std::vector<std::int16_t> AsSamples(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The test signal as interleaved stereo 16-bit samples.
inline std::vector<std::int16_t> Expected(std::uint32_t frames, std::uint32_t seed = 0) {
    std::vector<std::int16_t> out;
    out.reserve(frames * 2);
    for (std::uint32_t f = 0; f < frames; ++f) {
        out.push_back(Sample(f, 0, seed));
        out.push_back(Sample(f, 1, seed));
    }
    return out;
}

}  // namespace audio_fixtures
