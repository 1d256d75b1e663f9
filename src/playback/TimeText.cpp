#include "playback/TimeText.h"

#include <cstdio>

namespace mirvo {

std::string FormatMs(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>((ms % 60000) / 1000));
    return text;
}

std::string FormatMsHundredths(std::int64_t ms) {
    char text[8];
    std::snprintf(text, sizeof text, ":%02lld", static_cast<long long>((ms % 1000) / 10));
    return FormatMs(ms) + text;
}

std::string FormatMsMillis(std::int64_t ms) {
    char text[8];
    std::snprintf(text, sizeof text, ":%03lld", static_cast<long long>(ms % 1000));
    return FormatMs(ms) + text;
}

std::string FormatSeconds(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

std::string FormatWholeMinutes(std::int64_t seconds) {
    return std::to_string(seconds / 60);
}

std::string TimeLabelText(std::int64_t pos, std::int64_t length, bool hundredths, bool restarted) {
    const auto format = hundredths ? FormatMsHundredths : FormatMs;
    return format(pos) + (restarted ? "* / " : " / ") + format(length) + " / -" +
           format(length - pos);
}

}  // namespace mirvo
