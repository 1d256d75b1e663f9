#pragma once
// A loopback ICY/HTTP radio server for tests. Each path is scripted: status line,
// headers, a body sent with in-stream metadata every `metaint` bytes, optionally
// looped, paced, stalled or cut off. One thread per connection; every connection
// ends when its client leaves or the server is destroyed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace mirvo::test {

struct IcyReply {
    static constexpr std::size_t kNever = static_cast<std::size_t>(-1);

    std::string status = "ICY 200 OK";  // or "HTTP/1.0 200 OK", "HTTP/1.1 302 Found", ...
    // Sent in this order after the status line; add icy-metaint yourself when
    // `metaint` is set and the station should announce it (it normally does).
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::size_t metaint = 0;  // 0: no in-stream metadata
    // Texts of the metadata blocks in turn, the last one repeated; each is padded
    // with NULs to a multiple of 16 (at most 4080 bytes). "" sends a 0 length.
    std::vector<std::string> meta;
    bool loop = false;                // the body again and again, like a live station
    std::size_t bytesPerSecond = 0;   // 0: as fast as the client takes it
    std::size_t burst = 0;            // body bytes sent at once before the pace starts
    std::size_t stallAfter = kNever;  // body bytes, then nothing for `stallFor`
    std::chrono::milliseconds stallFor = std::chrono::hours(1);  // (or until the client leaves)
    std::size_t closeAfter = kNever;     // bytes on the wire after the headers, then close
    std::chrono::milliseconds delay{0};  // before the answer
    // Body bytes per send, these sizes in turn again and again (a metadata block
    // also ends a send); empty: 1024.
    std::vector<std::size_t> pieces;
    bool silent = false;  // read the request, never answer
};

// The headers of the answer `status` with `contentType` and, if set, icy-metaint.
inline IcyReply IcyStation(std::string body, std::string contentType, std::size_t metaint = 0,
                           std::string status = "ICY 200 OK") {
    IcyReply reply;
    reply.status = std::move(status);
    reply.headers = {
        {"icy-name", "Test Radio"}, {"icy-br", "128"}, {"content-type", std::move(contentType)}};
    if (metaint > 0) {
        reply.headers.emplace_back("icy-metaint", std::to_string(metaint));
    }
    reply.body = std::move(body);
    reply.metaint = metaint;
    return reply;
}

class IcyServer {
  public:
    struct Request {
        std::string target;
        std::map<std::string, std::string> headers;  // names in lower case
    };

    IcyServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        ::listen(listener_, 64);
        acceptor_ = std::thread([this] { Accept(); });
    }
    ~IcyServer() {
        stop_ = true;
        acceptor_.join();
        for (std::thread& t : connections_) {
            t.join();
        }
        ::close(listener_);
    }
    IcyServer(const IcyServer&) = delete;
    IcyServer& operator=(const IcyServer&) = delete;

    // Answers requests for `path` (without the query) from now on; others get 404.
    void Route(const std::string& path, IcyReply reply) {
        const std::lock_guard lock(mutex_);
        routes_[path] = std::move(reply);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int Port() const { return port_; }
    std::vector<Request> Requests() const {
        const std::lock_guard lock(mutex_);
        return requests_;
    }
    // Connections whose answer is still being sent.
    int Open() const { return open_; }

    // A loopback port nobody listens on.
    static int ClosedPort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        ::close(fd);
        return ntohs(address.sin_port);
    }

  private:
    void Accept() {
        while (!stop_) {
            pollfd wait{listener_, POLLIN, 0};
            if (::poll(&wait, 1, 20) <= 0) {
                continue;
            }
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client >= 0) {
                // Each send its own segment, so that a client sees the pieces.
                const int yes = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                ++open_;
                connections_.emplace_back([this, client] {
                    Serve(client);
                    ::close(client);
                    --open_;
                });
            }
        }
    }

    // Whether the client is still there (it sends nothing after its request).
    static bool ClientThere(int fd) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 0) <= 0) {
            return true;
        }
        char c;
        return ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
    }

    // Waits up to `ms`, false when the server stops or the client left.
    bool Pause(int fd, std::chrono::milliseconds ms) const {
        const auto end = std::chrono::steady_clock::now() + ms;
        while (std::chrono::steady_clock::now() < end) {
            if (stop_ || !ClientThere(fd)) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return !stop_;
    }

    bool Send(int fd, const char* data, std::size_t n) const {
        while (n > 0) {
            pollfd wait{fd, POLLOUT, 0};
            if (stop_ || !ClientThere(fd)) {
                return false;
            }
            if (::poll(&wait, 1, 20) <= 0) {
                continue;
            }
            const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0 && errno != EAGAIN) {
                return false;
            }
            if (sent > 0) {
                data += sent;
                n -= static_cast<std::size_t>(sent);
            }
        }
        return true;
    }

    bool ReadRequest(int fd, Request& request) const {
        std::string data;
        while (data.find("\r\n\r\n") == std::string::npos) {
            pollfd wait{fd, POLLIN, 0};
            if (stop_) {
                return false;
            }
            if (::poll(&wait, 1, 20) <= 0) {
                continue;
            }
            char chunk[2048];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                return false;
            }
            data.append(chunk, static_cast<std::size_t>(n));
        }
        const std::size_t a = data.find(' ');
        const std::size_t b = data.find(' ', a + 1);
        request.target = data.substr(a + 1, b - a - 1);
        std::size_t at = data.find("\r\n") + 2;
        for (std::size_t end; (end = data.find("\r\n", at)) != at; at = end + 2) {
            const std::string line = data.substr(at, end - at);
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos) {
                continue;
            }
            std::string name = line.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            const std::size_t value = line.find_first_not_of(' ', colon + 1);
            request.headers[name] = value == std::string::npos ? "" : line.substr(value);
        }
        return true;
    }

    static std::string MetaBlock(const std::string& text) {
        const std::size_t blocks = std::min<std::size_t>((text.size() + 15) / 16, 255);
        std::string out(1, static_cast<char>(blocks));
        out += text.substr(0, blocks * 16);
        out.resize(1 + blocks * 16, '\0');
        return out;
    }

    void Serve(int fd) {
        Request request;
        if (!ReadRequest(fd, request)) {
            return;
        }
        IcyReply reply;
        bool found = false;
        {
            const std::lock_guard lock(mutex_);
            requests_.push_back(request);
            const auto it = routes_.find(request.target.substr(0, request.target.find('?')));
            if (it != routes_.end()) {
                reply = it->second;
                found = true;
            }
        }
        if (!found) {
            reply.status = "HTTP/1.0 404 Not Found";
            reply.headers = {{"content-type", "text/html"}};
            reply.body = "<html><body>Not found</body></html>";
        }
        if (!Pause(fd, reply.delay) || reply.silent) {
            if (reply.silent) {
                Pause(fd, std::chrono::hours(1));
            }
            return;
        }
        std::string head = reply.status + "\r\n";
        for (const auto& [name, value] : reply.headers) {
            head += name + ": " + value + "\r\n";
        }
        head += "\r\n";
        if (!Send(fd, head.data(), head.size())) {
            return;
        }
        SendBody(fd, reply);
    }

    void SendBody(int fd, const IcyReply& reply) const {
        auto start = std::chrono::steady_clock::now();
        std::size_t body = 0;   // body bytes sent
        std::size_t wire = 0;   // bytes sent after the headers
        std::size_t block = 0;  // metadata blocks sent
        std::size_t untilMeta = reply.metaint;
        std::size_t stallAt = reply.stallAfter;
        std::size_t sends = 0;
        while (!reply.body.empty() && (reply.loop || body < reply.body.size())) {
            if (body == stallAt) {
                if (!Pause(fd, reply.stallFor)) {
                    return;
                }
                stallAt = IcyReply::kNever;
                if (reply.bytesPerSecond > 0) {  // the pace goes on from here, no burst
                    start = std::chrono::steady_clock::now() -
                            std::chrono::microseconds(body * 1000000 / reply.bytesPerSecond);
                }
            }
            const std::size_t piece =
                reply.pieces.empty()
                    ? 1024
                    : std::max<std::size_t>(1, reply.pieces[sends++ % reply.pieces.size()]);
            std::size_t take = std::min(piece, stallAt - body);
            if (!reply.loop) {
                take = std::min(take, reply.body.size() - body);
            }
            if (reply.metaint > 0) {
                take = std::min(take, untilMeta);
            }
            std::string out;
            for (std::size_t i = 0; i < take; ++i) {
                out += reply.body[(body + i) % reply.body.size()];
            }
            body += take;
            if (reply.metaint > 0 && (untilMeta -= take) == 0) {
                const std::string& text = reply.meta.empty()
                                              ? std::string()
                                              : reply.meta[std::min(block, reply.meta.size() - 1)];
                out += MetaBlock(text);
                ++block;
                untilMeta = reply.metaint;
            }
            if (wire + out.size() > reply.closeAfter) {
                Send(fd, out.data(), reply.closeAfter - wire);
                return;
            }
            if (!Send(fd, out.data(), out.size())) {
                return;
            }
            wire += out.size();
            if (reply.bytesPerSecond > 0) {
                const std::size_t paced = body > reply.burst ? body - reply.burst : 0;
                const auto due =
                    start + std::chrono::microseconds(paced * 1000000 / reply.bytesPerSecond);
                std::this_thread::sleep_until(due);
                if (stop_) {
                    return;
                }
            }
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> open_{0};
    std::thread acceptor_;
    std::list<std::thread> connections_;  // the acceptor's; joined at the end
    mutable std::mutex mutex_;
    std::map<std::string, IcyReply> routes_;
    std::vector<Request> requests_;
};

}  // namespace mirvo::test
