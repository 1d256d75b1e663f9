#pragma once
// Where finished plays and now-playing notices go.
#include <string>

namespace mirvo {

class Scrobbler {
  public:
    virtual ~Scrobbler() = default;
    // mode 0: a finished play; mode 1: the now-playing notice.
    virtual void Submit(const std::string& entry, int lengthSeconds, int mode) = 0;
};

}  // namespace mirvo
