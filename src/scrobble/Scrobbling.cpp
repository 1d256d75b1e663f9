#include "scrobble/Scrobbling.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>

#include "playlist/Entries.h"
#include "support/Files.h"
#include "support/Md5.h"
#include "tags/FLACfile.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/OggVorbis.h"

namespace mirvo {
namespace {

constexpr const char* kMusicBrainzOwner = "http://musicbrainz.org";
constexpr std::size_t kPlaysPerPost = 50;

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Removes bytes 0..32 at both ends, as the zero byte before an ID3v2 UFID id.
std::string Trim(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string Field(const std::string& text) {
    return UrlEncode(Trim(text));
}

std::string Positive(int value) {
    return value > 0 ? std::to_string(value) : std::string();
}

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::optional<int> ToInt(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Tabs and line ends would split a queued field.
std::string Clean(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

// FLAC and Ogg files carry the same Vorbis comments; their track text is returned.
template <typename Reader>
std::string FromVorbisComments(const std::string& fileName, ScrobbleTrack& track) {
    Reader tags;
    tags.ReadFromFile(fileName);
    track.Artist = tags.Artist();
    track.Album = tags.Album();
    track.Title = tags.Title();
    track.MusicBrainzID = tags.MusicBrainzTrackID();
    return tags.TrackString();
}

}  // namespace

std::string QueueText(const std::deque<QueuedPlay>& queue) {
    std::string text;
    for (const QueuedPlay& play : queue) {
        const ScrobbleTrack& t = play.Track;
        text += std::to_string(play.SentAt) + '\t' + std::to_string(t.Length) + '\t' +
                std::to_string(t.TrackNumber) + '\t' + Clean(t.Artist) + '\t' + Clean(t.Title) +
                '\t' + Clean(t.Album) + '\t' + Clean(t.MusicBrainzID) + '\n';
    }
    return text;
}

std::deque<QueuedPlay> ParseQueue(std::string_view text) {
    std::deque<QueuedPlay> queue;
    std::vector<std::string> lines;
    SplitLines(text, '\n', lines);
    for (const std::string& line : lines) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab = line.find('\t'); tab != std::string::npos;
             tab = line.find('\t', start)) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        if (fields.size() != 7) {
            continue;
        }
        const auto sentAt = ToInt(fields[0]);
        const auto length = ToInt(fields[1]);
        const auto number = ToInt(fields[2]);
        if (!sentAt || !length || !number) {
            continue;
        }
        queue.push_back(
            {{fields[3], fields[4], fields[5], *number, fields[6], *length}, *sentAt, 0});
    }
    return queue;
}

std::optional<ScrobbleSession> ParseHandshakeAnswer(const std::vector<std::string>& lines) {
    if (lines.size() == 4 && lines[0] == "OK") {
        return ScrobbleSession{lines[1], lines[2], lines[3]};
    }
    return std::nullopt;
}

bool AnswerIsOk(const std::vector<std::string>& lines) {
    return !lines.empty() && lines[0] == "OK";
}

int ParseLeadingNumber(std::string_view text) {
    for (const char separator : {'/', '-'}) {
        const std::string_view part = text.substr(0, text.find(separator));
        const auto value = ToInt(part);
        if (value && *value != 0) {
            return *value;
        }
    }
    return 0;
}

ScrobbleTrack GatherTrack(const std::string& fileName, int lengthSeconds) {
    ScrobbleTrack track;
    std::string number;
    switch (AudioFileType(fileName)) {
        case 0: {
            TID3v2 v2;
            TID3v1 v1;
            v2.ReadFromFile(fileName);
            v1.ReadFromFile(fileName);
            const auto either = [](const std::string& first, const std::string& second) {
                return first.empty() ? second : first;
            };
            track.Artist = either(v2.Artist(), v1.Artist());
            track.Album = either(v2.Album(), v1.Album());
            track.Title = either(v2.Title(), v1.Title());
            number = either(v2.TrackString(), v1.TrackText());
            const std::string& ufid = v2.UFID();
            if (const std::size_t at = ufid.find(kMusicBrainzOwner); at != std::string::npos) {
                track.MusicBrainzID = ufid;
                track.MusicBrainzID.erase(at, std::string_view(kMusicBrainzOwner).size());
            }
            break;
        }
        case 3:
            number = FromVorbisComments<TFLACfile>(fileName, track);
            break;
        case 2:
            number = FromVorbisComments<TOggVorbis>(fileName, track);
            break;
        default:
            break;
    }
    track.TrackNumber = ParseLeadingNumber(number);
    track.Length = lengthSeconds;
    return track;
}

ScrobbleClient::ScrobbleClient(std::string queueFile) : queueFile_(std::move(queueFile)) {
    Limits.cancel = &stopping_;
    const FileRead read = ReadFileText(queueFile_);
    queue_ = ParseQueue(read.text);
    for (QueuedPlay& play : queue_) {
        play.Order = nextOrder_++;
    }
    // A queue that is there but cannot be read is never written over.
    queueWritable_ = read.status != FileRead::Failed;
}

ScrobbleClient::~ScrobbleClient() {
    {
        const std::lock_guard lock(pauseLock_);
        stopping_ = true;
    }
    pauseWake_.notify_all();
    WaitForWorkers();
}

void ScrobbleClient::SetAccount(const ScrobbleAccount& account) {
    const std::lock_guard lock(accountLock_);
    account_ = account;
}

ScrobbleAccount ScrobbleClient::Account() const {
    const std::lock_guard lock(accountLock_);
    return account_;
}

std::deque<QueuedPlay> ScrobbleClient::Queue() const {
    const std::lock_guard lock(lock_);
    return queue_;
}

void ScrobbleClient::Submit(const std::string& entry, int lengthSeconds, int mode) {
    if (entry.empty() || !Account().Enabled) {
        return;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(entry, error)) {
        return;  // a station, or a file that is gone
    }
    const std::int64_t sentAt = Now();
    const std::uint64_t order = nextOrder_++;
    StartWorker([=, this] { Work(entry, lengthSeconds, mode == 1, sentAt, order); });
}

void ScrobbleClient::CheckConnection(std::function<void(const std::string&)> done) {
    StartWorker([this, done = std::move(done)] {
        const std::lock_guard lock(lock_);
        if (!session_.Id.empty()) {
            return;
        }
        std::vector<std::string> answer;
        Handshake(Account(), std::to_string(Now()), answer);
        // The check never leaves a session behind.
        session_ = {};
        done(answer.empty() ? "Can not connect to last.fm"
                            : "Authentication last.fm: " + answer[0]);
    });
}

void ScrobbleClient::StartWorker(std::function<void()> work) {
    const std::lock_guard lock(workersLock_);
    // Workers that have ended are joined here, so the list stays short.
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
    if (stopping_) {
        return;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([work = std::move(work), done] {
                            work();
                            *done = true;
                        }),
                        done});
}

void ScrobbleClient::WaitForWorkers() {
    std::list<Worker> ending;
    {
        const std::lock_guard lock(workersLock_);
        ending.swap(workers_);
    }
    for (Worker& worker : ending) {
        worker.thread.join();
    }
}

void ScrobbleClient::Work(const std::string& fileName, int lengthSeconds, bool nowPlaying,
                          std::int64_t sentAt, std::uint64_t order) {
    const ScrobbleTrack track = GatherTrack(fileName, lengthSeconds);
    if (!nowPlaying) {
        // Queued before the first attempt: a play survives failures and a kill.
        const std::lock_guard lock(lock_);
        const auto at = std::find_if(queue_.begin(), queue_.end(),
                                     [&](const QueuedPlay& p) { return p.Order > order; });
        queue_.insert(at, {track, sentAt, order});
        SaveQueue();
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (Send(track, nowPlaying) || !PauseAfterFailure()) {
            return;
        }
    }
}

bool ScrobbleClient::PauseAfterFailure() {
    std::unique_lock lock(pauseLock_);
    pauseWake_.wait_for(lock, RetryPause, [this] { return stopping_.load(); });
    return !stopping_;
}

bool ScrobbleClient::Handshake(const ScrobbleAccount& account, const std::string& timestamp,
                               std::vector<std::string>& answer) {
    const std::string token = Lower(Md5Hex(Lower(Md5Hex(account.Password)) + timestamp));
    // The name is encoded: a blank or "&" in it would break the request.
    answer =
        HttpGetLines(account.Host + "/?hs=true&p=1.2&c=mrv&v=0.1&u=" + UrlEncode(account.Username) +
                         "&t=" + timestamp + "&a=" + token,
                     Limits);
    const std::optional<ScrobbleSession> session = ParseHandshakeAnswer(answer);
    session_ = session.value_or(ScrobbleSession{});
    return session.has_value();
}

bool ScrobbleClient::Send(const ScrobbleTrack& track, bool nowPlaying) {
    const std::lock_guard lock(lock_);
    const std::string timestamp = std::to_string(Now());
    if (session_.Id.empty()) {
        std::vector<std::string> answer;
        if (!Handshake(Account(), timestamp, answer)) {
            return false;
        }
    }
    if (!nowPlaying) {
        return SubmitQueued();
    }
    const ScrobbleSession held = session_;
    session_ = {};
    const auto answer =
        HttpPostLines(held.NowPlayingUrl,
                      "s=" + held.Id + "&a=" + Field(track.Artist) + "&t=" + Field(track.Title) +
                          "&b=" + Field(track.Album) + "&l=" + Positive(track.Length) +
                          "&n=" + Positive(track.TrackNumber) + "&m=" + Field(track.MusicBrainzID),
                      Limits);
    if (AnswerIsOk(answer)) {
        session_ = held;
        return true;
    }
    return false;
}

// Sends the queue oldest first, up to 50 plays per request; a play leaves the
// queue only once the service said "OK" for it.
bool ScrobbleClient::SubmitQueued() {
    while (!queue_.empty()) {
        const std::size_t count = std::min(queue_.size(), kPlaysPerPost);
        const ScrobbleSession held = session_;
        session_ = {};
        std::string body = "s=" + held.Id;
        for (std::size_t n = 0; n < count; ++n) {
            const ScrobbleTrack& t = queue_[n].Track;
            const std::string index = std::to_string(n);
            const auto add = [&](char key, const std::string& value) {
                body += '&';
                body += key;
                body += '[';
                body += index;
                body += "]=";
                body += value;
            };
            add('a', Field(t.Artist));
            add('t', Field(t.Title));
            add('b', Field(t.Album));
            add('l', Positive(t.Length));
            add('n', Positive(t.TrackNumber));
            add('m', Field(t.MusicBrainzID));
            add('o', "P");
            add('r', "");
            add('i', std::to_string(queue_[n].SentAt));
        }
        const auto answer = HttpPostLines(held.SubmissionUrl, body, Limits);
        if (!AnswerIsOk(answer)) {
            return false;
        }
        session_ = held;
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
        SaveQueue();
    }
    return true;
}

void ScrobbleClient::SaveQueue() {
    if (queueWritable_) {
        WriteFileAtomically(queueFile_, QueueText(queue_));
    }
}

}  // namespace mirvo
