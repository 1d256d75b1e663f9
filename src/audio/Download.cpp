#include "audio/Download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "audio/Audio.h"
#include "audio/IcyText.h"

namespace audio::detail {
namespace {

// Audio waiting for the decoder beyond this holds the transfer back.
constexpr std::uint64_t kMaxBuffered = 4 * 1024 * 1024;
// Audio a status-only connect takes while it waits for the first metadata block.
constexpr std::uint64_t kMaxStatusAudio = 256 * 1024;
// A reader waiting this long for audio finds the station stalled.
constexpr std::chrono::seconds kStall{1};
// Read audio is dropped from the buffer in pieces of this size.
constexpr std::size_t kCompact = 64 * 1024;

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsStatusLine(std::string_view line) {
    return line.starts_with("HTTP/") || line.starts_with("ICY ");
}

int StatusOf(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return 0;
    }
    int status = 0;
    for (std::size_t i = space + 1;
         i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) != 0; ++i) {
        status = status * 10 + (line[i] - '0');
        if (status > 999) {
            return 0;  // no status code; a longer number would overflow
        }
    }
    return status;
}

int ErrorOf(CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return kOk;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return kErrorNoNet;
        case CURLE_OPERATION_TIMEDOUT:
            return kErrorTimeout;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return kErrorFileFormat;  // an answer that is not HTTP at all
        default:
            return kErrorFileOpen;
    }
}

CURLM* NewMulti() {
    InitNetwork();
    return curl_multi_init();
}

}  // namespace

void InitNetwork() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool ResponseHeaders::Add(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (IsStatusLine(line)) {
        // Each answer of a redirect chain starts over.
        lines_.clear();
        status_ = StatusOf(line);
    }
    if (!line.empty()) {
        // A NUL would end the line early in the header block, or the block.
        std::string text = ToUtf8(line);
        std::erase(text, '\0');
        if (!text.empty()) {
            lines_.push_back(std::move(text));
        }
        return false;
    }
    const bool redirect = status_ >= 300 && status_ < 400 &&
                          std::any_of(lines_.begin(), lines_.end(), [](const auto& h) {
                              return SameName(h.substr(0, 9), "location:");
                          });
    return status_ >= 200 && !redirect;  // else another answer follows
}

std::string ResponseHeaders::Header(std::string_view name) const {
    for (const std::string& line : lines_) {
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos && SameName(std::string_view(line).substr(0, colon), name)) {
            const std::size_t value = line.find_first_not_of(' ', colon + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return {};
}

std::string ResponseHeaders::Block() const {
    std::string block;
    for (const std::string& line : lines_) {
        block += line;
        block += '\0';
    }
    block += '\0';
    return block;
}

std::uint64_t ResponseHeaders::MetaInterval() const {
    const std::string value = Header("icy-metaint");
    // An absurd interval is refused by the connect; until then none is cut.
    return ValidMetaInterval(value) ? std::strtoull(value.c_str(), nullptr, 10) : 0;
}

Download::Download(const std::string& url, bool headersOnly,
                   std::chrono::milliseconds connectTimeout)
    : headersOnly_(headersOnly),
      multi_(NewMulti()),
      thread_([this, url, connectTimeout] { Run(url, connectTimeout); }) {}

Download::~Download() {
    Stop();
    curl_multi_cleanup(multi_);
}

void Download::Stop() {
    Abort();
    if (thread_.joinable()) {
        thread_.join();
    }
}

CURLcode Download::Transfer(CURL* curl) {
    if (multi_ == nullptr || curl_multi_add_handle(multi_, curl) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    int running = 1;
    while (running != 0 && !abort_) {
        if (curl_multi_perform(multi_, &running) != CURLM_OK) {
            break;
        }
        // Abort() wakes this wait at once.
        if (running != 0 && curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) {
            break;
        }
    }
    CURLcode code = abort_ ? CURLE_ABORTED_BY_CALLBACK : CURLE_RECV_ERROR;
    int left = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE && !abort_) {
            code = message->data.result;
        }
    }
    curl_multi_remove_handle(multi_, curl);
    return code;
}

void Download::Run(std::string url, std::chrono::milliseconds connectTimeout) {
    CURL* curl = curl_easy_init();
    curl_slist* request = curl_slist_append(nullptr, "Icy-MetaData: 1");
    curl_slist* aliases = curl_slist_append(nullptr, "ICY 200 OK");
    CURLcode code = CURLE_FAILED_INIT;
    if (curl != nullptr) {
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, request);
        curl_easy_setopt(curl, CURLOPT_HTTP200ALIASES, aliases);
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mirvo");
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(connectTimeout.count()));
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, HeaderCallback);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, BodyCallback);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
        code = Transfer(curl);
        char* effective = nullptr;
        curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
        const std::lock_guard lock(mutex_);
        effectiveUrl_ = effective != nullptr ? effective : url;
    }
    curl_easy_cleanup(curl);
    curl_slist_free_all(request);
    curl_slist_free_all(aliases);
    {
        const std::lock_guard lock(mutex_);
        ended_ = true;
        error_ = stopped_ || abort_ ? kOk : ErrorOf(code);
    }
    changed_.notify_all();
}

std::size_t Download::HeaderCallback(char* data, std::size_t size, std::size_t n, void* self) {
    return static_cast<Download*>(self)->OnHeader(data, size * n);
}

std::size_t Download::BodyCallback(char* data, std::size_t size, std::size_t n, void* self) {
    return static_cast<Download*>(self)->OnBody(data, size * n);
}

std::size_t Download::OnHeader(const char* data, std::size_t n) {
    {
        const std::lock_guard lock(mutex_);
        if (!headers_.Add(std::string_view(data, n))) {
            return n;
        }
        headersDone_ = true;
        if (IsPlaylistType(headers_.Header("content-type"))) {
            headersOnly_ = false;
        }
        demux_.SetInterval(headers_.MetaInterval());
    }
    changed_.notify_all();
    return n;
}

std::size_t Download::OnBody(const char* data, std::size_t n) {
    if (headersOnly_ && demux_.Interval() == 0) {
        stopped_ = true;  // nothing more to learn from this station
        return 0;
    }
    const bool more = demux_.Feed(
        data, n, [this](const char* audio, std::size_t size) { return AppendAudio(audio, size); },
        [this](std::string_view text) { return TakeMeta(text); });
    return more ? n : 0;
}

bool Download::TakeMeta(std::string_view text) {
    if (!text.empty()) {
        // An empty block keeps the last title.
        const std::lock_guard lock(mutex_);
        meta_ = ToUtf8(text);
        icyMeta_ = true;
    }
    if (headersOnly_) {
        stopped_ = true;
    }
    return !headersOnly_;
}

bool Download::AppendAudio(const char* data, std::size_t n) {
    std::unique_lock lock(mutex_);
    received_ += n;
    if (headersOnly_) {
        // A station whose first block is far off is not listened to for it.
        stopped_ = received_ > kMaxStatusAudio;
        return !stopped_;
    }
    if (n == 0) {
        return true;
    }
    changed_.wait(lock, [&] { return abort_ || data_.size() - front_ < kMaxBuffered; });
    if (abort_) {
        return false;
    }
    data_.insert(data_.end(), data, data + n);
    lock.unlock();
    changed_.notify_all();
    return true;
}

Download::Answer Download::WaitHeaders(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_until(lock, deadline, [&] { return headersDone_ || ended_; })) {
        return Answer::TimedOut;
    }
    return headersDone_ ? Answer::Headers : Answer::Ended;
}

int Download::Status() {
    const std::lock_guard lock(mutex_);
    return headers_.Status();
}

std::string Download::Header(const std::string& name) {
    const std::lock_guard lock(mutex_);
    return headers_.Header(name);
}

std::string Download::EffectiveUrl() {
    const std::lock_guard lock(mutex_);
    return effectiveUrl_;
}

std::optional<std::string> Download::HeaderBlock() {
    const std::lock_guard lock(mutex_);
    if (!headersDone_) {
        return std::nullopt;
    }
    return headers_.Block();
}

std::optional<std::string> Download::Meta() {
    const std::lock_guard lock(mutex_);
    return meta_;
}

void Download::SetCommentMeta(const std::string& text) {
    const std::lock_guard lock(mutex_);
    if (!icyMeta_) {
        meta_ = ToUtf8(text);
    }
}

int Download::Error() {
    const std::lock_guard lock(mutex_);
    return error_;
}

bool Download::Ended() {
    const std::lock_guard lock(mutex_);
    return ended_;
}

std::string Download::Peek(std::size_t n, Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadline,
                        [&] { return abort_ || ended_ || data_.size() - front_ >= n; });
    const std::size_t have = std::min(n, data_.size() - front_);
    return std::string(reinterpret_cast<const char*>(data_.data() + front_), have);
}

std::size_t Download::Read(void* dst, std::size_t n) {
    std::unique_lock lock(mutex_);
    std::uint64_t want = 1;
    const auto ready = [&] { return abort_ || ended_ || data_.size() - front_ >= want; };
    if (readDeadline_) {
        if (!changed_.wait_until(lock, *readDeadline_, ready)) {
            readTimedOut_ = true;
            return 0;
        }
    } else if (!changed_.wait_for(lock, kStall, ready)) {
        // The station stalled: go on only with a reserve, not frame by frame.
        want = std::clamp<std::uint64_t>(refill_, 1, kMaxBuffered / 2);
        changed_.wait(lock, ready);
    }
    if (abort_) {
        return 0;
    }
    const std::size_t take = std::min(n, data_.size() - front_);
    std::memcpy(dst, data_.data() + front_, take);
    front_ += take;
    consumed_ += take;
    if (front_ >= kCompact && front_ * 2 >= data_.size()) {
        data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(front_));
        front_ = 0;
    }
    lock.unlock();
    changed_.notify_all();
    return take;
}

void Download::SetRefill(std::uint64_t bytes) {
    refill_ = bytes;
}

void Download::SetReadDeadline(std::optional<Clock::time_point> deadline) {
    const std::lock_guard lock(mutex_);
    readDeadline_ = deadline;
}

bool Download::ReadTimedOut() {
    const std::lock_guard lock(mutex_);
    return readTimedOut_;
}

std::uint64_t Download::Received() {
    const std::lock_guard lock(mutex_);
    return received_;
}

std::uint64_t Download::Consumed() {
    const std::lock_guard lock(mutex_);
    return consumed_;
}

void Download::Abort() {
    {
        const std::lock_guard lock(mutex_);
        abort_ = true;
    }
    changed_.notify_all();
    if (multi_ != nullptr) {
        curl_multi_wakeup(multi_);
    }
}

namespace {

class DownloadSource final : public Source {
  public:
    explicit DownloadSource(std::shared_ptr<Download> download) : download_(std::move(download)) {}

    std::size_t Read(void* dst, std::size_t n) override { return download_->Read(dst, n); }
    bool Seek(std::int64_t pos) override { return pos == Tell(); }
    std::int64_t Tell() const override { return static_cast<std::int64_t>(download_->Consumed()); }
    std::int64_t Size() const override { return -1; }

  private:
    std::shared_ptr<Download> download_;
};

}  // namespace

std::unique_ptr<Source> OpenDownloadSource(std::shared_ptr<Download> download) {
    return std::make_unique<DownloadSource>(std::move(download));
}

}  // namespace audio::detail
