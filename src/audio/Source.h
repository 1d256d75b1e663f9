#pragma once
// Byte sources the decoders read from: a part of a file or caller-owned memory.
// A URL stream adds a download buffer as a third kind.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace audio::detail {

class Source {
  public:
    virtual ~Source() = default;
    // Reads up to `n` bytes; fewer at the end of the data or on a read error.
    virtual std::size_t Read(void* dst, std::size_t n) = 0;
    virtual bool Seek(std::int64_t pos) = 0;
    virtual std::int64_t Tell() const = 0;
    // Total bytes, -1 when unknown.
    virtual std::int64_t Size() const = 0;

    // Seek with C's whence convention (SEEK_SET, SEEK_CUR, SEEK_END); the new
    // position, or -1.
    std::int64_t SeekWhence(std::int64_t offset, int whence);
};

// `error` receives the library's code on failure.
std::unique_ptr<Source> OpenFileSource(const std::string& path, std::uint64_t offset,
                                       std::uint64_t length, int& error);
std::unique_ptr<Source> OpenMemorySource(const void* data, std::uint64_t length);

}  // namespace audio::detail
