#pragma once
// Keeping to one running instance and handing a path to it.
#include <string>

namespace mirvo {

// The link from a starting process to the instance that already runs.
class InstanceLink {
  public:
    virtual ~InstanceLink() = default;
    // True when another instance runs and answers.
    virtual bool FindRunning() = 0;
    // Each returns once the running instance has carried the request out.
    virtual bool SendPath(const std::string& path) = 0;
    virtual bool SendShow() = 0;
    virtual bool SendQuit() = 0;
};

// True when another instance took over and this process must end.
bool HandOverToRunningInstance(InstanceLink& link, const std::string& startArgument,
                               bool multipleInstances);

}  // namespace mirvo
