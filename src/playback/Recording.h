#pragma once
// Recording the station that plays: a DSP on the output channel copies every
// block into a RecordQueue, whose writer thread writes the blocks to raw
// temporary files in the record folder ("mirvo0.pcm" for the recording, a ring
// of "mirvo1.pcm" to "mirvo4.pcm" for the pre-record cache), and stopping
// offers to combine them into one WAV file.
//
// Threads: RecordDspProc runs on the audio library's update thread and only
// copies into the queue (no file work, no waiting, no allocation); the writer
// thread does all file work in queue order; everything else runs on the UI
// thread. The DSP's ring state is touched by the UI thread only while no DSP
// is installed (ChannelRemoveDSP waits for a running callback).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/Audio.h"
#include "playback/PlaybackView.h"
#include "playback/RecordQueue.h"
#include "playback/WaveFile.h"
#include "player/Interfaces.h"
#include "player/PlaylistState.h"
#include "player/Settings.h"

namespace mirvo {

struct Player;

// The order the temporary files are combined in: the ring files from the one
// after `lastRingIndex` (the oldest) round to `lastRingIndex`, then 0; only
// those whose bit is set in `written`.
std::vector<int> CombineOrder(int lastRingIndex, unsigned written);

class Recorder {
  public:
    // What the recorder needs of the engine, on the UI thread.
    struct Links {
        std::function<audio::Handle()> OutputChannel;
        std::function<void()> StopPlayback;  // with the device released
    };
    // What the recorder reads and whom it asks, on the UI thread.
    struct Reach {
        Reach(Player& player);
        const PlaylistState& playlist;  // the station that plays
        Settings& settings;             // the record folder, the seconds kept ahead
        const SettingsValues& values;
        Dialogs& dialogs;
        EventLoop& loop;
        MainView& view;  // the time label
    };
    // Free bytes for the user in a folder; none when it cannot be read.
    using SpaceQuery = std::function<std::optional<std::uint64_t>(const std::string& folder)>;

    Recorder(const Reach& reach, PlaybackView& view, Links links);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // The record command (numpad *, the play bar's record button).
    void RecordStartAcExecute();
    // Installs the DSP on the output channel unless one is; unless
    // `cacheOnly`, the recording proper begins. False when nothing plays.
    bool StartRecordDsp(bool cacheOnly);
    // Removes the DSP, then lets the writer write and close what it holds.
    void StopRecordDsp();
    // Ends the cache or the recording; a recording is offered to be saved.
    void StopRecording();
    void DeleteRecordTempFiles();

    // While recording, from the radio status refresh: time and space left in
    // the time label; below 20 MiB free the recording stops and is offered.
    void UpdateRecordStatus();
    // From every status tick: a queue overflow or a failed write stops the
    // cache or the recording and says so.
    void ReportWriterFailure();

    bool RecordingActive() const { return recordingActive_.load(); }
    bool DspInstalled() const { return recordDsp_ != 0; }
    const std::string& RecordLeftText() const { return recordLeftText_; }
    const std::string& RecordFolder() const { return recordFolder_; }

    // Returns once the writer has written all the DSP queued so far.
    void WaitForWriter() const { queue_.WaitForWriter(); }
    // Seams for tests: the files the writer writes, the free-space query.
    void SetSink(std::unique_ptr<RecordSink> sink);
    void SetSpaceQuery(SpaceQuery query) { spaceQuery_ = std::move(query); }

    // Update thread.
    void RecordDspProc(const void* buffer, std::uint32_t length);

  private:
    void SaveRecording();
    // Under the offered name in the record folder, for a quit that cannot ask.
    void SaveUnasked();
    // Into `fileName`, over a file of that name only when `replace` (the save
    // dialog asked), else under the next free name; false, and the temporary
    // files are kept, on any failure.
    bool CombineInto(const std::string& fileName, bool replace);
    int CacheSeconds() const;
    std::string ReadRecordFolder() const;

    Reach reach_;
    PlaybackView& view_;
    Links links_;
    SpaceQuery spaceQuery_;

    // UI thread.
    audio::DspHandle recordDsp_ = 0;
    audio::Handle dspChannel_ = 0;
    std::optional<int> cacheSeconds_;  // none: [Recording] CachingTime from start-up
    std::string recordFolder_;         // ends in "/"
    std::string recordLeftText_;
    RecordFormat format_;
    bool saving_ = false;  // the save question and the combining let messages run

    std::atomic<bool> recordingActive_{false};

    // The DSP's ring state: update thread while a DSP is installed, else UI thread.
    int ringIndex_ = 0;
    int lastRingIndex_ = 0;
    bool fileOpen_ = false;
    std::uint64_t fileBytes_ = 0;
    std::uint64_t ringFileLimit_ = 0;
    unsigned written_ = 0;  // bit N: file N was created in this session

    RecordQueue queue_;
};

}  // namespace mirvo
