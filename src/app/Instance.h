#pragma once
// Keeping to one running instance and handing a path to it.
#include <string>

namespace mirvo {

// Who owns the program folder, as a start finds it.
enum class Presence {
    None,         // nobody: this process owns it now
    Running,      // another instance, and it answers
    Unreachable,  // another instance that did not answer in time (stuck, starting or ending)
};

// The link from a starting process to the instance that already runs.
class InstanceLink {
  public:
    virtual ~InstanceLink() = default;
    // Both may wait a few seconds for an instance that is starting or ending.
    // Finds the owner, or makes this process the owner when there is none.
    virtual Presence Find() = 0;
    // True when another instance runs and answers; claims nothing.
    virtual bool FindRunning() = 0;
    // Each returns once the running instance has carried the request out.
    virtual bool SendPath(const std::string& path) = 0;
    virtual bool SendShow() = 0;
    virtual bool SendQuit() = 0;
};

enum class HandOver {
    Done,       // another instance took over; this process ends
    StartHere,  // this process runs the player
    Failed,     // an instance owns the folder but would not take over; end with an error
};

HandOver HandOverToRunningInstance(InstanceLink& link, const std::string& startArgument,
                                   bool multipleInstances);

}  // namespace mirvo
