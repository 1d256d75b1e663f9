#pragma once
// Texts a station sends: header lines, in-stream metadata and playlist answers.
#include <optional>
#include <string>
#include <string_view>

namespace audio::detail {

bool IsUtf8(std::string_view text);
// Valid UTF-8 as it is; anything else read as Windows-1252.
std::string ToUtf8(std::string_view text);

// The first stream address of a .pls or .m3u text; none when the text is neither.
// Relative .m3u entries count only in a text known to be a list (`isList`).
std::optional<std::string> PlaylistAddress(std::string_view text, bool isList);
std::string Lower(std::string_view text);
// A Content-Type without its parameters, in lower case.
std::string MediaType(std::string_view contentType);
// Whether a Content-Type names a playlist.
bool IsPlaylistType(std::string_view contentType);

}  // namespace audio::detail
