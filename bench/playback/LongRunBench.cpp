// A long run of the playing session on the library's test device: 2,000 short
// tracks (WAV, MP3, Ogg and FLAC of 0.2 to 0.9 s, two rates) played in a row,
// with a seek in each and list edits between tracks (paste, remove, move,
// queue). Prints the resident memory and the open file descriptors every 200
// tracks, and the end values against those after the first 200 tracks.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Session.h"
#include "playlist/Editing.h"

namespace {

constexpr int kTracks = 2000;
constexpr int kReport = 200;

struct Sample {
    double rssMb = 0;
    std::size_t fds = 0;
};

Sample Measure() {
    Sample s;
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    s.rssMb =
        static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
    for ([[maybe_unused]] const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++s.fds;
    }
    return s;
}

// A few sources per format; the tracks are copies of them.
std::vector<std::string> MakeSources(const std::string& dir) {
    std::vector<std::string> sources;
    for (int i = 0; i < 8; ++i) {
        const double seconds = 0.2 + 0.1 * i;
        const int rate = i % 4 == 3 ? 22050 : 44100;
        const std::string base = dir + "/src" + std::to_string(i);
        mirvo::test::WriteWav(base + ".wav", mirvo::test::Tone(rate, seconds, 300 + 50 * i), rate);
        const std::string q = "'" + base;
        if (!mirvo::test::Encode("lame --quiet -b 128 " + q + ".wav' " + q + ".mp3'") ||
            !mirvo::test::Encode("oggenc -Q -o " + q + ".ogg' " + q + ".wav'") ||
            !mirvo::test::Encode("flac -s -f -o " + q + ".flac' " + q + ".wav'")) {
            return {};
        }
        for (const char* ext : {".wav", ".mp3", ".ogg", ".flac"}) {
            sources.push_back(base + ext);
        }
    }
    return sources;
}

}  // namespace

int main() {
    using namespace mirvo;
    test::TempDir dir;
    const std::vector<std::string> sources = MakeSources(dir.path());
    if (sources.empty()) {
        std::fprintf(stderr, "needs lame, oggenc and flac\n");
        return 1;
    }
    std::mt19937 rng(7);
    std::vector<std::string> tracks;
    for (int i = 0; i < kTracks; ++i) {
        const std::string& from = sources[rng() % sources.size()];
        const std::string to = dir / std::string("t")
                                         .append(std::to_string(i))
                                         .append(std::filesystem::path(from).extension().string());
        std::filesystem::copy_file(from, to);
        tracks.push_back(to);
    }

    test::FakePlayer f(dir.path());
    f.player.engine.Device = audio::test::kDevice;
    f.player.engine.PlayMode = 0;  // the list wraps: a queued track skips rows
    f.player.playlist.PlaylistEntries = tracks;
    f.view.rowCount = kTracks;
    test::FakePlaybackView bar;
    mirvo::test::NoMeters meters;
    Session session(f.player, bar, meters);
    Engine& engine = session.engine();
    PlaylistState& pl = f.player.playlist;

    const Sample start = Measure();
    std::printf("%d tracks; start: %.1f MB resident, %zu file descriptors\n", kTracks, start.rssMb,
                start.fds);
    const auto began = std::chrono::steady_clock::now();
    engine.PlayEntry(0);
    int played = 1;
    int cycles = 0;
    int last = pl.PlayingIndex;
    bool seeked = false;
    Sample reference;
    Sample atEnd;
    while (played < kTracks && f.player.engine.DeviceReady) {
        engine.WaitForOpener();
        audio::test::Update();
        audio::test::Advance(8820);
        engine.StatusTick();
        ++cycles;
        if (!seeked && engine.CurrentPositionBytes() > 0) {
            engine.SeekTo(engine.MsToBytes(bar.ProgressMax() / 3));
            engine.Settle();  // the source moves on the starter
            seeked = true;
        }
        if (pl.PlayingIndex == last) {
            continue;
        }
        // A new track: edit the list around it, away from the playing row.
        ++played;
        seeked = false;
        const int rows = static_cast<int>(pl.PlaylistEntries.size());
        const int playing = pl.PlayingIndex;
        const int ahead = std::min(rows - 1, playing + 2 + static_cast<int>(rng() % 20));
        switch (played % 4) {
            case 0:
                f.desktop.clipboard = tracks[rng() % tracks.size()] + "\r\n";
                f.view.focusedRow = ahead;
                PastAc(f.player);
                break;
            case 1:
                f.view.selectedRows = {ahead};
                f.view.focusedRow = ahead;
                RemoveSelected(f.player);
                break;
            case 2:
                f.view.selectedRows = {ahead};
                f.view.focusedRow = ahead;
                MoveSelectionUp(f.player);
                break;
            default:
                f.view.selectedRows = {ahead};
                f.view.focusedRow = ahead;
                QueuAc(f.player);
                break;
        }
        last = pl.PlayingIndex;
        if (played % kReport == 0) {
            const Sample now = Measure();
            if (played == kReport) {
                reference = now;
            }
            atEnd = now;
            std::printf("after %4d tracks: %.1f MB resident, %zu file descriptors, %zu entries\n",
                        played, now.rssMb, now.fds, pl.PlaylistEntries.size());
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    engine.StopPlayback(true);
    engine.WaitForOpener();
    const Sample end = Measure();
    std::printf("played %d tracks in %d update cycles, %.1f s; stopped: %.1f MB, %zu fds\n", played,
                cycles, seconds, end.rssMb, end.fds);
    if (played < kTracks) {
        std::fprintf(stderr, "playback stopped after %d tracks\n", played);
        return 1;
    }
    std::printf("after %d / after %d tracks: resident memory %.3f, file descriptors %.3f\n",
                kTracks, kReport, atEnd.rssMb / reference.rssMb,
                static_cast<double>(atEnd.fds) / static_cast<double>(reference.fds));
    audio::Free();
    return 0;
}
