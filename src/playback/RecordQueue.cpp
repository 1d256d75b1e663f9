#include "playback/RecordQueue.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "support/Files.h"

namespace mirvo {
namespace {

void Put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t Get32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

}  // namespace

std::string RecordTempFile(const std::string& folder, int n) {
    return folder + "mirvo" + std::to_string(n) + ".pcm";
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
    return fd_ >= 0 && WriteAll(fd_, std::string_view(static_cast<const char*>(data), bytes));
}

void RecordFileSink::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

RecordQueue::RecordQueue() : sink_(std::make_unique<RecordFileSink>()) {}

RecordQueue::~RecordQueue() {
    Stop();
}

void RecordQueue::Start(const std::string& folder, std::size_t capacity) {
    failure_ = kNoFailure;
    if (queue_.size() != capacity) {
        queue_.assign(capacity, 0);
    }
    head_ = 0;
    tail_ = 0;
    stopWriter_ = false;
    // Its own copy of the folder: the UI thread may set the next one meanwhile.
    writer_ = std::thread([this, folder] { WriterLoop(folder); });
}

void RecordQueue::Stop() {
    if (!writer_.joinable()) {
        return;
    }
    stopWriter_.store(true, std::memory_order_release);
    signal_.fetch_add(1, std::memory_order_release);
    signal_.notify_one();
    writer_.join();
}

void RecordQueue::WaitForWriter() const {
    while (writer_.joinable() && tail_.load() != head_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void RecordQueue::Fail(Failure failure) {
    int none = kNoFailure;
    failure_.compare_exchange_strong(none, failure);
}

void RecordQueue::WriterLoop(const std::string& folder) {
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
            Fail(kWriteFailed);
        }
        tail += kRecordHeader + bytes;
        tail_.store(tail, std::memory_order_release);
    }
    sink_->Close();
}

std::size_t RecordQueue::Free() const {
    const std::uint64_t used =
        head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire);
    return queue_.size() - static_cast<std::size_t>(used);
}

void RecordQueue::CopyIn(std::uint64_t at, const void* data, std::size_t bytes) {
    const std::size_t capacity = queue_.size();
    const auto offset = static_cast<std::size_t>(at % capacity);
    const std::size_t first = std::min(bytes, capacity - offset);
    const auto* from = static_cast<const std::uint8_t*>(data);
    std::memcpy(queue_.data() + offset, from, first);
    std::memcpy(queue_.data(), from + first, bytes - first);
}

void RecordQueue::CopyOut(std::uint64_t at, void* data, std::size_t bytes) const {
    const std::size_t capacity = queue_.size();
    const auto offset = static_cast<std::size_t>(at % capacity);
    const std::size_t first = std::min(bytes, capacity - offset);
    auto* to = static_cast<std::uint8_t*>(data);
    std::memcpy(to, queue_.data() + offset, first);
    std::memcpy(to + first, queue_.data(), bytes - first);
}

void RecordQueue::Push(std::uint64_t& head, int file, bool create, const std::uint8_t* data,
                       std::uint32_t bytes) {
    std::uint8_t header[kRecordHeader] = {};
    Put32(header, bytes);
    header[4] = static_cast<std::uint8_t>(file);
    header[5] = create ? 1 : 0;
    CopyIn(head, header, kRecordHeader);
    CopyIn(head + kRecordHeader, data, bytes);
    head += kRecordHeader + bytes;
}

void RecordQueue::Publish(std::uint64_t head) {
    head_.store(head, std::memory_order_release);
    signal_.fetch_add(1, std::memory_order_release);
    signal_.notify_one();
}

}  // namespace mirvo
