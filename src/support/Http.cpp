#include "support/Http.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "support/Files.h"

namespace mirvo {
namespace {

constexpr const char* kAgent = "VEDIRUZ Download";

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Answer {
    std::string body;
    std::size_t maxBytes;
    bool tooLarge = false;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* answer = static_cast<Answer*>(user);
    const std::size_t n = size * count;
    if (answer->body.size() + n > answer->maxBytes) {
        answer->tooLarge = true;
        return 0;  // ends the transfer
    }
    answer->body.append(data, n);
    return n;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return cancel != nullptr && cancel->load() ? 1 : 0;
}

struct CurlFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct HeadersFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Runs one request; status 0 when no answer came whole.
HttpDocument Fetch(const std::string& url, const std::string* postBody, const HttpLimits& limits) {
    InitOnce();
    HttpDocument out;
    const std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl) {
        return out;
    }
    CURL* c = curl.get();
    Answer answer{{}, limits.maxBytes};
    curl_slist* raw = nullptr;
    raw = curl_slist_append(raw, "Cache-Control: no-cache");
    raw = curl_slist_append(raw, "Pragma: no-cache");
    if (postBody != nullptr) {
        raw = curl_slist_append(raw, "Content-type: application/x-www-form-urlencoded");
    }
    const std::unique_ptr<curl_slist, HeadersFree> headers(raw);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.whole.count()));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, limits.cancel);
    if (postBody != nullptr) {
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, postBody->data());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postBody->size()));
    } else {
        curl_easy_setopt(c, CURLOPT_USERAGENT, kAgent);
    }
    if (curl_easy_perform(c) != CURLE_OK || answer.tooLarge) {
        out.tooLarge = answer.tooLarge;
        return out;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &out.status);
    const char* type = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr) {
        out.contentType = type;
    }
    out.body = std::move(answer.body);
    return out;
}

}  // namespace

void SplitLines(std::string_view text, char separator, std::vector<std::string>& list) {
    std::size_t start = 0;
    for (std::size_t end = text.find(separator); end != std::string_view::npos;
         end = text.find(separator, start)) {
        if (end > start) {
            list.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
}

std::string UrlEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == 0) {
            break;
        }
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_') {
            out += ch;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

HttpAnswer HttpGetLines(const std::string& url, const HttpLimits& limits) {
    HttpDocument document = Fetch(url, nullptr, limits);
    HttpAnswer answer;
    answer.status = document.status;
    SplitLines(document.body, '\n', answer.lines);
    return answer;
}

HttpDocument HttpGetDocument(const std::string& url, const HttpLimits& limits) {
    return Fetch(url, nullptr, limits);
}

HttpAnswer HttpPostLines(const std::string& url, const std::string& body,
                         const HttpLimits& limits) {
    const HttpDocument document = Fetch(url, &body, limits);
    HttpAnswer answer;
    answer.status = document.status;
    SplitLines(document.body, '\n', answer.lines);
    return answer;
}

std::uint64_t DownloadToFile(const std::string& url, const std::string& file,
                             const HttpLimits& limits) {
    const HttpDocument document = Fetch(url, nullptr, limits);
    if (document.status == 0 || document.status >= 400 || document.body.empty() ||
        !WriteFileAtomically(file, document.body)) {
        return 0;
    }
    return document.body.size();
}

}  // namespace mirvo
