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

// What became of a request sent to the running instance.
enum class Delivery {
    Answered,  // taken: carried out, or a path queued to be loaded
    Refused,   // not taken: no connection, or closed unanswered (it is ending)
    NoAnswer,  // sent, but not answered in time: it may still be carried out
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
    // Each waits at most 10 s for the running instance's answer.
    virtual Delivery SendPath(const std::string& path) = 0;
    virtual Delivery SendShow() = 0;
    virtual Delivery SendQuit() = 0;
};

enum class HandOver {
    Done,        // another instance took over; this process ends
    StartHere,   // this process runs the player
    Failed,      // an instance owns the folder but would not take over; end with an error
    Unanswered,  // sent, but not answered in time: sending again could open it twice
};

HandOver HandOverToRunningInstance(InstanceLink& link, const std::string& startArgument,
                                   bool multipleInstances);

}  // namespace mirvo
