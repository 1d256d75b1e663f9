// Any bytes as the program's own playlist text (Playlist.txt, .txt lists):
// lines of any ending and coding, each entry written back reads as itself,
// and sorting leaves the list in order.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzRequire.h"
#include "playlist/Entries.h"
#include "playlist/PlaylistFiles.h"
#include "playlist/Scanning.h"
#include "support/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirvo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitLines(text, std::string::npos);
    for (const std::string& line : lines) {
        Require(line.find_first_of("\r\n") == std::string::npos);
    }
    // A line limit keeps the first lines as they are.
    const std::vector<std::string> few = SplitLines(text, 3);
    Require(few.size() == std::min<std::size_t>(lines.size(), 3) &&
            std::equal(few.begin(), few.end(), lines.begin()));

    std::vector<std::string> out;
    for (const std::string& line : lines) {
        out.push_back(ResolvePlaylistLine(line, "/list"));
        EntryKind(line);
        EntryTitle(line);
    }
    // What the writer stores reads back as the same entries.
    const std::vector<std::string> back =
        SplitLines(FormatPlaylist(out, "/list", kFormText), std::string::npos);
    Require(back.size() == out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::string& entry = out[i];
        if (entry.starts_with('/') || entry.starts_with("\\\\") ||
            IsStreamAddress(EntryAddress(entry))) {
            Require(ResolvePlaylistLine(back[i], "/list") == entry);
        }
    }
    std::vector<std::string> sorted = lines;
    SortEntries(sorted);
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        Require(LowerAscii(sorted[i - 1]) <= LowerAscii(sorted[i]));
    }
    SortByFileName(out);
    return 0;
}
