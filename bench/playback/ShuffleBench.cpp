// Shuffle over 100,000 entries of which 90% cannot be played: the time of one
// choice, beside one pass of hashing the list's strings in the same run.
// Prints ratios; the limit is for the reader to compare with.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <unordered_set>

#include "audio/Audio.h"
#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kEntries = 100000;
constexpr int kChoices = 20;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    using namespace mirvo;
    test::TempDir dir;
    const std::string tone = dir / "tone.wav";
    test::WriteWav(tone, test::Tone(44100, 0.2, 440), 44100);
    test::FakePlayer fp(dir.path());
    auto& entries = fp.player.playlist.PlaylistEntries;
    for (int i = 0; i < kEntries; ++i) {
        const std::string path = dir / std::string("e").append(std::to_string(i)).append(".wav");
        if (i % 10 == 0) {
            std::filesystem::create_hard_link(tone, path);  // the playable tenth
        }
        entries.push_back(path);
    }
    fp.view.rowCount = kEntries;
    fp.player.engine.Device = audio::test::kDevice;
    fp.player.engine.PlayMode = 4;
    test::FakePlaybackView bar;
    Engine engine(fp.player, bar);

    // Reference: one pass over the list, hashing every string once.
    auto start = Clock::now();
    std::unordered_set<std::string_view> seen(entries.begin(), entries.end());
    const double pass = Seconds(start);

    start = Clock::now();
    int chosen = 0;
    for (int i = 0; i < kChoices; ++i) {
        const int next = engine.ChooseTrack(false);
        if (next >= 0) {
            ++chosen;
            fp.player.playlist.ShuffleHistory.push_back(entries[static_cast<std::size_t>(next)]);
            fp.player.playlist.PlayingIndex = next;
        }
    }
    const double choice = Seconds(start) / kChoices;
    audio::Free();

    std::printf("%zu entries, %d of %d choices found a playable entry\n", seen.size(), chosen,
                kChoices);
    std::printf("%-40s %8.3f ms  reference %8.3f ms  ratio %7.2f  (limit 100 ms)\n",
                "one shuffle choice", choice * 1000, pass * 1000, choice / pass);
    return 0;
}
