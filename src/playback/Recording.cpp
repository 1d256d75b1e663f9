#include "playback/Recording.h"

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "playback/TimeText.h"
#include "player/Player.h"
#include "playlist/Entries.h"
#include "support/Files.h"
#include "support/Text.h"

namespace mirvo {
namespace {

constexpr std::uint64_t kStopBelowBytes = 20971520;  // 20 MiB
// The library hands a DSP up to its whole playback buffer (at most 5 s) at
// once; the rest is room for a disk that is slow for a while.
constexpr std::uint64_t kQueueSeconds = 16;

constexpr const char* kOnlyRadio =
    "You can only record internet radio.\rPlease connect to one first.";
constexpr const char* kCombineFailed =
    "Sorry, error while saving and combining files.\rTemp files are not deleted! Use a sound "
    "editor to combine the temp files.\r(raw uncompressed 44.1/16 bit wave data without a "
    "header)\r\rPlease report this error and what you were doing.";

void DspProc(audio::DspHandle, audio::Handle, void* buffer, std::uint32_t length, void* user) {
    static_cast<Recorder*>(user)->RecordDspProc(buffer, length);
}

std::optional<std::uint64_t> FreeBytes(const std::string& folder) {
    std::error_code error;
    const std::filesystem::space_info space = std::filesystem::space(folder, error);
    if (error) {
        return std::nullopt;
    }
    return space.available;
}

bool IsWritableFolder(const std::string& folder) {
    std::error_code error;
    return !folder.empty() && std::filesystem::is_directory(folder, error) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

// "Mix yyyy-mm-dd hh-nn.wav".
std::string OfferedName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::strftime(name, sizeof name, "Mix %Y-%m-%d %H-%M.wav", &local);
    return name;
}

// The offered name in the user's home, where the save dialog opens.
std::string SuggestedSaveName() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? JoinPath(home, OfferedName()) : OfferedName();
}

std::string FailureReason(int failure) {
    return failure == 1 ? "the disk could not keep up." : "the record files could not be written.";
}

}  // namespace

std::vector<int> CombineOrder(int lastRingIndex, unsigned written) {
    std::vector<int> order;
    for (int step = 1; step <= 4; ++step) {
        const int n = (lastRingIndex + step - 1) % 4 + 1;
        if ((written & (1u << n)) != 0) {
            order.push_back(n);
        }
    }
    if ((written & 1u) != 0) {
        order.push_back(0);
    }
    return order;
}

Recorder::Reach::Reach(Player& player)
    : playlist(player.playlist),
      settings(player.settings),
      values(player.values),
      dialogs(player.ui.dialogs),
      loop(player.ui.loop),
      view(player.ui.view) {}

Recorder::Recorder(const Reach& reach, PlaybackView& view, Links links)
    : reach_(reach), view_(view), links_(std::move(links)), spaceQuery_(FreeBytes) {}

Recorder::~Recorder() {
    if (recordDsp_ != 0) {
        audio::ChannelRemoveDSP(dspChannel_, recordDsp_);
    }
    queue_.Stop();
}

void Recorder::SetSink(std::unique_ptr<RecordSink> sink) {
    StopRecordDsp();
    queue_.SetSink(std::move(sink));
}

int Recorder::CacheSeconds() const {
    return cacheSeconds_.value_or(reach_.values.CachingTime);
}

std::string Recorder::ReadRecordFolder() const {
    return WithTrailingSlash(reach_.settings.ReadString("General", "RecordTempPath", TempFolder()));
}

void Recorder::RecordStartAcExecute() {
    Dialogs& dialogs = reach_.dialogs;
    if (saving_) {
        return;  // the last recording is still being saved
    }
    const std::string station = reach_.playlist.PlayingEntry;
    if (EntryKind(station) != kKindStream) {
        dialogs.ShowNotice(NoticeKind::Information, kOnlyRadio);
        return;
    }
    if (recordingActive_) {
        links_.StopPlayback();  // which offers to save
        return;
    }
    const audio::Handle out = links_.OutputChannel();
    if (out == 0 || audio::ChannelIsActive(out) != audio::kActivePlaying) {
        dialogs.ShowNotice(NoticeKind::Information, "First play a stream.");
        return;
    }
    if (!dialogs.AskYesNo("Start recording?")) {
        return;
    }
    // The station may have ended, or another entry started, while the question was open.
    if (reach_.playlist.PlayingEntry != station) {
        dialogs.ShowNotice(NoticeKind::Information,
                           EntryKind(reach_.playlist.PlayingEntry) != kKindStream
                               ? kOnlyRadio
                               : "First play a stream.");
        return;
    }
    if (links_.OutputChannel() != out || audio::ChannelIsActive(out) != audio::kActivePlaying) {
        dialogs.ShowNotice(NoticeKind::Information, "First play a stream.");
        return;
    }
    const std::string folder = ReadRecordFolder();
    if (!IsWritableFolder(folder)) {
        dialogs.ShowNotice(NoticeKind::Error,
                           "Please set a valid temporary record directory in the Settings.");
        return;
    }
    if (recordDsp_ != 0 && folder != recordFolder_) {
        StopRecordDsp();  // the cache ran elsewhere: record where the user said
    }
    recordFolder_ = folder;
    cacheSeconds_ = reach_.settings.ReadInteger("General", "RecordSecAhead", 120);
    if (StartRecordDsp(false)) {
        view_.SetRecordCaption("Stop &recording");
    } else {
        dialogs.ShowNotice(NoticeKind::Information, "First play a stream.");
    }
}

bool Recorder::StartRecordDsp(bool cacheOnly) {
    if (saving_) {
        return false;  // the temporary files are being combined
    }
    if (recordDsp_ == 0) {
        const audio::Handle out = links_.OutputChannel();
        audio::ChannelInfo info;
        const std::uint64_t perSecond = audio::ChannelSeconds2Bytes(out, 1.0f);
        if (out == 0 || !audio::ChannelGetInfo(out, &info) || perSecond == 0 ||
            perSecond == audio::kPositionError) {
            return false;
        }
        // The cache takes the folder set now; a recording taking over finds the ring there.
        if (cacheOnly || recordFolder_.empty()) {
            recordFolder_ = ReadRecordFolder();
        }
        if (!IsWritableFolder(recordFolder_)) {
            return false;  // starting the recording itself says what is wrong
        }
        format_.Frequency = info.Frequency;
        format_.Channels = info.Channels;
        format_.BitsPerSample = (info.Flags & audio::kSample8Bits) != 0 ? 8 : 16;
        format_.BytesPerSecond = static_cast<std::uint32_t>(perSecond);
        ringIndex_ = 0;
        lastRingIndex_ = 0;
        fileOpen_ = false;
        fileBytes_ = 0;
        written_ = 0;
        ringFileLimit_ = perSecond * static_cast<std::uint64_t>(std::max(1, CacheSeconds() / 3));
        queue_.Start(recordFolder_, static_cast<std::size_t>(perSecond * kQueueSeconds));
        recordDsp_ = audio::ChannelSetDSP(out, DspProc, this, 0);
        if (recordDsp_ == 0) {
            queue_.Stop();
            return false;
        }
        dspChannel_ = out;
    }
    if (!cacheOnly) {
        recordingActive_ = true;
    }
    return true;
}

void Recorder::StopRecordDsp() {
    if (recordDsp_ == 0) {
        return;
    }
    // Waits for a block being copied, so the writer gets nothing after this.
    audio::ChannelRemoveDSP(dspChannel_, recordDsp_);
    recordDsp_ = 0;
    dspChannel_ = 0;
    queue_.Stop();
    fileOpen_ = false;
}

void Recorder::StopRecording() {
    StopRecordDsp();
    if (!recordingActive_) {
        return;  // the cache's ring files stay until the next save or discard
    }
    recordingActive_ = false;
    view_.SetRecordCaption("&Record");
    if (const int failure = queue_.FailureSeen(); failure != RecordQueue::kNoFailure) {
        reach_.dialogs.ShowNotice(NoticeKind::Warning,
                                  "Recording stopped, " + FailureReason(failure));
    }
    saving_ = true;
    SaveRecording();
    saving_ = false;
}

void Recorder::SaveRecording() {
    Dialogs& dialogs = reach_.dialogs;
    MainView& view = reach_.view;
    // A quit that cannot ask (a signal, logout, "-quit", the media controls)
    // closes the questions unanswered: only the user's own No loses the recording.
    const EventLoop& loop = reach_.loop;
    const bool save =
        !loop.Quitting() && dialogs.AskYesNo("Record has been stopped.\rSave record?");
    if (loop.Quitting()) {
        SaveUnasked();
        return;
    }
    if (!save) {
        DeleteRecordTempFiles();
        return;
    }
    const std::optional<std::string> name = dialogs.PickSaveFile(
        "Save record", SuggestedSaveName(), "Wave files (*.wav)|*.wav|All files (*.*)|*.*");
    if (!name) {
        if (loop.Quitting()) {
            SaveUnasked();
        } else {
            DeleteRecordTempFiles();
        }
        view.SetStatusText(3, "");
        return;
    }
    view.SetStatusText(3, "Writing wave file...");
    if (CombineInto(*name, true)) {
        DeleteRecordTempFiles();
        view.SetStatusText(3, "");
        dialogs.ShowNotice(NoticeKind::Information, "Stream succesfully saved to\r" + *name);
    } else {
        dialogs.ShowNotice(NoticeKind::Error, kCombineFailed);
    }
    view.SetStatusText(3, "");
}

void Recorder::SaveUnasked() {
    // Where the temporary files are, so it needs no more room than the folder has.
    if (CombineInto(recordFolder_ + OfferedName(), false)) {
        DeleteRecordTempFiles();
    }
}

bool Recorder::CombineInto(const std::string& fileName, bool replace) {
    std::vector<std::string> parts;
    for (const int n : CombineOrder(lastRingIndex_, written_)) {
        parts.push_back(RecordTempFile(recordFolder_, n));
    }
    return CombineIntoWave(parts, format_, fileName, replace,
                           [this] { reach_.loop.ProcessPendingMessages(); });
}

void Recorder::DeleteRecordTempFiles() {
    if (recordFolder_.empty()) {
        return;
    }
    for (int n = 0; n <= 4; ++n) {
        ::unlink(RecordTempFile(recordFolder_, n).c_str());
    }
}

void Recorder::UpdateRecordStatus() {
    if (!recordingActive_) {
        return;
    }
    const std::optional<std::uint64_t> free = spaceQuery_(recordFolder_);
    const std::uint64_t bytes = free.value_or(0);
    const std::uint64_t perSecond = std::max<std::uint64_t>(1, format_.BytesPerSecond);
    const auto minutes = static_cast<std::int64_t>(bytes / perSecond / 60);
    recordLeftText_ =
        FormatSeconds(minutes) + " (" + FormatMegabytes(bytes, view_.ThousandsSeparator()) + " MB)";
    reach_.view.SetTimeLabel("Recording... Left: " + recordLeftText_);
    if (!free || *free < kStopBelowBytes) {
        StopRecordDsp();
        reach_.dialogs.ShowNotice(NoticeKind::Warning, "Recording stopped, drive is almost full.");
        StopRecording();
    }
}

void Recorder::ReportWriterFailure() {
    const int failure = queue_.FailureSeen();
    if (failure == RecordQueue::kNoFailure || recordDsp_ == 0) {
        return;
    }
    if (recordingActive_) {
        StopRecording();  // says why, then offers what was written
        return;
    }
    StopRecordDsp();
    reach_.dialogs.ShowNotice(NoticeKind::Warning,
                              "Pre-record cache stopped, " + FailureReason(failure));
}

void Recorder::RecordDspProc(const void* buffer, std::uint32_t length) {
    // After a failure nothing more is taken: what is queued stays gapless.
    if (length == 0 || queue_.FailureSeen() != RecordQueue::kNoFailure) {
        return;
    }
    const auto* data = static_cast<const std::uint8_t*>(buffer);
    const bool recording = recordingActive_.load(std::memory_order_acquire);
    const std::uint64_t limit = ringFileLimit_;
    // The whole block goes in or none of it, so the ring state only moves
    // for blocks that are written.
    std::size_t records = 1;
    if (!recording) {
        records = 0;
        std::uint64_t inFile = fileOpen_ ? fileBytes_ : limit;
        for (std::uint64_t left = length; left > 0; ++records) {
            if (inFile >= limit) {
                inFile = 0;
            }
            const std::uint64_t take = std::min(left, limit - inFile);
            inFile += take;
            left -= take;
        }
    }
    if (records * RecordQueue::kRecordHeader + length > queue_.Free()) {
        queue_.Fail(RecordQueue::kOverflow);
        return;
    }
    std::uint64_t head = queue_.Head();
    if (recording) {
        bool create = !fileOpen_;
        if (ringIndex_ != 0) {
            lastRingIndex_ = ringIndex_;
            ringIndex_ = 0;
            create = true;
        }
        if (create) {
            fileOpen_ = true;
            fileBytes_ = 0;
            written_ |= 1u;
        }
        queue_.Push(head, 0, create, data, length);
        fileBytes_ += length;
    } else {
        for (std::uint32_t left = length; left > 0;) {
            bool create = false;
            if (!fileOpen_ || fileBytes_ >= limit) {
                ringIndex_ = ringIndex_ % 4 + 1;
                fileOpen_ = true;
                fileBytes_ = 0;
                written_ |= 1u << ringIndex_;
                create = true;
            }
            const auto take =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(left, limit - fileBytes_));
            queue_.Push(head, ringIndex_, create, data, take);
            fileBytes_ += take;
            data += take;
            left -= take;
        }
    }
    queue_.Publish(head);
}

}  // namespace mirvo
