// How long the UI thread is held in one scripted session: Enter on a 100 MB
// CBR MP3 without an Info/Xing header (scanned whole to play), seeks in it and
// in an MP3 that is not scanned, Tab x20 and Next x20 over a list of FLAC files
// without a sample count, MP3 files and 100,000 missing entries, Previous,
// Stop, and the total time of the whole list. The files sit behind a reader
// that adds 20 ms to every read; the reference is the same session on a
// reader without the delay. The session's timers and posted work run on a
// loop here that stands in for the window's, and the longest stretch the
// loop did not get control back (a command, a tick, a landed start, the time
// between two message pumps of the total time) is what is printed.
// Goal: at most 50 ms behind the slow reader.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "audio/Audio.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Session.h"
#include "tools/TotalTime.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using mirvo::test::Encode;

constexpr int kMissing = 100000;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The longest stretch the loop was held, and by what.
struct Watch {
    Clock::time_point since;
    std::string doing;
    double longest = 0;
    std::string by;

    void Begin(std::string what) {
        doing = std::move(what);
        since = Clock::now();
    }
    void End() {
        const double held = Ms(Clock::now() - since);
        if (held > longest) {
            longest = held;
            by = doing;
        }
        since = Clock::now();
    }
};

// Zeroes the 36-bit sample count in a FLAC file's STREAMINFO.
bool DropSampleCount(const std::string& path) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    char head[26];
    if (!file.read(head, sizeof head) || std::string(head, 4) != "fLaC") {
        return false;
    }
    head[21] = static_cast<char>(head[21] & 0xF0);
    std::fill(head + 22, head + 26, '\0');
    file.seekp(0);
    return static_cast<bool>(file.write(head, sizeof head));
}

bool MakeFiles(const mirvo::test::TempDir& dir, std::vector<std::string>& list) {
    const std::string part = dir / "part.mp3";
    const std::string big = dir / "big.mp3";
    // 60 s at 320 kbit/s without the Info frame, joined to 100 MB.
    if (!Encode("sox -n -r 44100 -c 2 -b 16 -t wav - synth 60 sine 440 sine 660 gain -6 "
                "2>/dev/null | lame --quiet -t -b 320 - '" +
                part + "'")) {
        return false;
    }
    {
        std::ifstream in(part, std::ios::binary);
        const std::string frames((std::istreambuf_iterator<char>(in)), {});
        std::ofstream out(big, std::ios::binary);
        for (std::size_t size = 0; size < 100u * 1000 * 1000; size += frames.size()) {
            out << frames;
        }
    }
    list.push_back(big);
    const std::string info = dir / "info.mp3";  // ten minutes with its Info frame: not scanned
    if (!Encode("sox -n -r 44100 -c 2 -b 16 -t wav - synth 600 sine 550 gain -6 2>/dev/null | "
                "lame --quiet -b 128 - '" +
                info + "'")) {
        return false;
    }
    list.push_back(info);
    for (int i = 0; i < 4; ++i) {
        const std::string flac = dir / ("bare" + std::to_string(i) + ".flac");
        const std::string wav = dir / "bare.wav";
        if (!Encode("sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth 180 sine " +
                    std::to_string(300 + 50 * i) + " gain -6 && flac --silent -f -o '" + flac +
                    "' '" + wav + "'") ||
            !DropSampleCount(flac)) {
            return false;
        }
        list.push_back(flac);
        const std::string mp3 = dir / ("tone" + std::to_string(i) + ".mp3");
        if (!Encode("sox -n -r 44100 -c 2 -b 16 -t wav - synth 120 sine " +
                    std::to_string(700 + 50 * i) +
                    " gain -6 2>/dev/null | lame --quiet -b 192 - '" + mp3 + "'")) {
            return false;
        }
        list.push_back(mp3);
    }
    for (int i = 0; i < kMissing; ++i) {
        list.push_back(dir / ("gone/" + std::to_string(i) + ".mp3"));
    }
    return true;
}

// The window's loop: the session's timers when due, then what workers posted.
class Loop {
  public:
    Loop(mirvo::test::FakeEventLoop& loop, Watch& watch) : loop_(loop), watch_(watch) {
        // The total time pumps messages between files: each pump gives the loop control.
        loop_.onPending = [this] {
            const std::string doing = watch_.doing;
            watch_.End();
            watch_.Begin(doing);
        };
    }
    // Runs the loop for `span`, or until `done` holds.
    template <typename Done>
    void RunFor(Clock::duration span, Done&& done) {
        const auto end = Clock::now() + span;
        while (Clock::now() < end && !done()) {
            RunOnce();
            std::this_thread::sleep_for(1ms);
        }
    }
    void RunFor(Clock::duration span) {
        RunFor(span, [] { return false; });
    }
    template <typename F>
    void Command(const char* what, F&& run) {
        watch_.Begin(what);
        run();
        watch_.End();
    }

  private:
    void RunOnce() {
        const auto now = Clock::now();
        std::vector<mirvo::EventLoop::TimerId> ids;
        for (const auto& [id, timer] : loop_.timers) {
            ids.push_back(id);
            due_.try_emplace(id, now + timer.interval);
        }
        std::erase_if(due_, [&](const auto& d) { return !loop_.timers.contains(d.first); });
        for (const auto id : ids) {
            const auto timer = loop_.timers.find(id);
            if (timer == loop_.timers.end() || due_[id] > now) {
                continue;
            }
            due_[id] = now + timer->second.interval;
            const auto tick = timer->second.tick;  // a tick may stop its own timer
            watch_.Begin(timer->second.interval == 20ms ? "meter tick" : "status tick");
            tick();
            watch_.End();
        }
        watch_.Begin("posted work (a start or seek landing)");
        loop_.RunPosted();
        watch_.End();
    }

    mirvo::test::FakeEventLoop& loop_;
    Watch& watch_;
    std::map<mirvo::EventLoop::TimerId, Clock::time_point> due_;
};

struct Result {
    double longest = 0;
    std::string by;
    double seconds = 0;
};

Result Session(const std::vector<std::string>& list, std::chrono::milliseconds delay) {
    mirvo::test::TempDir home;
    mirvo::test::SlowDisk disk(delay);
    mirvo::test::FakePlayer fp(home.path());
    fp.player.engine.Device = 0;  // "No sound": the library's own clock
    fp.player.values.VUStyle = 1;
    fp.player.playlist.PlaylistEntries = list;
    fp.view.rowCount = static_cast<int>(list.size());
    fp.view.focusedRow = 0;
    mirvo::test::FakePlaybackView bar;
    mirvo::test::NoMeters meters;
    Watch watch;
    const auto start = Clock::now();
    {
        mirvo::Session session(fp.player, bar, meters);
        mirvo::Engine& engine = session.engine();
        mirvo::Commands& commands = session.commands();
        Loop loop(fp.loop, watch);
        const auto landed = [&] { return !engine.Starting(); };
        const auto key = [&](const char* what, int code, unsigned modifiers = mirvo::kNoModifier) {
            loop.Command(what, [&] {
                commands.KeyDown(code, modifiers);
                commands.KeyUp(code);
            });
        };

        key("Enter", mirvo::kKeyEnter);
        loop.RunFor(120s, landed);  // the whole file is scanned before it plays
        loop.RunFor(500ms);
        key("Right", mirvo::kKeyRight);
        loop.RunFor(300ms);
        key("Ctrl+Right", mirvo::kKeyRight, mirvo::kCtrl);
        loop.RunFor(300ms);
        loop.Command("seek to the middle", [&] { engine.SeekToMs(bar.ProgressMax() / 2); });
        loop.RunFor(2s);
        fp.view.focusedRow = 1;
        key("Enter", mirvo::kKeyEnter);
        loop.RunFor(30s, landed);
        loop.Command("seek far", [&] { engine.SeekToMs(bar.ProgressMax() * 9 / 10); });
        loop.RunFor(3s);
        for (int i = 0; i < 20; ++i) {
            key("Tab", mirvo::kKeyTab);
            loop.RunFor(30s, landed);
            loop.RunFor(50ms);
        }
        for (int i = 0; i < 20; ++i) {
            loop.Command("Next (media key)", [&] { commands.HotKey(3); });
            loop.RunFor(30s, landed);
            loop.RunFor(50ms);
        }
        key("Shift+Tab", mirvo::kKeyTab, mirvo::kShift);
        loop.RunFor(30s, landed);
        loop.RunFor(300ms);
        loop.Command("Stop", [&] { commands.StopButton(); });
        loop.RunFor(300ms);
        std::vector<int> all(list.size());
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = static_cast<int>(i);
        }
        fp.view.selectedRows = all;
        watch.Begin("total time");
        mirvo::TotalTimeAcExecute(fp.player);
        watch.End();
        loop.RunFor(100ms);
        engine.Settle();
    }
    audio::Free();
    return {watch.longest, watch.by, Ms(Clock::now() - start) / 1000.0};
}

}  // namespace

int main() {
    mirvo::test::TempDir dir;
    std::vector<std::string> list;
    if (!MakeFiles(dir, list)) {
        std::fprintf(stderr, "needs sox, lame and flac\n");
        return 1;
    }
    const Result reference = Session(list, 0ms);
    const Result slow = Session(list, 20ms);
    std::printf("scripted session, %d missing entries in the list\n", kMissing);
    std::printf("longest UI hold, reader without delay:   %7.1f ms (%s), session %.1f s\n",
                reference.longest, reference.by.c_str(), reference.seconds);
    std::printf("longest UI hold, reader adding 20 ms:    %7.1f ms (%s), session %.1f s\n",
                slow.longest, slow.by.c_str(), slow.seconds);
    std::printf("ratio slow/reference: %.2f (goal: slow at most 50 ms)\n",
                reference.longest > 0 ? slow.longest / reference.longest : 0.0);
    return 0;
}
