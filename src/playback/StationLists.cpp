#include "playback/StationLists.h"

#include <filesystem>

#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "playlist/PlaylistFiles.h"
#include "support/FastStrings.h"
#include "support/Http.h"

namespace mirvo {

StationLists::StationLists(Player& player) : p_(player) {}

StationLists::~StationLists() {
    cancel_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void StationLists::AddRadioAcExecute() {
    std::optional<std::string> answer =
        p_.ui.dialogs.InputText("Add URL", "Internet radio URL:", "");
    if (!answer) {
        return;
    }
    const std::string& url = *answer;
    if (LowerAscii(url).find("://") == std::string::npos) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Information, "Not a valid URL");
        return;
    }
    PlaylistState& pl = p_.playlist;
    if (url.find(".pls") != std::string::npos) {
        OpenRemotePlaylist(url);
    } else {
        int replaced = 0;
        const std::string address = FastStrings::ReplaceAllText(url, "%20", " ", replaced, true);
        pl.PlaylistEntries.push_back(address + "|" + address);
    }
    RefreshListView(p_, true, true);
}

void StationLists::OpenRemotePlaylist(const std::string& address) {
    waiting_.push_back(address);
    if (!worker_.joinable()) {
        StartNext();
    }
}

std::string StationLists::TempFile() const {
    return p_.ProgramFolder + "/temp.pls";
}

void StationLists::StartNext() {
    const std::string address = waiting_.front();
    waiting_.pop_front();
    HttpLimits limits;
    limits.cancel = &cancel_;
    limits.maxBytes = 1 << 20;  // a list, not a stream
    std::weak_ptr<int> alive = alive_;
    EventLoop& loop = p_.ui.loop;
    worker_ = std::thread([this, address, file = TempFile(), limits, alive, &loop] {
        const std::uint64_t bytes = DownloadToFile(address, file, limits);
        loop.PostToUiThread([this, bytes, alive] {
            if (!alive.expired()) {
                Finish(bytes);
            }
        });
    });
}

void StationLists::Finish(std::uint64_t bytes) {
    worker_.join();  // it has posted this and is ending
    const std::string file = TempFile();
    if (bytes > 0) {
        LoadPlaylistPath(p_, file, kLoadAdd);
        std::error_code error;
        std::filesystem::remove(file, error);
    } else {
        p_.ui.dialogs.ShowNotice(NoticeKind::Information, "Could not connect to URL.");
    }
    if (!waiting_.empty()) {
        StartNext();
    }
}

void SetStationEntry(Player& player, int index, std::string_view address, std::string_view title) {
    auto& entries = player.playlist.PlaylistEntries;
    if (index < 0 || index >= static_cast<int>(entries.size())) {
        return;
    }
    std::string entry(address);
    entry += '|';
    entry += title;
    entries[static_cast<std::size_t>(index)] = std::move(entry);
    RefreshListView(player, true, true);
}

}  // namespace mirvo
