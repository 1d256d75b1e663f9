#pragma once
// Small helpers the engine's parts share; not part of its interface.
#include <string>

#include "audio/Audio.h"
#include "playlist/Entries.h"

namespace mirvo::engine_detail {

constexpr int kRadioKind = 2;

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

inline audio::Handle OpenDecoder(const std::string& path, int kind) {
    return kind == kKindFlac
               ? audio::FlacStreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode)
               : audio::StreamCreateFile(false, path.c_str(), 0, 0, audio::kStreamDecode);
}

// Files of no known kind go to the decoders too: they recognise data by content.
inline bool HasDecoder(int kind) {
    return kind == kKindAudio || kind == kKindModule || kind == kKindFlac || kind == kKindUnknown;
}

}  // namespace mirvo::engine_detail
