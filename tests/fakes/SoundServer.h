#pragma once
// A private PulseAudio server with one null sink, "mirvo_null", for one test:
// a real sound server (and, through ALSA's pulse plugins, a real mixer) on a
// machine without a sound card. Its address goes into this process's environment.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fakes/TempDir.h"

namespace mirvo::test {

class SoundServer {
  public:
    SoundServer() {
        const std::string socket = runtime_ / "native";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("HOME", runtime_.path().c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
            ::setenv("PULSE_RUNTIME_PATH", runtime_.path().c_str(), 1);
            const std::string native =
                "module-native-protocol-unix socket=" + socket + " auth-anonymous=1";
            ::execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                     "--disallow-exit", "--log-target=stderr", "--log-level=error", "-L",
                     native.c_str(), "-L", "module-null-sink sink_name=mirvo_null", nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i) {
            ::usleep(50000);
        }
        ready_ = std::filesystem::exists(socket);
        ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
        ::setenv("PULSE_SINK", "mirvo_null", 1);
        ::setenv("PULSE_SOURCE", "mirvo_null.monitor", 1);
        ::setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    }
    ~SoundServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return ready_; }

  private:
    TempDir runtime_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace mirvo::test
