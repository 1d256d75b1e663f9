// Internet radio: tags, connect workers, and the engine's station side (open,
// hand-over, feed, status line).
#include "playback/Radio.h"

#include <charconv>

#include "playback/Engine.h"
#include "playback/EngineDetail.h"
#include "playback/Format.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "support/Text.h"
#include "tags/TagText.h"

namespace mirvo {

using namespace engine_detail;

namespace {

// The worker's wait before it connects: 51 steps of 10 ms.
constexpr int kWaitSteps = 51;
constexpr std::chrono::milliseconds kWaitStep{10};
// A lost station is tried again after 1, 2, 4 ... at most 30 s, until the
// waits would pass five minutes.
constexpr int kLongestReconnectWait = 30;
constexpr int kMostReconnectWaits = 300;

int ReconnectWait(int attempt) {
    return std::min(kLongestReconnectWait, 1 << std::min(attempt - 1, 5));
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

std::string ConnectMessage(int error) {
    switch (error) {
        case audio::kErrorFileOpen:
            return "Error opening URL.";
        case audio::kErrorTimeout:
            return "Error opening URL: Connection timed out.";
        case audio::kErrorFileFormat:
            return "Error opening URL: Can't logon to server or server is full.";
        case audio::kErrorNotAudio:
            return "Error opening URL: The address leads to no radio stream.";
        case audio::kErrorMetaInterval:
            return "Error opening URL: The station sends its titles at an impossible interval.";
        default:
            return "Error opening URL: Error code " + std::to_string(error);
    }
}

std::int64_t FilePosition(audio::Handle stream, std::uint32_t mode) {
    const std::uint64_t pos = audio::StreamGetFilePosition(stream, mode);
    return pos == audio::kPositionError ? 0 : static_cast<std::int64_t>(pos);
}

}  // namespace

std::string JoinTagStrings(const std::optional<std::string>& block) {
    std::string text;
    if (!block) {
        return text;
    }
    const std::string& b = *block;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (b[i] != '\0') {
            text += b[i];
            continue;
        }
        text += ';';
        if (i + 1 < b.size() && b[i + 1] == '\0') {
            break;
        }
    }
    return text;
}

void ParseTagPairs(std::string text, TagPairs& list, char keySeparator, bool clearFirst,
                   char pairSeparator) {
    for (;;) {
        const std::size_t key = text.find(keySeparator);
        const std::size_t pair = text.find(pairSeparator);
        if (key == std::string::npos || pair == std::string::npos || pair > key) {
            break;
        }
        text.erase(0, pair + 1);
    }
    if (clearFirst) {
        list.clear();
    }
    while (text.find(pairSeparator) != std::string::npos) {
        TagPair tag;
        const std::size_t key = text.find(keySeparator);
        if (key != std::string::npos) {
            tag.Key = text.substr(0, key);
            text.erase(0, key + 1);
        }
        const std::size_t end = text.find(pairSeparator);
        if (end == std::string::npos) {
            break;  // the last key had no value
        }
        tag.Value = text.substr(0, end);
        text.erase(0, end + 1);
        std::string& v = tag.Value;
        if (v.size() > 1 && v.front() == '\'' && v.back() == '\'') {
            v = v.substr(1, v.size() - 2);
        }
        if (!IsBlank(tag.Key) && !IsBlank(tag.Value)) {
            list.push_back(std::move(tag));
        }
    }
}

namespace {

// The character of a reference "&#...;" at the start of `text` and its length;
// 0 when it is none or names no character.
std::size_t ReadReference(std::string_view text, char32_t& c) {
    if (!text.starts_with("&#")) {
        return 0;
    }
    std::size_t at = 2;
    int base = 10;
    if (at < text.size() && (text[at] == 'x' || text[at] == 'X')) {
        base = 16;
        ++at;
    }
    const std::size_t digits = at;
    std::uint32_t value = 0;
    const auto [end, ec] =
        std::from_chars(text.data() + at, text.data() + text.size(), value, base);
    at = static_cast<std::size_t>(end - text.data());
    if (ec != std::errc() || at == digits || at >= text.size() || text[at] != ';' || value == 0 ||
        value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    c = value;
    return at + 1;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

}  // namespace

std::string CleanStationText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        if (const std::size_t n = ReadReference(text.substr(i), c); n > 0) {
            tagtext::AppendUtf8(out, IsControl(c) ? U' ' : c);
            i += n;
            continue;
        }
        const auto byte = static_cast<unsigned char>(text[i]);
        // C1 controls are U+0080..U+009F, in UTF-8 0xC2 0x80..0x9F.
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
            static_cast<unsigned char>(text[i + 1]) >= 0x80) {
            out += ' ';
            i += 2;
            continue;
        }
        out += IsControl(byte) ? ' ' : text[i];
        ++i;
    }
    return std::string(Trim(out, " "));
}

void ParseStreamMeta(std::string_view text, TagPairs& list) {
    while (!text.empty()) {
        const std::size_t eq = text.find('=');
        if (eq == std::string_view::npos) {
            return;
        }
        TagPair tag;
        tag.Key = CleanStationText(text.substr(0, eq));
        text.remove_prefix(eq + 1);
        std::size_t end = std::string_view::npos;
        std::size_t skip = 1;
        if (text.starts_with('\'')) {
            // The closing quote is the one before a ";", or at the very end.
            end = text.find("';", 1);
            if (end == std::string_view::npos && text.size() > 1 && text.ends_with('\'')) {
                end = text.size() - 1;
            }
            if (end != std::string_view::npos) {
                tag.Value = CleanStationText(text.substr(1, end - 1));
                skip = 2;
            }
        }
        if (end == std::string_view::npos) {
            end = text.find(';');
            tag.Value = CleanStationText(text.substr(0, end));
        }
        text.remove_prefix(
            std::min(text.size(), end == std::string_view::npos ? text.size() : end + skip));
        if (!tag.Key.empty() && !tag.Value.empty()) {
            list.push_back(std::move(tag));
        }
    }
}

TagPair FindTagValue(std::string_view name, const TagPairs& list) {
    for (const TagPair& tag : list) {
        if (EqualsNoCase(tag.Key, name)) {
            return tag;
        }
    }
    return {};
}

TagPairs ReadStationTags(audio::Handle stream) {
    TagPairs pairs;
    ParseTagPairs(JoinTagStrings(audio::StreamGetTags(stream, audio::kTagHttp)), pairs, ':', true,
                  ';');
    if (const auto meta = audio::StreamGetTags(stream, audio::kTagMeta)) {
        ParseStreamMeta(*meta, pairs);
    }
    return pairs;
}

OpenUrlFunction LibraryOpenUrl() {
    return [](const std::string& url, std::uint32_t flags, const std::atomic<bool>& cancel) {
        // The address goes with one more NUL, as the library's callers always passed it.
        std::string text = url;
        text.push_back('\0');
        return audio::StreamCreateURL(text.c_str(), 0, flags, nullptr, nullptr, &cancel);
    };
}

// ConnectThread ---------------------------------------------------------------

ConnectThread::ConnectThread(std::string address, std::atomic<int>& serial, OpenUrlFunction open,
                             EventLoop& loop, Arrived arrived)
    : address_(std::move(address)),
      serial_(serial),
      open_(std::move(open)),
      loop_(loop),
      arrived_(std::move(arrived)),
      thread_([this] { Run(); }) {}

ConnectThread::~ConnectThread() {
    Terminate();
    Join();
}

void ConnectThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ConnectThread::Terminate() {
    {
        const std::lock_guard lock(mutex_);
        terminate_ = true;
    }
    wake_.notify_all();
}

void ConnectThread::Cancel() {
    cancel_ = true;
    Terminate();
}

void ConnectThread::Run() {
    for (int step = 0; step < kWaitSteps; ++step) {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, kWaitStep, [this] { return terminate_; })) {
            ended_ = true;
            return;
        }
    }
    Serial = ++serial_;
    Handle = open_(address_, audio::kStreamDecode | audio::kStreamStatus, cancel_);
    Error = Handle == 0 ? audio::ErrorGetCode() : 0;
    if (Handle == 0 && Error == 0) {
        Error = audio::kErrorUnknown;  // no stream must never read as success
    }
    posted_ = true;
    loop_.PostToUiThread([arrived = arrived_, self = this] { arrived(self); });
    ended_ = true;
}

// StationConnector -------------------------------------------------------------

StationConnector::StationConnector(EventLoop& loop, Finished finished)
    : loop_(loop), finished_(std::move(finished)), open_(LibraryOpenUrl()) {}

StationConnector::~StationConnector() {
    for (const auto& worker : workers_) {
        worker->Cancel();  // the program may be ending: no connect is waited out
    }
    for (const auto& worker : workers_) {
        worker->Join();
        const bool taken = std::find(handed_.begin(), handed_.end(), worker.get()) != handed_.end();
        if (worker->Posted() && !taken) {
            audio::StreamFree(worker->Handle);  // its posted result finds us gone
        }
    }
}

void StationConnector::Connect(const std::string& address) {
    Reap();
    if (current_ != nullptr) {
        current_->Terminate();
    }
    std::weak_ptr<int> alive = alive_;
    auto arrived = [this, alive](ConnectThread* worker) {
        if (!alive.expired()) {
            Arrived(worker);
        }
    };
    workers_.push_back(std::make_unique<ConnectThread>(address, serial_, open_, loop_, arrived));
    current_ = workers_.back().get();
}

void StationConnector::Reset() {
    serial_ = 0;
    for (const auto& worker : workers_) {
        worker->Terminate();
    }
    current_ = nullptr;
    Reap();
}

int StationConnector::Running() const {
    return static_cast<int>(
        std::count_if(workers_.begin(), workers_.end(), [](const auto& w) { return !w->Ended(); }));
}

void StationConnector::Arrived(ConnectThread* worker) {
    const auto it = std::find_if(workers_.begin(), workers_.end(),
                                 [worker](const auto& w) { return w.get() == worker; });
    if (it == workers_.end()) {
        return;
    }
    handed_.push_back(worker);
    const audio::Handle handle = worker->Handle;
    if (worker != current_) {
        // Superseded while it connected (another station, a file, a stop).
        audio::StreamFree(handle);
    } else {
        current_ = nullptr;
        finished_(handle, worker->Serial, worker->Error);
    }
    Reap();
}

void StationConnector::Reap() {
    // A worker goes once its run is over and what it posted has been taken.
    std::erase_if(workers_, [this](const std::unique_ptr<ConnectThread>& w) {
        if (!w->Ended() || w.get() == current_) {
            return false;
        }
        const auto taken = std::find(handed_.begin(), handed_.end(), w.get());
        if (w->Posted() && taken == handed_.end()) {
            return false;
        }
        if (taken != handed_.end()) {
            handed_.erase(taken);
        }
        return true;  // joins at once: its run is over
    });
}

// StationNameLookup ------------------------------------------------------------

StationNameLookup::StationNameLookup(EventLoop& loop, OpenUrlFunction open)
    : loop_(loop), open_(std::move(open)) {}

StationNameLookup::~StationNameLookup() {
    Cancel();
    closing_ = true;
    for (Worker& worker : workers_) {
        worker.thread.join();
    }
}

void StationNameLookup::Start(const std::string& address, std::chrono::milliseconds limit,
                              std::function<void(const std::string&)> done) {
    Cancel();
    std::erase_if(workers_, [](Worker& w) {
        if (!*w.ended) {
            return false;
        }
        w.thread.join();
        return true;
    });
    const std::uint64_t id = ++next_;
    waiting_ = id;
    address_ = address;
    done_ = std::move(done);
    std::weak_ptr<int> alive = alive_;
    timer_ = loop_.StartTimer(limit, [this, id] { Finish(id, {}); });
    auto ended = std::make_shared<std::atomic<bool>>(false);
    EventLoop& loop = loop_;
    workers_.push_back({std::thread([this, id, address, alive, ended, &loop, open = open_] {
                            std::string name;
                            // Metadata only: the stream decodes nothing and is freed at once.
                            const audio::Handle h = open(address, audio::kStreamStatus, closing_);
                            if (h != 0) {
                                name = FindTagValue("icy-name", ReadStationTags(h)).Value;
                                audio::StreamFree(h);
                            }
                            loop.PostToUiThread([this, id, name, alive] {
                                if (!alive.expired()) {
                                    Finish(id, name);
                                }
                            });
                            *ended = true;
                        }),
                        ended});
}

void StationNameLookup::Cancel() {
    waiting_ = 0;
    done_ = nullptr;
    if (timer_ != 0) {
        loop_.StopTimer(timer_);
        timer_ = 0;
    }
}

void StationNameLookup::Finish(std::uint64_t id, const std::string& name) {
    if (id != waiting_) {
        return;
    }
    std::string title = name;
    if (!title.empty() && title.front() == ' ') {
        title.erase(0, 1);
    }
    if (title.empty()) {
        title = address_;
    }
    const auto done = std::move(done_);
    Cancel();
    if (done) {
        done(title);
    }
}

// The engine's station side -------------------------------------------------------

void Engine::OpenStation(const std::string& entry) {
    PlaylistState& pl = p_.playlist;
    pl.PlayingEntry = entry;
    pl.PlayingIndex = pendingIndex_;
    p_.ui.view.SetStatusText(1, CountText(pl.PlaylistEntries.size()));
    p_.ui.view.RepaintList();
    p_.ui.view.SetStatusText(3, "Connecting " + std::string(EntryTitle(entry)) + "...");
    p_.ui.view.SetTimeLabel("");
    stationTitle_.clear();
    audio::SetConfig(audio::kConfigBuffer, 5000);
    connector_.Connect(std::string(EntryAddress(entry)));
}

void Engine::ConnectFinished(audio::Handle handle, int serial, int error) {
    if (serial != connector_.ConnectSerial()) {
        audio::StreamFree(handle);
        return;
    }
    if (error != 0) {
        audio::StreamFree(handle);
        if (reconnectAttempt_ > 0) {
            ScheduleReconnect();
            return;
        }
        StopPlayback(true);
        p_.ui.dialogs.ShowNotice(NoticeKind::Information, ConnectMessage(error));
        return;
    }
    if (reconnectAttempt_ > 0) {
        EndReconnect();
        if (SwapStation(handle)) {
            return;
        }
        recorder_.StopRecording();  // another format needs another output
    }
    FreeHandles();  // nothing should be left; a leftover would play on unseen
    source_ = handle;
    sourceLength_ = 0;
    sourceThreeSeconds_ = 0;
    sourceIsMp3_ = false;
    sourceIsStation_ = true;
    PlayEntry(p_.playlist.PlayingIndex, false, true);
}

void Engine::ScheduleReconnect() {
    const int wait = ReconnectWait(reconnectAttempt_ + 1);
    if (reconnectWaited_ + wait > kMostReconnectWaits) {
        EndReconnect();
        stationGivenUp_ = true;  // the output drains and stops; the tick says so
        return;
    }
    ++reconnectAttempt_;
    reconnectWaited_ += wait;
    p_.ui.view.SetStatusText(3, "Reconnecting... (" + std::to_string(reconnectAttempt_) + ")");
    reconnectTimer_ = p_.ui.loop.StartTimer(std::chrono::seconds(wait), [this] {
        p_.ui.loop.StopTimer(reconnectTimer_);
        reconnectTimer_ = 0;
        connector_.Connect(std::string(EntryAddress(p_.playlist.PlayingEntry)));
    });
}

void Engine::EndReconnect() {
    if (reconnectTimer_ != 0) {
        p_.ui.loop.StopTimer(reconnectTimer_);
        reconnectTimer_ = 0;
    }
    reconnectAttempt_ = 0;
    reconnectWaited_ = 0;
}

bool Engine::SwapStation(audio::Handle handle) {
    audio::ChannelInfo now;
    audio::ChannelInfo was;
    if (output_ == 0 || !audio::ChannelGetInfo(handle, &now) ||
        !audio::ChannelGetInfo(output_, &was) || now.Frequency != was.Frequency ||
        now.Channels != was.Channels) {
        return false;
    }
    FreeStream(source_.exchange(handle));
    RadioTickCount = -20;  // the new stream's tags soon
    p_.ui.view.SetStatusText(3, "");
    return true;
}

std::uint32_t Engine::StationFeed(void* buffer, std::uint32_t length) {
    const audio::Handle source = source_;
    if (source == 0) {
        return audio::kFeedEnd;
    }
    const std::uint32_t got = audio::ChannelGetData(source, buffer, length);
    const std::uint32_t kept = got == audio::kDataError ? 0 : got;
    // A stalled station gives what it has and the channel waits; a stream that
    // has stopped ends it only once reconnecting gave up.
    if (audio::ChannelIsActive(source) == audio::kActiveStopped && stationGivenUp_) {
        return kept | audio::kFeedEnd;
    }
    return kept;
}

bool Engine::StationStatusTick() {
    if (reconnectAttempt_ > 0) {
        return false;  // the panel tells the attempt
    }
    if (!stationGivenUp_ && audio::ChannelIsActive(source_) == audio::kActiveStopped) {
        ScheduleReconnect();
        return false;
    }
    const std::uint32_t state = OutputState();
    if (state == audio::kActiveStalled) {
        const audio::Handle source = source_;
        std::int64_t n = (FilePosition(source, audio::kFilePosDownload) -
                          FilePosition(source, audio::kFilePosCurrent)) /
                         1000;
        n = n < 5 ? 0 : std::min<std::int64_t>(n, 100);
        p_.ui.view.SetStatusText(3, "Buffering..." + std::to_string(n) + "%");
        return false;
    }
    if (state == audio::kActiveStopped) {
        p_.ui.view.SetStatusText(3, "Error: Lost connection");
        return false;
    }
    UpdateRadioStatus();
    return true;
}

void Engine::UpdateRadioStatus() {
    if (++RadioTickCount % 300 != 0) {
        return;
    }
    RadioTickCount = 0;
    const audio::Handle source = source_;
    const audio::Handle output = output_;
    const std::string& entry = p_.playlist.PlayingEntry;
    const std::string address(EntryAddress(entry));
    const TagPairs tags = ReadStationTags(source);
    std::string title = FindTagValue("StreamTitle", tags).Value;
    // Header values may start with the blank after the colon.
    std::string found = FindTagValue("icy-br", tags).Value;
    found.erase(0, found.find_first_not_of(' '));
    int rate = 0;
    std::string rateText;
    if (!found.empty()) {
        rateText = found;
        std::from_chars(found.data(), found.data() + found.size(), rate);
    } else {
        // A station has no length to average over; its decoder knows the rate.
        rate = std::max(0, StreamKbps(address, source));
        if (rate == 0) {
            rate = static_cast<int>(audio::StreamGetBitrate(source));
        }
        rateText = rate > 0 ? std::to_string(rate) : std::string(1, '?');
    }
    if (title.empty()) {
        title = CleanStationText(EntryTitle(entry));
    }
    if (title != stationTitle_) {
        stationTitle_ = title;
        p_.events.StationTitleChanged(title);  // the caption, the tray, the media controls
    }
    const std::string layout = StreamIsStereo(address, output) ? "Stereo" : "Mono";
    // The view leaves a panel alone that already shows the text.
    p_.ui.view.SetStatusText(
        3,
        rateText + " Kbps " + std::to_string(StreamFrequency(address, output)) + " Hz - " + layout);
    if (OutputState() == audio::kActiveStopped) {
        StopPlayback(true);
        return;
    }
    view_.SetProgressPosition(0);
    if (recorder_.RecordingActive()) {
        recorder_.UpdateRecordStatus();  // time and space left; stops near a full disk
    } else {
        p_.ui.view.SetTimeLabel("Playing internet stream at " + std::to_string(rate / 8) + " KB/s");
    }
}

}  // namespace mirvo
