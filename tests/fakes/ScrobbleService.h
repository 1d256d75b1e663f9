#pragma once
// The service side of the play history protocol on loopback: checks the
// token, hands out sessions and answers each form in the way the test sets.
#include <cctype>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/HttpServer.h"
#include "support/Md5.h"

namespace mirvo::test {

inline std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Keys and values of a query or form body, as sent (still encoded).
inline std::map<std::string, std::string> Form(std::string_view text) {
    std::map<std::string, std::string> form;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view pair = text.substr(start, end - start);
        const std::size_t eq = pair.find('=');
        form[std::string(pair.substr(0, eq))] =
            eq == std::string_view::npos ? "" : std::string(pair.substr(eq + 1));
        start = end + 1;
    }
    return form;
}

class FakeService {
  public:
    FakeService() : server([this](const HttpRequest& r) { return Answer(r); }) {}
    // An answer still under way finishes before the state it writes goes.
    ~FakeService() { server.Stop(); }
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    std::string Base() const { return server.Base(); }
    std::vector<HttpRequest> Requests() const { return server.Requests(); }
    std::vector<std::string> Kinds() const {
        std::vector<std::string> kinds;
        for (const auto& r : server.Requests()) {
            kinds.push_back(r.target.starts_with("/?hs=true") ? "hs" : r.target.substr(1));
        }
        return kinds;
    }

    // The titles (as sent) of the plays taken, in the order they were taken.
    std::vector<std::string> Recorded() const {
        const std::lock_guard lock(mutex_);
        return recorded_;
    }

    std::string password = "secret";
    std::string handshakeWord = "OK";        // BADAUTH, ...
    std::string handshakeStatus = "200 OK";  // the word may come with an error status
    std::string postWord = "OK";             // FAILED, garbage, ...
    // A submission holding one of these titles (as sent) is refused whole.
    std::set<std::string> refusedTitles;
    // Run on the server's thread before a handshake or a submission is
    // answered (a test holds them there).
    std::function<void()> beforeHandshake;
    std::function<void()> beforeSubmission;
    HttpServer server;

  private:
    HttpReply Answer(const HttpRequest& r) {
        if (r.target.starts_with("/?hs=true") && beforeHandshake) {
            beforeHandshake();
        }
        if (r.target == "/sub" && beforeSubmission) {
            beforeSubmission();
        }
        const std::lock_guard lock(mutex_);
        if (r.target.starts_with("/?hs=true")) {
            auto q = Form(r.target.substr(2));
            if (handshakeWord != "OK") {
                return {handshakeStatus, handshakeWord + "\n"};
            }
            if (q["a"] != Lower(Md5Hex(Lower(Md5Hex(password)) + q["t"]))) {
                return {handshakeStatus, "BADAUTH\n"};
            }
            session_ = "sid" + std::to_string(++sessions_);
            return {"200 OK", "OK\n" + session_ + "\n" + Base() + "/np\n" + Base() + "/sub\n"};
        }
        auto form = Form(r.body);
        if (form["s"] != session_) {
            return {"200 OK", "BADSESSION\n"};
        }
        if (r.target == "/sub" && postWord == "OK") {
            std::vector<std::string> titles;
            for (int n = 0; form.count("t[" + std::to_string(n) + "]"); ++n) {
                titles.push_back(form["t[" + std::to_string(n) + "]"]);
                if (refusedTitles.count(titles.back())) {
                    return {"200 OK", "FAILED Plays refused\n"};
                }
            }
            recorded_.insert(recorded_.end(), titles.begin(), titles.end());
        }
        return {"200 OK", postWord + "\n"};
    }

    mutable std::mutex mutex_;
    std::string session_;
    int sessions_ = 0;
    std::vector<std::string> recorded_;
};

}  // namespace mirvo::test
