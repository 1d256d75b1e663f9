#include "playback/StationLists.h"

#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "playlist/PlaylistFiles.h"
#include "support/FastStrings.h"
#include "support/Text.h"

namespace mirvo {
namespace {

constexpr std::size_t kMaxListBytes = 1 << 20;  // a list, not a stream

enum class ListKind { M3u, Pls, Asx };

ListKind KindOf(std::string_view text, std::string_view contentType) {
    const std::string head = LowerAscii(text.substr(0, 512));
    const std::size_t start = head.find_first_not_of(" \t\r\n\xef\xbb\xbf");
    const std::string_view first =
        start == std::string::npos ? std::string_view() : std::string_view(head).substr(start);
    if (first.starts_with("[playlist]")) {
        return ListKind::Pls;
    }
    if (first.starts_with("#extm3u")) {
        return ListKind::M3u;
    }
    if (head.find("<asx") != std::string::npos) {
        return ListKind::Asx;
    }
    std::string type = LowerAscii(contentType.substr(0, contentType.find(';')));
    std::erase(type, ' ');
    if (type == "audio/x-scpls" || type == "audio/scpls") {
        return ListKind::Pls;
    }
    if (type == "video/x-ms-asf" || type == "video/x-ms-asx" || type == "audio/x-ms-asx") {
        return ListKind::Asx;
    }
    return ListKind::M3u;  // a plain list of addresses
}

bool IsWebAddress(std::string_view address) {
    const std::string lower = LowerAscii(address.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

}  // namespace

std::vector<std::string> ParseStationList(std::string_view text, std::string_view contentType) {
    const std::vector<std::string> lines = SplitLines(text, kMaxPlaylistLines);
    std::vector<std::string> entries;
    // No folder: a relative or local entry stays relative and is dropped below.
    switch (KindOf(text, contentType)) {
        case ListKind::Pls:
            ParsePlsPlaylist(lines, "", entries);
            break;
        case ListKind::Asx:
            ParseAsxPlaylist(lines, entries);
            break;
        case ListKind::M3u:
            ParseM3uPlaylist(lines, "", entries);
            break;
    }
    std::erase_if(entries, [](const std::string& e) { return !IsWebAddress(EntryAddress(e)); });
    return entries;
}

StationLists::StationLists(const PlaylistContext& ctx) : ctx_(ctx) {}

StationLists::~StationLists() {
    cancel_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void StationLists::AddRadioAcExecute() {
    std::optional<std::string> answer =
        ctx_.dialogs.InputText("Add URL", "Internet radio URL:", "");
    if (!answer) {
        return;
    }
    const std::string& url = *answer;
    if (LowerAscii(url).find("://") == std::string::npos) {
        ctx_.dialogs.ShowNotice(NoticeKind::Information, "Not a valid URL");
        return;
    }
    PlaylistState& pl = ctx_.playlist;
    if (url.find(".pls") != std::string::npos) {
        OpenRemotePlaylist(url);
    } else {
        int replaced = 0;
        const std::string address = FastStrings::ReplaceAllText(url, "%20", " ", replaced, true);
        pl.PlaylistEntries.push_back(address + "|" + address);
    }
    RefreshListView(ctx_, true, true);
}

void StationLists::OpenRemotePlaylist(const std::string& address) {
    waiting_.push_back(address);
    if (!worker_.joinable()) {
        StartNext();
    }
}

void StationLists::StartNext() {
    const std::string address = waiting_.front();
    waiting_.pop_front();
    HttpLimits limits;
    limits.cancel = &cancel_;
    limits.maxBytes = kMaxListBytes;
    std::weak_ptr<int> alive = alive_;
    EventLoop& loop = ctx_.loop;
    worker_ = std::thread([this, address, limits, alive, &loop] {
        auto answer = std::make_shared<HttpDocument>(HttpGetDocument(address, limits));
        loop.PostToUiThread([this, answer, alive] {
            if (!alive.expired()) {
                Finish(*answer);
            }
        });
    });
}

void StationLists::Finish(const HttpDocument& answer) {
    worker_.join();  // it has posted this and is ending
    if (answer.tooLarge) {
        ctx_.dialogs.ShowNotice(NoticeKind::Information,
                                "The station list is too large (over 1 MB).");
    } else if (answer.status == 0 || answer.status >= 400 || answer.body.empty()) {
        ctx_.dialogs.ShowNotice(NoticeKind::Information, "Could not connect to URL.");
    } else if (std::vector<std::string> entries = ParseStationList(answer.body, answer.contentType);
               entries.empty()) {
        ctx_.dialogs.ShowNotice(NoticeKind::Information, "The list holds no radio stations.");
    } else {
        auto& list = ctx_.playlist.PlaylistEntries;
        list.insert(list.end(), entries.begin(), entries.end());
        RefreshListView(ctx_, true, true);
    }
    if (!waiting_.empty()) {
        StartNext();
    }
}

void SetStationEntry(const PlaylistContext& ctx, int index, std::string_view address,
                     std::string_view title) {
    auto& entries = ctx.playlist.PlaylistEntries;
    if (index < 0 || index >= static_cast<int>(entries.size())) {
        return;
    }
    std::string entry(address);
    entry += '|';
    entry += title;
    entries[static_cast<std::size_t>(index)] = std::move(entry);
    RefreshListView(ctx, true, true);
}

}  // namespace mirvo
