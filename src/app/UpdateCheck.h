#pragma once
// The weekly question to the update endpoint: the download runs on a worker
// thread and its answer comes back to the UI thread, so the window never
// waits on the network.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "player/Interfaces.h"
#include "player/Settings.h"

namespace mirvo {

struct Player;

// Due when the last check (yyyy-mm-dd, or never) is 7 or more days from today
// either way.
bool UpdateCheckDue(const std::string& lastCheck, const std::string& today);

// The endpoint's answer: the download address, the newest version and the
// message lines to show (joined by "\r"). `HasVersion` is false when the answer
// is a single line.
struct UpdateAnswer {
    std::string Address;
    std::string Version;
    bool HasVersion = false;
    std::string Message;
};
UpdateAnswer ParseUpdateAnswer(std::string_view text);

// What an answer must hold to be offered: a version line that is a version
// (a digit first, then letters, digits and ". _ - +", as "1.04i") and an http
// or https address without blanks or control characters. An error page, a
// captive portal's login page or a one-line answer is none.
bool IsVersionText(std::string_view text);
bool IsWebAddress(std::string_view text);
// The question the user is asked: the message, then the address Yes opens.
std::string UpdateQuestion(const UpdateAnswer& answer);

class UpdateCheck {
  public:
    // What the check reads, where it keeps its download, and whom it tells.
    struct Reach {
        Reach(Player& player);
        const std::string& programFolder;  // the download goes to "temp" there
        Settings& settings;                // the day of the last check
        const SettingsValues& values;      // the endpoint
        MainView& view;                    // the status panel
        Dialogs& dialogs;
        EventLoop& loop;
        DesktopServices& desktop;  // opens the download address
    };
    // `statusText` gives what the status panel shows once the check is done.
    UpdateCheck(const Reach& reach, std::function<std::string()> statusText);
    ~UpdateCheck();
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    // Starts the check; its answer is handled on the UI thread when it comes.
    void Start(const std::string& today);
    bool Running() const { return worker_.joinable() && !answered_; }

  private:
    void Finish(std::uint64_t bytes);

    Reach reach_;
    std::function<std::string()> statusText_;
    std::string today_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    bool answered_ = false;
    // Posted answers check that the check still exists.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace mirvo
