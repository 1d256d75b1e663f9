#pragma once
// Plain HTTP for the play history service, the update check and station
// lists: one blocking request per call, meant for worker threads. The
// system's proxy variables (http_proxy, https_proxy, no_proxy) apply; answers
// never come from a cache.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

struct HttpLimits {
    std::chrono::milliseconds connect{10000};
    std::chrono::milliseconds whole{30000};
    // Larger answers are refused rather than read on.
    std::size_t maxBytes = 4 << 20;
    // Set from another thread to end a request at once (the program is ending).
    const std::atomic<bool>* cancel = nullptr;
};

// An answer's HTTP status and its lines (split at "\n" by SplitLines). The
// lines of an error status are kept: a service may say why in them. No
// answer at all (unreachable, cut off, too slow, too large) is status 0.
struct HttpAnswer {
    long status = 0;
    std::vector<std::string> lines;
};

// A whole answer as it came: its status (0 when none came whole), its body and
// media type, and whether it was refused for its size.
struct HttpDocument {
    long status = 0;
    std::string body;
    std::string contentType;
    bool tooLarge = false;
};

HttpAnswer HttpGetLines(const std::string& url, const HttpLimits& limits = {});
HttpDocument HttpGetDocument(const std::string& url, const HttpLimits& limits = {});
// The same for a form POST of `body` (application/x-www-form-urlencoded).
HttpAnswer HttpPostLines(const std::string& url, const std::string& body,
                         const HttpLimits& limits = {});
// Writes the answer to `file`; the bytes written, 0 when nothing could be had.
// An error page is not the file asked for: nothing is written for it.
std::uint64_t DownloadToFile(const std::string& url, const std::string& file,
                             const HttpLimits& limits = {});

// Appends every non-empty piece of `text` that ends with `separator`; text
// after the last separator is not a piece.
void SplitLines(std::string_view text, char separator, std::vector<std::string>& list);
// Letters, digits, "-", "." and "_" stay, a blank becomes "+", every other
// byte "%XX"; the text ends at its first zero byte.
std::string UrlEncode(std::string_view text);

}  // namespace mirvo
