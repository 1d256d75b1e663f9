#include "support/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace mirvo {
namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

constexpr std::string_view kTempPrefix = ".mirvo-";

std::atomic<SaveStepHook> saveStepHook{nullptr};

void Reached(SaveStep step, const std::string& path) {
    if (const SaveStepHook hook = saveStepHook.load()) {
        hook(step, path);
    }
}

// The names mkostemp makes from kTempPrefix: six letters or digits.
bool IsTemporaryName(std::string_view name) {
    if (name.size() != kTempPrefix.size() + 6 || !name.starts_with(kTempPrefix)) {
        return false;
    }
    for (const char c : name.substr(kTempPrefix.size())) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum) {
            return false;
        }
    }
    return true;
}

}  // namespace

void SetSaveStepHook(SaveStepHook hook) {
    saveStepHook = hook;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

FileRead ReadFileText(const std::string& path) {
    FileRead result;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        result.status =
            (errno == ENOENT || errno == ENOTDIR) ? FileRead::Missing : FileRead::Failed;
        return result;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return result;
    }
    result.text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.text.clear();
            return result;
        }
        if (got == 0) {
            break;
        }
        result.text.append(buffer, static_cast<std::size_t>(got));
    }
    result.status = FileRead::Read;
    return result;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    FileRead read = ReadFileText(path);
    if (read.status != FileRead::Read) {
        return std::nullopt;
    }
    return std::move(read.text);
}

namespace {

// `path` with its symbolic links followed to the file they finally name
// (which may not exist yet).
std::string FollowLinks(const std::string& path) {
    std::string target = path;
    // As many hops as the kernel allows before it gives up on a loop.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return target;
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        const ssize_t size = ::readlink(target.c_str(), link.data(), link.size());
        if (size < 0 || static_cast<std::size_t>(size) >= link.size()) {
            return target;
        }
        link.resize(static_cast<std::size_t>(size));
        target = link.front() == '/' ? link : JoinPath(FolderOf(target), link);
    }
    return target;
}

bool Replace(const std::string& path, const std::function<bool(int fd)>& write, mode_t newFileMode,
             bool modeRequired) {
    // A link stays a link: the file it points to gets the new text.
    const std::string target = FollowLinks(path);
    const std::string folder = FolderOf(target);
    const std::string dirName = folder.empty() ? std::string(".") : folder;
    std::string temp;
    std::optional<Fd> fd;
    for (int attempt = 0; attempt < 5 && !fd; ++attempt) {
        temp = JoinPath(dirName, std::string(kTempPrefix) + "XXXXXX");
        Fd created(::mkostemp(temp.data(), O_CLOEXEC));
        if (created.get() < 0) {
            return false;
        }
        // Held until the file is renamed or this process ends, so the start-up
        // clean-up can tell a live save from one a crash left behind (where
        // locks are not supported the save goes on unguarded). A file the
        // clean-up removed before we locked it is gone: make another.
        [[maybe_unused]] const int locked = ::flock(created.get(), LOCK_EX);
        struct stat st {};
        if (::fstat(created.get(), &st) == 0 && st.st_nlink > 0) {
            fd.emplace(created.release());
        }
    }
    if (!fd) {
        return false;
    }
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : newFileMode;
    Reached(SaveStep::Created, path);
    // FAT and similar file systems refuse modes they cannot store.
    const bool modeSet = ::fchmod(fd->get(), mode) == 0 || !modeRequired;
    bool ok = modeSet && write(fd->get());
    if (ok) {
        Reached(SaveStep::Written, path);
        ok = ::fsync(fd->get()) == 0;
    }
    if (ok) {
        Reached(SaveStep::Flushed, path);
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
        return false;
    }
    Reached(SaveStep::Renamed, path);
    // The new text is on disk and in place; closing releases the lock.
    ::close(fd->release());
    Fd dir(::open(dirName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data, mode_t newFileMode) {
    return Replace(
        path, [data](int fd) { return WriteAll(fd, data); }, newFileMode, true);
}

bool WriteFileAtomically(const std::string& path, const std::function<bool(int fd)>& write,
                         mode_t newFileMode) {
    return Replace(path, write, newFileMode, false);
}

void RemoveStaleTemporaryFiles(const std::string& folder) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        return;
    }
    DIR* listing = ::fdopendir(dir.release());
    if (listing == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (!IsTemporaryName(name)) {
            continue;
        }
        // Only a regular file nobody holds locked is a crashed save's leftover.
        Fd file(::openat(::dirfd(listing), entry->d_name,
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (file.get() >= 0 && ::fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
        }
    }
    ::closedir(listing);
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    return (st.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    struct stat source {};
    struct stat target {};
    if (::lstat(to.c_str(), &target) == 0 && ::lstat(from.c_str(), &source) == 0 &&
        source.st_dev == target.st_dev && source.st_ino == target.st_ino) {
        // The same file under another spelling: only the case changes.
        return ::rename(from.c_str(), to.c_str()) == 0;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a hard link fails on a taken name too.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    return false;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace mirvo

namespace mirvo {

namespace {

std::string AbsoluteFolder(const char* value) {
    if (value == nullptr || *value != '/') {
        return {};
    }
    return value;
}

// $HOME, or the home the user database names when it is not set.
std::string UserHome() {
    if (const std::string home = AbsoluteFolder(std::getenv("HOME")); !home.empty()) {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(static_cast<std::size_t>(size > 0 ? size : 16384), '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return {};
    }
    // "/nonexistent" and the like: a user without a home.
    struct stat st {};
    const std::string home = AbsoluteFolder(found->pw_dir);
    return !home.empty() && ::stat(home.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? home
                                                                                  : std::string();
}

}  // namespace

std::string UsePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return "cannot create " + folder + ": " + std::strerror(errno);
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        return "cannot use " + folder + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 022) != 0) {
        return "will not use " + folder +
               ": it is not a folder of this user's that only this user may change";
    }
    return {};
}

std::string PrivateTempFolder() {
    std::string temp = AbsoluteFolder(std::getenv("TMPDIR"));
    return JoinPath(temp.empty() ? std::string("/tmp") : temp,
                    "mirvo-" + std::to_string(::getuid()));
}

std::string ResolveProgramFolder(const std::string& executableFolder, std::string& error) {
    error.clear();
    std::error_code ignored;
    if (const char* home = std::getenv("MIRVO_HOME"); home && *home) {
        // Every path is used after the program changed into this folder.
        std::string folder = std::filesystem::absolute(home, ignored).lexically_normal().string();
        if (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        std::filesystem::create_directories(folder, ignored);
        return folder;
    }
    // An installed program (bin/ beside its desktop entry) is never used
    // portably, not even by root, who may write to /usr/bin.
    const bool installed =
        std::filesystem::path(executableFolder).filename() == "bin" &&
        std::filesystem::exists(JoinPath(executableFolder, "../share/applications/mirvo.desktop"),
                                ignored);
    if (!executableFolder.empty() && !installed && ::access(executableFolder.c_str(), W_OK) == 0) {
        return executableFolder;
    }
    std::string config = AbsoluteFolder(std::getenv("XDG_CONFIG_HOME"));
    if (config.empty()) {
        if (const std::string home = UserHome(); !home.empty()) {
            config = JoinPath(home, ".config");
        }
    }
    std::string folder;
    if (config.empty()) {
        folder = PrivateTempFolder();
    } else {
        std::filesystem::create_directories(config, ignored);
        folder = JoinPath(config, "mirvo");
    }
    error = UsePrivateFolder(folder);
    return error.empty() ? folder : std::string();
}

}  // namespace mirvo
