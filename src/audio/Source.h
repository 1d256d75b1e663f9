#pragma once
// Byte sources the decoders read from: a part of a file (read ahead on a thread
// of the library's) or caller-owned memory.
// A URL stream's download buffer is the third kind (Download.h).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "audio/Audio.h"

namespace audio::detail {

using Source = Reader;

// Seek with C's whence convention (SEEK_SET, SEEK_CUR, SEEK_END); the new
// position, or -1.
std::int64_t SeekWhence(Source& source, std::int64_t offset, int whence);

// The file, behind the reader wrap if one is set, read in blocks ahead of the
// decoder. `error` receives the library's code on failure.
std::unique_ptr<Source> OpenFileSource(const std::string& path, std::uint64_t offset,
                                       std::uint64_t length, int& error);
std::unique_ptr<Source> OpenMemorySource(const void* data, std::uint64_t length);

void SetFileWrap(FileReaderWrap wrap);

}  // namespace audio::detail
