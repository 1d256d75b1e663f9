// The recorder's DSP on 100 ms blocks while its writer writes real files and
// while every write of the writer takes 50 ms (a slow disk): the longest and
// the mean DSP call beside a plain memcpy of the same block, measured here.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/Audio.h"
#include "audio/TestDevice.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playback/Recording.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kBlock = 17640;  // 100 ms of 16-bit stereo at 44100 Hz
constexpr int kBlocks = 100;             // 10 s: within the queue even on the slow disk

class SlowSink : public mirvo::RecordFileSink {
  public:
    bool Append(const void* data, std::size_t bytes) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return RecordFileSink::Append(data, bytes);
    }
};

std::uint32_t Silence(audio::Handle, void* buffer, std::uint32_t length, void*) {
    std::memset(buffer, 0, length);
    return length;
}

struct Times {
    double longest = 0;
    double mean = 0;
};

template <class Call>
Times Measure(Call&& call) {
    Times t;
    for (int i = 0; i < kBlocks; ++i) {
        const auto start = Clock::now();
        call();
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        t.longest = std::max(t.longest, us);
        t.mean += us / kBlocks;
    }
    return t;
}

Times RecordDsp(bool slowDisk) {
    using namespace mirvo;
    test::TempDir home;
    test::FakePlayer fp(home.path());
    test::FakePlaybackView view;
    fp.player.settings.WriteString("General", "RecordTempPath", home.path() + "/");
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, Silence, nullptr);
    audio::StreamPlay(out, false, 0);
    Recorder recorder(fp.player, view, Recorder::Links{[out] { return out; }, [] {}});
    if (slowDisk) {
        recorder.SetSink(std::make_unique<SlowSink>());
    }
    recorder.StartRecordDsp(false);
    std::vector<std::uint8_t> block(kBlock, 7);
    const Times t = Measure([&] { recorder.RecordDspProc(block.data(), kBlock); });
    recorder.StopRecordDsp();
    audio::StreamFree(out);
    return t;
}

}  // namespace

int main() {
    audio::Init(audio::test::kDevice, 44100, 0);
    std::vector<std::uint8_t> from(kBlock, 7);
    std::vector<std::uint8_t> to(kBlock);
    const Times copy = Measure([&] {
        std::memcpy(to.data(), from.data(), kBlock);
        asm volatile("" : : "r"(to.data()) : "memory");
    });
    const Times files = RecordDsp(false);
    const Times slow = RecordDsp(true);
    audio::Free();
    std::printf("memcpy of a block:        longest %8.1f us, mean %6.1f us\n", copy.longest,
                copy.mean);
    std::printf("DSP, real files:          longest %8.1f us, mean %6.1f us  (mean %.1fx memcpy)\n",
                files.longest, files.mean, files.mean / copy.mean);
    std::printf("DSP, 50 ms per write:     longest %8.1f us, mean %6.1f us  (mean %.1fx memcpy)\n",
                slow.longest, slow.mean, slow.mean / copy.mean);
    std::printf("slow disk / real files (mean): %.2f\n", slow.mean / files.mean);
    return 0;
}
