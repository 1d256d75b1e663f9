#pragma once
// Small helpers the engine's parts share; not part of its interface.
#include <cstdlib>
#include <string>

#include "audio/Audio.h"
#include "playlist/Entries.h"

namespace mirvo::engine_detail {

constexpr int kRadioKind = 2;

// Average absolute value of the samples louder than the noise floor; 0 when none.
inline std::int64_t AverageLevel(const std::int16_t* samples, std::size_t count) {
    constexpr int kNoiseFloor = 20;
    std::int64_t sum = 0;
    std::int64_t n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int a = std::abs(static_cast<int>(samples[i]));
        if (a > kNoiseFloor) {
            sum += a;
            ++n;
        }
    }
    return n == 0 ? 0 : sum / n;
}

inline std::int64_t Bytes(audio::Handle handle, double seconds) {
    const std::uint64_t b = audio::ChannelSeconds2Bytes(handle, static_cast<float>(seconds));
    return b == audio::kPositionError ? 0 : static_cast<std::int64_t>(b);
}

inline std::int64_t Length(audio::Handle handle) {
    const std::uint64_t b = audio::StreamGetLength(handle);
    return b == audio::kPositionError ? 0 : static_cast<std::int64_t>(b);
}

inline void FreeStream(audio::Handle handle) {
    if (handle != 0) {
        audio::StreamFree(handle);
        audio::MusicFree(handle);
    }
}

inline audio::Handle OpenDecoder(const std::string& path, int kind, std::uint32_t flags = 0) {
    flags |= audio::kStreamDecode;
    return kind == kKindFlac ? audio::FlacStreamCreateFile(false, path.c_str(), 0, 0, flags)
                             : audio::StreamCreateFile(false, path.c_str(), 0, 0, flags);
}

// Files of no known kind go to the decoders too: they recognise data by content.
inline bool HasDecoder(int kind) {
    return kind == kKindAudio || kind == kKindModule || kind == kKindFlac || kind == kKindUnknown;
}

// A float probe of a file before it plays: a CheckResult, and the library's
// code when opening failed in a way worth telling (`notice`). Any thread.
struct Probed {
    int result = 0;
    int error = 0;
    bool notice = false;
};
Probed ProbeFile(const std::string& entry, int kind);

}  // namespace mirvo::engine_detail
