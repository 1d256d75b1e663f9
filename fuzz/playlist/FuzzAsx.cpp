// Any bytes as an .asx list: <ref href="..."> and ref= lines, the list's
// <title>. Every entry's address is text of one line, never empty.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzRequire.h"
#include "playlist/Entries.h"
#include "playlist/PlaylistFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirvo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitLines(text, kMaxPlaylistLines);
    std::vector<std::string> out;
    ParseAsxPlaylist(lines, out);
    Require(out.size() <= lines.size());
    std::size_t line = 0;
    for (const std::string& entry : out) {
        const std::string_view address =
            EntryKind(entry) == kKindStream ? EntryAddress(entry) : std::string_view(entry);
        Require(!address.empty());
        // Entries come in line order, each from a line of its own.
        while (line < lines.size() && lines[line].find(address) == std::string::npos) {
            ++line;
        }
        Require(line < lines.size());
        ++line;
    }
    return 0;
}
