#pragma once
// "Add &url...": a station typed in by hand, or a station list (".pls")
// fetched from the web. The download runs on a worker; its entries join the
// playlist on the UI thread, so the window never waits on the network.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "app/Player.h"

namespace mirvo {

class StationLists {
  public:
    explicit StationLists(Player& player);
    // Ends a download at once and waits for its worker.
    ~StationLists();
    StationLists(const StationLists&) = delete;
    StationLists& operator=(const StationLists&) = delete;

    void AddRadioAcExecute();
    // Lists asked for while one downloads follow one after another: they share
    // one temporary file.
    void OpenRemotePlaylist(const std::string& address);
    bool Downloading() const { return worker_.joinable(); }

  private:
    void StartNext();
    void Finish(std::uint64_t bytes);
    std::string TempFile() const;

    Player& p_;
    std::deque<std::string> waiting_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    // Posted answers check that this still exists.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The station dialog's OK: entry `index` becomes address|title, the list is redrawn.
void SetStationEntry(Player& player, int index, std::string_view address, std::string_view title);

}  // namespace mirvo
