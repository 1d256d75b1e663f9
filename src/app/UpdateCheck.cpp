#include "app/UpdateCheck.h"

#include <ctime>
#include <filesystem>

#include "player/Player.h"
#include "support/Files.h"
#include "support/Http.h"

namespace mirvo {
namespace {

constexpr const char* kStatus = "Checking for updates...";

// Days since 1970 of a yyyy-mm-dd date; nothing for any other text.
std::optional<long> DayNumber(const std::string& date) {
    std::tm tm{};
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || m < 1 || m > 12 ||
        d < 1 || d > 31) {
        return std::nullopt;
    }
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    return static_cast<long>(timegm(&tm) / 86400);
}

}  // namespace

bool UpdateCheckDue(const std::string& lastCheck, const std::string& today) {
    const auto last = DayNumber(lastCheck);
    const auto now = DayNumber(today);
    return !last || !now || std::labs(*now - *last) >= 7;
}

UpdateAnswer ParseUpdateAnswer(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    UpdateAnswer answer;
    answer.Address = lines.empty() ? "" : lines[0];
    answer.Version = lines.size() > 1 ? lines[1] : "";
    answer.HasVersion = lines.size() > 1;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        if (i > 2) {
            answer.Message += '\r';
        }
        answer.Message += lines[i];
    }
    return answer;
}

bool IsVersionText(std::string_view text) {
    if (text.empty() || text.size() > 32 || text.front() < '0' || text.front() > '9') {
        return false;
    }
    for (const char c : text) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum && c != '.' && c != '_' && c != '-' && c != '+') {
            return false;
        }
    }
    return true;
}

bool IsWebAddress(std::string_view text) {
    std::string scheme;
    for (const char c : text.substr(0, text.find(':'))) {
        scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    const std::size_t rest = scheme.size() + 3;
    if ((scheme != "http" && scheme != "https") || text.size() <= rest || text.size() > 2048 ||
        text.substr(scheme.size(), 3) != "://" || text[rest] == '/') {
        return false;
    }
    for (const char c : text) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

std::string UpdateQuestion(const UpdateAnswer& answer) {
    std::string text;
    for (const char c : answer.Message) {
        // The message's own line breaks are "\r"; no other control character shows.
        if (c == '\r' || c == '\t' || static_cast<unsigned char>(c) >= 0x20) {
            text += c;
        }
    }
    return text.empty() ? answer.Address : text + "\r\r" + answer.Address;
}

UpdateCheck::Reach::Reach(Player& player)
    : programFolder(player.ProgramFolder),
      settings(player.settings),
      values(player.values),
      view(player.ui.view),
      dialogs(player.ui.dialogs),
      loop(player.ui.loop),
      desktop(player.ui.desktop) {}

UpdateCheck::UpdateCheck(const Reach& reach, std::function<std::string()> statusText)
    : reach_(reach), statusText_(std::move(statusText)) {}

UpdateCheck::~UpdateCheck() {
    cancel_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void UpdateCheck::Start(const std::string& today) {
    if (worker_.joinable()) {
        return;  // one check per run
    }
    today_ = today;
    reach_.view.SetStatusText(3, kStatus);
    // Without an endpoint the check fails quietly, as an unreachable one does.
    const std::string url = reach_.values.UpdateURL.empty()
                                ? std::string()
                                : reach_.values.UpdateURL + "/updatecheck.php?app=mirvo&version=" +
                                      std::string(kProgramVersion);
    const std::string file = reach_.programFolder + "/temp";
    HttpLimits limits;
    limits.cancel = &cancel_;
    limits.maxBytes = 64 << 10;
    std::weak_ptr<int> alive = alive_;
    EventLoop& loop = reach_.loop;
    worker_ = std::thread([this, url, file, limits, alive, &loop] {
        const std::uint64_t bytes = url.empty() ? 0 : DownloadToFile(url, file, limits);
        loop.PostToUiThread([this, bytes, alive] {
            if (!alive.expired()) {
                Finish(bytes);
            }
        });
    });
}

void UpdateCheck::Finish(std::uint64_t bytes) {
    answered_ = true;
    const std::string file = reach_.programFolder + "/temp";
    Settings& settings = reach_.settings;
    settings.WriteString("General", "lastversioncheck", today_);
    reach_.view.SetStatusText(3, statusText_ ? statusText_() : "");
    if (bytes == 0) {
        return;
    }
    const auto text = ReadWholeFile(file);
    std::error_code error;
    std::filesystem::remove(file, error);
    if (!text) {
        return;
    }
    // Whatever answered may not be the update service (a captive portal, an
    // error page): only a real answer is offered, and only a web page opened.
    const UpdateAnswer answer = ParseUpdateAnswer(*text);
    if (!IsVersionText(answer.Version) || !IsWebAddress(answer.Address) ||
        answer.Version == kProgramVersion ||
        answer.Version == settings.ReadString("General", "lastnewversion", "none")) {
        return;
    }
    if (reach_.dialogs.AskYesNo(UpdateQuestion(answer))) {
        reach_.desktop.OpenAddress(answer.Address);
        reach_.loop.Quit();
    } else {
        settings.WriteString("General", "lastnewversion", answer.Version);
    }
}

}  // namespace mirvo
