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
};

}  // namespace mirvo
