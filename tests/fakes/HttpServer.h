#pragma once
// A loopback HTTP server for tests: each request goes to the handler, whose
// reply may come slowly, be cut off or never come. Requests are recorded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mirvo::test {

struct HttpRequest {
    std::string method;
    std::string target;                          // path and query
    std::string version;                         // "HTTP/1.0"
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

struct HttpReply {
    std::string status = "200 OK";
    std::string body;
    std::chrono::milliseconds delay{0};  // before anything is sent
    bool drop = false;                   // close after half of the body
    bool silent = false;                 // close without a word
};

class HttpServer {
  public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    explicit HttpServer(Handler handler) : handler_(std::move(handler)) { Start(); }
    ~HttpServer() { Stop(); }

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int Port() const { return port_; }
    std::vector<HttpRequest> Requests() const {
        const std::lock_guard lock(mutex_);
        return requests_;
    }
    void ClearRequests() {
        const std::lock_guard lock(mutex_);
        requests_.clear();
    }

    // Listens again on the same port after Stop().
    void Start() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        ::listen(listener_, 64);
        stop_ = false;
        thread_ = std::thread([this] { Serve(); });
    }
    // Connections are refused from now on.
    void Stop() {
        if (!thread_.joinable()) {
            return;
        }
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }

  private:
    void Serve() {
        while (!stop_) {
            pollfd wait{listener_, POLLIN, 0};
            if (::poll(&wait, 1, 20) <= 0) {
                continue;
            }
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client >= 0) {
                Answer(client);
                ::close(client);
            }
        }
    }

    static bool ReadMore(int fd, std::string& into) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 2000) <= 0) {
            return false;
        }
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return false;
        }
        into.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    void Answer(int fd) {
        std::string data;
        std::size_t end;
        while ((end = data.find("\r\n\r\n")) == std::string::npos) {
            if (!ReadMore(fd, data)) {
                return;
            }
        }
        HttpRequest request;
        std::size_t lineEnd = data.find("\r\n");
        const std::string first = data.substr(0, lineEnd);
        const std::size_t a = first.find(' ');
        const std::size_t b = first.rfind(' ');
        request.method = first.substr(0, a);
        request.target = first.substr(a + 1, b - a - 1);
        request.version = first.substr(b + 1);
        while (lineEnd < end) {
            const std::size_t next = data.find("\r\n", lineEnd + 2);
            const std::string line = data.substr(lineEnd + 2, next - lineEnd - 2);
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos) {
                std::string name = line.substr(0, colon);
                for (char& c : name) {
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                const std::size_t value = line.find_first_not_of(' ', colon + 1);
                request.headers[name] = value == std::string::npos ? "" : line.substr(value);
            }
            lineEnd = next;
        }
        const auto length = request.headers.find("content-length");
        const std::size_t want = length == request.headers.end() ? 0 : std::stoul(length->second);
        while (data.size() - (end + 4) < want && ReadMore(fd, data)) {
        }
        request.body = data.substr(end + 4, want);
        {
            const std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        const HttpReply reply = handler_(request);
        std::this_thread::sleep_for(reply.delay);
        if (reply.silent) {
            return;
        }
        std::string out = "HTTP/1.0 " + reply.status + "\r\nContent-Type: text/plain\r\n";
        out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n\r\n";
        out += reply.drop ? reply.body.substr(0, reply.body.size() / 2) : reply.body;
        ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
    }

    Handler handler_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<HttpRequest> requests_;
};

}  // namespace mirvo::test
