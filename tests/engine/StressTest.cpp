// The engine with the audio threads running free: a thread of its own plays the
// test device as fast as it can while the test thread, as the UI, seeks, skips,
// edits the list and the queue, pauses and stops. Nothing waits for the other
// side, so ThreadSanitizer sees the feed and the UI overlap.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Commands.h"
#include "playback/Engine.h"
#include "playlist/Editing.h"

namespace mirvo {
namespace {

using namespace std::chrono_literals;
using test::TempDir;

// Plays the current test device continuously, 100 ms per round; follows the
// device across releases and new opens.
class FreeRunningDevice {
  public:
    FreeRunningDevice()
        : thread_([this](std::stop_token stop) {
              while (!stop.stop_requested()) {
                  if (audio::test::Update()) {
                      audio::test::Advance(17640);
                      ++rounds;
                  }
                  std::this_thread::sleep_for(200us);
              }
          }) {}
    std::atomic<long> rounds{0};

  private:
    std::jthread thread_;
};

struct Stress {
    Stress() : f(dir.path()) {
        // Seamless switches, a track too short for one, another sample rate.
        const double seconds[] = {3.4, 4.0, 2.0, 3.6, 4.4, 3.2, 3.8, 4.2};
        for (int i = 0; i < 8; ++i) {
            const std::string path =
                dir / std::string("s").append(std::to_string(i)).append(".wav");
            const int rate = i == 5 ? 48000 : 44100;
            test::WriteWav(path, test::Tone(rate, seconds[i], 300 + 60 * i, 0.05), rate);
            f.player.playlist.PlaylistEntries.push_back(path);
        }
        f.view.rowCount = 8;
        f.view.focusedRow = 0;
        f.player.engine.Device = audio::test::kDevice;
        f.player.app.ProgramTitle = kProgramTitle;
        engine = std::make_unique<Engine>(f.player, bar);
        commands = std::make_unique<Commands>(f.player, *engine);
    }
    ~Stress() {
        commands.reset();
        engine.reset();
        audio::Free();
    }
    // The status timer, when it runs.
    // The UI thread's loop: starts land as they come, then the status tick.
    void Tick() {
        f.loop.RunPosted();
        if (engine->StatusRunning()) {
            engine->StatusTick();
        }
    }
    int Rows() const { return static_cast<int>(f.player.playlist.PlaylistEntries.size()); }
    void Select(int row) {
        f.view.focusedRow = row;
        f.view.selectedRows = {row};
    }

    TempDir dir;
    test::FakePlayer f;
    test::FakePlaybackView bar;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<Commands> commands;
};

TEST(EngineStress, CommandsWhileTheAudioThreadsRunFree) {
    Stress s;
    PlaylistState& pl = s.f.player.playlist;
    s.f.player.engine.PlayMode = 0;  // wraps, so the list keeps playing
    s.engine->PlayEntry(0);
    s.engine->Settle();
    FreeRunningDevice device;
    std::mt19937 random(12345);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    int commands = 0;
    // At least 3 s and 150 commands, however slow a loaded machine makes each one.
    const auto start = std::chrono::steady_clock::now();
    const auto busy = [&] {
        const auto now = std::chrono::steady_clock::now();
        return now < start + 120s && (now < start + 3s || commands < 150);
    };
    while (busy()) {
        s.Tick();
        std::this_thread::sleep_for(1ms);
        if (pick(8) != 0) {
            continue;
        }
        ++commands;
        switch (pick(9)) {
            case 0:
                s.engine->SeekTo(s.engine->MsToBytes(pick(4000)));
                break;
            case 1:
                s.commands->DispatchKey(kKeyTab, kNoModifier);
                break;
            case 2:
                s.commands->DispatchKey(kKeyTab, kShift);
                break;
            case 3:  // reorder
                s.Select(pick(s.Rows()));
                pick(2) == 0 ? MoveSelectionUp(s.f.player) : MoveSelectionDown(s.f.player);
                break;
            case 4: {  // remove a row and add its file again at the end
                const int row = pick(s.Rows());
                const std::string entry = pl.PlaylistEntries[static_cast<std::size_t>(row)];
                s.Select(row);
                RemoveSelected(s.f.player);
                pl.PlaylistEntries.push_back(entry);
                s.f.view.rowCount = s.Rows();
                break;
            }
            case 5:
                s.Select(pick(s.Rows()));
                QueuAc(s.f.player);
                break;
            case 6:  // pause, or resume
                s.commands->DispatchKey(kKeySpace, kNoModifier);
                break;
            case 7:  // stop twice, which releases the device, then play a row
                s.commands->DispatchKey(kKeyNumpad0, kNoModifier);
                s.commands->DispatchKey(kKeyNumpad0, kNoModifier);
                s.Select(pick(s.Rows()));
                s.commands->DispatchKey(kKeyEnter, kNoModifier);
                break;
            default:
                s.f.player.engine.PlayMode = pick(5);
                s.engine->ApplyPlayMode();
                break;
        }
        ASSERT_GE(pl.PlayingIndex, -1);
        ASSERT_LT(pl.PlayingIndex, s.Rows());
    }
    EXPECT_GE(commands, 150);

    // Then the end of the list in play mode 2: three tracks, and playback stops.
    s.f.player.engine.PlayMode = 2;
    s.engine->ApplyPlayMode();
    const int first = s.Rows() - 3;
    s.engine->PlayEntry(first);
    s.engine->Settle();  // lands this start and drops every older one still on its way
    std::vector<int> played{pl.PlayingIndex};
    const auto deadline = std::chrono::steady_clock::now() + 120s;  // only against a hang
    while (s.f.player.engine.DeviceReady && std::chrono::steady_clock::now() < deadline) {
        s.Tick();
        if (pl.PlayingIndex != played.back()) {
            played.push_back(pl.PlayingIndex);
        }
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GT(device.rounds.load(), 0);
    EXPECT_FALSE(s.f.player.engine.DeviceReady);
    EXPECT_EQ(s.engine->OutputChannel(), 0u);
    EXPECT_EQ(played, (std::vector<int>{first, first + 1, first + 2}));
    EXPECT_TRUE(s.f.dialogs.notices.empty());
}

}  // namespace
}  // namespace mirvo
