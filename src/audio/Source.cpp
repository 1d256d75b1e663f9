#include "audio/Source.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
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

// Reads the source below in blocks: decoders read in small pieces (libmpg123
// frame by frame), and each read of a slow disk or a wrapped reader costs.
class BufferedSource final : public Source {
  public:
    explicit BufferedSource(std::unique_ptr<Source> inner)
        : inner_(std::move(inner)), block_(kBlock) {}

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
                continue;
            }
            if (inner_->Tell() != pos_ && !inner_->Seek(pos_)) {
                break;
            }
            if (n - done >= kBlock) {
                // Large reads need no copy through the block.
                const std::size_t got = inner_->Read(out + done, n - done);
                done += got;
                pos_ += static_cast<std::int64_t>(got);
                break;
            }
            start_ = pos_;
            filled_ = inner_->Read(block_.data(), kBlock);
            if (filled_ == 0) {
                break;
            }
        }
        return done;
    }
    bool Seek(std::int64_t pos) override {
        const std::int64_t size = inner_->Size();
        if (pos < 0 || (size >= 0 && pos > size)) {
            return false;
        }
        pos_ = pos;
        return true;
    }
    std::int64_t Tell() const override { return pos_; }
    std::int64_t Size() const override { return inner_->Size(); }

  private:
    static constexpr std::size_t kBlock = 128 * 1024;
    std::unique_ptr<Source> inner_;
    std::vector<unsigned char> block_;
    std::int64_t start_ = 0;
    std::size_t filled_ = 0;
    std::int64_t pos_ = 0;
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
    std::setvbuf(file, nullptr, _IONBF, 0);  // BufferedSource buffers
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
    return std::make_unique<BufferedSource>(std::move(source));
}

std::unique_ptr<Source> OpenMemorySource(const void* data, std::uint64_t length) {
    return std::make_unique<MemorySource>(data, static_cast<std::int64_t>(length));
}

void SetFileWrap(FileReaderWrap wrap) {
    const std::lock_guard lock(wrapMutex);
    fileWrap = std::move(wrap);
}

}  // namespace audio::detail
