#include "scrobble/Scrobbling.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "playlist/Entries.h"
#include "support/Files.h"
#include "support/Md5.h"
#include "support/Text.h"
#include "tags/FLACfile.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/OggVorbis.h"
#include "tags/TagLibFile.h"
#include "tags/TagText.h"

namespace mirvo {
namespace {

constexpr const char* kMusicBrainzOwner = "http://musicbrainz.org";
constexpr std::size_t kPlaysPerPost = 50;
// Plays refused one by one before the service has taken any in a send: a
// service that refuses every play then is in trouble, and nothing is dropped.
constexpr std::size_t kRefusedAloneAtMost = 5;
constexpr int kFailuresBeforeHolding = 3;
constexpr std::chrono::minutes kFirstHold{1};
constexpr std::chrono::minutes kLongestHold{120};

class SystemClock final : public ScrobbleClock {
  public:
    std::int64_t UnixTime() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    std::chrono::steady_clock::time_point Monotonic() const override {
        return std::chrono::steady_clock::now();
    }
};

// Bytes 0..32 go at both ends, as the zero byte before an ID3v2 UFID id.
std::string Field(const std::string& text) {
    return UrlEncode(tagtext::TrimControls(text));
}

std::string Positive(int value) {
    return value > 0 ? std::to_string(value) : std::string();
}

template <typename Number = int>
std::optional<Number> ToNumber(std::string_view text) {
    Number value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string_view FirstWord(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return {};
    }
    const std::string_view line = lines[0];
    return line.substr(0, line.find(' '));
}

// "FAILED <reason>": the service refuses what was sent, the session stands.
bool IsRefusal(const std::vector<std::string>& lines) {
    return FirstWord(lines) == "FAILED";
}

// The handshake words after which asking again at once cannot help.
bool RefusesAccount(const std::vector<std::string>& lines) {
    const std::string_view word = FirstWord(lines);
    return word == "BADAUTH" || word == "BANNED" || word == "BADTIME";
}

std::string SubmissionBody(const std::string& session, const std::vector<QueuedPlay>& plays) {
    std::string body = "s=" + session;
    for (std::size_t n = 0; n < plays.size(); ++n) {
        const ScrobbleTrack& t = plays[n].Track;
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
        add('i', std::to_string(plays[n].StartedAt));
    }
    return body;
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

const ScrobbleClock& ScrobbleClock::System() {
    static const SystemClock clock;
    return clock;
}

std::string QueueText(const std::deque<QueuedPlay>& queue) {
    std::string text;
    for (const QueuedPlay& play : queue) {
        const ScrobbleTrack& t = play.Track;
        text += std::to_string(play.StartedAt) + '\t' + std::to_string(t.Length) + '\t' +
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
        const auto startedAt = ToNumber<std::int64_t>(fields[0]);
        const auto length = ToNumber(fields[1]);
        const auto number = ToNumber(fields[2]);
        ScrobbleTrack track{fields[3],          fields[4], fields[5],
                            number.value_or(0), fields[6], length.value_or(0)};
        if (startedAt && length && number && HasArtistAndTitle(track)) {
            queue.push_back({std::move(track), *startedAt, 0});
        }
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

std::vector<std::string> ServiceWords(const HttpAnswer& answer) {
    if (answer.status < 400) {
        return answer.lines;
    }
    const std::string_view word = FirstWord(answer.lines);
    const bool protocolWord = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return c >= 'A' && c <= 'Z';
    });
    return protocolWord ? answer.lines : std::vector<std::string>{};
}

bool HasArtistAndTitle(const ScrobbleTrack& track) {
    return !tagtext::TrimControls(track.Artist).empty() &&
           !tagtext::TrimControls(track.Title).empty();
}

int ParseLeadingNumber(std::string_view text) {
    for (const char separator : {'/', '-'}) {
        const std::string_view part = text.substr(0, text.find(separator));
        const auto value = ToNumber(part);
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
        case 4:
        case 5:
        case 6:
        case 7: {
            TTagLibFile tags;
            tags.ReadFromFile(fileName);
            track.Artist = tags.Artist();
            track.Album = tags.Album();
            track.Title = tags.Title();
            number = tags.TrackString();
            break;
        }
        default:
            break;
    }
    track.TrackNumber = ParseLeadingNumber(number);
    track.Length = lengthSeconds;
    return track;
}

ScrobbleClient::ScrobbleClient(std::string queueFile, const ScrobbleClock& clock)
    : queueFile_(std::move(queueFile)), clock_(clock) {
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
    if (account.Username != account_.Username || account.Password != account_.Password ||
        account.Host != account_.Host) {
        ++accountSerial_;
    }
    account_ = account;
}

ScrobbleAccount ScrobbleClient::Account(std::uint64_t* serial) const {
    const std::lock_guard lock(accountLock_);
    if (serial != nullptr) {
        *serial = accountSerial_;
    }
    return account_;
}

std::deque<QueuedPlay> ScrobbleClient::Queue() const {
    const std::lock_guard lock(queueLock_);
    return queue_;
}

void ScrobbleClient::Submit(const AudibleTrack& heard, int lengthSeconds, int mode,
                            std::int64_t startedAt) {
    const ScrobbleTrack track{heard.tags, lengthSeconds};
    // A station has no tags; neither has a file that held none when it opened.
    if (!HasArtistAndTitle(track) || !Account().Enabled) {
        return;  // refused by the service, it would hold up every later play
    }
    const std::uint64_t order = nextOrder_++;
    StartWorker([=, this, entry = heard.entry] {
        // Looked at here, off the window's thread: a file that is gone by now
        // is not reported.
        std::error_code error;
        if (std::filesystem::is_regular_file(entry, error)) {
            Work(track, mode == 1, startedAt, order);
        }
    });
}

void ScrobbleClient::CheckConnection(std::function<void(const std::string&)> done) {
    StartWorker([this, done = std::move(done)] {
        const std::lock_guard lock(sendLock_);
        if (!session_.Id.empty()) {
            return;
        }
        std::vector<std::string> answer;
        if (Handshake(Account(), answer)) {
            NoteSuccess();  // the account works: plays may go at once
        }
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

void ScrobbleClient::Work(const ScrobbleTrack& track, bool nowPlaying, std::int64_t startedAt,
                          std::uint64_t order) {
    if (!nowPlaying) {
        // Queued before the first attempt: a play survives failures and a kill.
        const std::lock_guard lock(queueLock_);
        const auto at = std::find_if(queue_.begin(), queue_.end(),
                                     [&](const QueuedPlay& p) { return p.Order > order; });
        queue_.insert(at, {track, startedAt, order});
        SaveQueue();
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (Attempt(track, nowPlaying) != Outcome::Failed || !PauseAfterFailure()) {
            return;
        }
    }
}

bool ScrobbleClient::PauseAfterFailure() {
    std::unique_lock lock(pauseLock_);
    pauseWake_.wait_for(lock, RetryPause, [this] { return stopping_.load(); });
    return !stopping_;
}

bool ScrobbleClient::HeldOff(std::uint64_t accountSerial) const {
    return failuresOf_ == accountSerial && clock_.Monotonic() < heldUntil_;
}

bool ScrobbleClient::HoldingOff() const {
    const std::lock_guard lock(sendLock_);
    std::uint64_t serial = 0;
    Account(&serial);
    return HeldOff(serial);
}

void ScrobbleClient::NoteFailure(bool accountRefused, std::uint64_t accountSerial) {
    if (failuresOf_ != accountSerial) {
        NoteSuccess();  // another account starts afresh
        failuresOf_ = accountSerial;
    }
    ++failures_;
    if (accountRefused || failures_ >= kFailuresBeforeHolding) {
        heldUntil_ =
            clock_.Monotonic() + std::min(kLongestHold, kFirstHold * (1 << std::min(holds_, 7)));
        ++holds_;
    }
}

void ScrobbleClient::NoteSuccess() {
    failures_ = 0;
    holds_ = 0;
    heldUntil_ = {};
}

bool ScrobbleClient::Handshake(const ScrobbleAccount& account, std::vector<std::string>& answer) {
    const std::string timestamp = std::to_string(clock_.UnixTime());
    const std::string token = LowerAscii(Md5Hex(LowerAscii(Md5Hex(account.Password)) + timestamp));
    // The name is encoded: a blank or "&" in it would break the request.
    answer = ServiceWords(
        HttpGetLines(account.Host + "/?hs=true&p=1.2&c=mrv&v=0.1&u=" + UrlEncode(account.Username) +
                         "&t=" + timestamp + "&a=" + token,
                     Limits));
    const std::optional<ScrobbleSession> session = ParseHandshakeAnswer(answer);
    session_ = session.value_or(ScrobbleSession{});
    return session.has_value();
}

bool ScrobbleClient::Send(const ScrobbleTrack& track, bool nowPlaying) {
    return Attempt(track, nowPlaying) == Outcome::Sent;
}

ScrobbleClient::Outcome ScrobbleClient::Attempt(const ScrobbleTrack& track, bool nowPlaying) {
    const std::lock_guard lock(sendLock_);
    std::uint64_t serial = 0;
    const ScrobbleAccount account = Account(&serial);
    if (HeldOff(serial)) {
        return Outcome::HeldOff;  // a queued play goes with a later send
    }
    if (session_.Id.empty()) {
        std::vector<std::string> answer;
        if (!Handshake(account, answer)) {
            NoteFailure(RefusesAccount(answer), serial);
            return Outcome::Failed;
        }
    }
    if (nowPlaying ? SendNotice(track) : SubmitQueued()) {
        NoteSuccess();
        return Outcome::Sent;
    }
    NoteFailure(false, serial);
    return Outcome::Failed;
}

bool ScrobbleClient::SendNotice(const ScrobbleTrack& track) {
    const ScrobbleSession held = session_;
    session_ = {};
    const auto answer = ServiceWords(
        HttpPostLines(held.NowPlayingUrl,
                      "s=" + held.Id + "&a=" + Field(track.Artist) + "&t=" + Field(track.Title) +
                          "&b=" + Field(track.Album) + "&l=" + Positive(track.Length) +
                          "&n=" + Positive(track.TrackNumber) + "&m=" + Field(track.MusicBrainzID),
                      Limits));
    if (AnswerIsOk(answer)) {
        session_ = held;
        return true;
    }
    return false;
}

// Sends the queue oldest first, up to 50 plays per request; a play leaves the
// queue only once the service said "OK" for it. A request the service
// refuses is split until the play it refuses stands alone, and that play is
// dropped once the service takes the plays after it.
bool ScrobbleClient::SubmitQueued() {
    std::vector<std::uint64_t> refused;
    std::size_t count = kPlaysPerPost;
    for (;;) {
        const std::vector<QueuedPlay> plays = NextPlays(refused, count);
        if (plays.empty()) {
            return refused.empty();
        }
        const ScrobbleSession held = session_;
        session_ = {};
        const auto answer =
            ServiceWords(HttpPostLines(held.SubmissionUrl, SubmissionBody(held.Id, plays), Limits));
        if (AnswerIsOk(answer)) {
            session_ = held;
            ForgetPlays(plays, refused);
            refused.clear();
            count = kPlaysPerPost;
            continue;
        }
        if (!IsRefusal(answer)) {
            return false;  // the session or the service: a later send tries again
        }
        session_ = held;
        if (plays.size() > 1) {
            count = (plays.size() + 1) / 2;
            continue;
        }
        refused.push_back(plays.front().Order);
        if (refused.size() >= kRefusedAloneAtMost) {
            return false;
        }
        count = 1;  // until the service takes one, each costs one request
    }
}

std::vector<QueuedPlay> ScrobbleClient::NextPlays(const std::vector<std::uint64_t>& skipped,
                                                  std::size_t count) const {
    std::vector<QueuedPlay> plays;
    const std::lock_guard lock(queueLock_);
    for (const QueuedPlay& play : queue_) {
        if (plays.size() == count) {
            break;
        }
        if (std::find(skipped.begin(), skipped.end(), play.Order) == skipped.end()) {
            plays.push_back(play);
        }
    }
    return plays;
}

void ScrobbleClient::ForgetPlays(const std::vector<QueuedPlay>& taken,
                                 const std::vector<std::uint64_t>& refused) {
    const std::lock_guard lock(queueLock_);
    std::erase_if(queue_, [&](const QueuedPlay& play) {
        return std::find(refused.begin(), refused.end(), play.Order) != refused.end() ||
               std::any_of(taken.begin(), taken.end(),
                           [&](const QueuedPlay& t) { return t.Order == play.Order; });
    });
    SaveQueue();
}

void ScrobbleClient::SaveQueue() {
    if (queueWritable_) {
        WriteFileAtomically(queueFile_, QueueText(queue_));
    }
}

}  // namespace mirvo
