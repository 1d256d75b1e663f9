// The station's tag routines on outside bytes: the first part as the header
// block, the rest as the in-stream metadata text, as the status line reads them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "playback/Radio.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirvo;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    const std::string headers = bytes.substr(0, split);
    const std::string meta = bytes.substr(split);
    TagPairs pairs;
    ParseTagPairs(JoinTagStrings(headers), pairs, ':', true, ';');
    ParseTagPairs(meta + ";", pairs, '=', false, ';');
    for (const TagPair& pair : pairs) {
        // Keys and values never hold the separator that ends them, and are never blank.
        if (pair.Value.find(';') != std::string::npos ||
            pair.Key.find_first_not_of(' ') == std::string::npos ||
            pair.Value.find_first_not_of(' ') == std::string::npos) {
            __builtin_trap();
        }
    }
    FindTagValue("StreamTitle", pairs);
    FindTagValue("icy-br", pairs);
    return 0;
}
