// Any bytes as a station's response header lines, one per line, as libcurl
// hands them over: the header block splits back into the lines kept, each
// valid UTF-8; the status has at most three digits; values have no leading
// blank; and the format is told from the media type and the first bytes
// after the headers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzRequire.h"
#include "audio/Download.h"
#include "audio/IcyText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace audio::detail;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ResponseHeaders headers;
    std::size_t at = 0;
    bool done = false;
    while (at < text.size() && !done) {
        std::size_t end = text.find('\n', at);
        end = end == std::string_view::npos ? text.size() : end + 1;
        done = headers.Add(text.substr(at, end - at));
        at = end;
    }
    const std::string block = headers.Block();
    Require(block.ends_with(std::string_view("\0", 1)));
    std::size_t lines = 0;
    for (std::size_t start = 0; start + 1 < block.size();) {
        const std::size_t nul = block.find('\0', start);
        Require(nul != start && IsUtf8(std::string_view(block).substr(start, nul - start)));
        start = nul + 1;
        ++lines;
    }
    Require(headers.Status() >= 0 && headers.Status() <= 999);
    for (const char* name : {"content-type", "icy-name", "icy-metaint", "icy-br", "location"}) {
        const std::string value = headers.Header(name);
        Require(!value.starts_with(' '));
    }
    headers.MetaInterval();
    const std::string type = MediaType(headers.Header("content-type"));
    Require(type.find(';') == std::string::npos && Lower(type) == type);
    Require(IsPlaylistType(type) == IsPlaylistType(headers.Header("content-type")));
    const std::string_view head = text.substr(at);
    const Codec codec = Sniff(head, type);
    if (head.starts_with('<')) {
        Require(codec == Codec::None);  // an HTML page
    }
    if (const auto address = PlaylistAddress(head, IsPlaylistType(type))) {
        const std::string resolved = Resolve("http://station.example/list/x.pls", *address);
        Require(resolved.ends_with(*address));
    }
    return 0;
}
