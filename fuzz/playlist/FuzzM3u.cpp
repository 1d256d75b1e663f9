// Any bytes as an .m3u list: plain lines or #EXTM3U with #EXTINF titles. Every
// entry is one line's worth, and the list written as .m3u reads back as the
// same addresses.
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
    ParseM3uPlaylist(lines, "/list", out);
    Require(out.size() <= lines.size());
    for (const std::string& entry : out) {
        Require(!entry.empty() && entry.find_first_of("\r\n") == std::string::npos);
    }
    const std::vector<std::string> back =
        SplitLines(FormatPlaylist(out, "/list", kFormM3u), kMaxPlaylistLines);
    Require(back.size() == out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::string_view address = EntryAddress(out[i]);
        if (address.starts_with('/') || IsStreamAddress(address)) {
            Require(EntryAddress(ResolvePlaylistLine(back[i], "/list")) == address);
        }
    }
    return 0;
}
