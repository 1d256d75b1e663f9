#pragma once
// Entry kinds, the parts of an entry, and the texts shown for entries.
#include <string>
#include <string_view>

namespace mirvo {

struct PlaylistContext;
struct PlaylistState;

// EntryKind codes.
inline constexpr int kKindUnknown = -1;
inline constexpr int kKindAudio = 0;
inline constexpr int kKindModule = 1;
inline constexpr int kKindStream = 2;
inline constexpr int kKindFlac = 3;
inline constexpr int kKindTextPlaylist = 20;
inline constexpr int kKindM3u = 21;
inline constexpr int kKindPls = 22;
inline constexpr int kKindAsx = 23;
inline constexpr int kKindB4s = 24;

// Text before the first "|", or the whole entry.
std::string_view EntryAddress(std::string_view entry);
// At most 1000 characters after the first "|", or the whole entry.
std::string_view EntryTitle(std::string_view entry);
// Longer than 6 characters and holding "://".
bool IsStreamAddress(std::string_view address);
int EntryKind(std::string_view text);

// The file name: after the last "/". Texts written on Windows (not starting
// with "/") also split at "\" and ":".
std::string_view FileNamePart(std::string_view path);
// From the last "." of the file name on, dot included; empty when none.
std::string_view ExtensionOf(std::string_view path);

// 0 ".mp3", 1 ".wav", 2 ".ogg", 3 ".flac", 4 ".opus", 5 ".m4a" or ".mp4", 6 ".wv",
// 7 ".ape", -1 anything else.
int AudioFileType(std::string_view fileName);

// What row `index` shows in the current view format.
std::string DisplayText(const PlaylistState& playlist, int index);
std::string RelativeText(const PlaylistState& playlist, std::string_view path);
// "%20" becomes a blank, "[1]" goes.
std::string CleanTitle(std::string_view text);
void SetCaptionTitle(const PlaylistContext& ctx, std::string_view name,
                     std::string_view description);

}  // namespace mirvo
