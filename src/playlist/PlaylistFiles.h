#pragma once
// Playlist files: the loader every outside path goes through, the readers of
// the five formats, the writer, and the open and save commands.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

struct PlaylistContext;

// Load modes of LoadPlaylistPath.
inline constexpr int kLoadAdd = 0;
inline constexpr int kLoadReplace = 1;
inline constexpr int kLoadShellAtStart = 2;
inline constexpr int kLoadShellWhileRunning = 3;
inline constexpr int kLoadDropped = 4;

// Writer forms.
inline constexpr int kFormText = 0;
inline constexpr int kFormPls = 1;
inline constexpr int kFormM3u = 2;

// The M3U, PLS, ASX and B4S readers look at no more lines than this.
inline constexpr std::size_t kMaxPlaylistLines = 100000;

// "Playlist.txt" in the program folder, read at start and written at exit.
std::string AutoPlaylistFile(const PlaylistContext& ctx);

// The lines of `text`: LF, CR LF or CR ends, a leading UTF-8 byte order mark
// skipped, UTF-16 with a byte order mark turned into UTF-8, at most `maxLines`.
std::vector<std::string> SplitLines(std::string_view text, std::size_t maxLines);
// At most kMaxPlaylistLines lines of a file; none when it cannot be read.
std::vector<std::string> ReadPlaylistLines(const std::string& fileName);

// A line naming a file, as the entry it stands for. `folder` is the playlist
// file's folder. Absolute paths, drive and "\\server" paths and stream
// addresses stay as written; anything else is relative to `folder`, with one
// leading "\" dropped and, in texts written on Windows, "\" read as "/".
std::string ResolvePlaylistLine(std::string_view line, std::string_view folder);

// The parsers behind the readers: entries appended to `out`.
void ParseM3uPlaylist(const std::vector<std::string>& lines, std::string_view folder,
                      std::vector<std::string>& out);
void ParsePlsPlaylist(const std::vector<std::string>& lines, std::string_view folder,
                      std::vector<std::string>& out);
void ParseAsxPlaylist(const std::vector<std::string>& lines, std::vector<std::string>& out);
void ParseB4sPlaylist(const std::vector<std::string>& lines, std::vector<std::string>& out);

// Each appends the file's entries to the playlist; a missing file adds nothing.
void ReadTextPlaylist(const PlaylistContext& ctx, const std::string& fileName);
void ReadM3uPlaylist(const PlaylistContext& ctx, const std::string& fileName);
void ReadPlsPlaylist(const PlaylistContext& ctx, const std::string& fileName);
void ReadAsxPlaylist(const PlaylistContext& ctx, const std::string& fileName);
void ReadB4sPlaylist(const PlaylistContext& ctx, const std::string& fileName);

// The file text for `entries` in `form`; entries below the playlist's folder
// are stored relative to it when they read back as the same path.
std::string FormatPlaylist(const std::vector<std::string>& entries, std::string_view folder,
                           int form);
// False when nothing was written (read-only target, write error, unknown form).
bool WritePlaylist(const PlaylistContext& ctx, const std::string& fileName, int form);

void LoadPlaylistPath(const PlaylistContext& ctx, const std::string& path, int mode);

// "&Open playlist..." and "&Save playlist...".
void LoadPlayListAc(const PlaylistContext& ctx);
void SavePlaylistAc(const PlaylistContext& ctx);

}  // namespace mirvo
