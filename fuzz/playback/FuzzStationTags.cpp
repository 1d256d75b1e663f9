// The station's tag routines on outside bytes: the first part as the header
// block, the rest as the in-stream metadata text, as the status line reads them;
// the same bytes as a remote station list.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "playback/Radio.h"
#include "playback/StationLists.h"

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
    TagPairs fields;
    ParseStreamMeta(meta, fields);
    for (const TagPair& field : fields) {
        // Nothing empty, and no control character reaches a caption.
        for (const std::string* text : {&field.Key, &field.Value}) {
            if (text->empty() || std::any_of(text->begin(), text->end(), [](char c) {
                    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
                })) {
                __builtin_trap();
            }
        }
    }
    for (const std::string& entry : ParseStationList(bytes, headers)) {
        // Only web stations come out of a remote list.
        std::string scheme = entry.substr(0, 8);
        std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (!scheme.starts_with("http://") && !scheme.starts_with("https://")) {
            __builtin_trap();
        }
    }
    return 0;
}
