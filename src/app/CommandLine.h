#pragma once
#include <functional>
#include <string>

#include "app/Instance.h"
#include "player/Settings.h"

namespace mirvo {

// Handles a maintenance switch; true when the process must end at once.
// `today` is the date as yyyy-mm-dd; "-setrootpath" runs `setRootPath`.
bool HandleCommandLine(const std::string& argument, const Settings& settings, InstanceLink& link,
                       const std::string& today, const std::function<void()>& setRootPath = {});

// Today's local date as yyyy-mm-dd.
std::string TodayText();

}  // namespace mirvo
