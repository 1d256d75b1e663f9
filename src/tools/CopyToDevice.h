#pragma once
// Copying the selected playlist files to a device folder, each into a folder
// named after the album folder it comes from, and the space figures shown
// beside it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace mirvo {

struct PlaylistState;
class Dialogs;
class EventLoop;
class MainView;

// The entries selected in `view` that are files, in list order.
std::vector<std::string> SelectedFiles(const PlaylistState& playlist, const MainView& view);
// Bytes of those files; a missing one counts 0.
std::uint64_t SelectedBytes(const PlaylistState& playlist, const MainView& view);

struct DriveSpace {
    std::uint64_t Total = 0;
    std::uint64_t Free = 0;  // what an ordinary user may still write
};
// The file system that holds `folder`; zeros when it cannot be read.
DriveSpace DriveSpaceOf(const std::string& folder);
// Percent in use once `selected` bytes are added; none when the size is unknown.
std::optional<int> InUseAfterwards(const DriveSpace& space, std::uint64_t selected);

// `device` + "/" + the name of the folder holding `source`; `device` itself
// for a file in "/".
std::string DeviceTargetFolder(const std::string& device, const std::string& source);

// Copies `source` into `folder` (made with its parents when missing),
// replacing a file of the same name only once the copy is complete. Empty on
// success, else why not.
std::string CopyFileToFolder(const std::string& source, const std::string& folder);

// Copies files one at a time on a worker thread. After each file the UI
// thread hears of it and, when a cancel was requested, asks "Abort operation?";
// a No keeps the request, so the question comes again after the next file.
class DeviceCopy {
  public:
    struct Outcome {
        int Copied = 0;
        std::vector<std::string> Failures;  // "path: reason", in order
    };
    // Both on the UI thread: after each file (how many are done) and at the end.
    DeviceCopy(EventLoop& loop, Dialogs& dialogs, std::vector<std::string> sources,
               std::string device, std::function<void(int done)> progress,
               std::function<void(Outcome)> finished);
    ~DeviceCopy();
    DeviceCopy(const DeviceCopy&) = delete;
    DeviceCopy& operator=(const DeviceCopy&) = delete;

    void Start();
    void RequestCancel() { cancelRequested_ = true; }
    bool Running() const { return running_; }

  private:
    void CopyNext();
    void FileDone(std::string error);

    EventLoop& loop_;
    Dialogs& dialogs_;  // asks before a cancel takes effect
    std::vector<std::string> sources_;
    std::string device_;
    std::function<void(int)> progress_;
    std::function<void(Outcome)> finished_;
    std::size_t next_ = 0;
    bool cancelRequested_ = false;
    bool running_ = false;
    Outcome outcome_;
    std::thread worker_;
    // Lets a result posted after this copy is gone fall on the floor.
    std::shared_ptr<DeviceCopy*> alive_;
};

}  // namespace mirvo
