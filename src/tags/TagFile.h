#pragma once
// Read-only access to a file (or a byte buffer) for the tag readers. Every read
// is bounded by the data: a request past the end comes back short, never
// reaching beyond it, whatever offsets the parsed size fields produce.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace mirvo {

class TagFile {
  public:
    TagFile() = default;
    explicit TagFile(std::span<const std::uint8_t> data);
    ~TagFile();
    TagFile(const TagFile&) = delete;
    TagFile& operator=(const TagFile&) = delete;

    // Opens the file for reading; false when it cannot be opened or is no regular file.
    bool Open(const std::string& fileName);
    std::int64_t Size() const { return size_; }

    // Copies up to `count` bytes from `offset`; returns how many were copied
    // (fewer at the end of the data, 0 for an offset outside it or on an error).
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t count);
    // True when all `count` bytes could be read.
    bool ReadExact(std::int64_t offset, void* buffer, std::size_t count) {
        return ReadAt(offset, buffer, count) == count;
    }

  private:
    std::size_t ReadFromDescriptor(std::int64_t offset, std::uint8_t* out, std::size_t count);

    int fd_ = -1;
    std::span<const std::uint8_t> memory_;
    std::int64_t size_ = 0;
    // A small window of the file, so the many short reads of a frame walk cost
    // one system call per few kilobytes.
    static constexpr std::size_t kCacheSize = 8192;
    std::uint8_t cache_[kCacheSize];
    std::int64_t cacheStart_ = 0;
    std::size_t cacheLength_ = 0;
};

}  // namespace mirvo
