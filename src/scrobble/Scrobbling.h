#pragma once
// The play history client (Audioscrobbler protocol 1.2, spoken by Last.fm,
// Libre.fm and ListenBrainz): a now-playing notice and finished plays, each
// sent from its own worker thread with up to three attempts. A finished play
// is kept in a queue file until the service has answered "OK" for it, so
// nothing heard offline or while the service fails is lost.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "scrobble/Scrobbler.h"
#include "support/Http.h"

namespace mirvo {

struct ScrobbleTrack : TrackTags {
    int Length = 0;  // seconds
};

// Tags by file type: ID3v2 over ID3v1 for MP3, the Vorbis comments of FLAC and Ogg,
// TagLib's reading of MP4, Opus and APEv2 tags.
ScrobbleTrack GatherTrack(const std::string& fileName, int lengthSeconds);
// "3/12" and "03-12" give 3; text that is no number gives 0.
int ParseLeadingNumber(std::string_view text);

struct ScrobbleAccount {
    bool Enabled = false;
    std::string Username;
    std::string Password;
    // Where the handshake goes: Last.fm, or another service of the same protocol.
    std::string Host = "http://post.audioscrobbler.com";
};

// A finished play the service has not taken yet.
struct QueuedPlay {
    ScrobbleTrack Track;
    std::int64_t StartedAt = 0;  // seconds since 1970, sent as the play's time
    std::uint64_t Order = 0;     // plays stay in the order they were reported
};

// A session the handshake gave: the id and where notices and plays go.
struct ScrobbleSession {
    std::string Id;
    std::string NowPlayingUrl;
    std::string SubmissionUrl;
};

// The handshake answer's lines: a session for "OK" and its three lines, else none.
std::optional<ScrobbleSession> ParseHandshakeAnswer(const std::vector<std::string>& lines);
// Whether a notice or submission answer says "OK".
bool AnswerIsOk(const std::vector<std::string>& lines);
// What the service said: the answer's lines, also for an error status when
// they begin with one of the protocol's words (a web server's error page does not).
std::vector<std::string> ServiceWords(const HttpAnswer& answer);
// The service takes no play without both; such a play is never queued.
bool HasArtistAndTitle(const ScrobbleTrack& track);

// The queue file: one play per line, its fields separated by tabs. Lines that
// do not read as a play, or name no artist or title, are skipped.
std::string QueueText(const std::deque<QueuedPlay>& queue);
std::deque<QueuedPlay> ParseQueue(std::string_view text);

class ScrobbleClient final : public Scrobbler {
  public:
    // `queueFile` keeps the plays not yet taken across restarts.
    explicit ScrobbleClient(std::string queueFile,
                            const ScrobbleClock& clock = ScrobbleClock::System());
    // Ends the workers at once; plays they had not sent stay queued.
    ~ScrobbleClient() override;
    ScrobbleClient(const ScrobbleClient&) = delete;
    ScrobbleClient& operator=(const ScrobbleClient&) = delete;

    // A changed name, password or service ends any holding off.
    void SetAccount(const ScrobbleAccount& account);

    // Scrobbler: mode 1 is the now-playing notice, 0 a finished play. Nothing
    // happens when reporting is off or the entry is no existing file (a station).
    void Submit(const AudibleTrack& track, int lengthSeconds, int mode,
                std::int64_t startedAt) override;

    // The handshake alone, on a worker; `done` gets "Authentication last.fm: "
    // and the service's word, or "Can not connect to last.fm". While a session
    // is held nothing is checked and `done` is not called.
    void CheckConnection(std::function<void(const std::string& message)> done);

    // One whole request: a handshake when no session is held, then the notice
    // or every queued play. True when the service answered "OK". After a
    // refused account, or three sends in a row without "OK", nothing is sent
    // for a while: a minute, then twice as long after each further failure,
    // up to two hours.
    bool Send(const ScrobbleTrack& track, bool nowPlaying);
    // Whether failures hold requests off now; waits for a send (tests).
    bool HoldingOff() const;

    // Never waits for a send.
    std::deque<QueuedPlay> Queue() const;
    // Blocks until every worker has ended (tests).
    void WaitForWorkers();

    // Between failed attempts; tests shorten it.
    std::chrono::milliseconds RetryPause{10000};
    HttpLimits Limits;

  private:
    enum class Outcome { Sent, Failed, HeldOff };

    ScrobbleAccount Account(std::uint64_t* serial = nullptr) const;
    void StartWorker(std::function<void()> work);
    void Work(const ScrobbleTrack& track, bool nowPlaying, std::int64_t startedAt,
              std::uint64_t order);
    Outcome Attempt(const ScrobbleTrack& track, bool nowPlaying);
    bool Handshake(const ScrobbleAccount& account, std::vector<std::string>& answer);
    bool SendNotice(const ScrobbleTrack& track);
    bool SubmitQueued();
    std::vector<QueuedPlay> NextPlays(const std::vector<std::uint64_t>& skipped,
                                      std::size_t count) const;
    void ForgetPlays(const std::vector<QueuedPlay>& taken,
                     const std::vector<std::uint64_t>& refused);
    void SaveQueue();
    bool PauseAfterFailure();
    bool HeldOff(std::uint64_t accountSerial) const;
    void NoteFailure(bool accountRefused, std::uint64_t accountSerial);
    void NoteSuccess();

    const std::string queueFile_;
    const ScrobbleClock& clock_;
    // The account has its own lock, so that the UI thread never waits for a
    // send to change it; each change counts up its serial.
    mutable std::mutex accountLock_;
    ScrobbleAccount account_;
    std::uint64_t accountSerial_ = 0;
    // The session, the failures and each whole send.
    mutable std::mutex sendLock_;
    ScrobbleSession session_;
    int failures_ = 0;  // sends in a row without "OK"
    int holds_ = 0;     // times held off since the last "OK"
    std::chrono::steady_clock::time_point heldUntil_{};
    std::uint64_t failuresOf_ = 0;  // the account serial they were counted for
    // The queue and its file, never held while the service is asked: a play
    // is on disk at once whatever a send waits for.
    mutable std::mutex queueLock_;
    std::deque<QueuedPlay> queue_;
    bool queueWritable_ = true;
    std::atomic<std::uint64_t> nextOrder_{0};

    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex workersLock_;
    std::list<Worker> workers_;
    std::atomic<bool> stopping_{false};
    std::mutex pauseLock_;
    std::condition_variable pauseWake_;
};

}  // namespace mirvo
