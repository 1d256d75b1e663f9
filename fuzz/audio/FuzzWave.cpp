// Any bytes as a WAV file: the chunk walk either opens a decoder whose format
// the output can take, or refuses with an error code; decoding gives no more
// frames than the file says it has, and a seek lands where it was asked to.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzRequire.h"
#include "audio/Audio.h"
#include "audio/Decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace audio::detail;
    for (const SampleType type : {SampleType::S16, SampleType::F32}) {
        const auto source = OpenMemorySource(data, size);
        Opened opened = OpenWave(*source, type);
        if (opened.decoder == nullptr) {
            Require(opened.error != audio::kOk);
            continue;
        }
        Decoder& decoder = *opened.decoder;
        Require(RateSupported(decoder.Rate()) && ChannelsSupported(decoder.Channels()) &&
                decoder.Frames() > 0);
        std::vector<float> pcm(1024 * decoder.Channels());
        std::uint64_t frames = 0;
        // Bounded: a tiny input must not keep the fuzzer decoding for minutes.
        for (int i = 0; i < 64; ++i) {
            const std::size_t got = decoder.Read(pcm.data(), 1024);
            Require(got <= 1024);
            frames += got;
            if (got < 1024) {
                Require(frames <= decoder.Frames());
                break;
            }
        }
        if (decoder.Seek(decoder.Frames() / 2)) {
            decoder.Read(pcm.data(), 1024);
        }
    }
    return 0;
}
