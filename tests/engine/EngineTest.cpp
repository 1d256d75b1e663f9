// The engine on the audio library's test device: what reaches the "hardware"
// is compared byte for byte with the decoded files joined as the seamless
// switch joins them.
#include "playback/Engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/FlacJoin.h"
#include "fakes/TempDir.h"
#include "playback/Session.h"
#include "playlist/Model.h"
#include "support/Files.h"

namespace mirvo {
namespace {

using namespace std::chrono_literals;
using test::TempDir;

constexpr int kRate = 44100;
constexpr std::uint32_t kStep = 17640;  // 100 ms of 16-bit stereo

class RecordingScrobbler : public Scrobbler {
  public:
    void Submit(const AudibleTrack& track, int seconds, int mode, std::int64_t) override {
        calls.push_back(track.entry + "|" + std::to_string(seconds) + "|" + std::to_string(mode));
        if (onSubmit) {
            onSubmit(mode);
        }
    }
    std::vector<std::string> calls;
    std::function<void(int mode)> onSubmit;
};

// Files shared by the tests of this suite, made once.
class Files {
  public:
    static Files& Get() {
        static Files files;
        return files;
    }
    std::string Path(const std::string& name) const { return dir_ / name; }
    bool ok = true;

  private:
    Files() {
        const auto wav = [&](const std::string& name, double seconds, double freq,
                             double silence = 0, double fade = 0, int rate = kRate) {
            test::WriteWav(dir_ / name, test::Tone(rate, seconds, freq, silence, fade), rate);
        };
        wav("a.wav", 4.0, 440, 0.0, 0.5);
        wav("b.wav", 4.5, 550, 0.1, 0.5);
        wav("c.wav", 4.2, 660, 0.05, 0.3);
        wav("d.wav", 4.1, 330, 0.12);
        wav("e.wav", 4.3, 770, 0.08);
        wav("f.wav", 3.6, 880, 0.02);
        wav("g.wav", 5.0, 220, 0.1);
        wav("short.wav", 2.0, 440);
        wav("rate48.wav", 4.0, 440, 0, 0, 48000);
        wav("five.wav", 5.0, 500);
        for (const char* name : {"a", "b", "c"}) {
            ok = ok && test::Encode("lame --quiet -b 192 " + Path(std::string(name) + ".wav") +
                                    " " + Path(std::string(name) + ".mp3"));
        }
        for (const char* name : {"d", "e"}) {
            ok = ok && test::Encode("flac --silent -f -o " + Path(std::string(name) + ".flac") +
                                    " " + Path(std::string(name) + ".wav"));
        }
    }
    TempDir dir_;
};

struct Rig {
    Rig() : f(home.path()) {
        f.player.engine.Device = audio::test::kDevice;
        f.player.app.ProgramTitle = kProgramTitle;
        engine = std::make_unique<Engine>(f.player, view);
        f.player.events.Attach(caption);
        f.player.events.Attach(report);
    }
    ~Rig() {
        f.player.events.Detach(report);
        f.player.events.Detach(caption);
        engine.reset();
        audio::Free();
    }
    void SetList(const std::vector<std::string>& entries) {
        f.player.playlist.PlaylistEntries = entries;
        f.view.rowCount = static_cast<int>(entries.size());
    }
    // One step of real time: the update thread refills, the hardware plays,
    // the status timer ticks. The starter and the opener are given the time
    // they need, unless the test holds the opener back.
    std::vector<std::uint8_t> Step(std::uint32_t bytes = kStep) {
        if (waitForOpener) {
            engine->WaitForOpener();
        }
        audio::test::Update();
        auto played = audio::test::Advance(bytes);
        engine->StatusTick();
        engine->Settle();
        return played;
    }

    TempDir home;
    test::FakePlayer f;
    test::FakePlaybackView view;
    RecordingScrobbler scrobbler;
    CaptionFollower caption{f.player};
    PlayReport report{scrobbler};
    std::unique_ptr<Engine> engine;
    bool waitForOpener = true;
};

std::int64_t AverageLevel(const std::int16_t* s, std::size_t n) {
    std::int64_t sum = 0, count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::abs(s[i]) > 20) {
            sum += std::abs(s[i]);
            ++count;
        }
    }
    return count ? sum / count : 0;
}

// Where the seamless switch enters a file: after its near-silent start.
std::size_t LeadIn(const std::vector<std::uint8_t>& data) {
    const auto* s = reinterpret_cast<const std::int16_t*>(data.data());
    const std::size_t count = std::min<std::size_t>(data.size() / 2, kRate * 2 / 5);
    const std::int64_t threshold = AverageLevel(s, count) / 2;
    std::size_t first = count - 1;
    for (std::size_t i = 0; i < count; ++i) {
        if (std::abs(s[i]) > threshold) {
            first = i;
            break;
        }
    }
    return first * 2 / 4 * 4;
}

// Where an MP3 file's trimmed tail begins: after the last sample louder than
// half the average level of its final 0.2 seconds.
std::size_t TailEnd(const std::vector<std::uint8_t>& data) {
    const auto* s = reinterpret_cast<const std::int16_t*>(data.data());
    const std::size_t count = data.size() / 2;
    const std::size_t window = kRate * 2 / 5;
    const std::size_t start = count > window ? count - window : 0;
    const auto threshold =
        static_cast<std::int64_t>(std::nearbyint(AverageLevel(s + start, count - start) / 2.0));
    std::size_t last = start;
    for (std::size_t i = count; i-- > start;) {
        if (std::abs(s[i]) > threshold) {
            last = i;
            break;
        }
    }
    return last * 2 / 4 * 4;
}

// The files decoded and joined as the seamless switch joins them: later tracks
// from their lead-in, MP3 files up to their trimmed tail. `boundaries` gets
// where each later track begins.
std::vector<std::uint8_t> Joined(const std::vector<std::string>& entries,
                                 std::vector<std::size_t>& boundaries) {
    std::vector<std::uint8_t> joined;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto data = test::DecodeAll(entries[i]);
        EXPECT_GT(data.size(), 3u * 176400) << entries[i];
        const std::size_t from = i == 0 ? 0 : LeadIn(data);
        const std::size_t to = entries[i].ends_with(".mp3") ? TailEnd(data) : data.size();
        EXPECT_LT(from, to) << entries[i];
        if (i > 0) {
            boundaries.push_back(joined.size());
        }
        joined.insert(joined.end(), data.begin() + static_cast<std::ptrdiff_t>(from),
                      data.begin() + static_cast<std::ptrdiff_t>(to));
    }
    return joined;
}

TEST(Engine, PlaysAListWithoutGaps) {
    Files& files = Files::Get();
    ASSERT_TRUE(files.ok);
    const std::vector<std::string> names = {"a.mp3",  "b.mp3", "c.mp3", "d.flac",
                                            "e.flac", "f.wav", "g.wav"};
    std::vector<std::string> entries;
    for (const std::string& name : names) {
        entries.push_back(files.Path(name));
    }
    std::vector<std::size_t> boundaries;
    const std::vector<std::uint8_t> expected = Joined(entries, boundaries);

    Rig rig;
    rig.SetList(entries);
    rig.f.player.engine.PlayMode = 2;
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    ASSERT_TRUE(rig.f.player.engine.DeviceReady);
    ASSERT_NE(rig.engine->OutputChannel(), 0u);

    std::vector<std::uint8_t> out;
    std::vector<std::pair<std::size_t, std::string>> captions{{0, rig.f.view.caption}};
    for (int step = 0; step < 2000 && rig.f.player.engine.DeviceReady; ++step) {
        const auto played = rig.Step();
        out.insert(out.end(), played.begin(), played.end());
        if (rig.f.view.caption != captions.back().second) {
            captions.emplace_back(out.size(), rig.f.view.caption);
        }
    }
    EXPECT_FALSE(rig.f.player.engine.DeviceReady);  // the end of the list releases the device
    EXPECT_EQ(rig.engine->OutputChannel(), 0u);
    ASSERT_GE(out.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()))
        << "first difference at byte "
        << std::mismatch(expected.begin(), expected.end(), out.begin()).first - expected.begin()
        << " of " << expected.size();
    EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(expected.size()), out.end(),
                            [](std::uint8_t b) { return b == 0; }));

    // The caption follows what is heard: it changes in the step that plays each boundary.
    ASSERT_EQ(captions.size(), names.size() + 1);  // and once more at the end
    for (std::size_t i = 0; i < boundaries.size(); ++i) {
        const auto& [at, caption] = captions[i + 1];
        EXPECT_NE(caption.find(names[i + 1].substr(0, 1)), std::string::npos) << caption;
        EXPECT_GE(at, boundaries[i]);
        EXPECT_LT(at, boundaries[i] + kStep) << "caption " << i + 1 << " late";
    }
    EXPECT_EQ(captions.back().second, "Mirvo 1.04i");
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 6);
}

// Plays until the engine's output stops or `steps` pass; returns what was played.
std::vector<std::uint8_t> Play(Rig& rig, int steps) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < steps; ++i) {
        const auto played = rig.Step();
        out.insert(out.end(), played.begin(), played.end());
    }
    return out;
}

// One tone cut into three tracks, each cut where the tone is loud, so the
// seamless switch enters each track at its first sample.
struct CutAlbum {
    std::vector<std::int16_t> source;
    std::vector<std::size_t> cuts;  // frames where tracks 2 and 3 begin
};

CutAlbum WriteCutAlbum(const std::string& folder) {
    CutAlbum album{test::Tone(kRate, 12.5, 440), {}};
    for (const double at : {4.1, 8.3}) {
        auto frame = static_cast<std::size_t>(at * kRate);
        while (std::abs(album.source[2 * frame]) < 12000) {
            ++frame;
        }
        album.cuts.push_back(frame);
    }
    const std::vector<std::size_t> edges = {0, album.cuts[0], album.cuts[1],
                                            album.source.size() / 2};
    for (std::size_t i = 0; i < 3; ++i) {
        test::WriteWav(folder + "/cut" + std::to_string(i) + ".wav",
                       std::vector<std::int16_t>(
                           album.source.begin() + static_cast<std::ptrdiff_t>(2 * edges[i]),
                           album.source.begin() + static_cast<std::ptrdiff_t>(2 * edges[i + 1])),
                       kRate);
    }
    return album;
}

double SnrDb(const std::int16_t* got, const std::int16_t* want, std::size_t n) {
    double signal = 0;
    double noise = 0;
    for (std::size_t i = 0; i < n; ++i) {
        signal += double(want[i]) * want[i];
        noise += (double(got[i]) - want[i]) * (double(got[i]) - want[i]);
    }
    return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

// MP4 (AAC, ALAC), WavPack and Monkey's Audio tracks: the encoders' delay and padding left
// out, the album plays as the uncut tone, without a gap at either cut.
TEST(Engine, PlaysACutAlbumWithoutGapsInEachFormat) {
    TempDir dir;
    const CutAlbum album = WriteCutAlbum(dir.path());
    const std::vector<std::pair<std::string, std::string>> formats = {
        {"aac.m4a", "ffmpeg -v error -y -i %.wav -c:a aac -b:a 160k %aac.m4a"},
        {"alac.m4a", "ffmpeg -v error -y -i %.wav -c:a alac %alac.m4a"},
        {".wv", "wavpack -q -y %.wav -o %.wv"},
        {".ape", "jmac c2 %.wav %.ape >/dev/null"}};
    for (const auto& [suffix, command] : formats) {
        SCOPED_TRACE(suffix);
        std::vector<std::string> entries;
        for (int i = 0; i < 3; ++i) {
            const std::string base = dir / ("cut" + std::to_string(i));
            std::string line = command;
            for (auto at = line.find('%'); at != std::string::npos; at = line.find('%')) {
                line.replace(at, 1, base);
            }
            ASSERT_TRUE(test::Encode(line));
            entries.push_back(base + suffix);
        }
        std::vector<std::size_t> boundaries;
        const std::vector<std::uint8_t> expected = Joined(entries, boundaries);
        ASSERT_EQ(boundaries.size(), 2u);
        // The joined decodes are the uncut tone: no lead-in was skipped.
        ASSERT_EQ(expected.size(), album.source.size() * 2);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(boundaries[i], album.cuts[i] * 4);
        }

        Rig rig;
        rig.SetList(entries);
        rig.f.player.engine.PlayMode = 2;
        rig.engine->PlayEntry(0);
        rig.engine->Settle();
        ASSERT_TRUE(rig.f.player.engine.DeviceReady);
        const std::vector<std::uint8_t> out = Play(rig, 200);
        EXPECT_FALSE(rig.f.player.engine.DeviceReady);
        ASSERT_GE(out.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()))
            << "first difference at byte "
            << std::mismatch(expected.begin(), expected.end(), out.begin()).first -
                   expected.begin();

        const auto* heard = reinterpret_cast<const std::int16_t*>(out.data());
        const std::int16_t* source = album.source.data();
        if (suffix != "aac.m4a") {
            EXPECT_TRUE(std::equal(source, source + album.source.size(), heard));
            continue;
        }
        // Lossy: 20 ms on either side of each cut match the tone as the whole does.
        EXPECT_GT(SnrDb(heard, source, album.source.size()), 25.0);
        const std::size_t span = kRate / 50 * 2;
        for (const std::size_t cut : album.cuts) {
            EXPECT_GT(SnrDb(heard + 2 * cut - span, source + 2 * cut - span, span), 20.0);
            EXPECT_GT(SnrDb(heard + 2 * cut, source + 2 * cut, span), 20.0);
        }
    }
}

TEST(Engine, OtherFormatAndShortTracksOpenAfterTheDrain) {
    Files& files = Files::Get();
    Rig rig;
    rig.SetList({files.Path("f.wav"), files.Path("rate48.wav"), files.Path("short.wav"),
                 files.Path("a.wav")});
    rig.f.player.engine.PlayMode = 2;
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    std::map<int, bool> seen;
    audio::ChannelInfo info;
    for (int i = 0; i < 300 && rig.f.player.engine.DeviceReady; ++i) {
        rig.Step();
        const int playing = rig.f.player.playlist.PlayingIndex;
        if (!seen[playing] && audio::ChannelGetInfo(rig.engine->OutputChannel(), &info)) {
            seen[playing] = true;
            // Each track got an output channel of its own format: an ordinary open.
            EXPECT_EQ(info.Frequency, playing == 1 ? 48000u : 44100u) << playing;
            EXPECT_EQ(rig.engine->TransitionState(), 0) << playing << " step " << i;
        }
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2] && seen[3]);
    EXPECT_FALSE(rig.f.player.engine.DeviceReady);
}

TEST(Engine, ListEditedDuringASwitchKeepsThePlayingMark) {
    Files& files = Files::Get();
    Rig rig;
    rig.SetList({files.Path("f.wav"), files.Path("g.wav"), files.Path("a.wav")});
    rig.f.player.engine.PlayMode = 2;
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    int steps = 0;
    while (rig.engine->TransitionState() != 1 && steps++ < 200) {
        rig.Step();
    }
    ASSERT_EQ(rig.engine->TransitionState(), 1);
    // The user removes the finished track while the next one is still in the buffer.
    auto& entries = rig.f.player.playlist.PlaylistEntries;
    entries.erase(entries.begin());
    while (rig.engine->TransitionState() == 1 && steps++ < 400) {
        rig.Step();
    }
    EXPECT_EQ(rig.f.player.playlist.PlayingEntry, files.Path("g.wav"));
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 0);
}

TEST(Engine, UnplayableEntriesWarnAndLeavePlaybackAlone) {
    Files& files = Files::Get();
    TempDir dir;
    const std::string junk = dir.Write("junk.mp3", std::string(5000, 'x'));
    const std::string text = dir.Write("notes.wav", "hello, this is not a sound");
    Rig rig;
    rig.SetList({files.Path("a.wav"), dir / "missing.mp3", junk, text});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    const audio::Handle playing = rig.engine->OutputChannel();
    rig.engine->PlayEntry(1);
    // Checked on the starter: told once that lands.
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
    rig.engine->Settle();
    ASSERT_FALSE(rig.f.dialogs.notices.empty());
    EXPECT_EQ(rig.f.dialogs.notices.back().text, "File not found.\r\r" + (dir / "missing.mp3"));
    EXPECT_EQ(rig.f.dialogs.notices.back().kind, NoticeKind::Warning);
    EXPECT_EQ(rig.engine->OutputChannel(), playing);
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 0);

    for (int index : {2, 3}) {
        rig.f.dialogs.notices.clear();
        rig.engine->PlayEntry(index);
        rig.engine->Settle();
        ASSERT_EQ(rig.f.dialogs.notices.size(), 2u);
        EXPECT_EQ(rig.f.dialogs.notices[0].text.rfind("Error", 0), 0u);
        const std::string& warning = rig.f.dialogs.notices[1].text;
        EXPECT_TRUE(warning.rfind("Unsupported file format.\r\r", 0) == 0 ||
                    warning.rfind("File is not an audio file.\r\r", 0) == 0)
            << warning;
        EXPECT_EQ(rig.engine->OutputChannel(), playing);
    }
}

TEST(Engine, AFlacNameOnOtherSoundWarnsAndTabPassesIt) {
    Files& files = Files::Get();
    TempDir dir;
    const std::string misnamed = dir / "wave.flac";
    std::filesystem::copy_file(files.Path("b.wav"), misnamed);
    Rig rig;
    rig.SetList({files.Path("a.wav"), misnamed, files.Path("d.flac")});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    const audio::Handle playing = rig.engine->OutputChannel();
    rig.engine->PlayEntry(1);
    // Checked on the starter: told once that lands.
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
    rig.engine->Settle();
    ASSERT_FALSE(rig.f.dialogs.notices.empty());
    EXPECT_EQ(rig.f.dialogs.notices.back().text, "Unsupported file format.\r\r" + misnamed);
    EXPECT_EQ(rig.engine->OutputChannel(), playing);
    EXPECT_EQ(rig.engine->ChooseTrack(false), 2);
}

TEST(Engine, AnEntryThatOpensNothingShowsThatNothingPlays) {
    Files& files = Files::Get();
    TempDir dir;
    const std::string list = dir.Write("more.m3u", files.Path("b.wav") + "\n");
    Rig rig;
    rig.SetList({files.Path("five.wav"), list});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    Play(rig, 3);
    ASSERT_NE(rig.f.view.timeLabel, "");
    ASSERT_NE(rig.f.view.status[3], "");

    rig.engine->PlayEntry(1);  // what Tab does when the next row is a playlist file
    EXPECT_EQ(rig.engine->OutputChannel(), 0u);
    EXPECT_EQ(rig.f.view.caption, "Mirvo 1.04i");
    EXPECT_EQ(rig.f.view.timeLabel, "");
    EXPECT_EQ(rig.f.view.status[3], "");
    EXPECT_EQ(rig.view.position, 0);
    EXPECT_FALSE(rig.engine->StatusRunning());  // no frozen clock ticking on
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
}

// A FLAC stream whose rate changes would play the rest at the wrong speed:
// playback stops at the change and says that the file cannot be played.
TEST(Engine, AFlacStreamChangingItsRateStopsThereAsUnplayable) {
    TempDir dir;
    std::string parts[2];
    for (const int rate : {32000, 24000}) {
        const std::string wav = dir / (std::to_string(rate) + ".wav");
        parts[rate == 32000 ? 0 : 1] = wav + ".flac";
        test::WriteWav(wav, test::Tone(rate, 2.0, 440), rate);
        ASSERT_TRUE(test::Encode("flac --silent -f -o " + wav + ".flac " + wav));
    }
    const std::string path =
        dir.Write("rates.flac", test::JoinFlac(ReadWholeFile(parts[0]).value_or(""),
                                               ReadWholeFile(parts[1]).value_or(""), 112000));
    Rig rig;
    rig.SetList({path});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    ASSERT_TRUE(rig.f.player.engine.DeviceReady);
    for (int step = 0; step < 400 && rig.f.player.engine.DeviceReady; ++step) {
        rig.Step();
    }
    EXPECT_FALSE(rig.f.player.engine.DeviceReady);
    ASSERT_EQ(rig.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.notices[0].kind, NoticeKind::Warning);
    EXPECT_EQ(rig.f.dialogs.notices[0].text, "Unsupported file format.\r\r" + path);
}

TEST(Engine, SeekingClampsAndKeepsTheState) {
    Files& files = Files::Get();
    Rig rig;
    rig.SetList({files.Path("five.wav")});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    Play(rig, 3);
    const std::int64_t length = 5 * 176400;
    rig.engine->SeekTo(length * 2);
    EXPECT_EQ(rig.engine->CurrentPositionBytes(), length - 176400);
    EXPECT_EQ(rig.engine->OutputState(), audio::kActivePlaying);

    rig.engine->Pause();
    EXPECT_EQ(rig.f.view.status[3], "Paused");
    EXPECT_FALSE(rig.engine->StatusRunning());
    rig.engine->SeekTo(176400);
    EXPECT_TRUE(rig.engine->IsPaused());
    EXPECT_EQ(rig.engine->CurrentPositionBytes(), 176400);
    rig.engine->SeekTo(-5);
    EXPECT_EQ(rig.engine->CurrentPositionBytes(), 0);

    // Played data starts exactly at the sought position.
    rig.engine->SeekTo(4000);
    rig.engine->Resume();
    EXPECT_EQ(rig.f.view.status[3], "WAVE 1411 kbps - 44100 Hz 16 bit Stereo");
    rig.engine->Settle();  // the source moves on the starter
    const auto played = Play(rig, 1);
    const auto data = test::DecodeAll(files.Path("five.wav"));
    ASSERT_EQ(played.size(), kStep);
    EXPECT_TRUE(std::equal(played.begin(), played.end(), data.begin() + 4000));
    EXPECT_EQ(rig.engine->CurrentPositionBytes(), 4000 + kStep);
}

// The format line is read with the track, not from its file whenever it is
// shown: the window must not wait for that disk, and a file moved away while
// it plays still shows what plays.
TEST(Engine, TheFormatLineComesWithTheTrack) {
    TempDir dir;
    const std::string path = dir / "moved.wav";
    std::filesystem::copy_file(Files::Get().Path("five.wav"), path);
    Rig rig;
    rig.SetList({path});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    const std::string line = "WAVE 1411 kbps - 44100 Hz 16 bit Stereo";
    EXPECT_EQ(rig.f.view.status[3], line);
    std::filesystem::rename(path, dir / "elsewhere.wav");
    rig.engine->Pause();
    rig.engine->Resume();
    EXPECT_EQ(rig.f.view.status[3], line);
}

TEST(Engine, StoppingReleasesTheDeviceAndPlayingOpensItAgain) {
    Files& files = Files::Get();
    Rig rig;
    rig.SetList({files.Path("five.wav")});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    Play(rig, 2);
    rig.engine->StopPlayback(true);
    EXPECT_FALSE(rig.f.player.engine.DeviceReady);
    EXPECT_EQ(rig.engine->OutputChannel(), 0u);
    EXPECT_EQ(rig.f.view.caption, "Mirvo 1.04i");
    EXPECT_EQ(rig.view.position, 0);
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    EXPECT_TRUE(rig.f.player.engine.DeviceReady);
    EXPECT_EQ(rig.engine->OutputState(), audio::kActivePlaying);
}

TEST(Engine, VolumeFollowsTheCurve) {
    EXPECT_EQ(Engine::VolumeCurve(0), 0);
    EXPECT_EQ(Engine::VolumeCurve(9), 0);
    EXPECT_EQ(Engine::VolumeCurve(10), 1);
    EXPECT_EQ(Engine::VolumeCurve(500), 250);
    EXPECT_EQ(Engine::VolumeCurve(1000), 1000);
    EXPECT_EQ(Engine::VolumeCurve(5000), 1000);
    EXPECT_EQ(Engine::VolumeCurve(-3), 0);

    Rig rig;
    rig.f.player.engine.MutedVolume = 1000;
    rig.f.player.engine.Volume = 300;
    rig.engine->SetVolume(330);  // an explicit change ends soft mute
    EXPECT_EQ(rig.f.player.engine.MutedVolume, -1);
    EXPECT_EQ(rig.view.volumePercent, 33);
    EXPECT_EQ(rig.f.view.status[0], " 33 %");
    rig.engine->SetVolume(2000);
    EXPECT_EQ(rig.f.player.engine.Volume, 1000);
}

TEST(Engine, StatusTickWritesTheTimeLabelAndSubmits) {
    Files& files = Files::Get();
    Rig rig;
    rig.SetList({files.Path("five.wav")});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    EXPECT_EQ(rig.view.max, 5000);
    EXPECT_TRUE(rig.engine->FineTimeFormat());
    EXPECT_EQ(rig.engine->RefreshPeriod(), 10);
    Play(rig, 25);  // 2.5 seconds
    EXPECT_EQ(rig.f.view.timeLabel, "0:02:50 / 0:05:00 / -0:02:50");
    EXPECT_EQ(rig.view.position, 2500);
    // Five seconds is too short to be submitted.
    Play(rig, 40);
    EXPECT_TRUE(rig.scrobbler.calls.empty());

    EXPECT_EQ(FormatMs(60000), "1:00");
    EXPECT_EQ(FormatMs(205000), "3:25");
    EXPECT_EQ(FormatMs(145000), "2:25");
    EXPECT_EQ(FormatMsHundredths(7250), "0:07:25");
    EXPECT_EQ(FormatMsMillis(7250), "0:07:250");
    EXPECT_EQ(FormatSeconds(3725), "62:05");
    EXPECT_EQ(FormatWholeMinutes(3725), "62");
}

// One status period (33 ms) of sound per tick, so that the played time counts
// as fast as the sound plays.
constexpr std::uint32_t kTickBytes = 1455 * 4;

// 40 s of quiet sound.
std::string LongWav(const TempDir& dir) {
    const std::string path = dir / "long.wav";
    test::WriteWav(path, std::vector<std::int16_t>(static_cast<std::size_t>(kRate) * 2 * 40, 100),
                   kRate);
    return path;
}

TEST(Engine, LongTracksAreSubmittedAfterHalf) {
    TempDir dir;
    const std::string path = LongWav(dir);
    Rig rig;
    rig.SetList({path, path});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    EXPECT_FALSE(rig.engine->FineTimeFormat());
    Play(rig, 105);  // 10.5 s: the now-playing notice, once
    ASSERT_EQ(rig.scrobbler.calls.size(), 1u);
    EXPECT_EQ(rig.scrobbler.calls[0], path + "|40|1");
    rig.engine->StopPlayback(false);  // before half of it: nothing more
    EXPECT_EQ(rig.scrobbler.calls.size(), 1u);

    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    for (int step = 0; rig.report.PlayedMs() <= 20000; ++step) {
        ASSERT_LT(step, 700);
        rig.Step(kTickBytes);
    }
    ASSERT_EQ(rig.scrobbler.calls.size(), 2u);  // its own now-playing notice
    rig.engine->PlayEntry(1);                   // starting the next one submits the finished play
    rig.engine->Settle();
    ASSERT_EQ(rig.scrobbler.calls.size(), 3u);
    EXPECT_EQ(rig.scrobbler.calls[2], path + "|40|0");
}

// On a busy machine the status ticks come late: what was heard counts, not
// the number of ticks.
TEST(Engine, LateTicksCountAllThatWasHeard) {
    TempDir dir;
    const std::string path = LongWav(dir);
    Rig rig;
    rig.SetList({path});
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    for (int step = 0; step < 220; ++step) {
        rig.Step(kStep);  // 100 ms of sound per 33 ms tick
    }
    EXPECT_GT(rig.report.PlayedMs(), 20000);
    rig.engine->StopPlayback(false);
    ASSERT_EQ(rig.scrobbler.calls.size(), 2u);
    EXPECT_EQ(rig.scrobbler.calls[1], path + "|40|0");
}

TEST(Engine, EachTrackIsReportedWithItsOwnLength) {
    TempDir dir;
    const std::string first = dir / "first.wav";
    const std::string second = dir / "second.wav";
    test::WriteWav(first, test::Tone(kRate, 31.0, 440), kRate);
    test::WriteWav(second, test::Tone(kRate, 33.0, 550), kRate);
    Rig rig;
    rig.SetList({first, second});
    rig.f.player.engine.PlayMode = 2;
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    bool switched = false;
    for (int step = 0; step < 3000 && rig.f.player.engine.DeviceReady; ++step) {
        rig.Step(kTickBytes);
        switched = switched || rig.engine->TransitionState() == 1;
    }
    ASSERT_TRUE(switched);  // the second track followed without a new open
    EXPECT_FALSE(rig.f.player.engine.DeviceReady);
    EXPECT_EQ(rig.scrobbler.calls, (std::vector<std::string>{first + "|31|1", first + "|31|0",
                                                             second + "|33|1", second + "|33|0"}));
}

// Drops the frames that are silent in both channels: drains add silence
// between tracks that are not joined.
std::vector<std::uint8_t> Audible(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 4 <= data.size(); i += 4) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 0 || data[i + 3] != 0) {
            out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                       data.begin() + static_cast<std::ptrdiff_t>(i + 4));
        }
    }
    return out;
}

TEST(Engine, AnEndThatComesWhileTheSwitchIsHandledIsNotLost) {
    TempDir dir;
    const std::vector<std::string> entries = {dir / "long.wav", dir / "brief.wav",
                                              dir / "last.wav"};
    test::WriteWav(entries[0], test::Tone(kRate, 31.0, 440), kRate);
    test::WriteWav(entries[1], test::Tone(kRate, 3.5, 550, 0.05), kRate);
    test::WriteWav(entries[2], test::Tone(kRate, 4.0, 660), kRate);
    std::vector<std::uint8_t> expected = test::DecodeAll(entries[0]);
    const auto brief = test::DecodeAll(entries[1]);
    expected.insert(expected.end(), brief.begin() + static_cast<std::ptrdiff_t>(LeadIn(brief)),
                    brief.end());
    const auto last = test::DecodeAll(entries[2]);
    expected.insert(expected.end(), last.begin(), last.end());

    Rig rig;
    rig.SetList(entries);
    rig.f.player.engine.PlayMode = 2;
    std::vector<std::uint8_t> out;
    bool endedDuringTick = false;
    // The first track's submission is made by the tick that sees the switch.
    // While that tick runs, the audio thread plays on until the brief track has
    // ended in the feed too.
    rig.scrobbler.onSubmit = [&](int mode) {
        if (mode != 0 || endedDuringTick) {
            return;
        }
        for (int i = 0; i < 300 && rig.engine->TransitionState() != 2; ++i) {
            audio::test::Update();
            const auto played = audio::test::Advance(kTickBytes);
            out.insert(out.end(), played.begin(), played.end());
        }
        endedDuringTick = rig.engine->TransitionState() == 2;
    };
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    for (int step = 0; step < 3000 && rig.f.player.engine.DeviceReady; ++step) {
        rig.engine->WaitForOpener();
        audio::test::Update();
        const auto played = audio::test::Advance(kTickBytes);
        out.insert(out.end(), played.begin(), played.end());
        rig.engine->StatusTick();
        rig.engine->Settle();
    }
    ASSERT_TRUE(endedDuringTick);
    // Every track once, in order, and the end of the list stops playback.
    EXPECT_FALSE(rig.f.player.engine.DeviceReady);
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 2);
    const auto heard = Audible(out);
    const auto wanted = Audible(expected);
    ASSERT_EQ(heard.size(), wanted.size());
    EXPECT_TRUE(heard == wanted)
        << "first difference at byte "
        << std::mismatch(heard.begin(), heard.end(), wanted.begin()).first - heard.begin();
}

// The audio library's update thread, as a DSP on the engine's output sees it.
std::thread::id UpdateThread(Rig& rig) {
    std::atomic<std::thread::id> seen;
    const audio::DspHandle dsp = audio::ChannelSetDSP(
        rig.engine->OutputChannel(),
        [](audio::DspHandle, audio::Handle, void*, std::uint32_t, void* user) {
            static_cast<std::atomic<std::thread::id>*>(user)->store(std::this_thread::get_id());
        },
        &seen, 0);
    audio::test::Update();
    audio::ChannelRemoveDSP(rig.engine->OutputChannel(), dsp);
    return seen.load();
}

std::size_t CountOn(const std::vector<test::SlowDisk::Event>& events,
                    test::SlowDisk::Event::Kind kind, std::thread::id thread) {
    return static_cast<std::size_t>(std::count_if(
        events.begin(), events.end(),
        [&](const test::SlowDisk::Event& e) { return e.kind == kind && e.thread == thread; }));
}

TEST(Engine, OnASlowDiskTheSwitchOpensNothingOnTheUpdateThread) {
    Files& files = Files::Get();
    ASSERT_TRUE(files.ok);
    const std::vector<std::string> entries = {files.Path("a.mp3"), files.Path("d.flac"),
                                              files.Path("b.mp3")};
    std::vector<std::size_t> boundaries;
    const std::vector<std::uint8_t> expected = Joined(entries, boundaries);
    test::SlowDisk disk(20ms);
    Rig rig;
    rig.SetList(entries);
    rig.f.player.engine.PlayMode = 2;
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    const std::thread::id update = UpdateThread(rig);
    std::vector<std::uint8_t> out;
    for (int step = 0; step < 2000 && rig.f.player.engine.DeviceReady; ++step) {
        const auto played = rig.Step();
        out.insert(out.end(), played.begin(), played.end());
    }
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 2);
    // Both switches were seamless: the opener was done in time.
    ASSERT_GE(out.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()))
        << "first difference at byte "
        << std::mismatch(expected.begin(), expected.end(), out.begin()).first - expected.begin();
    // Decoding reads on the update thread; opening (and so scanning) and closing never.
    const auto events = disk.Events();
    EXPECT_GT(CountOn(events, test::SlowDisk::Event::Read, update), 0u);
    EXPECT_EQ(CountOn(events, test::SlowDisk::Event::Open, update), 0u);
    EXPECT_EQ(CountOn(events, test::SlowDisk::Event::Close, update), 0u);
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
}

TEST(Engine, AnOpenerHeldPastTheSwitchLeavesTheNextTrackToTheDrain) {
    Files& files = Files::Get();
    const std::vector<std::string> entries = {files.Path("f.wav"), files.Path("g.wav")};
    std::vector<std::uint8_t> expected = test::DecodeAll(entries[0]);
    const auto second = test::DecodeAll(entries[1]);
    expected.insert(expected.end(), second.begin(), second.end());
    test::SlowDisk disk(0us);
    Rig rig;
    rig.waitForOpener = false;
    rig.SetList(entries);
    rig.f.player.engine.PlayMode = 2;
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    // The track was started where the next one starts too: on the starter.
    const std::thread::id starter = disk.Events().front().thread;
    ASSERT_NE(starter, std::this_thread::get_id());
    const std::thread::id update = UpdateThread(rig);
    disk.Hold({std::this_thread::get_id(), starter, update});
    std::vector<std::uint8_t> out;
    bool drained = false;
    for (int step = 0; step < 200 && rig.f.player.playlist.PlayingIndex == 0; ++step) {
        const auto played = rig.Step();
        out.insert(out.end(), played.begin(), played.end());
        drained = drained || rig.engine->TransitionState() == 2;
    }
    EXPECT_TRUE(drained);
    ASSERT_EQ(rig.f.player.playlist.PlayingIndex, 1);
    EXPECT_EQ(rig.f.player.playlist.PlayingEntry, entries[1]);
    for (int step = 0; step < 100 && rig.f.player.engine.DeviceReady; ++step) {
        const auto played = rig.Step();
        out.insert(out.end(), played.begin(), played.end());
    }
    EXPECT_FALSE(rig.f.player.engine.DeviceReady);
    // The second track from its start, after the silence of the drain.
    EXPECT_TRUE(Audible(out) == Audible(expected));

    // Let go, the opener finds its choice stale and frees what it opened.
    disk.Release();
    rig.engine->WaitForOpener();
    EXPECT_EQ(disk.OpenReadersComeTo(0), 0);
    EXPECT_EQ(CountOn(disk.Events(), test::SlowDisk::Event::Close, update), 0u);
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
}

TEST(Engine, AnEngineGoneBeforeTheSwitchLeavesNoFileOpen) {
    Files& files = Files::Get();
    test::SlowDisk disk(0us);
    Rig rig;
    rig.SetList({files.Path("f.wav"), files.Path("g.wav")});
    rig.f.player.engine.PlayMode = 2;
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    Play(rig, 3);  // the next track is prepared and opened
    rig.engine->WaitForOpener();
    EXPECT_EQ(disk.OpenReadersComeTo(4), 4);  // source and look-ahead of both
    rig.engine.reset();
    EXPECT_EQ(disk.OpenReadersComeTo(0), 0);
}

TEST(Engine, CheckFileReadsOnlyTheStartOfALongMp3) {
    TempDir dir;
    const std::string wav = dir / "long.wav";
    test::WriteWav(wav, test::Tone(22050, 240.0, 440), 22050);
    // With and without the Info header that holds the length.
    const std::vector<std::string> mp3s = {dir / "long.mp3", dir / "bare.mp3"};
    ASSERT_TRUE(test::Encode("lame --quiet -b 64 " + wav + " " + mp3s[0]));
    ASSERT_TRUE(test::Encode("lame --quiet -t -b 64 " + wav + " " + mp3s[1]));
    test::SlowDisk disk(0us);
    Rig rig;
    for (const std::string& mp3 : mp3s) {
        EXPECT_EQ(rig.engine->CheckFile(mp3, true), kPlayable);
        EXPECT_LT(disk.BytesRead(mp3), std::filesystem::file_size(mp3) / 4) << mp3;
    }
}

// A track the user starts is checked, opened and (an MP3 without a frame
// count) scanned on the starter; the UI thread only takes the result.
TEST(Engine, StartingATrackReadsNothingOnTheUiThread) {
    Files& files = Files::Get();
    TempDir dir;
    const std::string wav = dir / "long.wav";
    test::WriteWav(wav, test::Tone(22050, 240.0, 440), 22050);
    const std::string bare = dir / "bare.mp3";
    ASSERT_TRUE(test::Encode("lame --quiet -t -b 64 " + wav + " " + bare));
    test::SlowDisk disk(0us);
    Rig rig;
    rig.SetList({bare, files.Path("a.mp3"), files.Path("d.flac")});
    const std::thread::id ui = std::this_thread::get_id();
    // Nothing plays: the description reads the start only.
    const std::string description = rig.f.player.playback->FormatDescription(bare);
    EXPECT_EQ(description.rfind("MP3 64 kbps", 0), 0u) << description;
    EXPECT_LT(disk.BytesRead(bare), std::filesystem::file_size(bare) / 4);
    const std::size_t before = CountOn(disk.Events(), test::SlowDisk::Event::Read, ui);

    rig.engine->PlayEntry(0);
    EXPECT_TRUE(rig.engine->Starting());
    rig.engine->Settle();
    EXPECT_FALSE(rig.engine->Starting());
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 0);
    EXPECT_NE(rig.engine->SourceStream(), 0u);
    EXPECT_EQ(rig.engine->OutputState(), audio::kActivePlaying);
    EXPECT_NEAR(rig.view.ProgressMax(), 240000, 200);  // scanned, not estimated
    // A newer start wins over one still on its way; the older leaves nothing open.
    rig.engine->PlayEntry(1);
    rig.engine->PlayEntry(2);
    rig.engine->Settle();
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 2);
    EXPECT_EQ(rig.f.player.playlist.PlayingEntry, files.Path("d.flac"));
    rig.engine->WaitForOpener();
    EXPECT_EQ(disk.OpenReadersComeTo(2), 2);  // the source and look-ahead of what plays
    // A stop drops a start on its way.
    rig.engine->PlayEntry(1);
    rig.engine->StopPlayback(true);
    rig.engine->Settle();
    EXPECT_EQ(rig.engine->OutputState(), audio::kActiveStopped);
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 2);
    const auto events = disk.Events();
    EXPECT_EQ(CountOn(events, test::SlowDisk::Event::Read, ui), before);
    EXPECT_EQ(CountOn(events, test::SlowDisk::Event::Open, ui), 1u);  // the description's
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
}

// Files that cannot play, named after `name`: some hold no sound, some are gone.
void AddUnplayable(const TempDir& dir, const std::string& name, int count,
                   std::vector<std::string>& list) {
    for (int i = 0; i < count; ++i) {
        const std::string junk = dir / (name + std::to_string(i) + ".mp3");
        std::ofstream(junk) << "no sound in " << i;
        list.push_back(junk);
        list.push_back(dir / (name + std::to_string(i) + "-gone.flac"));
    }
}

// At the end of a track the next one is chosen past what cannot play off the
// UI thread: ahead of the switch on the opener, after a drain on the starter.
TEST(Engine, TheNextTrackIsChosenWithoutReadingOnTheUiThread) {
    Files& files = Files::Get();
    TempDir dir;
    std::vector<std::string> list = {files.Path("short.wav")};  // drains: too short to trim
    AddUnplayable(dir, "a", 10, list);
    const int second = static_cast<int>(list.size());
    list.push_back(files.Path("f.wav"));
    AddUnplayable(dir, "b", 10, list);
    test::SlowDisk disk(0us);
    Rig rig;
    rig.SetList(list);
    rig.f.player.engine.PlayMode = 2;
    rig.engine->PlayEntry(0);
    rig.engine->Settle();
    bool reached = false;
    for (int step = 0; step < 200 && rig.f.player.engine.DeviceReady; ++step) {
        rig.Step();
        reached = reached || rig.f.player.playlist.PlayingIndex == second;
    }
    EXPECT_TRUE(reached);
    // After the second nothing can play: the end of the list.
    EXPECT_FALSE(rig.f.player.engine.DeviceReady);
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, second);
    const std::thread::id ui = std::this_thread::get_id();
    const auto events = disk.Events();
    EXPECT_EQ(CountOn(events, test::SlowDisk::Event::Open, ui), 0u);
    EXPECT_EQ(CountOn(events, test::SlowDisk::Event::Read, ui), 0u);
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
}

// A seek moves the source on the starter: an MP3 that was not scanned is read
// up to the place there, a FLAC file looks for its frame there. The output
// waits silent meanwhile, paused or playing as asked.
TEST(Engine, SeekingReadsNothingOnTheUiThread) {
    TempDir dir;
    const std::string wav = dir / "long.wav";
    test::WriteWav(wav, test::Tone(22050, 240.0, 440), 22050);
    const std::string mp3 = dir / "long.mp3";  // with its Info header: not scanned
    const std::string flac = dir / "long.flac";
    ASSERT_TRUE(test::Encode("lame --quiet -b 64 " + wav + " " + mp3));
    ASSERT_TRUE(test::Encode("flac --silent -f -o " + flac + " " + wav));
    test::SlowDisk disk(0us);
    Rig rig;
    rig.SetList({mp3, flac});
    const std::thread::id ui = std::this_thread::get_id();
    for (int index = 0; index < 2; ++index) {
        SCOPED_TRACE(index);
        rig.engine->PlayEntry(index);
        rig.engine->Settle();
        rig.engine->WaitForOpener();
        ASSERT_EQ(rig.engine->OutputState(), audio::kActivePlaying);
        const std::size_t before = CountOn(disk.Events(), test::SlowDisk::Event::Read, ui);

        rig.engine->SeekToMs(200000);
        EXPECT_EQ(rig.engine->BytesToMs(rig.engine->CurrentPositionBytes()), 200000);
        rig.engine->Settle();
        EXPECT_EQ(rig.engine->OutputState(), audio::kActivePlaying);
        EXPECT_EQ(audio::ChannelIsActive(rig.engine->OutputChannel()), audio::kActivePlaying);
        EXPECT_EQ(audio::ChannelGetPosition(rig.engine->SourceStream()),
                  static_cast<std::uint64_t>(rig.engine->MsToBytes(200000)));
        EXPECT_FALSE(Audible(rig.Step()).empty());
        const std::int64_t at = rig.engine->BytesToMs(rig.engine->CurrentPositionBytes());
        EXPECT_GT(at, 200000);
        EXPECT_LT(at, 201000);

        // Paused while the seek is on its way, it stays paused where it went.
        rig.engine->SeekToMs(100000);
        rig.engine->Pause();
        EXPECT_TRUE(rig.engine->IsPaused());
        rig.engine->Settle();
        EXPECT_TRUE(rig.engine->IsPaused());
        EXPECT_EQ(audio::ChannelIsActive(rig.engine->OutputChannel()), audio::kActivePaused);
        EXPECT_EQ(rig.f.view.timeLabel.rfind("1:40 / ", 0), 0u) << rig.f.view.timeLabel;
        // Resumed while the next is on its way, it plays once the source is there.
        rig.engine->SeekToMs(30000);
        rig.engine->Resume();
        EXPECT_EQ(rig.engine->OutputState(), audio::kActivePlaying);
        rig.engine->Settle();
        EXPECT_EQ(audio::ChannelIsActive(rig.engine->OutputChannel()), audio::kActivePlaying);
        EXPECT_EQ(audio::ChannelGetPosition(rig.engine->SourceStream()),
                  static_cast<std::uint64_t>(rig.engine->MsToBytes(30000)));
        // Stopped before it lands, nothing plays on.
        rig.engine->SeekToMs(150000);
        rig.engine->StopPlayback(false);
        rig.engine->Settle();
        EXPECT_EQ(rig.engine->OutputState(), audio::kActiveStopped);
        EXPECT_EQ(CountOn(disk.Events(), test::SlowDisk::Event::Read, ui), before);
    }
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
}

}  // namespace
}  // namespace mirvo
