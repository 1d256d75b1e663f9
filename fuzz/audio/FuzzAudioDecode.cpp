// Any bytes as an audio file held in memory: opening, decoding to the end,
// seeking and describing must end cleanly with data or an error code.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/Audio.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const audio::Handle h = audio::StreamCreateFile(true, data, 0, size, audio::kStreamDecode);
    if (h == 0) {
        return 0;
    }
    audio::ChannelInfo info;
    audio::ChannelGetInfo(h, &info);
    const std::uint64_t length = audio::StreamGetLength(h);
    std::vector<std::uint8_t> block(16384);
    // Bounded: a tiny input must not keep the fuzzer decoding for minutes.
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t got =
            audio::ChannelGetData(h, block.data(), static_cast<std::uint32_t>(block.size()));
        if (got == 0 || got == audio::kDataError) {
            break;
        }
    }
    if (length != audio::kPositionError && length > 0) {
        audio::ChannelSetPosition(h, length / 2 / 4 * 4);
        audio::ChannelGetData(h, block.data(), static_cast<std::uint32_t>(block.size()));
    }
    audio::StreamFree(h);
    return 0;
}
