// Opening MP3 files on the way to the output, with two 60-minute files made here:
//  - the longest update cycle (each holds one feed call) over 20 switches
//    between them, played at ten times real time, the files behind a reader
//    that adds 20 ms to every read; the goal is no feed call over 5 ms. Each
//    cycle is taken as the update thread's own run time (a busy machine that
//    preempts it does not count) and as wall time, and every read the update
//    thread makes itself is counted, as that is where it would wait.
//  - the engine's time from Enter (PlayEntry) to the first decoded block handed
//    to the output channel, the device already open, beside
//    `mpg123 -q -t -n 1` on the same file in the same run; the goal is at most 2x.
// Prints ratios; the goals are for the reader to compare with.
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/Audio.h"
#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr int kSwitches = 20;
constexpr int kRuns = 5;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool MakeHour(const std::string& path, int tone) {
    return mirvo::test::Encode("sox -n -r 22050 -c 1 -b 16 -t wav - synth 3600 sine " +
                               std::to_string(tone) + " 2>/dev/null | lame --quiet -b 64 - '" +
                               path + "'");
}

struct Rig {
    explicit Rig(const std::string& folder) : fp(folder), engine(fp.player, bar) {
        fp.player.engine.Device = audio::test::kDevice;
    }
    void SetList(const std::vector<std::string>& entries) {
        fp.player.playlist.PlaylistEntries = entries;
        fp.view.rowCount = static_cast<int>(entries.size());
    }
    mirvo::test::FakePlayer fp;
    mirvo::test::FakePlaybackView bar;
    mirvo::Engine engine;
};

struct SwitchResult {
    double longestSwitch = 0;  // the cycle that switched, run time of the update thread
    double longestOther = 0;
    double longestSwitchWall = 0;
    double longestOtherWall = 0;
    double opener = 0;  // waited for the opener, per switch
    int drains = 0;
    int updateThreadReads = 0;
};

std::atomic<long> updateTid{0};
std::atomic<std::thread::id> updateThread{};

void NoteUpdateThread(audio::DspHandle, audio::Handle, void*, std::uint32_t, void*) {
    updateTid = syscall(SYS_gettid);
    updateThread = std::this_thread::get_id();
}

// Nanoseconds the thread has run on a CPU so far.
double RunMs(long tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    double ns = 0;
    stat >> ns;
    return ns / 1e6;
}

SwitchResult Switches(const std::string& folder, const std::vector<std::string>& files) {
    mirvo::test::SlowDisk disk(0us);
    Rig rig(folder);
    rig.SetList(files);
    rig.fp.player.engine.PlayMode = 0;  // wraps: the two files take turns
    rig.engine.PlayEntry(0);
    SwitchResult result;
    double opener = 0;
    audio::Handle watched = 0;
    for (int s = 0; s < kSwitches; ++s) {
        // Straight to the last 20 s (more than a read buffer of them, so the
        // feed has to read on its own); the seek is not what is measured.
        rig.engine.WaitForOpener();
        rig.engine.SeekTo(rig.engine.MsToBytes(rig.bar.ProgressMax() - 20000));
        rig.engine.Settle();
        disk.SetDelay(20ms);
        const int playing = rig.fp.player.playlist.PlayingIndex;
        bool switched = false;
        auto due = Clock::now();
        for (int step = 0; step < 400 && rig.fp.player.playlist.PlayingIndex == playing; ++step) {
            // 100 ms of sound every 10 ms.
            due += 10ms;
            std::this_thread::sleep_until(due);
            auto start = Clock::now();
            rig.engine.WaitForOpener();
            opener += Ms(Clock::now() - start);
            if (rig.engine.OutputChannel() != watched) {
                watched = rig.engine.OutputChannel();
                audio::ChannelSetDSP(watched, NoteUpdateThread, nullptr, 0);
            }
            const long tid = updateTid;
            const double ran = tid != 0 ? RunMs(tid) : 0;
            start = Clock::now();
            audio::test::Update();
            const double wall = Ms(Clock::now() - start);
            const double cycle = tid != 0 ? RunMs(tid) - ran : wall;
            const int state = rig.engine.TransitionState();
            if (state == 1 && !switched) {
                switched = true;
                result.longestSwitch = std::max(result.longestSwitch, cycle);
                result.longestSwitchWall = std::max(result.longestSwitchWall, wall);
            } else {
                result.longestOther = std::max(result.longestOther, cycle);
                result.longestOtherWall = std::max(result.longestOtherWall, wall);
            }
            result.drains += state == 2 ? 1 : 0;
            audio::test::Advance(17640);
            rig.engine.StatusTick();
        }
        disk.SetDelay(0us);
    }
    result.opener = opener / kSwitches;
    for (const auto& event : disk.Events()) {
        result.updateThreadReads +=
            event.kind == mirvo::test::SlowDisk::Event::Read && event.thread == updateThread.load();
    }
    rig.engine.StopPlayback(true);
    return result;
}

std::atomic<Clock::rep> firstBlock{0};

void MarkFirstBlock(audio::DspHandle, audio::Handle, void*, std::uint32_t, void*) {
    Clock::rep none = 0;
    firstBlock.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
}

double EnterToFirstBlock(const std::string& folder, const std::string& file) {
    Rig rig(folder);
    rig.SetList({file});
    rig.engine.InitDevice();  // the device start is not counted
    std::vector<double> runs;
    for (int i = 0; i < kRuns; ++i) {
        firstBlock = 0;
        const auto start = Clock::now();
        rig.engine.PlayEntry(0);
        audio::ChannelSetDSP(rig.engine.OutputChannel(), MarkFirstBlock, nullptr, 0);
        audio::test::Update();
        runs.push_back(Ms(Clock::time_point(Clock::duration(firstBlock.load())) - start));
        rig.engine.StopPlayback(false);
        rig.engine.WaitForOpener();
    }
    rig.engine.StopPlayback(true);
    return Median(runs);
}

template <typename F>
double MedianOf(F&& run) {
    std::vector<double> runs;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = Clock::now();
        run();
        runs.push_back(Ms(Clock::now() - start));
    }
    return Median(runs);
}

}  // namespace

int main() {
    mirvo::test::TempDir dir;
    const std::vector<std::string> files = {dir / "hour1.mp3", dir / "hour2.mp3"};
    if (!MakeHour(files[0], 440) || !MakeHour(files[1], 550)) {
        std::fprintf(stderr, "needs sox and lame\n");
        return 1;
    }

    const SwitchResult s = Switches(dir.path(), files);
    std::printf("%d switches between two 60-minute MP3 files, 20 ms per read: %d drained\n",
                kSwitches, s.drains);
    std::printf("%-40s %8.2f ms  goal %5.2f ms  ratio %7.2f  (wall %.2f ms)\n",
                "longest feed call at a switch", s.longestSwitch, 5.0, s.longestSwitch / 5.0,
                s.longestSwitchWall);
    std::printf("%-40s %8.2f ms  goal %5.2f ms  ratio %7.2f  (wall %.2f ms)\n",
                "longest other feed call", s.longestOther, 5.0, s.longestOther / 5.0,
                s.longestOtherWall);
    std::printf("%-40s %8d     goal %5d\n", "reads made by the update thread itself",
                s.updateThreadReads, 0);
    std::printf("%-40s %8.2f ms  (it has %.0f s of playing time)\n", "opener's work per switch",
                s.opener, 10.0);

    const double enter = EnterToFirstBlock(dir.path(), files[0]);
    const std::string command = "mpg123 -q -t -n 1 '" + files[0] + "'";
    const double reference = MedianOf([&] { mirvo::test::Encode(command); });
    const double scanned = MedianOf([&] {
        audio::StreamFree(audio::StreamCreateFile(false, files[0].c_str(), 0, 0,
                                                  audio::kStreamDecode | audio::kStreamPrescan));
    });
    std::printf("%-40s %8.2f ms  mpg123 -n 1 %8.2f ms  ratio %7.2f  (goal 2)\n",
                "Enter to the first decoded block", enter, reference, enter / reference);
    std::printf("%-40s %8.2f ms\n", "for comparison: one scanned open", scanned);
    return 0;
}
