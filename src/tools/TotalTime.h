#pragma once
// "Playing length selected item(s)...": the selected entries' playing time.
#include <cstdint>
#include <string>

namespace mirvo {

struct PlaylistContext;

// Whole seconds of a playable file, from its headers where the format keeps
// the length (an MP3 without an Info/Xing frame count is estimated, not
// scanned); 0 for what cannot be opened.
std::int64_t PlayingSeconds(const std::string& path);

// Adds up the selected files (stations count nothing), showing the count in
// the status bar; Escape asks "Abort operation?".
void TotalTimeAcExecute(const PlaylistContext& ctx);

}  // namespace mirvo
