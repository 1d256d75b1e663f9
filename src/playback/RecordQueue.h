#pragma once
// The recorder's block queue and its writer thread. The DSP pushes records
// (a target file and its sound) into a preallocated byte ring on the update
// thread, without waiting or allocating; the writer thread creates and
// appends the files in queue order through a RecordSink.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace mirvo {

// The temporary file N (0 to 4) of a record folder.
std::string RecordTempFile(const std::string& folder, int n);

// Where the writer thread puts the temporary files. Writer thread; may block.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    // Creates the file anew (replacing one of that name) and keeps it open.
    virtual bool Create(const std::string& path) = 0;
    virtual bool Append(const void* data, std::size_t bytes) = 0;
    virtual void Close() = 0;
};

// The real files.
class RecordFileSink : public RecordSink {
  public:
    ~RecordFileSink() override;
    bool Create(const std::string& path) override;
    bool Append(const void* data, std::size_t bytes) override;
    void Close() override;

  private:
    int fd_ = -1;
};

class RecordQueue {
  public:
    // The first failure stays until the next Start.
    enum Failure : int { kNoFailure = 0, kOverflow = 1, kWriteFailed = 2 };

    RecordQueue();
    ~RecordQueue();
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    // UI thread, while nothing pushes. Empties the queue, sized `capacity`
    // bytes, and starts the writer on the files of `folder`.
    void Start(const std::string& folder, std::size_t capacity);
    // Lets the writer write and close what it holds, then joins it.
    void Stop();
    // Returns once the writer has written all that was pushed so far.
    void WaitForWriter() const;
    // The files the writer writes; only while it is stopped.
    void SetSink(std::unique_ptr<RecordSink> sink) { sink_ = std::move(sink); }

    int FailureSeen() const { return failure_.load(); }
    // Any thread; keeps the first failure.
    void Fail(Failure failure);

    // Update thread: free bytes, records pushed at `head`, then published
    // together to the writer.
    std::size_t Free() const;
    std::uint64_t Head() const { return head_.load(std::memory_order_relaxed); }
    void Push(std::uint64_t& head, int file, bool create, const std::uint8_t* data,
              std::uint32_t bytes);
    void Publish(std::uint64_t head);

    // Bytes a record takes besides its sound.
    static constexpr std::size_t kRecordHeader = 8;

  private:
    void WriterLoop(const std::string& folder);
    void CopyIn(std::uint64_t at, const void* data, std::size_t bytes);
    void CopyOut(std::uint64_t at, void* data, std::size_t bytes) const;

    // Records of an 8-byte header and their sound, in a byte ring. The DSP
    // alone moves `head_`, the writer alone `tail_`.
    std::vector<std::uint8_t> queue_;
    std::atomic<std::uint64_t> head_{0};
    std::atomic<std::uint64_t> tail_{0};
    std::atomic<std::uint32_t> signal_{0};  // bumped to wake the writer
    std::atomic<bool> stopWriter_{false};
    std::atomic<int> failure_{kNoFailure};
    std::unique_ptr<RecordSink> sink_;  // writer thread while it runs
    std::thread writer_;
};

}  // namespace mirvo
