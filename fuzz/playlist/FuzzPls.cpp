// Any bytes as a .pls file, read from a file as a downloaded station list is:
// the file reader splits as the text splitter does, every entry is one line's
// worth, and the list written as .pls reads back as the same addresses.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzRequire.h"
#include "playlist/Entries.h"
#include "playlist/PlaylistFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirvo;
    // The reader takes a path; a memory file gives one without touching the disk.
    static const int fd = ::memfd_create("list.pls", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = ReadPlaylistLines(path);
    Require(lines == SplitLines(text, kMaxPlaylistLines));
    std::vector<std::string> out;
    ParsePlsPlaylist(lines, "/list", out);
    Require(out.size() <= lines.size());
    for (const std::string& entry : out) {
        Require(entry.find_first_of("\r\n") == std::string::npos);
    }
    std::vector<std::string> back;
    ParsePlsPlaylist(SplitLines(FormatPlaylist(out, "/list", kFormPls), kMaxPlaylistLines), "/list",
                     back);
    Require(back.size() == out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::string_view address = EntryAddress(out[i]);
        if (address.starts_with('/') || IsStreamAddress(address)) {
            Require(EntryAddress(back[i]) == address);
        }
    }
    return 0;
}
