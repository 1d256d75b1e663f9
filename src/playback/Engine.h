#pragma once
// The audio engine: opens playlist entries as two decode streams feeding one
// output channel, switches to the next track inside the feed without a gap,
// and hands the end of a track to the status refresh on the UI thread.
//
// Threads: everything here runs on the UI thread except StreamFeed, which the
// audio library's update thread calls, and the opens in OpenAhead.cpp, which run
// on the engine's own opener thread. The feed never touches the playlist nor
// opens a file: the UI thread prepares the next track while the current one
// nears its end (PrepareNextTrack), the opener opens its decoders, the feed
// takes that choice at the switch once they are open, and the UI thread applies
// its effects on the queue and histories once the new track is audible.
// Everything two sides touch is atomic or behind `prepareLock_`.
//
// Engine.cpp holds the core (open, play, seek, stop, volume), Feed.cpp the
// feed, StatusRefresh.cpp the status refresh, TrackChoice.cpp the choice,
// OpenAhead.cpp the opener's work and Radio.cpp the internet radio stations
// (connected on workers of their own, see Radio.h).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "audio/Audio.h"
#include "playback/Opener.h"
#include "playback/PlaybackView.h"
#include "playback/Radio.h"
#include "playback/Recording.h"
#include "playback/TimeText.h"
#include "player/Player.h"

namespace mirvo {

// CheckFile results.
enum CheckResult {
    kPlayable = 0,
    kFileNotFound = 1,
    kUnsupportedFormat = 2,
    kIllegalSampleRate = 4,
    kNotAudioFile = 5,
    kUnsupportedSampleFormat = 6,
    kCannotOpen = 7,
    kDriverUnsupported = 8,
    kUnknownFormat = 10,
};

// What choosing a track changes in the queue and the histories, applied on the
// UI thread: at once for a choice made there, at the switch for the feed's.
struct ChoiceEffect {
    enum Kind {
        RemoveQueued,
        PushQueueBack,
        PopQueueBack,
        PushShuffleBack,
        PopShuffleBack,
        AppendShuffleHistory,
        ClearShuffleHistory
    };
    Kind kind;
    std::string entry;
};

struct TrackChoice {
    int index = -1;
    std::vector<ChoiceEffect> effects;
};

class Engine {
  public:
    Engine(Player& player, PlaybackView& view);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void InitDevice();
    int CheckFile(const std::string& entry, bool quiet = false);
    // A file is checked and opened on the starter thread and plays once that
    // lands on the UI thread; a newer start or a stop supersedes it.
    void PlayEntry(int index, bool keepThreads = false, bool resume = false);
    // A start is on its way: seeks, pause and resume apply to it when it lands.
    bool Starting() const { return pendingStart_.has_value(); }
    // Returns once every start asked for so far has landed.
    void Settle();
    // The next (or previous) track by the queue and the play mode, chosen and
    // opened on the starter; nothing happens when there is none.
    void PlayNext(bool previous);
    // `announce`: a jump the listeners hear of (not the start of a track). The
    // source is moved on the starter (a decoder's seek may read the file); the
    // output is silent until then and plays on once it lands.
    void SeekTo(std::int64_t bytes, bool announce = true);
    void SeekToMs(std::int64_t ms, bool announce = true);
    std::int64_t CurrentPositionBytes() const;
    std::int64_t BytesToMs(std::int64_t bytes) const;
    std::int64_t MsToBytes(std::int64_t ms) const;
    void StopPlayback(bool releaseDevice);
    // The status panel's format line for `entry`; the playing track's was
    // read where it was opened, so the window does not wait for its file.
    std::string DescribeFormat(const std::string& entry);
    void SetVolume(int value);
    static int VolumeCurve(int value);

    void Pause();
    void Resume();
    bool IsPaused() const;
    // ChannelIsActive of the output channel; stopped when there is none.
    std::uint32_t OutputState() const;

    // Status refresh: one tick on the UI thread while a track plays.
    void StatusTick();
    void FinishSeamlessSwitch();
    void AdvanceAfterDrain();
    // The status timer runs only while something plays.
    void ResumeStatus();
    void SuspendStatus();
    bool StatusRunning() const { return statusTimer_ != 0; }
    int RefreshPeriod() const { return refreshPeriod_; }
    bool FineTimeFormat() const { return fineTime_; }

    // Track choice (queue first, then the play mode), made here with the
    // candidates checked on this thread.
    int ChooseTrack(bool previous);
    TrackChoice PlanTrack(bool previous);
    void ApplyEffects(const std::vector<ChoiceEffect>& effects);
    void PushShuffleBack(const std::string& entry);
    void PushQueueBack(const std::string& entry);
    std::string PopShuffleBack();
    std::string PopQueueBack();
    void ApplyPlayMode();

    // The feed callback's work, on the audio library's update thread.
    std::uint32_t StreamFeed(void* buffer, std::uint32_t length);

    // Internet radio. A connect worker's result, on the UI thread: the stream
    // plays when `serial` is still the current one and nothing failed.
    void ConnectFinished(audio::Handle handle, int serial, int error);
    // The station's title and bit rate, on every 300th status tick.
    void UpdateRadioStatus();
    int ConnectSerial() const { return connector_.ConnectSerial(); }
    StationConnector& Connector() { return connector_; }
    int RadioTickCount = 0;

    // Handles and hand-over values, for the status refresh and tests.
    audio::Handle SourceStream() const { return source_.load(); }
    audio::Handle OutputChannel() const { return output_.load(); }
    int TransitionState() const { return transition_.load(); }
    // Returns once the opener has done everything asked of it so far.
    void WaitForOpener() { opener_.WaitIdle(); }
    // Returns once the starter has opened everything asked of it so far; what
    // it opened lands later, on the UI thread.
    void WaitForStarter() { starter_.WaitIdle(); }

    PlaybackView& View() { return view_; }
    Recorder& recorder() { return recorder_; }

    bool SeekPending = false;
    std::array<std::string, 11> ShuffleBackHistory;
    std::array<std::string, 11> QueueBackHistory;

    // What a choice is made from.
    struct ChoiceView {
        const std::vector<std::string>& entries;
        const std::vector<std::string>& queue;
        const std::vector<std::string>& shuffleHistory;
        const std::array<std::string, 11>& queueBack;
        const std::array<std::string, 11>& shuffleBack;
        int playingIndex;
        int mode;
    };

  private:
    // What the playlist, the tools and the application ask of playback.
    class Control final : public PlaybackControl {
      public:
        explicit Control(Engine& engine) : engine_(engine) {}
        void PlayEntry(int index) override { engine_.PlayEntry(index); }
        void StopPlayback(bool releaseDevice) override { engine_.StopPlayback(releaseDevice); }
        bool TransitionInProgress() const override { return engine_.TransitionState() != 0; }
        bool OutputPaused() const override { return engine_.IsPaused(); }
        std::string FormatDescription(const std::string& entry) override {
            return engine_.DescribeFormat(entry);
        }

      private:
        Engine& engine_;
    };

    // A copy of the UI thread's list, queue and histories, for a choice made
    // on the starter or the opener.
    struct ChoiceInput {
        explicit ChoiceInput(const Engine& engine);
        ChoiceView View() const;
        std::vector<std::string> entries;
        std::vector<std::string> queue;
        std::vector<std::string> shuffleHistory;
        std::array<std::string, 11> queueBack;
        std::array<std::string, 11> shuffleBack;
        int playingIndex;
        int mode;
    };
    static TrackChoice Plan(const ChoiceView& in, bool previous, std::mt19937& random,
                            const std::function<bool(const std::string&)>& playable);
    // CheckFile's answer without its notice, on any thread once the device is ready.
    static int CheckCandidate(const std::string& entry);

    struct Prepared {
        TrackChoice choice;
        std::string entry;
        int kind = -1;
        // What the choice was made from; a change means choosing again.
        int playMode = 0;
        int playingIndex = -1;
        std::size_t entryCount = 0;
        std::vector<std::string> queue;
        // Filled by the opener: the choice, the decoders positioned after the lead-in.
        std::uint64_t id = 0;
        bool opened = false;  // all of it, also when nothing follows
        audio::Handle source = 0;
        audio::Handle lookahead = 0;
        std::int64_t length = 0;
        std::int64_t threeSeconds = 0;
        std::int64_t leadIn = 0;
        bool isMp3 = false;
        std::vector<std::int16_t> tail;  // the tail trim's 3 s, made off the update thread
        std::string description;         // its format, read where it was opened
        TrackTags tags;
    };

    struct PendingStart {
        std::uint64_t id = 0;
        int index = -1;
        std::string entry;
        int kind = -1;
        bool keepThreads = false;
        bool paused = false;
        bool announce = false;
        std::int64_t seekBytes = -1;
        std::int64_t seekMs = -1;
        // A track the starter chooses; `afterDrain`: none stops playback.
        bool choose = false;
        bool previous = false;
        bool afterDrain = false;
    };
    // What the starter thread found, for the UI thread.
    struct Started {
        std::uint64_t id = 0;
        int code = 0;
        int error = 0;
        bool notice = false;  // the probe failed in a way the library can say
        audio::Handle source = 0;
        std::int64_t length = 0;
        std::int64_t threeSeconds = 0;
        std::string description;
        TrackTags tags;  // read with the open, for the listeners
        // A start that chose its track: the choice, its entry and kind.
        TrackChoice choice;
        std::string entry;
        int kind = -1;
    };
    // A seek on its way to the starter: the output waits stopped, in the state
    // it had before, which pause and resume change meanwhile.
    struct PendingSeek {
        std::uint64_t id = 0;
        std::uint32_t state = 0;
    };

    void OpenSources();
    // Starter thread.
    void OpenStart(std::uint64_t id, const std::string& entry, int kind);
    void OpenChoice(std::uint64_t id, const ChoiceInput& in, bool previous);
    static void OpenSource(Started& started, const std::string& entry, int kind);
    void PostStarted(Started started);
    void StartChoice(bool previous, bool keepThreads, bool afterDrain);
    void LandStarts();
    void LandChoice(PendingStart& start, Started& started);
    // Where `entry` stands now, `index` when the list has not changed there; -1 when gone.
    int Refind(int index, const std::string& entry) const;
    void LandSeek();
    // The output again as it was before a seek stopped it.
    void PlayOnAfterSeek(std::uint32_t state);
    void BeginPlaying(PendingStart& start, Started& started);
    void StartOutput(bool keepThreads);
    // Before a file plays: no record command, the time label where files have it.
    void ShowFileControls();
    // Before any open: what played is freed, the device ready, the feed reset.
    void ReleaseForOpen();
    void CancelStart();
    void OpenStation(const std::string& entry);
    // The station branch of a status tick; false ends the tick.
    bool StationStatusTick();
    std::uint32_t StationFeed(void* buffer, std::uint32_t length);
    // A lost station: the next attempt after 1, 2, 4 ... 30 s, for up to five
    // minutes of waits, then the station ends. UI thread.
    void ScheduleReconnect();
    void EndReconnect();
    // A reconnected stream of the output's format takes the old one's place,
    // so that the output and a recording on it go on; false for another format.
    bool SwapStation(audio::Handle handle);
    void AfterOpen(bool keepThreads);
    void FreeHandles();
    void ResetFeedState();
    void PrepareNextTrack();
    bool PreparedIsCurrent(const Prepared& prepared) const;
    bool SwitchPending();
    static void FreePrepared(std::optional<Prepared>& prepared);
    // Opener thread.
    void OpenPrepared(std::uint64_t id, const ChoiceInput& in);
    void OpenLookahead(std::uint64_t track, const std::string& entry, int kind);
    // Decoders the feed has finished with, freed on the UI thread.
    void Retire(audio::Handle handle);
    void FreeRetired();
    // The status refresh's period for what plays now; the timer follows it.
    int WantedPeriod() const;
    void FollowPeriod(std::int64_t pos);
    void StartStatusTimer(int interval);
    void WriteTimeLabel(std::int64_t pos, std::int64_t length);
    void ShowCheckWarning(int code, const std::string& entry);
    void TellState(PlayState state);

    // Feed-side helpers (update thread).
    bool TailTrimDue();
    std::int64_t TrimTail();
    bool SameOutputFormat();

    Player& p_;
    Control control_{*this};
    PlaybackView& view_;

    std::atomic<audio::Handle> source_{0};
    std::atomic<audio::Handle> lookahead_{0};
    std::atomic<audio::Handle> output_{0};
    std::atomic<int> pendingIndex_{-1};
    std::atomic<bool> decoderFinished_{false};
    std::atomic<int> transition_{0};
    // The source stopped where its data changed format: the stop says so.
    std::atomic<bool> sourceUnplayable_{false};
    std::atomic<std::int64_t> bytesDelivered_{0};
    std::atomic<std::int64_t> tailRemaining_{-1};
    std::atomic<std::int64_t> trackBoundary_{-1};
    std::atomic<std::int64_t> leadInSkipped_{0};
    // The source's length and 3 s of it, taken at open: a trimmed source is
    // freed before the switch needs them.
    std::atomic<std::int64_t> sourceLength_{0};
    std::atomic<std::int64_t> sourceThreeSeconds_{0};
    std::atomic<bool> sourceIsMp3_{false};
    // The source is a station: fed as it comes, never switched or trimmed.
    std::atomic<bool> sourceIsStation_{false};
    std::int64_t positionBase_ = 0;
    // UI thread: the tags of what the source plays, told when it becomes audible.
    TrackTags sourceTags_;
    // The tail trim's window of the source's sound: made where the source is
    // opened, swapped in at the switch, so the feed allocates nothing.
    std::vector<std::int16_t> tailSamples_;

    std::array<std::atomic<audio::Handle>, 4> retired_{};

    std::mutex prepareLock_;
    std::optional<Prepared> prepared_;              // the next track, chosen on the UI thread
    std::optional<Prepared> switched_;              // taken by the feed, applied at the boundary
    std::uint64_t preparedId_ = 0;                  // UI thread: the last choice sent to the opener
    std::atomic<std::uint64_t> latestPrepared_{0};  // the opener's walk stops once stale
    std::uint64_t trackId_ = 0;                     // the track playing, for its look-ahead

    EventLoop::TimerId statusTimer_ = 0;
    int refreshPeriod_ = 100;
    int timerInterval_ = 0;         // of the running status timer
    std::string describedAddress_;  // whose description the source came with
    std::string description_;
    bool fineTime_ = false;
    std::mt19937 random_;
    PlayState told_ = PlayState::Stopped;
    std::string stationTitle_;  // UI thread: the title last told
    // UI thread: the reconnect attempt (0: none), the seconds waited for so far,
    // the timer of the next attempt.
    int reconnectAttempt_ = 0;
    int reconnectWaited_ = 0;
    EventLoop::TimerId reconnectTimer_ = 0;
    // Set once reconnecting gave up: the feed may end the station's output.
    std::atomic<bool> stationGivenUp_{false};
    StationConnector connector_;
    Recorder recorder_;

    // UI thread: the start on its way; `latestStart_` lets the starter skip stale ones.
    std::optional<PendingStart> pendingStart_;
    std::uint64_t startId_ = 0;
    std::atomic<std::uint64_t> latestStart_{0};
    std::mutex startLock_;
    std::vector<Started> started_;  // landed on the starter, not yet taken
    std::optional<PendingSeek> pendingSeek_;
    std::uint64_t seekId_ = 0;
    std::atomic<std::uint64_t> latestSeek_{0};
    std::atomic<std::uint64_t> seekDone_{0};
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    Opener starter_;  // last two: their jobs use the members above
    Opener opener_;
};

}  // namespace mirvo
