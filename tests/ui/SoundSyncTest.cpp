// The position the window shows against what a listener hears: the player
// plays clicks, one each second, through a real sound server (a private
// PulseAudio with a null sink) and the test records that sink's monitor.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>

#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/SoundServer.h"
#include "fakes/TempDir.h"
#include "ui/MainApp.h"

namespace mirvo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;

using test::SoundServer;

// The moments clicks arrive at the sink's monitor.
class Listener {
  public:
    Listener() {
        SDL_InitSubSystem(SDL_INIT_AUDIO);
        SDL_AudioSpec want{};
        want.freq = kRate;
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = 256;
        want.callback = [](void* self, Uint8* data, int bytes) {
            static_cast<Listener*>(self)->Heard(reinterpret_cast<const float*>(data), bytes / 8);
        };
        want.userdata = this;
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
        if (device_ != 0) {
            SDL_PauseAudioDevice(device_, 0);
        }
    }
    ~Listener() {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
        }
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    bool ready() const { return device_ != 0; }
    std::vector<Clock::time_point> Clicks() {
        std::lock_guard lock(mutex_);
        return clicks_;
    }

  private:
    void Heard(const float* samples, int frames) {
        // The block ends now; each frame of it came in that much earlier.
        const auto end = Clock::now();
        std::lock_guard lock(mutex_);
        for (int i = 0; i < frames; ++i) {
            const bool loud = std::fabs(samples[2 * i]) > 0.3f;
            if (loud && !loud_) {
                clicks_.push_back(
                    end - std::chrono::microseconds(static_cast<long>((frames - i) * 1e6 / kRate)));
            }
            loud_ = loud;
        }
    }

    SDL_AudioDeviceID device_ = 0;
    std::mutex mutex_;
    std::vector<Clock::time_point> clicks_;
    bool loud_ = false;
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

TEST(SoundSync, ThePositionFollowsWhatIsHeard) {
    SoundServer server;
    ASSERT_TRUE(server.ready()) << "pulseaudio did not start";
    test::TempDir dir;
    // Silence with a 5 ms click at the start of every second.
    constexpr int kSeconds = 12;
    constexpr std::size_t kCompared = 6;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kRate) * kSeconds * 2, 0);
    for (int second = 0; second < kSeconds; ++second) {
        for (int i = 0; i < kRate / 200; ++i) {
            samples[2 * static_cast<std::size_t>(second * kRate + i)] = 20000;
            samples[2 * static_cast<std::size_t>(second * kRate + i) + 1] = 20000;
        }
    }
    const std::string clicks = dir / "clicks.wav";
    test::WriteWav(clicks, samples, kRate);
    dir.Write("Playlist.txt", clicks + "\r\n");
    dir.Write("Mirvo.ini", "[General]\nDevice=1\n[Playlist]\nTrack=0\n");

    Listener listener;
    ASSERT_TRUE(listener.ready()) << SDL_GetError();
    test::FakeDesktop desktop;
    test::FakeHotKeys hotKeys;
    test::FakeDialogs dialogs;
    auto app = std::make_unique<MainApp>(dir.path(), "", desktop, hotKeys, &dialogs);
    app->Start();
    QApplication::processEvents();
    ASSERT_TRUE(dialogs.notices.empty()) << dialogs.notices.front().text;
    app->window.ListScreen->setFocus();
    QTest::keyClick(app->window.ListScreen, Qt::Key_Return);
    Engine& engine = app->controller.engine();
    ASSERT_TRUE(app->player.engine.DeviceReady);

    // When the shown position and the label pass each whole second. A loaded
    // machine may take a while to start the sound, so wait for the clicks
    // rather than for a fixed time.
    std::vector<Clock::time_point> position, label;
    const auto started = Clock::now();
    const auto enough = [&] {
        return listener.Clicks().size() > kCompared && position.size() > kCompared &&
               label.size() > kCompared;
    };
    while (!enough() && Clock::now() - started < std::chrono::seconds(kSeconds)) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        const auto now = Clock::now();
        const std::int64_t ms = engine.BytesToMs(engine.CurrentPositionBytes());
        while (ms >= static_cast<std::int64_t>(position.size()) * 1000) {
            position.push_back(now);
        }
        const QString text = app->window.LabelTime->text();
        const int seconds =
            text.section(QLatin1Char('/'), 0, 0).trimmed().section(':', 1, 1).toInt();
        while (!text.isEmpty() && seconds >= static_cast<int>(label.size())) {
            label.push_back(now);
        }
        ::usleep(1000);
    }
    app.reset();
    audio::Free();

    const auto heard = listener.Clicks();
    ASSERT_GT(heard.size(), kCompared);
    ASSERT_GT(position.size(), kCompared);
    ASSERT_GT(label.size(), kCompared);
    std::printf("sound %.0f ms after Enter\n", Ms(heard[0] - started));
    // A click the capture dropped must not shift the pairing: each second
    // is compared with the click heard nearest to it.
    const auto nearest = [&](Clock::time_point t) {
        Clock::time_point best = heard.front();
        for (const auto click : heard) {
            if (std::abs(Ms(t - click)) < std::abs(Ms(t - best))) {
                best = click;
            }
        }
        return best;
    };
    for (std::size_t k = 1; k <= kCompared; ++k) {
        const double lag = Ms(position[k] - nearest(position[k]));
        const double labelLag = Ms(label[k] - nearest(label[k]));
        std::printf("second %zu: position %+.0f ms, label %+.0f ms\n", k, lag, labelLag);
        EXPECT_LT(std::abs(lag), 50.0) << "second " << k;
        // The label's tick waits for the second; a busy machine may wake it late.
        EXPECT_LT(std::abs(labelLag), 50.0 + 33.0) << "second " << k;
    }
}

}  // namespace
}  // namespace mirvo
