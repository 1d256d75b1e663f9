#include "playback/Recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "playback/TimeText.h"
#include "playlist/Entries.h"
#include "support/Files.h"
#include "support/Text.h"

namespace mirvo {
namespace {

constexpr std::uint64_t kStopBelowBytes = 20971520;  // 20 MiB
constexpr std::size_t kRecordHeader = 8;
// The library hands a DSP up to its whole playback buffer (at most 5 s) at
// once; the rest is room for a disk that is slow for a while.
constexpr std::uint64_t kQueueSeconds = 16;
constexpr std::size_t kCopyBlock = 1 << 20;
constexpr int kCopyBlocksPerMessageRun = 16;

constexpr const char* kOnlyRadio =
    "You can only record internet radio.\rPlease connect to one first.";
constexpr const char* kCombineFailed =
    "Sorry, error while saving and combining files.\rTemp files are not deleted! Use a sound "
    "editor to combine the temp files.\r(raw uncompressed 44.1/16 bit wave data without a "
    "header)\r\rPlease report this error and what you were doing.";

void Put16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

std::uint32_t Get32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

bool WriteBytes(int fd, const void* data, std::size_t bytes) {
    return WriteAll(fd, std::string_view(static_cast<const char*>(data), bytes));
}

bool PatchAt(int fd, off_t offset, std::uint32_t value) {
    std::uint8_t bytes[4];
    Put32(bytes, value);
    return ::pwrite(fd, bytes, 4, offset) == 4;
}

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

// Renames `temp` to `name`, or where that is taken to "name (2).wav" and on;
// never over a file.
bool RenameToFreeName(const std::string& temp, const std::string& name) {
    const std::string stem = name.substr(0, name.size() - 4);
    for (int n = 1; n <= 100; ++n) {
        const std::string candidate = n == 1 ? name : stem + " (" + std::to_string(n) + ").wav";
        if (RenameNoReplace(temp, candidate)) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

std::string FailureReason(int failure) {
    return failure == 1 ? "the disk could not keep up." : "the record files could not be written.";
}

}  // namespace

std::pair<std::uint32_t, std::uint32_t> WaveSizeFields(std::uint64_t fileSize) {
    constexpr std::uint64_t kMax = 0xFFFFFFFF;
    fileSize = std::max<std::uint64_t>(fileSize, 44);
    return {static_cast<std::uint32_t>(std::min(fileSize - 8, kMax)),
            static_cast<std::uint32_t>(std::min(fileSize - 44, kMax))};
}

std::array<std::uint8_t, 44> WaveHeader(const RecordFormat& format, std::uint64_t dataBytes) {
    std::array<std::uint8_t, 44> h{};
    const auto [riffSize, dataSize] = WaveSizeFields(dataBytes + 44);
    std::memcpy(h.data(), "RIFF", 4);
    Put32(&h[4], riffSize);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    Put32(&h[16], 16);
    Put16(&h[20], 1);
    Put16(&h[22], format.Channels);
    Put32(&h[24], format.Frequency);
    Put32(&h[28], format.BytesPerSecond);
    Put16(&h[32], format.Channels * format.BitsPerSample / 8);
    Put16(&h[34], format.BitsPerSample);
    std::memcpy(&h[36], "data", 4);
    Put32(&h[40], dataSize);
    return h;
}

bool WriteWaveHeader(int mode, const std::string& fileName, const RecordFormat& format) {
    if (mode == 1) {
        const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            return false;
        }
        const auto header = WaveHeader(format, 0);
        const bool ok = WriteBytes(fd, header.data(), header.size());
        return ::close(fd) == 0 && ok;
    }
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && st.st_size >= 44;
    if (ok) {
        const auto [riffSize, dataSize] = WaveSizeFields(static_cast<std::uint64_t>(st.st_size));
        ok = PatchAt(fd, 4, riffSize) && PatchAt(fd, 40, dataSize) && ::fsync(fd) == 0;
    }
    return ::close(fd) == 0 && ok;
}

std::string RecordTempFile(const std::string& folder, int n) {
    return folder + "mirvo" + std::to_string(n) + ".pcm";
}

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

RecordFileSink::~RecordFileSink() {
    Close();
}

bool RecordFileSink::Create(const std::string& path) {
    Close();
    // Private, and never through a link someone else put in a shared folder.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    return fd_ >= 0;
}

bool RecordFileSink::Append(const void* data, std::size_t bytes) {
    return fd_ >= 0 && WriteBytes(fd_, data, bytes);
}

void RecordFileSink::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Recorder::Recorder(Player& player, PlaybackView& view, Links links)
    : p_(player),
      view_(view),
      links_(std::move(links)),
      spaceQuery_(FreeBytes),
      sink_(std::make_unique<RecordFileSink>()) {}

Recorder::~Recorder() {
    if (recordDsp_ != 0) {
        audio::ChannelRemoveDSP(dspChannel_, recordDsp_);
    }
    StopWriter();
}

void Recorder::SetSink(std::unique_ptr<RecordSink> sink) {
    StopRecordDsp();
    sink_ = std::move(sink);
}

int Recorder::CacheSeconds() const {
    return cacheSeconds_.value_or(p_.values.CachingTime);
}

std::string Recorder::ReadRecordFolder() const {
    return WithTrailingSlash(p_.settings.ReadString("General", "RecordTempPath", TempFolder()));
}

void Recorder::RecordStartAcExecute() {
    Dialogs& dialogs = p_.ui.dialogs;
    if (saving_) {
        return;  // the last recording is still being saved
    }
    const std::string station = p_.playlist.PlayingEntry;
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
    if (p_.playlist.PlayingEntry != station) {
        dialogs.ShowNotice(NoticeKind::Information,
                           EntryKind(p_.playlist.PlayingEntry) != kKindStream
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
    cacheSeconds_ = p_.settings.ReadInteger("General", "RecordSecAhead", 120);
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
        failure_ = kNoFailure;
        const std::size_t capacity = static_cast<std::size_t>(perSecond * kQueueSeconds);
        if (queue_.size() != capacity) {
            queue_.assign(capacity, 0);
        }
        head_ = 0;
        tail_ = 0;
        StartWriter();
        recordDsp_ = audio::ChannelSetDSP(out, DspProc, this, 0);
        if (recordDsp_ == 0) {
            StopWriter();
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
    StopWriter();
    fileOpen_ = false;
}

void Recorder::StopRecording() {
    StopRecordDsp();
    if (!recordingActive_) {
        return;  // the cache's ring files stay until the next save or discard
    }
    recordingActive_ = false;
    view_.SetRecordCaption("&Record");
    if (failure_ != kNoFailure) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Warning,
                                 "Recording stopped, " + FailureReason(failure_));
    }
    saving_ = true;
    SaveRecording();
    saving_ = false;
}

void Recorder::SaveRecording() {
    Dialogs& dialogs = p_.ui.dialogs;
    MainView& view = p_.ui.view;
    // A quit that cannot ask (a signal, logout, "-quit", the media controls)
    // closes the questions unanswered: only the user's own No loses the recording.
    const EventLoop& loop = p_.ui.loop;
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
    // Written beside the chosen file and renamed over it at the end, so a
    // failure never leaves half a recording under that name.
    const std::string folder = FolderOf(fileName);
    std::string temp = JoinPath(folder.empty() ? std::string(".") : folder, ".mirvo-XXXXXX");
    const int made = ::mkostemp(temp.data(), O_CLOEXEC);
    if (made < 0) {
        return false;
    }
    ::fchmod(made, 0644);
    ::close(made);
    bool ok = WriteWaveHeader(1, temp, format_);
    const int out = ok ? ::open(temp.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC) : -1;
    ok = out >= 0;
    std::vector<std::uint8_t> block(kCopyBlock);
    for (const int n : CombineOrder(lastRingIndex_, written_)) {
        if (!ok) {
            break;
        }
        p_.ui.loop.ProcessPendingMessages();
        const int in =
            ::open(RecordTempFile(recordFolder_, n).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (in < 0) {
            ok = errno == ENOENT;  // only the files that are there
            continue;
        }
        for (int copied = 1;; ++copied) {
            const ssize_t got = ::read(in, block.data(), block.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            ok = WriteBytes(out, block.data(), static_cast<std::size_t>(got));
            if (!ok) {
                break;
            }
            if (copied % kCopyBlocksPerMessageRun == 0) {
                p_.ui.loop.ProcessPendingMessages();
            }
        }
        ::close(in);
    }
    if (out >= 0) {
        ok = ::close(out) == 0 && ok;
    }
    ok = ok && WriteWaveHeader(0, temp, format_) &&
         (replace ? ::rename(temp.c_str(), fileName.c_str()) == 0
                  : RenameToFreeName(temp, fileName));
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
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
    p_.ui.view.SetTimeLabel("Recording... Left: " + recordLeftText_);
    if (!free || *free < kStopBelowBytes) {
        StopRecordDsp();
        p_.ui.dialogs.ShowNotice(NoticeKind::Warning, "Recording stopped, drive is almost full.");
        StopRecording();
    }
}

void Recorder::ReportWriterFailure() {
    const int failure = failure_;
    if (failure == kNoFailure || recordDsp_ == 0) {
        return;
    }
    if (recordingActive_) {
        StopRecording();  // says why, then offers what was written
        return;
    }
    StopRecordDsp();
    p_.ui.dialogs.ShowNotice(NoticeKind::Warning,
                             "Pre-record cache stopped, " + FailureReason(failure));
}

void Recorder::StartWriter() {
    stopWriter_ = false;
    // Its own copy of the folder: the UI thread may set the next one meanwhile.
    writer_ = std::thread([this, folder = recordFolder_] { WriterLoop(folder); });
}

void Recorder::StopWriter() {
    if (!writer_.joinable()) {
        return;
    }
    stopWriter_.store(true, std::memory_order_release);
    signal_.fetch_add(1, std::memory_order_release);
    signal_.notify_one();
    writer_.join();
}

void Recorder::WaitForWriter() const {
    while (writer_.joinable() && tail_.load() != head_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Recorder::WriterLoop(const std::string& folder) {
    std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    // After a failed write the rest is dropped; after an overflow what was
    // queued before it is still written.
    bool writable = true;
    for (;;) {
        const std::uint32_t seen = signal_.load(std::memory_order_acquire);
        const std::uint64_t head = head_.load(std::memory_order_acquire);
        if (tail == head) {
            if (stopWriter_.load(std::memory_order_acquire)) {
                break;
            }
            signal_.wait(seen, std::memory_order_acquire);
            continue;
        }
        std::uint8_t header[kRecordHeader];
        CopyOut(tail, header, kRecordHeader);
        const std::uint32_t bytes = Get32(header);
        const int file = header[4];
        const bool create = header[5] != 0;
        bool ok = writable;
        if (ok && create) {
            ok = sink_->Create(RecordTempFile(folder, file));
        }
        const std::size_t capacity = queue_.size();
        std::uint64_t at = tail + kRecordHeader;
        std::size_t left = bytes;
        while (ok && left > 0) {
            const auto offset = static_cast<std::size_t>(at % capacity);
            const std::size_t piece = std::min(left, capacity - offset);
            ok = sink_->Append(queue_.data() + offset, piece);
            at += piece;
            left -= piece;
        }
        if (writable && !ok) {
            writable = false;
            int none = kNoFailure;
            failure_.compare_exchange_strong(none, kWriteFailed);
        }
        tail += kRecordHeader + bytes;
        tail_.store(tail, std::memory_order_release);
    }
    sink_->Close();
}

std::size_t Recorder::QueueFree() const {
    const std::uint64_t used =
        head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire);
    return queue_.size() - static_cast<std::size_t>(used);
}

void Recorder::CopyIn(std::uint64_t at, const void* data, std::size_t bytes) {
    const std::size_t capacity = queue_.size();
    const auto offset = static_cast<std::size_t>(at % capacity);
    const std::size_t first = std::min(bytes, capacity - offset);
    const auto* from = static_cast<const std::uint8_t*>(data);
    std::memcpy(queue_.data() + offset, from, first);
    std::memcpy(queue_.data(), from + first, bytes - first);
}

void Recorder::CopyOut(std::uint64_t at, void* data, std::size_t bytes) const {
    const std::size_t capacity = queue_.size();
    const auto offset = static_cast<std::size_t>(at % capacity);
    const std::size_t first = std::min(bytes, capacity - offset);
    auto* to = static_cast<std::uint8_t*>(data);
    std::memcpy(to, queue_.data() + offset, first);
    std::memcpy(to + first, queue_.data(), bytes - first);
}

void Recorder::Push(std::uint64_t& head, int file, bool create, const std::uint8_t* data,
                    std::uint32_t bytes) {
    std::uint8_t header[kRecordHeader] = {};
    Put32(header, bytes);
    header[4] = static_cast<std::uint8_t>(file);
    header[5] = create ? 1 : 0;
    CopyIn(head, header, kRecordHeader);
    CopyIn(head + kRecordHeader, data, bytes);
    head += kRecordHeader + bytes;
}

void Recorder::RecordDspProc(const void* buffer, std::uint32_t length) {
    // After a failure nothing more is taken: what is queued stays gapless.
    if (length == 0 || failure_.load(std::memory_order_relaxed) != kNoFailure) {
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
    if (records * kRecordHeader + length > QueueFree()) {
        int none = kNoFailure;
        failure_.compare_exchange_strong(none, kOverflow);
        return;
    }
    std::uint64_t head = head_.load(std::memory_order_relaxed);
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
        Push(head, 0, create, data, length);
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
            Push(head, ringIndex_, create, data, take);
            fileBytes_ += take;
            data += take;
            left -= take;
        }
    }
    head_.store(head, std::memory_order_release);
    signal_.fetch_add(1, std::memory_order_release);
    signal_.notify_one();
}

}  // namespace mirvo
