#include "tools/CopyToDevice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "player/Interfaces.h"
#include "player/PlaylistState.h"
#include "playlist/Entries.h"
#include "support/Files.h"
#include "tools/FileProperties.h"

namespace mirvo {
namespace {

namespace fs = std::filesystem;

// Copies what is left of `from` to `to`, in the kernel where it can.
bool CopyContent(int from, int to) {
    bool inKernel = true;
    char buffer[1 << 16];
    for (;;) {
        if (inKernel) {
            const ssize_t moved = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
            if (moved > 0) {
                continue;
            }
            if (moved == 0) {
                return true;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
                return false;
            }
            inKernel = false;
        }
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t written =
                ::write(to, buffer + done, static_cast<std::size_t>(got - done));
            if (written < 0 && errno != EINTR) {
                return false;
            }
            done += written > 0 ? written : 0;
        }
    }
}

}  // namespace

std::vector<std::string> SelectedFiles(const PlaylistState& playlist, const MainView& view) {
    const auto& entries = playlist.PlaylistEntries;
    std::vector<std::string> files;
    for (const int row : view.ListSelectedRows()) {
        if (row >= 0 && static_cast<std::size_t>(row) < entries.size() &&
            EntryKind(entries[static_cast<std::size_t>(row)]) != kKindStream) {
            files.push_back(entries[static_cast<std::size_t>(row)]);
        }
    }
    return files;
}

std::uint64_t SelectedBytes(const PlaylistState& playlist, const MainView& view) {
    std::uint64_t total = 0;
    for (const std::string& file : SelectedFiles(playlist, view)) {
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            total += static_cast<std::uint64_t>(st.st_size);
        }
    }
    return total;
}

DriveSpace DriveSpaceOf(const std::string& folder) {
    std::error_code error;
    const fs::space_info info = fs::space(folder, error);
    if (error || info.capacity == static_cast<std::uintmax_t>(-1)) {
        return {};
    }
    return {info.capacity, info.available};
}

std::optional<int> InUseAfterwards(const DriveSpace& space, std::uint64_t selected) {
    if (space.Total == 0) {
        return std::nullopt;
    }
    const double left = static_cast<double>(space.Free) - static_cast<double>(selected);
    return 100 - static_cast<int>(std::floor(left / static_cast<double>(space.Total) * 100));
}

std::string DeviceTargetFolder(const std::string& device, const std::string& source) {
    const std::string folder = FolderOf(source);
    if (folder.empty() || folder == "/") {
        return device;
    }
    return JoinPath(device, std::string(FileNamePart(folder)));
}

std::string CopyFileToFolder(const std::string& source, const std::string& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        return error.message();
    }
    const std::string target = JoinPath(folder, std::string(FileNamePart(source)));
    if (fs::equivalent(source, target, error)) {
        return {};  // already there: it is the file itself
    }
    const int from = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (from < 0 || ::fstat(from, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string reason = from < 0 ? std::strerror(errno) : "Not a file";
        if (from >= 0) {
            ::close(from);
        }
        return reason;
    }
    const bool copied = WriteFileAtomically(
        target, [from](int to) { return CopyContent(from, to); }, st.st_mode & 0777);
    const int reason = errno;
    ::close(from);
    return copied ? std::string() : std::string(std::strerror(reason));
}

DeviceCopy::DeviceCopy(EventLoop& loop, Dialogs& dialogs, std::vector<std::string> sources,
                       std::string device, std::function<void(int)> progress,
                       std::function<void(Outcome)> finished)
    : loop_(loop),
      dialogs_(dialogs),
      sources_(std::move(sources)),
      device_(std::move(device)),
      progress_(std::move(progress)),
      finished_(std::move(finished)),
      alive_(std::make_shared<DeviceCopy*>(this)) {}

DeviceCopy::~DeviceCopy() {
    alive_.reset();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void DeviceCopy::Start() {
    cancelRequested_ = false;
    running_ = true;
    next_ = 0;
    outcome_ = {};
    CopyNext();
}

void DeviceCopy::CopyNext() {
    if (next_ >= sources_.size()) {
        running_ = false;
        finished_(outcome_);
        return;
    }
    const std::string source = sources_[next_];
    const std::string folder = DeviceTargetFolder(device_, source);
    EventLoop& loop = loop_;
    worker_ = std::thread([source, folder, &loop, alive = std::weak_ptr(alive_)] {
        std::string error = CopyFileToFolder(source, folder);
        loop.PostToUiThread([alive, error = std::move(error)]() mutable {
            if (const auto copy = alive.lock()) {
                (*copy)->FileDone(std::move(error));
            }
        });
    });
}

void DeviceCopy::FileDone(std::string error) {
    worker_.join();
    if (error.empty()) {
        ++outcome_.Copied;
    } else {
        outcome_.Failures.push_back(sources_[next_] + ": " + error);
    }
    ++next_;
    progress_(static_cast<int>(next_));
    const bool stop =
        loop_.Quitting() || (cancelRequested_ && dialogs_.AskYesNo("Abort operation?"));
    if (stop) {
        running_ = false;
        finished_(outcome_);
        return;
    }
    CopyNext();
}

}  // namespace mirvo
