// Any bytes as a .b4s (XML) list: Playstring="..." lines with a <Name> on the
// next line. Every entry's address is text of one line, never empty.
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
    ParseB4sPlaylist(lines, out);
    RequireEntriesFromLines(lines, out);
    for (const std::string& entry : out) {
        Require(EntryAddress(entry).find('"') == std::string_view::npos);
    }
    return 0;
}
