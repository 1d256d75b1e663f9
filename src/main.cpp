// Process entry: switches, hand-over to a running instance, the main window,
// the event loop, and the exit sequence.
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/CommandLine.h"
#include "platform/Desktop.h"
#include "platform/LocalInstance.h"
#include "platform/Mpris.h"
#include "platform/Signals.h"
#include "platform/X11HotKeys.h"
#include "support/Files.h"
#include "tools/FolderTree.h"
#include "ui/MainApp.h"
#include "ui/ProgramIcon.h"
#include "ui/QtServices.h"
#include "ui/Style.h"

namespace {

std::string ExecutableFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

// A relative path means the folder the user started us from; the running
// instance and this one after the change of folder need it absolute.
std::string Absolute(const std::string& argument) {
    if (argument.empty() || argument.front() == '/' || argument.front() == '-' ||
        argument.find("://") != std::string::npos) {
        return argument;
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(argument, error);
    return error ? argument : absolute.string();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace mirvo;
    const std::string startArgument = argc > 1 ? Absolute(argv[1]) : std::string();
    std::string refused;
    const std::string programFolder = ResolveProgramFolder(ExecutableFolder(), refused);
    const QString socket = programFolder.empty() ? QString() : InstanceSocketName(refused);
    if (!refused.empty()) {
        std::fprintf(stderr, "mirvo: %s\n", refused.c_str());
        return 1;
    }
    // Every path the program uses is absolute, so a failed change is harmless.
    [[maybe_unused]] const int changed = ::chdir(programFolder.c_str());
    const Settings settings(JoinPath(programFolder, "Mirvo.ini"));

    // Switches and the hand-over need no window, so no display either.
    auto link = std::make_unique<LocalInstance>(socket);
    {
        int coreArgc = 1;
        // Only the music folder setup shows a window.
        const bool dialog = startArgument == "-setrootpath";
        const std::unique_ptr<QCoreApplication> core =
            dialog ? std::make_unique<QApplication>(coreArgc, argv)
                   : std::make_unique<QCoreApplication>(coreArgc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Mirvo"));
        const auto setRootPath = [&settings] {
            QtEventLoop loop;
            QtDialogs dialogs(nullptr, loop);
            SetRootPath(settings, dialogs, DesktopFolder());
        };
        if (HandleCommandLine(startArgument, settings, *link, TodayText(), setRootPath)) {
            return 0;
        }
        const bool multiple = settings.ReadBool("General", "MultipleInstances", false);
        switch (HandOverToRunningInstance(*link, startArgument, multiple)) {
            case HandOver::Done:
                return 0;
            case HandOver::Failed:
                // Opening it here would make a second owner of the same files.
                std::fprintf(stderr, "mirvo: the running Mirvo does not answer%s%s\n",
                             startArgument.empty() ? "" : "; not opened: ", startArgument.c_str());
                return 1;
            case HandOver::Unanswered:
                std::fprintf(
                    stderr, "mirvo: the running Mirvo did not answer in time%s%s\n",
                    startArgument.empty() ? "" : "; it may still open: ", startArgument.c_str());
                return 1;
            case HandOver::StartHere:
                break;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mirvo"));
    QApplication::setDesktopFileName(QStringLiteral("mirvo"));
    QApplication::setWindowIcon(ProgramIcon());
    QApplication::setStyle(new MirvoStyle);

    QtDesktop desktop;
    X11HotKeys hotKeys;
    MainApp mirvo(programFolder, startArgument, desktop, hotKeys);
    MprisService mpris(mirvo.player, mirvo.controller.session(), mirvo.application);
    hotKeys.OnHotKey = [&](int id) {
        // A key grabbed before the settings dialog let go of it may still arrive.
        if (!mirvo.controller.PreferencesShowing()) {
            mirvo.controller.commands().HotKey(id);
        }
    };
    link->OnPath = [&](const std::string& path) {
        if (mirvo.loop.Quitting()) {
            return false;
        }
        // A load lets pending messages run, in which the sender's socket may
        // end and be deleted: it runs from the loop, not inside its signal.
        mirvo.loop.PostToUiThread([&, path] { mirvo.application.ReceivePath(path); });
        return true;
    };
    link->OnShow = [&] { mirvo.window.BringToFront(); };
    // After the paths posted before it.
    link->OnQuit = [&] {
        mirvo.loop.PostToUiThread([&] { mirvo.application.QuitAfterReceivedPaths(); });
    };
    QuitOnSignals(&mirvo.loop, [&] { mirvo.loop.Quit(); });
    link->Listen();

    mirvo.Start();
    // A signal or "-quit" during start-up (a box may have been open) ends it here.
    const int result = mirvo.loop.Quitting() ? 0 : app.exec();
    // Late starts wait for this process to end rather than for an answer.
    link->StopListening();
    mirvo.Shutdown();
    return result;
}
