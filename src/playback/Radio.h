#pragma once
// Internet radio: the station's tags, and the workers that connect to a
// station so that neither the UI thread nor the audio update thread waits on
// the network. The engine's side (opening a station, its status line) is in
// Radio.cpp as part of Engine.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/Audio.h"
#include "player/Interfaces.h"

namespace mirvo {

struct TagPair {
    std::string Key;
    std::string Value;
};
using TagPairs = std::vector<TagPair>;

// A block of NUL-terminated strings ending with an empty one as one text, each
// string followed by ";". No block gives the empty text.
std::string JoinTagStrings(const std::optional<std::string>& block);
// Appends the key/value pairs of `text` to `list`; leading pieces without a key
// (an HTTP status line) are skipped, values in apostrophes lose them, pairs
// with a blank key or value are dropped.
void ParseTagPairs(std::string text, TagPairs& list, char keySeparator, bool clearFirst,
                   char pairSeparator);
// Appends the fields of a station's in-stream metadata (`Key='value';...`): a
// quoted value runs to the closing "';", so it may hold a ";". Numeric
// character references become their characters, control characters blanks.
void ParseStreamMeta(std::string_view text, TagPairs& list);
// `text` with numeric character references (&#8212; &#x2014;) decoded and
// control characters turned into blanks, trimmed.
std::string CleanStationText(std::string_view text);
// The first pair whose key is `name`, ignoring case; empty strings when none.
TagPair FindTagValue(std::string_view name, const TagPairs& list);
// The response headers of a URL stream, then its in-stream metadata, so that a
// header wins over an in-stream field of the same name.
TagPairs ReadStationTags(audio::Handle stream);

// How a worker opens an address (audio::StreamCreateURL by default); tests put
// their own here. Called on worker threads; may block until `cancel` is set.
using OpenUrlFunction = std::function<audio::Handle(const std::string& url, std::uint32_t flags,
                                                    const std::atomic<bool>& cancel)>;
OpenUrlFunction LibraryOpenUrl();

// One connect to a station: waits about half a second so that a quick run of
// station changes ends the earlier workers before they connect, then opens the
// station as a decode stream and posts the result to the UI thread.
class ConnectThread {
  public:
    using Arrived = std::function<void(ConnectThread* worker)>;
    // `serial` is shared by every worker of the engine; `arrived` is posted to
    // the UI thread once the stream (or the error) is there, unless the worker
    // ended early. It may run after the worker is gone.
    ConnectThread(std::string address, std::atomic<int>& serial, OpenUrlFunction open,
                  EventLoop& loop, Arrived arrived);
    ~ConnectThread();  // joins
    ConnectThread(const ConnectThread&) = delete;
    ConnectThread& operator=(const ConnectThread&) = delete;

    // A request only: a worker that is already connecting still finishes.
    void Terminate();
    // Ends a connect that is running, too (the owner is going).
    void Cancel();
    void Join();
    // The worker's run is over (it may still have to be handed over).
    bool Ended() const { return ended_; }
    bool Posted() const { return posted_; }

    // Set by the worker before it posts; read on the UI thread after.
    audio::Handle Handle = 0;
    int Serial = 0;
    int Error = 0;

  private:
    void Run();

    std::string address_;
    std::atomic<int>& serial_;
    OpenUrlFunction open_;
    EventLoop& loop_;
    Arrived arrived_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool terminate_ = false;  // protected by mutex_
    std::atomic<bool> cancel_{false};
    std::atomic<bool> posted_{false};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

// The connect workers of one engine, on the UI thread. Only the most recently
// started worker may hand a stream over, and only while its serial is the
// current one; every other result is freed.
class StationConnector {
  public:
    using Finished = std::function<void(audio::Handle handle, int serial, int error)>;
    StationConnector(EventLoop& loop, Finished finished);
    // Asks every worker to end and waits for them; streams not handed over are freed.
    ~StationConnector();
    StationConnector(const StationConnector&) = delete;
    StationConnector& operator=(const StationConnector&) = delete;

    // Asks the current worker to end and starts one for `address`.
    void Connect(const std::string& address);
    // No station is wanted any more: the serial goes back to 0 and no worker
    // started so far may deliver.
    void Reset();
    void SetOpenUrl(OpenUrlFunction open) { open_ = std::move(open); }
    int ConnectSerial() const { return serial_; }
    // Workers whose run is not over.
    int Running() const;

  private:
    void Arrived(ConnectThread* worker);
    void Reap();

    EventLoop& loop_;
    Finished finished_;
    OpenUrlFunction open_;
    std::atomic<int> serial_{0};
    std::vector<std::unique_ptr<ConnectThread>> workers_;
    ConnectThread* current_ = nullptr;
    std::vector<ConnectThread*> handed_;  // results taken on the UI thread
    // Posted results check that the connector still exists.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// Asks a station for its official name ("icy-name") on a worker, for the
// station dialog. The answer comes on the UI thread, at the latest after the
// time limit (as no name); a newer lookup or Cancel drops the older one.
class StationNameLookup {
  public:
    explicit StationNameLookup(EventLoop& loop, OpenUrlFunction open = LibraryOpenUrl());
    ~StationNameLookup();  // waits for the workers
    StationNameLookup(const StationNameLookup&) = delete;
    StationNameLookup& operator=(const StationNameLookup&) = delete;

    // `done` gets the name with a leading blank removed, or `address` when the
    // station names none.
    void Start(const std::string& address, std::chrono::milliseconds limit,
               std::function<void(const std::string& title)> done);
    void Cancel();
    bool Waiting() const { return waiting_ != 0; }

  private:
    void Finish(std::uint64_t id, const std::string& name);

    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };

    EventLoop& loop_;
    OpenUrlFunction open_;
    std::vector<Worker> workers_;
    std::atomic<bool> closing_{false};  // set when this goes: running lookups end
    std::uint64_t next_ = 0;
    std::uint64_t waiting_ = 0;  // the lookup whose answer is wanted, 0 none
    std::string address_;
    std::function<void(const std::string&)> done_;
    EventLoop::TimerId timer_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace mirvo
