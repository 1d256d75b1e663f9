// Any bytes as an Opus, MP4, WavPack or Monkey's Audio file in memory: what
// decodes never runs past the length the stream reported, 16-bit and float
// decoding deliver the same frames, and a seek lands where it was asked to.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzRequire.h"
#include "audio/Audio.h"

namespace {

// Frames decoded from where the stream stands, in a bounded number of reads.
std::uint64_t Drain(audio::Handle h, std::uint32_t frameBytes, bool& ended) {
    std::vector<std::uint8_t> block(16384);
    std::uint64_t bytes = 0;
    ended = false;
    // Bounded: a tiny input must not keep the fuzzer decoding for minutes.
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t got =
            audio::ChannelGetData(h, block.data(), static_cast<std::uint32_t>(block.size()));
        Require(got != audio::kDataError || audio::ErrorGetCode() == audio::kErrorFileFormat);
        if (got == 0 || got == audio::kDataError) {
            ended = true;
            break;
        }
        Require(got % frameBytes == 0);
        bytes += got;
    }
    return bytes / frameBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const audio::Handle h = audio::StreamCreateFile(true, data, 0, size, audio::kStreamDecode);
    if (h == 0) {
        return 0;
    }
    audio::ChannelInfo info;
    Require(audio::ChannelGetInfo(h, &info));
    Require(info.Channels >= 1 && info.Channels <= 8);
    const std::uint32_t frameBytes = info.Channels * 2;
    const std::uint64_t length = audio::StreamGetLength(h) / frameBytes;
    bool ended = false;
    const std::uint64_t frames = Drain(h, frameBytes, ended);
    Require(frames <= length);

    const audio::Handle f =
        audio::StreamCreateFile(true, data, 0, size, audio::kStreamDecode | audio::kSampleFloat);
    Require(f != 0);
    bool floatEnded = false;
    const std::uint64_t floatFrames = Drain(f, info.Channels * 4, floatEnded);
    Require(!ended || !floatEnded || floatFrames == frames);
    audio::StreamFree(f);

    for (const std::uint64_t at : {length / 2, std::uint64_t{1}}) {
        if (at < length && audio::ChannelSetPosition(h, at * frameBytes)) {
            Require(audio::ChannelGetPosition(h) == at * frameBytes);
            Require(Drain(h, frameBytes, ended) <= length - at);
        }
    }
    audio::StreamFree(h);
    return 0;
}
