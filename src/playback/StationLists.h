#pragma once
// "Add &url...": a station typed in by hand, or a station list (".pls")
// fetched from the web. The download runs on a worker; its entries join the
// playlist on the UI thread, so the window never waits on the network. A list
// is read by what it holds (or says it is), never as a file of ours: only its
// http and https entries count.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "player/PlaylistContext.h"
#include "support/Http.h"

namespace mirvo {

// The http and https entries of a remote station list (PLS, M3U or ASX, told
// by its text, else by its media type), as playlist entries.
std::vector<std::string> ParseStationList(std::string_view text, std::string_view contentType);

class StationLists {
  public:
    explicit StationLists(const PlaylistContext& ctx);
    // Ends a download at once and waits for its worker.
    ~StationLists();
    StationLists(const StationLists&) = delete;
    StationLists& operator=(const StationLists&) = delete;

    void AddRadioAcExecute();
    // Lists asked for while one downloads follow one after another.
    void OpenRemotePlaylist(const std::string& address);
    bool Downloading() const { return worker_.joinable(); }

  private:
    void StartNext();
    void Finish(const HttpDocument& answer);

    PlaylistContext ctx_;
    std::deque<std::string> waiting_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    // Posted answers check that this still exists.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The station dialog's OK: entry `index` becomes address|title, the list is redrawn.
void SetStationEntry(const PlaylistContext& ctx, int index, std::string_view address,
                     std::string_view title);

}  // namespace mirvo
