// Gaps at the output of a station under load: an MP3, an Ogg Vorbis and an
// Ogg Opus station (made by ffmpeg, sent in real time by the loopback test
// station after a 64 KB burst, as icecast2 does) each played for a fixed time
// on the "No sound" device, which takes the sound in real time, while two busy
// processes share the machine. The output channel is watched every
// millisecond; a stretch it spends stalled is a gap. Goal: none over 5 ms. The
// reference is the same run without the busy processes.
//   mirvo_bench_radio_gaps [seconds per format, default 60]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "audio/Audio.h"
#include "fakes/IcyServer.h"
#include "fakes/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Format {
    const char* name;
    const char* file;
    const char* type;
    const char* codec;  // ffmpeg's arguments
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<pid_t> StartBusy(int n) {
    std::vector<pid_t> pids;
    for (int i = 0; i < n; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execlp("sh", "sh", "-c", "while :; do :; done", nullptr);
            ::_exit(127);
        }
        pids.push_back(pid);
    }
    return pids;
}

void StopBusy(const std::vector<pid_t>& pids) {
    for (const pid_t pid : pids) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

std::uint32_t Feed(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    const audio::Handle source = *static_cast<audio::Handle*>(user);
    const std::uint32_t got = audio::ChannelGetData(source, buffer, length);
    return got == audio::kDataError ? 0 : got;
}

struct Gaps {
    int over5 = 0;
    int count = 0;
    double longestMs = 0;
    bool played = false;
};

// Plays `url` for `seconds` of wall time and counts the stalls of the output.
Gaps Play(const std::string& url, int seconds) {
    Gaps gaps;
    audio::Handle source =
        audio::StreamCreateURL(url.c_str(), 0, audio::kStreamDecode, nullptr, nullptr);
    if (source == 0) {
        std::fprintf(stderr, "cannot open %s: %d\n", url.c_str(), audio::ErrorGetCode());
        return gaps;
    }
    audio::ChannelInfo info;
    audio::ChannelGetInfo(source, &info);
    audio::SetConfig(audio::kConfigBuffer, 5000);
    const audio::Handle out = audio::StreamCreate(info.Frequency, info.Channels, 0, Feed, &source);
    audio::StreamPlay(out, false, 0);
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    bool started = false;
    Clock::time_point stalledSince{};
    bool stalled = false;
    while (Clock::now() < end) {
        const std::uint32_t state = audio::ChannelIsActive(out);
        const auto now = Clock::now();
        // Playing counts from the first sound heard, not from the start call.
        const std::uint64_t heard = audio::ChannelGetPosition(out);
        if (state == audio::kActivePlaying &&
            (started || (heard != audio::kPositionError && heard > 0))) {
            started = true;
            if (stalled) {
                const double ms =
                    std::chrono::duration<double, std::milli>(now - stalledSince).count();
                ++gaps.count;
                gaps.over5 += ms > 5.0 ? 1 : 0;
                gaps.longestMs = std::max(gaps.longestMs, ms);
                if (ms > 5.0 && std::getenv("GAP_DEBUG") != nullptr) {
                    std::fprintf(
                        stderr, "gap %.1f ms at %.2f s\n", ms,
                        std::chrono::duration<double>(now - (end - std::chrono::seconds(seconds)))
                            .count());
                }
                stalled = false;
            }
        } else if (started && !stalled) {
            stalled = true;
            stalledSince = now;
        }
        std::this_thread::sleep_for(1ms);
    }
    gaps.played = started;
    audio::StreamFree(out);
    audio::StreamFree(source);
    return gaps;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const mirvo::test::TempDir dir;
    const std::vector<Format> formats = {
        {"MP3 128k", "live.mp3", "audio/mpeg", "-c:a libmp3lame -b:a 128k -write_xing 0"},
        {"Vorbis 128k", "live.ogg", "application/ogg", "-c:a libvorbis -b:a 128k"},
        {"Opus 96k", "live.opus", "audio/ogg", "-c:a libopus -b:a 96k"},
    };
    const int sourceSeconds = seconds + 20;
    mirvo::test::IcyServer server;
    for (const Format& f : formats) {
        const std::string path = dir / f.file;
        const std::string command =
            "ffmpeg -nostdin -loglevel error -f lavfi -i 'sine=f=440:r=48000:d=" +
            std::to_string(sourceSeconds) +
            "' -f lavfi -i 'anoisesrc=r=48000:d=" + std::to_string(sourceSeconds) +
            ":a=0.3:c=pink' -filter_complex "
            "'[0][1]amix=inputs=2,aformat=channel_layouts=stereo,aresample=44100' " +
            f.codec + " " + path;
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "ffmpeg failed for %s\n", f.file);
            return 1;
        }
        const std::string body = Slurp(path);
        mirvo::test::IcyReply station = mirvo::test::IcyStation(body, f.type, 16000);
        station.meta = {"StreamTitle='Bench - Gaps';"};
        station.bytesPerSecond = body.size() / sourceSeconds;
        station.burst = 65536;
        server.Route(std::string("/") + f.file, station);
    }
    if (!audio::Init(0, 44100, 0)) {
        std::fprintf(stderr, "no device: %d\n", audio::ErrorGetCode());
        return 1;
    }
    std::printf("%-12s %22s %22s\n", "format", "idle: gaps >5ms (max)", "2 busy: gaps >5ms (max)");
    bool good = true;
    for (const Format& f : formats) {
        const Gaps idle = Play(server.Url(std::string("/") + f.file), seconds);
        const std::vector<pid_t> busy = StartBusy(2);
        const Gaps loaded = Play(server.Url(std::string("/") + f.file), seconds);
        StopBusy(busy);
        std::printf("%-12s %12d (%6.1f ms) %12d (%6.1f ms)%s\n", f.name, idle.over5, idle.longestMs,
                    loaded.over5, loaded.longestMs,
                    idle.played && loaded.played ? "" : "  (did not play)");
        good = good && loaded.played && loaded.over5 == 0;
    }
    std::printf("goal (no gap over 5 ms under load): %s\n", good ? "met" : "missed");
    audio::Free();
    return 0;
}
