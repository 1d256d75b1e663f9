// Any bytes as a station's audio, read forward only by each stream decoder:
// opening and decoding must end cleanly with samples or a refusal.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/Decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace audio::detail;
    for (auto* open : {OpenMpegStream, OpenVorbisStream, OpenAacStream, OpenOpusStream}) {
        const auto source = OpenMemorySource(data, size);
        Opened opened = open(*source, SampleType::S16);
        if (opened.decoder == nullptr) {
            continue;
        }
        std::vector<std::int16_t> pcm(4096 * opened.decoder->Channels());
        // Bounded: a tiny input must not keep the fuzzer decoding for minutes.
        for (int i = 0; i < 64 && opened.decoder->Read(pcm.data(), 4096) == 4096; ++i) {
        }
    }
    return 0;
}
