// The recorder on the audio library's test device: a channel fed with noise,
// a second DSP that captures every block the recorder's DSP saw, and the
// saved WAV compared with that capture byte for byte.
#include "playback/Recording.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>

#include "audio/TestDevice.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"

namespace mirvo {
namespace {

using test::TempDir;

constexpr std::uint32_t kStereoSecond = 176400;
constexpr const char* kStation = "http://127.0.0.1:8000/live|Station";

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t At32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t At16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// Noise that never repeats within a test, so a lost, doubled or swapped
// block cannot go unseen.
struct Noise {
    std::uint32_t state = 12345;
    static std::uint32_t Feed(audio::Handle, void* buffer, std::uint32_t length, void* user) {
        auto& self = *static_cast<Noise*>(user);
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (std::uint32_t i = 0; i < length; ++i) {
            self.state = self.state * 1664525u + 1013904223u;
            out[i] = static_cast<std::uint8_t>(self.state >> 24);
        }
        return length;
    }
};

// What a DSP of lower priority saw.
struct Capture {
    std::mutex lock;
    std::vector<std::uint8_t> bytes;
    static void Proc(audio::DspHandle, audio::Handle, void* buffer, std::uint32_t length,
                     void* user) {
        auto& self = *static_cast<Capture*>(user);
        const std::lock_guard guard(self.lock);
        const auto* at = static_cast<const std::uint8_t*>(buffer);
        self.bytes.insert(self.bytes.end(), at, at + length);
    }
    std::vector<std::uint8_t> Take() {
        const std::lock_guard guard(lock);
        return std::exchange(bytes, {});
    }
};

// A writer's disk that stops at every append until the test lets it go on.
class HeldSink : public RecordFileSink {
  public:
    bool Append(const void* data, std::size_t bytes) override {
        {
            std::unique_lock lock(mutex_);
            ++waiting_;
            changed_.notify_all();
            changed_.wait(lock, [&] { return !held_; });
            --waiting_;
            ++appends_;
        }
        return RecordFileSink::Append(data, bytes);
    }
    void Release() {
        const std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    void WaitUntilWaiting() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_ > 0; });
    }
    int Appends() {
        const std::lock_guard lock(mutex_);
        return appends_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = true;
    int waiting_ = 0;
    int appends_ = 0;
};

struct Rig {
    explicit Rig(std::uint32_t channels = 2) : f(home.path()) {
        f.player.settings.WriteString("General", "RecordTempPath", records.path() + "/");
        EXPECT_TRUE(audio::Init(audio::test::kDevice, 44100, 0));
        audio::SetConfig(audio::kConfigBuffer, 500);
        out = audio::StreamCreate(44100, channels, 0, Noise::Feed, &noise);
        audio::StreamPlay(out, false, 0);
        f.player.playlist.PlayingEntry = kStation;
        recorder = std::make_unique<Recorder>(
            f.player, view, Recorder::Links{[this] { return out; }, [this] { StopPlayback(); }});
        Step(2);  // playing, no longer waiting for its first data
    }
    ~Rig() {
        recorder.reset();
        audio::Free();
    }
    // As the engine stops a station: the recording ends, then the channel goes.
    void StopPlayback() {
        recorder->StopRecording();
        audio::StreamFree(out);
        out = 0;
    }
    void Watch() { capture = audio::ChannelSetDSP(out, Capture::Proc, &seen, -1); }
    void Unwatch() { audio::ChannelRemoveDSP(out, capture); }
    // One update cycle and 100 ms of playing.
    // One update cycle and 100 ms of playing. Faster than real time, so
    // the writer is given time to keep up unless the test holds it.
    void Step(int steps = 1, bool keepUp = true) {
        for (int i = 0; i < steps; ++i) {
            audio::test::Update();
            audio::test::Advance(kStereoSecond / 10);
            if (keepUp && i % 20 == 19) {
                recorder->WaitForWriter();
            }
        }
    }
    std::string Temp(int n) const { return RecordTempFile(records.path() + "/", n); }
    bool AnyTempFile() const {
        for (int n = 0; n <= 4; ++n) {
            if (std::filesystem::exists(Temp(n))) {
                return true;
            }
        }
        return false;
    }
    // The writer's disk, held until the test releases it.
    HeldSink& HoldDisk() {
        auto sink = std::make_unique<HeldSink>();
        HeldSink& disk = *sink;
        recorder->SetSink(std::move(sink));
        return disk;
    }
    // Starts a recording with the command, answering its question with Yes.
    void StartRecording() {
        f.dialogs.yesNoAnswers.push_back(true);
        recorder->RecordStartAcExecute();
    }
    // Ends it with the command, saving to `name`.
    void StopAndSave(const std::string& name) {
        f.dialogs.yesNoAnswers.push_back(true);
        f.dialogs.saveAnswers.push_back(name);
        recorder->RecordStartAcExecute();
    }

    TempDir home;
    TempDir records;
    test::FakePlayer f;
    test::FakePlaybackView view;
    Noise noise;
    Capture seen;
    audio::Handle out = 0;
    audio::DspHandle capture = 0;
    std::unique_ptr<Recorder> recorder;
};

std::vector<std::uint8_t> WaveData(const std::vector<std::uint8_t>& wave) {
    return wave.size() < 44 ? std::vector<std::uint8_t>{}
                            : std::vector<std::uint8_t>(wave.begin() + 44, wave.end());
}

TEST(WaveHeader, SizesFormatAndTheirCapPast4GiB) {
    const auto stereo = WaveHeader({44100, 2, 16, 176400}, 1000);
    const std::vector<std::uint8_t> s(stereo.begin(), stereo.end());
    EXPECT_EQ(std::string(s.begin(), s.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(s.begin() + 8, s.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(std::string(s.begin() + 36, s.begin() + 40), "data");
    EXPECT_EQ(At32(s, 4), 36u + 1000);
    EXPECT_EQ(At32(s, 40), 1000u);
    EXPECT_EQ(At32(s, 16), 16u);
    EXPECT_EQ(At16(s, 20), 1);
    EXPECT_EQ(At16(s, 22), 2);
    EXPECT_EQ(At32(s, 24), 44100u);
    EXPECT_EQ(At32(s, 28), 176400u);
    EXPECT_EQ(At16(s, 32), 4);
    EXPECT_EQ(At16(s, 34), 16);
    const auto mono = WaveHeader({22050, 1, 16, 44100}, 0);
    const std::vector<std::uint8_t> m(mono.begin(), mono.end());
    EXPECT_EQ(At16(m, 22), 1);
    EXPECT_EQ(At16(m, 32), 2);
    EXPECT_EQ(At32(m, 4), 36u);
    EXPECT_EQ(At32(m, 40), 0u);

    // The 32-bit fields stop at their top instead of wrapping round.
    constexpr std::uint64_t k4G = 0x100000000;
    EXPECT_EQ(WaveSizeFields(k4G - 1 + 8), std::make_pair(0xFFFFFFFFu, 0xFFFFFFFFu - 36));
    EXPECT_EQ(WaveSizeFields(k4G + 44), std::make_pair(0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_EQ(WaveSizeFields(5 * k4G), std::make_pair(0xFFFFFFFFu, 0xFFFFFFFFu));
}

TEST(WaveHeader, ModeZeroPatchesTheSizesOfAWrittenFile) {
    TempDir dir;
    const std::string file = dir / "x.wav";
    ASSERT_TRUE(WriteWaveHeader(1, file, {}));
    std::ofstream(file, std::ios::binary | std::ios::app) << std::string(1234, 'a');
    ASSERT_TRUE(WriteWaveHeader(0, file, {}));
    const auto bytes = ReadBytes(file);
    ASSERT_EQ(bytes.size(), 44u + 1234);
    EXPECT_EQ(At32(bytes, 4), 36u + 1234);
    EXPECT_EQ(At32(bytes, 40), 1234u);
    EXPECT_FALSE(WriteWaveHeader(1, dir / "missing/x.wav", {}));
}

TEST(CombineOrder, OldestRingFileFirstThenTheRecording) {
    EXPECT_EQ(CombineOrder(0, 0x1F), (std::vector<int>{1, 2, 3, 4, 0}));
    EXPECT_EQ(CombineOrder(2, 0x1F), (std::vector<int>{3, 4, 1, 2, 0}));
    EXPECT_EQ(CombineOrder(4, 0x1F), (std::vector<int>{1, 2, 3, 4, 0}));
    // Files another session left behind are not this recording's.
    EXPECT_EQ(CombineOrder(2, 0b00111), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(CombineOrder(0, 0b00001), (std::vector<int>{0}));
}

TEST(Recording, SavedWaveHoldsExactlyWhatReachedTheDsp) {
    Rig rig;
    rig.Step(3);
    rig.StartRecording();
    rig.Watch();
    EXPECT_EQ(rig.f.dialogs.questions, std::vector<std::string>{"Start recording?"});
    EXPECT_TRUE(rig.recorder->RecordingActive());
    EXPECT_EQ(rig.view.recordCaption, "Stop &recording");
    rig.Step(40);

    // The command again stops the station and offers the recording.
    const std::string saved = rig.home / "mix.wav";
    rig.StopAndSave(saved);
    EXPECT_EQ(rig.out, 0u);
    EXPECT_EQ(rig.f.dialogs.questions.back(), "Record has been stopped.\rSave record?");
    EXPECT_EQ(rig.view.recordCaption, "&Record");
    ASSERT_FALSE(rig.f.dialogs.notices.empty());
    EXPECT_EQ(rig.f.dialogs.notices.back().text, "Stream succesfully saved to\r" + saved);
    EXPECT_EQ(rig.f.view.status[3], "");
    ASSERT_EQ(rig.f.dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.saveRequests[0].filter, "Wave files (*.wav)|*.wav|All files (*.*)|*.*");
    const std::string proposed =
        std::filesystem::path(rig.f.dialogs.saveRequests[0].folder).filename().string();
    EXPECT_TRUE(std::regex_match(proposed, std::regex(R"(Mix \d{4}-\d\d-\d\d \d\d-\d\d\.wav)")))
        << proposed;

    const auto wave = ReadBytes(saved);
    const auto expected = rig.seen.Take();
    ASSERT_GE(expected.size(), 4u * kStereoSecond);
    EXPECT_TRUE(WaveData(wave) == expected) << wave.size() << " " << expected.size();
    EXPECT_EQ(At16(wave, 22), 2);
    EXPECT_EQ(At16(wave, 32), 4);
    EXPECT_EQ(At32(wave, 40), expected.size());
    EXPECT_EQ(At32(wave, 4), 36 + expected.size());
    EXPECT_FALSE(rig.AnyTempFile());
    EXPECT_EQ(std::filesystem::status(saved).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0644));
}

TEST(Recording, MonoStationWritesOneChannel) {
    Rig rig(1);
    rig.StartRecording();
    rig.Watch();
    rig.Step(10);
    const std::string saved = rig.home / "mono.wav";
    rig.StopAndSave(saved);
    const auto wave = ReadBytes(saved);
    EXPECT_TRUE(WaveData(wave) == rig.seen.Take());
    EXPECT_EQ(At16(wave, 22), 1);
    EXPECT_EQ(At16(wave, 32), 2);
    EXPECT_EQ(At32(wave, 28), kStereoSecond / 2);
}

TEST(Recording, ChecksBeforeStarting) {
    Rig rig;
    auto& notices = rig.f.dialogs.notices;
    rig.f.player.playlist.PlayingEntry = rig.home / "song.mp3";
    rig.recorder->RecordStartAcExecute();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "You can only record internet radio.\rPlease connect to one first.");
    EXPECT_EQ(notices[0].kind, NoticeKind::Information);

    rig.f.player.playlist.PlayingEntry = kStation;
    audio::ChannelPause(rig.out);
    rig.recorder->RecordStartAcExecute();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1].text, "First play a stream.");

    audio::ChannelResume(rig.out);
    rig.recorder->RecordStartAcExecute();  // answered No
    EXPECT_FALSE(rig.recorder->DspInstalled());

    rig.f.player.settings.WriteString("General", "RecordTempPath", rig.home / "gone/");
    rig.StartRecording();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[2].text, "Please set a valid temporary record directory in the Settings.");
    EXPECT_EQ(notices[2].kind, NoticeKind::Error);
    EXPECT_FALSE(rig.recorder->DspInstalled());
    EXPECT_EQ(rig.view.recordCaption, "&Record");

    // A folder written without the trailing "/" still holds the files.
    rig.f.player.settings.WriteString("General", "RecordTempPath", rig.records.path());
    rig.StartRecording();
    rig.Step(2);
    rig.recorder->StopRecordDsp();
    EXPECT_TRUE(std::filesystem::exists(rig.Temp(0)));
}

TEST(Recording, CacheRingKeepsTheLastFilesAndGoesFirstIntoTheWave) {
    Rig rig;
    rig.f.player.values.CachingTime = 120;  // each ring file: 40 s
    ASSERT_TRUE(rig.recorder->StartRecordDsp(true));
    rig.Watch();
    EXPECT_FALSE(rig.recorder->RecordingActive());
    rig.Step(1850);  // 185 s: the ring has wrapped to its first file again
    rig.Unwatch();
    rig.recorder->ReportWriterFailure();
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
    rig.recorder->StopRecordDsp();
    constexpr std::uint64_t kLimit = 40ull * kStereoSecond;
    const std::uint64_t cached = rig.seen.Take().size();
    ASSERT_GT(cached, 4 * kLimit);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_LE(std::filesystem::file_size(rig.Temp(n)), kLimit) << n;
    }
    EXPECT_EQ(std::filesystem::file_size(rig.Temp(2)), kLimit);
    EXPECT_EQ(std::filesystem::file_size(rig.Temp(1)), cached - 4 * kLimit);
    EXPECT_FALSE(std::filesystem::exists(rig.Temp(0)));

    // Again with a short cache, and a recording taking over after the wrap.
    rig.f.player.values.CachingTime = 3;  // 1 s per file
    ASSERT_TRUE(rig.recorder->StartRecordDsp(true));
    rig.Watch();
    rig.Step(63);  // 6.3 s: ring files 1..4, then 1..3 again
    const auto cache = rig.seen.Take();
    rig.f.player.settings.WriteInteger("General", "RecordSecAhead", 3);
    rig.StartRecording();
    rig.Step(25);
    const std::string saved = rig.home / "ring.wav";
    rig.StopAndSave(saved);
    const auto recorded = rig.seen.Take();
    // Oldest first: ring files 4, 1, 2, 3 (this one partly full), then mirvo0.
    const std::size_t started = (cache.size() + kStereoSecond - 1) / kStereoSecond;
    ASSERT_EQ(started, 7u);
    std::vector<std::uint8_t> expected(cache.begin() + 3 * kStereoSecond, cache.end());
    expected.insert(expected.end(), recorded.begin(), recorded.end());
    EXPECT_TRUE(WaveData(ReadBytes(saved)) == expected);
    EXPECT_FALSE(rig.AnyTempFile());
}

TEST(Recording, CancellingTheSaveDeletesAllFiveFiles) {
    Rig rig;
    rig.f.player.values.CachingTime = 3;
    rig.recorder->StartRecordDsp(true);
    rig.Step(50);
    rig.StartRecording();
    rig.Step(5);
    rig.recorder->StopRecordDsp();
    for (int n = 0; n <= 4; ++n) {
        EXPECT_TRUE(std::filesystem::exists(rig.Temp(n))) << n;
    }
    rig.f.view.status[3] = "128 Kbps 44100 Hz - Stereo";
    rig.f.dialogs.yesNoAnswers.push_back(true);
    rig.f.dialogs.saveAnswers.push_back(std::nullopt);
    rig.recorder->StopRecording();
    EXPECT_FALSE(rig.AnyTempFile());
    EXPECT_EQ(rig.f.view.status[3], "");
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
}

TEST(Recording, AnsweringNoDeletesTheFilesAndTheCacheAloneKeepsThem) {
    Rig rig;
    rig.recorder->StartRecordDsp(true);
    rig.Step(5);
    rig.recorder->StopRecording();  // the cache alone: no question, files stay
    EXPECT_TRUE(rig.f.dialogs.questions.empty());
    EXPECT_TRUE(std::filesystem::exists(rig.Temp(1)));
    EXPECT_FALSE(rig.recorder->DspInstalled());

    rig.StartRecording();
    rig.Step(5);
    rig.f.dialogs.yesNoAnswers.push_back(false);
    rig.recorder->StopRecording();
    EXPECT_FALSE(rig.AnyTempFile());
}

TEST(Recording, FailedCombiningKeepsTheTempFilesAndNoHalfWave) {
    Rig rig;
    rig.StartRecording();
    rig.Step(10);
    const std::string notAFolder = rig.home.Write("plain", "x");
    rig.StopAndSave(notAFolder + "/mix.wav");
    ASSERT_FALSE(rig.f.dialogs.notices.empty());
    const test::Notice& notice = rig.f.dialogs.notices.back();
    EXPECT_EQ(notice.kind, NoticeKind::Error);
    EXPECT_EQ(notice.text,
              "Sorry, error while saving and combining files.\rTemp files are not deleted! Use a "
              "sound editor to combine the temp files.\r(raw uncompressed 44.1/16 bit wave data "
              "without a header)\r\rPlease report this error and what you were doing.");
    EXPECT_GT(std::filesystem::file_size(rig.Temp(0)), 0u);
    EXPECT_EQ(rig.f.view.status[3], "");
}

TEST(Recording, FailureMidwayLeavesTheChosenFileAsItWas) {
    Rig rig;
    rig.f.player.values.CachingTime = 3;
    rig.recorder->StartRecordDsp(true);
    rig.Step(15);
    rig.StartRecording();
    rig.Step(5);
    rig.recorder->StopRecordDsp();
    // The ring files are copied, then the recording itself cannot be read.
    std::filesystem::remove(rig.Temp(0));
    std::filesystem::create_directory(rig.Temp(0));
    const std::string target = rig.home.Write("out/keep.wav", "old");
    rig.f.dialogs.yesNoAnswers.push_back(true);
    rig.f.dialogs.saveAnswers.push_back(target);
    rig.recorder->StopRecording();
    EXPECT_EQ(rig.f.dialogs.notices.back().kind, NoticeKind::Error);
    EXPECT_EQ(ReadBytes(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(rig.home / "out"),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_TRUE(std::filesystem::exists(rig.Temp(1)));
    EXPECT_TRUE(std::filesystem::exists(rig.Temp(2)));
}

TEST(Recording, FilesOfAnEarlierCacheAreNotCombined) {
    Rig rig;
    rig.f.player.values.CachingTime = 3;
    rig.recorder->StartRecordDsp(true);
    rig.Step(25);
    rig.recorder->StopRecording();  // the cache alone: its files stay
    ASSERT_TRUE(std::filesystem::exists(rig.Temp(3)));
    std::ofstream(rig.Temp(4), std::ios::binary) << std::string(4000, 'z');
    rig.StartRecording();
    rig.Watch();
    rig.Step(10);
    const std::string saved = rig.home / "alone.wav";
    rig.StopAndSave(saved);
    EXPECT_TRUE(WaveData(ReadBytes(saved)) == rig.seen.Take());
    EXPECT_FALSE(rig.AnyTempFile());
}

TEST(Recording, AFailedWriteStopsAndNoLinkIsFollowed) {
    Rig rig;
    const std::string victim = rig.home.Write("victim", "keep");
    std::filesystem::create_symlink(victim, rig.Temp(1));
    rig.f.player.values.CachingTime = 3;
    rig.recorder->StartRecordDsp(true);
    rig.Step(3);
    rig.recorder->WaitForWriter();
    rig.recorder->ReportWriterFailure();
    EXPECT_FALSE(rig.recorder->DspInstalled());
    ASSERT_EQ(rig.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text,
              "Pre-record cache stopped, the record files could not be written.");
    EXPECT_EQ(ReadBytes(victim), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));

    // While recording: said, then the save question.
    std::filesystem::create_symlink(victim, rig.Temp(0));
    rig.StartRecording();
    rig.Step(3);
    rig.recorder->WaitForWriter();
    rig.f.dialogs.yesNoAnswers.push_back(false);
    rig.recorder->ReportWriterFailure();
    EXPECT_FALSE(rig.recorder->RecordingActive());
    EXPECT_EQ(rig.f.dialogs.notices.back().text,
              "Recording stopped, the record files could not be written.");
    EXPECT_EQ(rig.f.dialogs.questions.back(), "Record has been stopped.\rSave record?");
    EXPECT_EQ(ReadBytes(victim), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST(Recording, FreeSpaceLeftAndTheStopBelow20MiB) {
    Rig rig;
    std::optional<std::uint64_t> free = 25ull << 20;
    std::vector<std::string> asked;
    rig.recorder->SetSpaceQuery([&](const std::string& folder) {
        asked.push_back(folder);
        return free;
    });
    rig.StartRecording();
    rig.Step(3);
    rig.recorder->UpdateRecordStatus();
    EXPECT_EQ(asked, std::vector<std::string>{rig.records.path() + "/"});
    // 26214400 bytes at 176400 a second: 148 s, 2 whole minutes.
    EXPECT_EQ(rig.f.view.timeLabel, "Recording... Left: 0:02 (25 MB)");
    EXPECT_EQ(rig.recorder->RecordLeftText(), "0:02 (25 MB)");
    EXPECT_TRUE(rig.recorder->DspInstalled());
    EXPECT_TRUE(rig.f.dialogs.notices.empty());

    free = 5000ull << 20;
    rig.view.thousands = ".";
    rig.recorder->UpdateRecordStatus();
    EXPECT_EQ(rig.recorder->RecordLeftText(), "8:15 (5.000 MB)");

    free = 19ull << 20;
    rig.f.dialogs.yesNoAnswers.push_back(false);
    rig.recorder->UpdateRecordStatus();
    EXPECT_FALSE(rig.recorder->DspInstalled());
    EXPECT_FALSE(rig.recorder->RecordingActive());
    ASSERT_EQ(rig.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text, "Recording stopped, drive is almost full.");
    EXPECT_EQ(rig.f.dialogs.notices[0].kind, NoticeKind::Warning);
    EXPECT_EQ(rig.f.dialogs.questions.back(), "Record has been stopped.\rSave record?");

    // A folder whose space cannot be read counts as full.
    free.reset();
    rig.StartRecording();
    rig.f.dialogs.yesNoAnswers.push_back(false);
    rig.recorder->UpdateRecordStatus();
    EXPECT_FALSE(rig.recorder->RecordingActive());
    EXPECT_EQ(rig.f.dialogs.notices.back().text, "Recording stopped, drive is almost full.");
}

TEST(Recording, RealSpaceQueryOfTheRecordFolder) {
    Rig rig;
    rig.StartRecording();
    rig.recorder->UpdateRecordStatus();
    const auto space = std::filesystem::space(rig.records.path());
    if (space.available >= (20u << 20)) {
        EXPECT_TRUE(rig.recorder->RecordingActive());
        EXPECT_TRUE(rig.f.view.timeLabel.starts_with("Recording... Left: "));
    }
}

TEST(Recording, SlowDiskDoesNotHoldTheDspBack) {
    Rig rig;
    HeldSink& disk = rig.HoldDisk();
    rig.StartRecording();
    rig.Watch();
    rig.Step();
    disk.WaitUntilWaiting();
    // The writer is stuck in its first append; the update cycles go on.
    rig.Step(50, false);
    EXPECT_EQ(disk.Appends(), 0);
    disk.Release();
    const std::string saved = rig.home / "slow.wav";
    rig.StopAndSave(saved);
    EXPECT_TRUE(WaveData(ReadBytes(saved)) == rig.seen.Take());
    EXPECT_GT(disk.Appends(), 1);
}

TEST(Recording, QueueOverflowStopsAndOffersWhatCameBefore) {
    Rig rig;
    HeldSink& disk = rig.HoldDisk();
    rig.StartRecording();
    rig.Watch();
    rig.Step();
    disk.WaitUntilWaiting();
    rig.Step(200, false);  // 20 s: more than the queue holds
    disk.Release();
    const std::string saved = rig.home / "overflow.wav";
    rig.f.dialogs.yesNoAnswers.push_back(true);
    rig.f.dialogs.saveAnswers.push_back(saved);
    rig.recorder->ReportWriterFailure();
    EXPECT_FALSE(rig.recorder->DspInstalled());
    EXPECT_FALSE(rig.recorder->RecordingActive());
    ASSERT_EQ(rig.f.dialogs.notices.size(), 2u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text, "Recording stopped, the disk could not keep up.");
    EXPECT_EQ(rig.f.dialogs.questions.back(), "Record has been stopped.\rSave record?");
    // What the queue took before it was full, without a gap.
    const auto data = WaveData(ReadBytes(saved));
    const auto all = rig.seen.Take();
    EXPECT_GT(data.size(), 10u * kStereoSecond);
    EXPECT_LT(data.size(), all.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), all.begin()));
}

TEST(Recording, CacheOverflowStopsTheCacheAndSaysSo) {
    Rig rig;
    HeldSink& disk = rig.HoldDisk();
    rig.recorder->StartRecordDsp(true);
    rig.Step();
    disk.WaitUntilWaiting();
    rig.Step(200, false);
    disk.Release();
    rig.recorder->ReportWriterFailure();
    EXPECT_FALSE(rig.recorder->DspInstalled());
    ASSERT_EQ(rig.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text,
              "Pre-record cache stopped, the disk could not keep up.");
    EXPECT_TRUE(rig.f.dialogs.questions.empty());
}

}  // namespace
}  // namespace mirvo
