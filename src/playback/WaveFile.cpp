#include "playback/WaveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/Files.h"

namespace mirvo {
namespace {

constexpr std::size_t kCopyBlock = 1 << 20;
constexpr int kCopyBlocksPerMessageRun = 16;

void Put16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

bool WriteBytes(int fd, const void* data, std::size_t bytes) {
    return WriteAll(fd, std::string_view(static_cast<const char*>(data), bytes));
}

bool PatchAt(int fd, off_t offset, std::uint32_t value) {
    std::uint8_t bytes[4];
    Put32(bytes, value);
    return ::pwrite(fd, bytes, 4, offset) == 4;
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

// Appends the file `path` to `out`; a missing file adds nothing.
bool AppendPart(int out, const std::string& path, std::vector<std::uint8_t>& block,
                const std::function<void()>& between) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) {
        return errno == ENOENT;
    }
    bool ok = true;
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
            between();
        }
    }
    ::close(in);
    return ok;
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

bool CombineIntoWave(const std::vector<std::string>& parts, const RecordFormat& format,
                     const std::string& fileName, bool replace,
                     const std::function<void()>& between) {
    const std::string folder = FolderOf(fileName);
    std::string temp = JoinPath(folder.empty() ? std::string(".") : folder, ".mirvo-XXXXXX");
    const int made = ::mkostemp(temp.data(), O_CLOEXEC);
    if (made < 0) {
        return false;
    }
    ::fchmod(made, 0644);
    ::close(made);
    bool ok = WriteWaveHeader(1, temp, format);
    const int out = ok ? ::open(temp.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC) : -1;
    ok = out >= 0;
    std::vector<std::uint8_t> block(kCopyBlock);
    for (const std::string& part : parts) {
        if (!ok) {
            break;
        }
        between();
        ok = AppendPart(out, part, block, between);
    }
    if (out >= 0) {
        ok = ::close(out) == 0 && ok;
    }
    ok = ok && WriteWaveHeader(0, temp, format) &&
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

}  // namespace mirvo
