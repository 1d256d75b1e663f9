#include "audio/Source.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "audio/Audio.h"

namespace audio::detail {

std::int64_t SeekWhence(Source& source, std::int64_t offset, int whence) {
    std::int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = source.Tell();
    } else if (whence == SEEK_END) {
        base = source.Size();
        if (base < 0) {
            return -1;
        }
    } else if (whence != SEEK_SET) {
        return -1;
    }
    const std::int64_t target = base + offset;
    if (target < 0 || !source.Seek(target)) {
        return -1;
    }
    return target;
}

namespace {

// A window [begin, begin + size) of a regular file.
class FileSource final : public Source {
  public:
    FileSource(std::FILE* file, std::int64_t begin, std::int64_t size)
        : file_(file), begin_(begin), size_(size) {}
    ~FileSource() override { std::fclose(file_); }

    std::size_t Read(void* dst, std::size_t n) override {
        const std::int64_t left = size_ - pos_;
        if (left <= 0 || n == 0) {
            return 0;
        }
        n = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(n)));
        if (!synced_) {
            // Ports: fseeko is POSIX; Windows spells it _fseeki64.
            if (fseeko(file_, static_cast<off_t>(begin_ + pos_), SEEK_SET) != 0) {
                return 0;
            }
            synced_ = true;
        }
        const std::size_t got = std::fread(dst, 1, n, file_);
        pos_ += static_cast<std::int64_t>(got);
        return got;
    }
    bool Seek(std::int64_t pos) override {
        if (pos < 0 || pos > size_) {
            return false;
        }
        if (pos != pos_) {
            pos_ = pos;
            synced_ = false;
        }
        return true;
    }
    std::int64_t Tell() const override { return pos_; }
    std::int64_t Size() const override { return size_; }

  private:
    std::FILE* file_;
    std::int64_t begin_;
    std::int64_t size_;
    std::int64_t pos_ = 0;
    bool synced_ = false;
};

constexpr std::size_t kBlock = 128 * 1024;

// The library's read-ahead thread: it reads the next block of every file source
// before its decoder needs it, so that decoding on the update thread finds its
// data in memory.
class ReadAhead {
  public:
    struct Slot {
        std::mutex mutex;  // the source below and the block ahead
        std::unique_ptr<Source> inner;
        std::vector<unsigned char> block = std::vector<unsigned char>(kBlock);
        std::int64_t start = -1;  // of the block ahead, -1 for none
        std::size_t filled = 0;
        bool wanted = false;               // `start` is to be read
        std::atomic<bool> dropped{false};  // its source is freed: the file is closed
    };

    // Lives to the exit: sources can outlive any static object.
    static ReadAhead& Get() {
        static auto* instance = new ReadAhead;
        return *instance;
    }
    void Add(std::shared_ptr<Slot> slot) {
        const std::lock_guard lock(mutex_);
        slots_.push_back(std::move(slot));
    }
    void Remove(const Slot* slot) {
        const std::lock_guard lock(mutex_);
        std::erase_if(slots_, [&](const auto& s) { return s.get() == slot; });
    }
    void Wake() {
        {
            const std::lock_guard lock(mutex_);
            woken_ = true;
        }
        wake_.notify_one();
    }

  private:
    ReadAhead() {
        std::thread([this] { Run(); }).detach();
    }

    void Run() {
        std::vector<std::shared_ptr<Slot>> slots;
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return woken_; });
            woken_ = false;
            slots = slots_;
            lock.unlock();
            for (const auto& slot : slots) {
                Fill(*slot);
            }
            slots.clear();
            lock.lock();
        }
    }
    static void Fill(Slot& slot) {
        {
            const std::lock_guard lock(slot.mutex);
            if (slot.wanted && !slot.dropped) {
                slot.wanted = false;
                slot.filled = slot.inner->Seek(slot.start)
                                  ? slot.inner->Read(slot.block.data(), slot.block.size())
                                  : 0;
            }
        }
        // Freed while this read ran: the file closes now, not at the end of a
        // pass that may wait for a slow disk elsewhere.
        if (slot.dropped) {
            const std::lock_guard lock(slot.mutex);
            slot.inner.reset();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
    std::vector<std::shared_ptr<Slot>> slots_;
};

// Reads the source below in blocks, the next one ahead on the read-ahead
// thread: decoders read in small pieces (libmpg123 frame by frame), and each
// read of a slow disk or a wrapped reader costs.
class ReadAheadSource final : public Source {
  public:
    explicit ReadAheadSource(std::unique_ptr<Source> inner)
        : size_(inner->Size()), slot_(std::make_shared<ReadAhead::Slot>()), block_(kBlock) {
        slot_->inner = std::move(inner);
        ReadAhead::Get().Add(slot_);
    }
    // Closes the file at once unless its next block is being read: the
    // read-ahead closes it after that read, so a freed stream never waits on
    // the disk here and leaves no file open behind it.
    ~ReadAheadSource() override {
        ReadAhead::Get().Remove(slot_.get());
        slot_->dropped = true;
        const std::unique_lock lock(slot_->mutex, std::try_to_lock);
        if (lock.owns_lock()) {
            slot_->inner.reset();
        }
    }

    std::size_t Read(void* dst, std::size_t n) override {
        auto* out = static_cast<unsigned char*>(dst);
        std::size_t done = 0;
        while (done < n) {
            if (pos_ >= start_ && pos_ < start_ + static_cast<std::int64_t>(filled_)) {
                const auto at = static_cast<std::size_t>(pos_ - start_);
                const std::size_t take = std::min(n - done, filled_ - at);
                std::memcpy(out + done, block_.data() + at, take);
                done += take;
                pos_ += static_cast<std::int64_t>(take);
                // Half-way through a block the next one is asked for: a decoder
                // that only looks at the start (a probe) asks for nothing.
                if (!asked_ && pos_ - start_ >= static_cast<std::int64_t>(kBlock / 2)) {
                    AskNext();
                }
            } else if (n - done >= kBlock) {
                // Large reads need no copy through the block.
                const std::lock_guard lock(slot_->mutex);
                const std::size_t got =
                    slot_->inner->Seek(pos_) ? slot_->inner->Read(out + done, n - done) : 0;
                done += got;
                pos_ += static_cast<std::int64_t>(got);
                break;
            } else if (!Load()) {
                break;
            }
        }
        return done;
    }
    bool Seek(std::int64_t pos) override {
        if (pos < 0 || (size_ >= 0 && pos > size_)) {
            return false;
        }
        pos_ = pos;
        return true;
    }
    std::int64_t Tell() const override { return pos_; }
    std::int64_t Size() const override { return size_; }

  private:
    // Makes the block at the position current: the one read ahead when it is
    // that one, else read here (after a seek, or when the read-ahead is late).
    bool Load() {
        ReadAhead::Slot& slot = *slot_;
        const std::lock_guard lock(slot.mutex);
        if (!slot.wanted && slot.start >= 0 && pos_ >= slot.start &&
            pos_ < slot.start + static_cast<std::int64_t>(slot.filled)) {
            block_.swap(slot.block);
            start_ = slot.start;
            filled_ = slot.filled;
        } else {
            start_ = pos_;
            filled_ = slot.inner->Seek(pos_) ? slot.inner->Read(block_.data(), kBlock) : 0;
        }
        slot.start = -1;
        slot.wanted = false;
        asked_ = false;
        return filled_ > 0;
    }
    void AskNext() {
        asked_ = true;
        const std::int64_t next = start_ + static_cast<std::int64_t>(filled_);
        if (filled_ < kBlock || (size_ >= 0 && next >= size_)) {
            return;  // the end is in this block
        }
        {
            const std::lock_guard lock(slot_->mutex);
            slot_->start = next;
            slot_->wanted = true;
        }
        ReadAhead::Get().Wake();
    }

    std::int64_t size_;
    std::shared_ptr<ReadAhead::Slot> slot_;
    std::vector<unsigned char> block_;  // the current block, this side only
    std::int64_t start_ = 0;
    std::size_t filled_ = 0;
    std::int64_t pos_ = 0;
    bool asked_ = false;  // for the block after the current one
};

std::mutex wrapMutex;
FileReaderWrap fileWrap;

class MemorySource final : public Source {
  public:
    MemorySource(const void* data, std::int64_t size)
        : data_(static_cast<const unsigned char*>(data)), size_(size) {}

    std::size_t Read(void* dst, std::size_t n) override {
        const std::int64_t left = size_ - pos_;
        if (left <= 0 || n == 0) {
            return 0;
        }
        n = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(n)));
        std::memcpy(dst, data_ + pos_, n);
        pos_ += static_cast<std::int64_t>(n);
        return n;
    }
    bool Seek(std::int64_t pos) override {
        if (pos < 0 || pos > size_) {
            return false;
        }
        pos_ = pos;
        return true;
    }
    std::int64_t Tell() const override { return pos_; }
    std::int64_t Size() const override { return size_; }

  private:
    const unsigned char* data_;
    std::int64_t size_;
    std::int64_t pos_ = 0;
};

}  // namespace

std::unique_ptr<Source> OpenFileSource(const std::string& path, std::uint64_t offset,
                                       std::uint64_t length, int& error) {
    error = kErrorFileOpen;
    // Only regular files: a folder opens but never reads, a FIFO would block.
    std::error_code ec;
    const std::filesystem::path fsPath(path);
    if (path.empty() || !std::filesystem::is_regular_file(fsPath, ec)) {
        return nullptr;
    }
    const auto fileSize = std::filesystem::file_size(fsPath, ec);
    if (ec || offset > fileSize) {
        return nullptr;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);  // ReadAheadSource buffers
    const std::uint64_t rest = fileSize - offset;
    const std::uint64_t size = (length == 0 || length > rest) ? rest : length;
    std::unique_ptr<Source> source = std::make_unique<FileSource>(
        file, static_cast<std::int64_t>(offset), static_cast<std::int64_t>(size));
    FileReaderWrap wrap;
    {
        const std::lock_guard lock(wrapMutex);
        wrap = fileWrap;
    }
    if (wrap) {
        source = wrap(std::move(source), path);
        if (source == nullptr) {
            return nullptr;
        }
    }
    error = kOk;
    return std::make_unique<ReadAheadSource>(std::move(source));
}

std::unique_ptr<Source> OpenMemorySource(const void* data, std::uint64_t length) {
    return std::make_unique<MemorySource>(data, static_cast<std::int64_t>(length));
}

void SetFileWrap(FileReaderWrap wrap) {
    const std::lock_guard lock(wrapMutex);
    fileWrap = std::move(wrap);
}

}  // namespace audio::detail
