#include "tags/TagFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mirvo {
namespace {

std::size_t PreadFully(int fd, std::uint8_t* out, std::size_t count, std::int64_t offset) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::pread(fd, out + done, count - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace

TagFile::TagFile(std::span<const std::uint8_t> data)
    : memory_(data), size_(static_cast<std::int64_t>(data.size())) {}

TagFile::~TagFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool TagFile::Open(const std::string& fileName) {
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
    memory_ = {};
    size_ = info.st_size;
    cacheLength_ = 0;
    return true;
}

std::size_t TagFile::ReadAt(std::int64_t offset, void* buffer, std::size_t count) {
    if (offset < 0 || offset >= size_ || count == 0) {
        return 0;
    }
    auto available = static_cast<std::uint64_t>(size_ - offset);
    if (count > available) {
        count = static_cast<std::size_t>(available);
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (fd_ < 0) {
        std::memcpy(out, memory_.data() + offset, count);
        return count;
    }
    return ReadFromDescriptor(offset, out, count);
}

std::size_t TagFile::ReadFromDescriptor(std::int64_t offset, std::uint8_t* out, std::size_t count) {
    if (count > kCacheSize / 2) {
        return PreadFully(fd_, out, count, offset);
    }
    auto end = offset + static_cast<std::int64_t>(count);
    if (offset < cacheStart_ || end > cacheStart_ + static_cast<std::int64_t>(cacheLength_)) {
        // Anchor the window so that reads near the end (ID3v1, Lyrics3, the
        // last Ogg page) share one fill.
        cacheStart_ = std::max<std::int64_t>(
            0, std::min(offset, size_ - static_cast<std::int64_t>(kCacheSize)));
        cacheLength_ = PreadFully(fd_, cache_, kCacheSize, cacheStart_);
    }
    auto cacheEnd = cacheStart_ + static_cast<std::int64_t>(cacheLength_);
    if (offset >= cacheEnd) {
        return 0;
    }
    auto n = std::min<std::size_t>(count, static_cast<std::size_t>(cacheEnd - offset));
    std::memcpy(out, cache_ + (offset - cacheStart_), n);
    return n;
}

}  // namespace mirvo
