#pragma once
// What the folder browser shows: the places to browse from, the subfolders of
// a folder (read on a worker thread), and the music folder setup.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace mirvo {

class Dialogs;
class Settings;
struct PlaylistState;
struct SettingsValues;

inline constexpr const char* kAllDrives = "All drives";
// Subfolders shown at once under one folder; the rest come on request.
inline constexpr std::size_t kSubfolderLimit = 1000;

struct BrowseRoot {
    std::string Path;
    bool Optical = false;  // a CD or DVD
};

// "/", `home` and the mount points of real file systems in `mountsFile` (the
// format of /proc/self/mounts), each once, in that order.
std::vector<BrowseRoot> BrowseRoots(const std::string& mountsFile, const std::string& home);

struct Subfolder {
    std::string Name;
    bool MayHaveSubfolders = false;
};

struct FolderListing {
    std::uint64_t Ticket = 0;
    std::string Folder;
    // Sorted; at most kSubfolderLimit, each checked for subfolders of its own.
    std::vector<Subfolder> Folders;
    // The names after those, not checked yet.
    std::vector<std::string> Rest;
    int Error = 0;  // errno when the folder could not be read
};

// The direct subfolders of `folder` (symbolic links to folders too), unsorted;
// empty with `error` set when it cannot be read.
std::vector<std::string> SubfolderNames(const std::string& folder, int& error);
// True when `folder` holds at least one folder.
bool HasSubfolder(const std::string& folder);

// Lists folders on a worker thread of its own, one request after another.
class FolderLister {
  public:
    // Runs on the worker thread.
    using Done = std::function<void(FolderListing listing)>;
    explicit FolderLister(Done done);
    ~FolderLister();
    FolderLister(const FolderLister&) = delete;
    FolderLister& operator=(const FolderLister&) = delete;

    // Lists `folder` sorted and checks its first kSubfolderLimit subfolders.
    std::uint64_t List(const std::string& folder);
    // Checks the first kSubfolderLimit of `names` in `folder`, a listing's Rest.
    std::uint64_t Continue(const std::string& folder, std::vector<std::string> names);

  private:
    struct Request {
        std::uint64_t Ticket;
        std::string Folder;
        std::optional<std::vector<std::string>> Names;
    };
    std::uint64_t Queue(Request request);
    void Run();

    Done done_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Request> requests_;  // protected by lock_
    bool stopping_ = false;         // protected by lock_
    std::uint64_t next_ = 1;        // protected by lock_
    std::thread worker_;
};

// When no music folder is set, asks for one until the answer is not the
// desktop folder (or its subfolders) or the user cancels, and saves it.
void AskMusicFolder(const Settings& settings, PlaylistState& playlist, SettingsValues& values,
                    Dialogs& dialogs, const std::string& desktopFolder);

// The music folder setup of the "-setrootpath" switch, on the settings file alone.
void SetRootPath(const Settings& settings, Dialogs& dialogs, const std::string& desktopFolder);

}  // namespace mirvo
