#include "platform/Trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

#include "support/Files.h"

namespace mirvo {
namespace {

bool MakeFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0) {
        return true;
    }
    struct stat st {};
    return errno == EEXIST && ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates every missing folder of `folder`, the last ones owner-only.
bool MakeFolders(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The trash folder with its "files" and "info" folders ready.
bool Prepare(const std::string& trash) {
    return MakeFolder(trash) && MakeFolder(JoinPath(trash, "files")) &&
           MakeFolder(JoinPath(trash, "info"));
}

// Where the volume holding `folder` is mounted: the highest folder above it
// on the same device.
std::string TopFolder(std::string folder, dev_t device) {
    while (folder != "/") {
        const std::string parent = FolderOf(folder);
        struct stat st {};
        if (parent.empty() || ::stat(parent.c_str(), &st) != 0 || st.st_dev != device) {
            break;
        }
        folder = parent;
    }
    return folder;
}

// The trash for a file on another volume than the home trash: the shared
// "$top/.Trash/$uid" when the administrator made ".Trash" (a real folder
// with the sticky bit), else "$top/.Trash-$uid".
std::optional<std::string> VolumeTrash(const std::string& top) {
    const std::string uid = std::to_string(::getuid());
    const std::string shared = JoinPath(top, ".Trash");
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        const std::string mine = JoinPath(shared, uid);
        if (Prepare(mine)) {
            return mine;
        }
    }
    const std::string own = JoinPath(top, ".Trash-" + uid);
    if (Prepare(own)) {
        return own;
    }
    return std::nullopt;
}

// Percent-encoding of a path for the "Path=" line; "/" and unreserved characters stay.
std::string EncodePath(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '_' || c == '.' ||
                           c == '~';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

bool WriteAllTo(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reserves a free name with its information file (created exclusively, so two
// trashing programs cannot take the same name), then moves the file in.
bool MoveInto(const std::string& trash, const std::string& path) {
    const std::string base = std::filesystem::path(path).filename().string();
    const std::string info =
        "[Trash Info]\nPath=" + EncodePath(path) + "\nDeletionDate=" + Now() + "\n";
    for (int n = 1; n < 10000; ++n) {
        std::string name = base;
        if (n > 1) {
            const auto dot = base.rfind('.');
            const bool hasExtension = dot != std::string::npos && dot > 0;
            name = hasExtension ? base.substr(0, dot) + "." + std::to_string(n) + base.substr(dot)
                                : base + "." + std::to_string(n);
        }
        const std::string infoPath = JoinPath(JoinPath(trash, "info"), name + ".trashinfo");
        const std::string target = JoinPath(JoinPath(trash, "files"), name);
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0) {
            // A file without its information file: leave both alone.
            ::close(fd);
            ::unlink(infoPath.c_str());
            continue;
        }
        const bool written = WriteAllTo(fd, info) && ::fsync(fd) == 0;
        ::close(fd);
        if (written && RenameNoReplace(path, target)) {
            return true;
        }
        ::unlink(infoPath.c_str());
        return false;
    }
    return false;
}

}  // namespace

std::string HomeTrashFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        return JoinPath(data, "Trash");
    }
    const char* home = std::getenv("HOME");
    return home && *home == '/' ? JoinPath(home, ".local/share/Trash") : std::string();
}

bool MoveToFreedesktopTrash(const std::string& path) {
    if (path.empty() || path.front() != '/') {
        return false;
    }
    struct stat file {};
    if (::lstat(path.c_str(), &file) != 0) {
        return false;
    }
    const std::string home = HomeTrashFolder();
    if (!home.empty() && MakeFolders(FolderOf(home)) && Prepare(home)) {
        struct stat trash {};
        if (::stat(home.c_str(), &trash) == 0 && trash.st_dev == file.st_dev) {
            return MoveInto(home, path);
        }
    }
    // Another volume: its own trash, never a copy across volumes.
    const auto volume = VolumeTrash(TopFolder(FolderOf(path), file.st_dev));
    return volume && MoveInto(*volume, path);
}

}  // namespace mirvo
