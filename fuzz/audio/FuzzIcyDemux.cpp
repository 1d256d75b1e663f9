// Any bytes as a station's body with in-stream metadata every `interval`
// bytes (the interval taken from the first two input bytes): the audio and
// the titles come out the same however the body is cut into pieces, the audio
// is the body without its metadata blocks, and no title holds a NUL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzRequire.h"
#include "audio/Download.h"

namespace {

struct Output {
    std::string audio;
    std::vector<std::string> titles;
    bool operator==(const Output&) const = default;
};

Output Demux(std::uint64_t interval, std::string_view body, std::size_t piece) {
    audio::detail::IcyDemux demux;
    demux.SetInterval(interval);
    Output out;
    for (std::size_t at = 0; at < body.size(); at += piece) {
        const std::string_view part = body.substr(at, piece);
        Require(demux.Feed(
            part.data(), part.size(),
            [&](const char* data, std::size_t n) {
                out.audio.append(data, n);
                return true;
            },
            [&](std::string_view text) {
                out.titles.emplace_back(text);
                return true;
            }));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::uint64_t interval = data[0] | (data[1] & 0x0F) << 8;
    const std::size_t piece = 1 + data[2] % 17;
    const std::string_view body(reinterpret_cast<const char*>(data) + 3, size - 3);
    const Output whole = Demux(interval, body, body.size() + 1);
    Require(Demux(interval, body, piece) == whole);
    Require(Demux(interval, body, 1) == whole);
    if (interval == 0) {
        Require(whole.audio == body && whole.titles.empty());
        return 0;
    }
    // The same cut made by walking the blocks.
    std::string audio;
    std::size_t blocks = 0;
    for (std::size_t at = 0; at < body.size();) {
        const std::size_t take = std::min<std::size_t>(interval, body.size() - at);
        audio.append(body.substr(at, take));
        at += take;
        if (at < body.size()) {
            const std::size_t length = static_cast<unsigned char>(body[at]) * std::size_t{16};
            if (at + 1 + length <= body.size()) {
                ++blocks;
            }
            at += 1 + length;
        }
    }
    Require(whole.audio == audio && whole.titles.size() == blocks);
    for (const std::string& title : whole.titles) {
        Require(title.find('\0') == std::string::npos && title.size() <= 255 * 16);
    }
    return 0;
}
