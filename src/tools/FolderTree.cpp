#include "tools/FolderTree.h"

#include <dirent.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

#include "player/Interfaces.h"
#include "player/PlaylistState.h"
#include "player/Settings.h"
#include "playlist/Scanning.h"
#include "support/Files.h"

namespace mirvo {
namespace {

// File systems that hold no user files of their own.
const std::set<std::string, std::less<>> kPseudoTypes = {
    "autofs",     "binfmt_misc", "bpf",        "cgroup",
    "cgroup2",    "configfs",    "debugfs",    "devpts",
    "devtmpfs",   "efivarfs",    "fuse.lxcfs", "fuse.portal",
    "fusectl",    "hugetlbfs",   "mqueue",     "nsfs",
    "overlay",    "proc",        "pstore",     "ramfs",
    "rpc_pipefs", "securityfs",  "selinuxfs",  "squashfs",
    "sysfs",      "tmpfs",       "tracefs",    "fuse.gvfsd-fuse",
    "nfsd",
};

// Mount table fields escape blanks, tabs, new lines and backslashes as \ooo.
std::string Unescape(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool IsFolderEntry(const std::string& folder, const dirent& item) {
    const std::string_view name = item.d_name;
    if (name.empty() || name.front() == '.') {
        return false;  // ".", ".." and hidden folders
    }
    if (item.d_type == DT_DIR) {
        return true;
    }
    if (item.d_type != DT_LNK && item.d_type != DT_UNKNOWN) {
        return false;
    }
    std::string path = folder;
    if (path.back() != '/') {
        path += '/';
    }
    return IsFolder(path + item.d_name);
}

std::vector<Subfolder> Check(const std::string& folder, std::vector<std::string>& names,
                             std::vector<std::string>& rest) {
    const std::size_t shown = std::min(names.size(), kSubfolderLimit);
    rest.assign(std::make_move_iterator(names.begin() + static_cast<std::ptrdiff_t>(shown)),
                std::make_move_iterator(names.end()));
    names.resize(shown);
    const std::string base = folder.back() == '/' ? folder : folder + "/";
    std::vector<Subfolder> folders;
    folders.reserve(shown);
    for (std::string& name : names) {
        const bool more = HasSubfolder(base + name);
        folders.push_back({std::move(name), more});
    }
    return folders;
}

}  // namespace

std::vector<BrowseRoot> BrowseRoots(const std::string& mountsFile, const std::string& home) {
    std::vector<BrowseRoot> roots{{"/", false}};
    std::set<std::string> seen{"/"};
    const auto add = [&](const std::string& path, bool optical) {
        const std::string clean = WithoutTrailingSlash(path);
        if (!clean.empty() && clean.front() == '/' && seen.insert(clean).second &&
            IsFolder(clean)) {
            roots.push_back({clean, optical});
        }
    };
    add(home, false);
    std::ifstream mounts(mountsFile);
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string where;
        std::string type;
        if (!(fields >> device >> where >> type) || kPseudoTypes.count(type) != 0) {
            continue;
        }
        const std::string path = Unescape(where);
        // The kernel's own places, whatever is mounted there.
        if (path.starts_with("/proc/") || path.starts_with("/sys/") || path.starts_with("/dev/")) {
            continue;
        }
        add(path, type == "iso9660" || type == "udf");
    }
    return roots;
}

std::vector<std::string> SubfolderNames(const std::string& folder, int& error) {
    error = 0;
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        error = errno;
        return names;
    }
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(dir);
        if (item == nullptr) {
            error = errno;
            break;
        }
        if (IsFolderEntry(folder, *item)) {
            names.emplace_back(item->d_name);
        }
    }
    ::closedir(dir);
    return names;
}

bool HasSubfolder(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* item = ::readdir(dir)) {
        if (IsFolderEntry(folder, *item)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

FolderLister::FolderLister(Done done) : done_(std::move(done)), worker_([this] { Run(); }) {}

FolderLister::~FolderLister() {
    {
        const std::lock_guard lock(lock_);
        stopping_ = true;
        requests_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

std::uint64_t FolderLister::List(const std::string& folder) {
    return Queue({0, folder, std::nullopt});
}

std::uint64_t FolderLister::Continue(const std::string& folder, std::vector<std::string> names) {
    return Queue({0, folder, std::move(names)});
}

std::uint64_t FolderLister::Queue(Request request) {
    std::uint64_t ticket = 0;
    {
        const std::lock_guard lock(lock_);
        ticket = next_++;
        request.Ticket = ticket;
        requests_.push_back(std::move(request));
    }
    wake_.notify_all();
    return ticket;
}

void FolderLister::Run() {
    for (;;) {
        Request request;
        {
            std::unique_lock lock(lock_);
            wake_.wait(lock, [this] { return stopping_ || !requests_.empty(); });
            if (stopping_) {
                return;
            }
            request = std::move(requests_.front());
            requests_.pop_front();
        }
        FolderListing listing;
        listing.Ticket = request.Ticket;
        listing.Folder = request.Folder;
        std::vector<std::string> names;
        if (request.Names) {
            names = std::move(*request.Names);
        } else {
            names = SubfolderNames(request.Folder, listing.Error);
            SortEntries(names);
        }
        listing.Folders = Check(request.Folder, names, listing.Rest);
        done_(std::move(listing));
    }
}

void AskMusicFolder(const Settings& settings, PlaylistState& playlist, SettingsValues& values,
                    Dialogs& dialogs, const std::string& desktopFolder) {
    settings.LoadMusicFolders(playlist);
    if (!playlist.MusicFolders.empty()) {
        return;
    }
    const std::string desktop = WithoutTrailingSlash(desktopFolder);
    const char* homeVariable = std::getenv("HOME");
    const std::string home = WithoutTrailingSlash(homeVariable ? homeVariable : "");
    const auto onDesktop = [&](const std::string& answer) {
        const std::string folder = WithoutTrailingSlash(answer);
        if (desktop.empty()) {
            return false;
        }
        // A desktop that is the home folder itself leaves the folders in it alone.
        return folder == desktop || (desktop != home && folder.starts_with(desktop + "/"));
    };
    for (;;) {
        const std::optional<std::string> answer =
            dialogs.PickFolder("Set your music folder", kMusicFolderPrompt);
        if (!answer || answer->empty()) {
            return;
        }
        if (onDesktop(*answer)) {
            dialogs.ShowNotice(NoticeKind::Information,
                               "The desktop is an invalid folder.\r\rIf you don't have a music "
                               "folder yet or you don't know, choose Cancel.\rYou can always set "
                               "your music folder another time.");
            continue;
        }
        if (IsFolder(*answer)) {
            values.LastOpenedDrive = *answer;
            playlist.MusicFolders = {*answer};
            settings.SaveMusicFolders(playlist, values);
        }
        return;
    }
}

void SetRootPath(const Settings& settings, Dialogs& dialogs, const std::string& desktopFolder) {
    // Saved beside the music folder, so they are read first.
    PlaylistState playlist;
    SettingsValues values;
    playlist.CurrentFolder = settings.ReadString("DirBox", "LastOpenedDir", "");
    values.LastOpenedDrive = settings.ReadString("DirBox", "LastOpenedDrive", "");
    AskMusicFolder(settings, playlist, values, dialogs, desktopFolder);
}

}  // namespace mirvo
