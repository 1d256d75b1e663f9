#pragma once
// Texts a station sends: header lines, in-stream metadata, playlist answers,
// and the first bytes that tell its format.
#include <optional>
#include <string>
#include <string_view>

namespace audio::detail {

bool IsUtf8(std::string_view text);
// Valid UTF-8 as it is; anything else read as Windows-1252.
std::string ToUtf8(std::string_view text);

// The first stream address of a .pls, .m3u or .asx text; none when the text is neither.
// Relative .m3u entries count only in a text known to be a list (`isList`).
std::optional<std::string> PlaylistAddress(std::string_view text, bool isList);
std::string Lower(std::string_view text);
// A Content-Type without its parameters, in lower case.
std::string MediaType(std::string_view contentType);
// Whether a Content-Type names a playlist.
bool IsPlaylistType(std::string_view contentType);
// Whether an icy-metaint value is a count of bytes a station could mean.
bool ValidMetaInterval(std::string_view value);

enum class Codec { None, Mpeg, Vorbis, Opus, Aac, Flac };

// Whether the first bytes of an answer read as a playlist rather than audio.
bool LooksLikePlaylist(std::string_view head);
// The format from the first bytes, the media type (lower case, no parameters)
// deciding where the bytes alone do not (a stream may start mid-frame).
Codec Sniff(std::string_view head, const std::string& type);
// A relative playlist entry taken against the list's own address.
std::string Resolve(const std::string& base, const std::string& address);

}  // namespace audio::detail
