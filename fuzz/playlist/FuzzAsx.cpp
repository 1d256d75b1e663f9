// Any bytes as an .asx list: <ref href="..."> and ref= lines, the list's
// <title>. Every entry's address is text of one line, never empty.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "LineEntries.h"
#include "playlist/PlaylistFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirvo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitLines(text, kMaxPlaylistLines);
    std::vector<std::string> out;
    ParseAsxPlaylist(lines, out);
    RequireEntriesFromLines(lines, out);
    return 0;
}
