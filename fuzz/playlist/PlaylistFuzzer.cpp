// Every playlist reader and the scheme parser on the same bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "playlist/Entries.h"
#include "playlist/PlaylistFiles.h"
#include "playlist/Scanning.h"
#include "playlist/SchemeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirvo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitLines(text, kMaxPlaylistLines);
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        out.push_back(ResolvePlaylistLine(line, "/list"));
        EntryKind(line);
        EntryTitle(line);
    }
    ParseM3uPlaylist(lines, "/list", out);
    ParsePlsPlaylist(lines, "/list", out);
    ParseAsxPlaylist(lines, out);
    ParseB4sPlaylist(lines, out);
    // What the writer stores reads back as the same entries.
    const std::string written = FormatPlaylist(out, "/list", kFormText);
    const std::vector<std::string> back = SplitLines(written, std::string::npos);
    for (std::size_t i = 0; i < back.size() && i < out.size(); ++i) {
        const std::string& entry = out[i];
        if (entry.find_first_of("\r\n") == std::string::npos &&
            (entry.starts_with('/') || entry.starts_with("\\\\") ||
             IsStreamAddress(EntryAddress(entry)))) {
            if (ResolvePlaylistLine(back[i], "/list") != entry) {
                __builtin_trap();
            }
        }
    }
    std::vector<std::string> sorted = lines;
    SortEntries(sorted);
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        if (LowerAscii(sorted[i - 1]) > LowerAscii(sorted[i])) {
            __builtin_trap();
        }
    }
    SortByFileName(out);
    ParseScheme(text, SchemeValues{}, SystemColours{});
    ParseColour(text);
    return 0;
}
