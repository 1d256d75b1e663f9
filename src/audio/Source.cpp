#include "audio/Source.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "audio/Audio.h"

namespace audio::detail {

std::int64_t Source::SeekWhence(std::int64_t offset, int whence) {
    std::int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = Tell();
    } else if (whence == SEEK_END) {
        base = Size();
        if (base < 0) {
            return -1;
        }
    } else if (whence != SEEK_SET) {
        return -1;
    }
    const std::int64_t target = base + offset;
    if (target < 0 || !Seek(target)) {
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
    std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
    const std::uint64_t rest = fileSize - offset;
    const std::uint64_t size = (length == 0 || length > rest) ? rest : length;
    error = kOk;
    return std::make_unique<FileSource>(file, static_cast<std::int64_t>(offset),
                                        static_cast<std::int64_t>(size));
}

std::unique_ptr<Source> OpenMemorySource(const void* data, std::uint64_t length) {
    return std::make_unique<MemorySource>(data, static_cast<std::int64_t>(length));
}

}  // namespace audio::detail
