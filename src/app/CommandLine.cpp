#include "app/CommandLine.h"

#include <ctime>

#include "system/Associations.h"

namespace mirvo {

bool HandleCommandLine(const std::string& argument, const Settings& settings, InstanceLink& link,
                       const std::string& today, const std::function<void()>& setRootPath) {
    if (argument == "-quit") {
        if (link.FindRunning()) {
            link.SendQuit();
        }
        return true;
    }
    if (argument == "-reg" || argument == "-unreg") {
        FileAssociations associations(settings, AssociationPlaces::FromEnvironment());
        for (const char* extension :
             {"mp3", "wav", "ogg", "m3u", "pls", "opus", "m4a", "wv", "ape"}) {
            if (argument == "-reg") {
                associations.AssociateType(extension);
            } else if (associations.IsTypeAssociated(extension)) {
                associations.UnassociateType(extension);
            }
        }
        associations.NotifyChanged();
        return true;
    }
    if (argument == "-setrootpath") {
        if (setRootPath) {
            setRootPath();
        }
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

HandOver HandOverToRunningInstance(InstanceLink& link, const std::string& startArgument,
                                   bool multipleInstances) {
    // A send is refused when the running instance ends or dies meanwhile;
    // then another start may have taken the folder over, so look again.
    constexpr int kAttempts = 5;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const Presence presence = link.Find();
        if (presence == Presence::None) {
            return HandOver::StartHere;
        }
        if (startArgument.empty() && multipleInstances) {
            return HandOver::StartHere;  // a further instance, which owns nothing
        }
        if (presence == Presence::Unreachable) {
            return HandOver::Failed;
        }
        // A path always goes to the running instance, whatever the setting says.
        switch (startArgument.empty() ? link.SendShow() : link.SendPath(startArgument)) {
            case Delivery::Answered:
                return HandOver::Done;
            case Delivery::NoAnswer:
                return HandOver::Unanswered;
            case Delivery::Refused:
                break;
        }
    }
    return HandOver::Failed;
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
