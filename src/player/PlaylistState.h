#pragma once
// The one playlist and the state kept beside it. Owned by the UI thread.
#include <string>
#include <vector>

namespace mirvo {

struct PlaylistState {
    std::vector<std::string> PlaylistEntries;
    int PlayingIndex = -1;
    std::string PlayingEntry;
    std::vector<std::string> QueueList;
    std::vector<std::string> ShuffleHistory;
    int ViewFormat = 0;  // 0 file name, 1 full path, 2 relative path
    int SortingWay = 0;  // 0 path and file name, 1 file name
    std::string CurrentFolder;
    std::vector<std::string> MusicFolders;
    // Separator of the relative view; "/" stands where Windows shows "\".
    std::string RelativeDelimiter = " / ";

    // Set by Escape, consumed by a folder walk.
    bool AbortRequested = false;
    // A folder walk is running; Escape then does not close the window.
    bool ScanRunning = false;
    // The folder dialog's "Include subfolders" choice, kept between uses.
    bool ScanSubfolders = true;
    // The automatic playlist is there but could not be read: the exit save
    // must not replace the user's list with the part that was read.
    bool AutoPlaylistUnread = false;
};

}  // namespace mirvo
