// Any bytes as a station's text: the UTF-8 reading always gives valid UTF-8,
// and a playlist answer gives at most one address taken from the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "audio/IcyText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!audio::detail::IsUtf8(audio::detail::ToUtf8(text))) {
        std::abort();
    }
    for (const bool isList : {false, true}) {
        const auto address = audio::detail::PlaylistAddress(text, isList);
        if (address && (address->empty() || text.find(*address) == std::string_view::npos)) {
            std::abort();
        }
    }
    return 0;
}
