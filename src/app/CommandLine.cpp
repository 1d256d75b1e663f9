#include "app/CommandLine.h"

#include <ctime>

namespace mirvo {

bool HandleCommandLine(const std::string& argument, const Settings& settings, InstanceLink& link,
                       const std::string& today) {
    if (argument == "-quit") {
        if (link.FindRunning()) {
            link.SendQuit();
        }
        return true;
    }
    if (argument == "-unreg" || argument == "-reg" || argument == "-setrootpath") {
        return true;
    }
    if (argument == "-setlastupdatecheck") {
        settings.WriteString("General", "lastversioncheck", today);
        return true;
    }
    if (argument == "-setglobalhotkeys") {
        static constexpr const char* kDefaults[][2] = {
            {"1", "0000-179"}, {"2", "0000-178"}, {"3", "0000-176"}, {"4", "0000-177"},
            {"5", "0000-175"}, {"6", "0000-174"}, {"7", "0000-19"}};
        settings.Update([](IniFile& ini) {
            for (const auto& [key, value] : kDefaults) {
                ini.WriteString("Global hotkeys", key, value);
            }
        });
        return true;
    }
    return false;
}

bool HandOverToRunningInstance(InstanceLink& link, const std::string& startArgument,
                               bool multipleInstances) {
    if (!link.FindRunning()) {
        return false;
    }
    if (!startArgument.empty()) {
        // A path always goes to the running instance, whatever the setting says;
        // if that instance is gone by now, this one opens the path itself.
        return link.SendPath(startArgument);
    }
    if (multipleInstances) {
        return false;
    }
    return link.SendShow();
}

std::string TodayText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

}  // namespace mirvo
