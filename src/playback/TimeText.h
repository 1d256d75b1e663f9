#pragma once
// Time texts of the status refresh and the time label, built here alone.
#include <cstdint>
#include <string>

namespace mirvo {

std::string FormatMs(std::int64_t ms);
std::string FormatMsHundredths(std::int64_t ms);
std::string FormatMsMillis(std::int64_t ms);
std::string FormatSeconds(std::int64_t seconds);
std::string FormatWholeMinutes(std::int64_t seconds);

// "pos / length / -remaining"; `hundredths` for short tracks, `restarted`
// marks a jump back to the start.
std::string TimeLabelText(std::int64_t pos, std::int64_t length, bool hundredths = false,
                          bool restarted = false);

}  // namespace mirvo
