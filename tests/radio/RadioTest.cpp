// Stations without a network: the tag routines, the connect workers with an
// open of the test's own (local files as stations) on the audio library's
// test device, and the "Add &url..." command against a loopback HTTP server.
#include "playback/Radio.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/HttpServer.h"
#include "fakes/IcyServer.h"
#include "fakes/TempDir.h"
#include "playback/Engine.h"
#include "playback/Session.h"
#include "playback/StationLists.h"

namespace mirvo {
namespace {

using namespace std::chrono_literals;
using test::TempDir;

TEST(StationTags, JoinTagStringsEndsEveryStringAndStopsAtTheEmptyOne) {
    using namespace std::string_literals;
    EXPECT_EQ(JoinTagStrings("ICY 200 OK\0icy-name:Jazz\0icy-br:128\0\0junk\0\0"s),
              "ICY 200 OK;icy-name:Jazz;icy-br:128;");
    EXPECT_EQ(JoinTagStrings(std::nullopt), "");
    EXPECT_EQ(JoinTagStrings("\0"s), ";");
}

TEST(StationTags, HeadersWithoutKeyAreSkippedAndBlankPairsDropped) {
    TagPairs pairs{{"old", "pair"}};
    ParseTagPairs("HTTP/1.0 200 OK;Server: x;icy-name:Jazz FM;icy-genre: ;icy-br:128;", pairs, ':',
                  true, ';');
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].Key, "Server");
    EXPECT_EQ(pairs[0].Value, " x");
    EXPECT_EQ(pairs[1].Value, "Jazz FM");
    EXPECT_EQ(pairs[2].Key, "icy-br");
    EXPECT_EQ(FindTagValue("ICY-NAME", pairs).Value, "Jazz FM");
    EXPECT_EQ(FindTagValue("icy-url", pairs).Key, "");
    // No key separator at all: nothing to take.
    ParseTagPairs("status only;", pairs, ':', true, ';');
    EXPECT_TRUE(pairs.empty());
}

TEST(StationTags, ApostrophesAroundAValueGoButASingleOneStays) {
    TagPairs pairs;
    ParseTagPairs("StreamTitle='Miles Davis - So What';StreamUrl='';;", pairs, '=', true, ';');
    ASSERT_EQ(pairs.size(), 1u);  // the emptied StreamUrl is dropped
    EXPECT_EQ(FindTagValue("StreamTitle", pairs).Value, "Miles Davis - So What");
    ParseTagPairs("StreamTitle=';;", pairs, '=', true, ';');
    EXPECT_EQ(FindTagValue("StreamTitle", pairs).Value, "'");
}

TEST(StationTags, AHeaderWinsOverAnInStreamFieldOfTheSameName) {
    TagPairs pairs;
    ParseTagPairs("ICY 200 OK;icy-name:From header;", pairs, ':', true, ';');
    ParseTagPairs("icy-name='From stream';StreamTitle='Song';;", pairs, '=', false, ';');
    EXPECT_EQ(FindTagValue("icy-name", pairs).Value, "From header");
    EXPECT_EQ(FindTagValue("streamtitle", pairs).Value, "Song");
}

TEST(StationTags, AQuotedTitleRunsToItsClosingQuoteAndReferencesBecomeCharacters) {
    TagPairs pairs;
    ParseStreamMeta("StreamTitle='Artist; with semicolon - Song';StreamUrl='http://x/?a=1;b';",
                    pairs);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(FindTagValue("StreamTitle", pairs).Value, "Artist; with semicolon - Song");
    EXPECT_EQ(FindTagValue("StreamUrl", pairs).Value, "http://x/?a=1;b");
    // icecast2 writes what it cannot send as references; a quote inside stays.
    pairs.clear();
    ParseStreamMeta("StreamTitle='Rock 'n' Roll &#8212; Live &#x1F3B5;&#38;&#9;Co&#0;';", pairs);
    EXPECT_EQ(FindTagValue("StreamTitle", pairs).Value,
              "Rock 'n' Roll \u2014 Live \U0001F3B5& Co&#0;");
    // Control characters, raw or C1, never stay; a title of nothing but them is none.
    pairs.clear();
    ParseStreamMeta("StreamTitle='\x01\x1b[2JNews\r\nat\xc2\x85ten\x7f';StreamUrl='\t';", pairs);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].Value, "[2JNews  at ten");
    // A field without quotes ends at the next ";", a lone quote stays.
    pairs.clear();
    ParseStreamMeta("StreamTitle=';Plain=word;Last='open", pairs);
    EXPECT_EQ(FindTagValue("StreamTitle", pairs).Value, "'");
    EXPECT_EQ(FindTagValue("Plain", pairs).Value, "word");
    EXPECT_EQ(FindTagValue("Last", pairs).Value, "'open");
}

// Local WAV files stand in for stations: the test's open decodes them as the
// library would a station, and may hold an open back until the test lets it go.
class Stations {
  public:
    Stations() {
        test::WriteWav(dir_ / "one.wav", test::Tone(44100, 10.0, 440), 44100);
        test::WriteWav(dir_ / "two.wav", test::Tone(44100, 1.0, 550), 44100);
    }
    // "http://one/..." opens one.wav, "http://two/..." two.wav.
    OpenUrlFunction Open() {
        return [this](const std::string& url, std::uint32_t flags,
                      const std::atomic<bool>&) -> audio::Handle {
            std::unique_lock lock(mutex_);
            opened_.push_back(url);
            flags_ = flags;
            changed_.notify_all();
            changed_.wait(lock, [&] { return held_.count(url) == 0; });
            const std::string file =
                dir_ / (url.find("//one") != std::string::npos ? "one.wav" : "two.wav");
            lock.unlock();
            const audio::Handle h =
                audio::StreamCreateFile(false, file.c_str(), 0, 0, flags & audio::kStreamDecode);
            const std::lock_guard again(mutex_);
            made_[url] = h;
            return h;
        };
    }
    void Hold(const std::string& url) {
        const std::lock_guard lock(mutex_);
        held_.insert(url);
    }
    void Release(const std::string& url) {
        {
            const std::lock_guard lock(mutex_);
            held_.erase(url);
        }
        changed_.notify_all();
    }
    void WaitOpened(const std::string& url) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10s, [&] {
            return std::find(opened_.begin(), opened_.end(), url) != opened_.end();
        });
    }
    std::vector<std::string> Opened() {
        const std::lock_guard lock(mutex_);
        return opened_;
    }
    audio::Handle Made(const std::string& url) {
        const std::lock_guard lock(mutex_);
        return made_[url];
    }
    std::uint32_t Flags() {
        const std::lock_guard lock(mutex_);
        return flags_;
    }
    std::string File(const std::string& name) const { return dir_ / name; }

  private:
    TempDir dir_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string> held_;
    std::vector<std::string> opened_;
    std::map<std::string, audio::Handle> made_;
    std::uint32_t flags_ = 0;
};

// The station titles the engine tells.
struct TitleLog final : PlaybackListener {
    void StationTitleChanged(const std::string& title) override { titles.push_back(title); }
    std::vector<std::string> titles;
};

struct RadioRig {
    RadioRig() : f(home.path()), caption(f.player) {
        f.player.events.Attach(caption);
        f.player.events.Attach(told);
        f.player.engine.Device = audio::test::kDevice;
        f.player.app.ProgramTitle = kProgramTitle;
        engine = std::make_unique<Engine>(f.player, view);
        engine->Connector().SetOpenUrl(stations.Open());
        f.player.engine.PlayMode = 1;
    }
    ~RadioRig() {
        engine.reset();
        audio::Free();
        f.player.events.Detach(told);
        f.player.events.Detach(caption);
    }
    void SetList(const std::vector<std::string>& entries) {
        f.player.playlist.PlaylistEntries = entries;
        f.view.rowCount = static_cast<int>(entries.size());
    }
    // Runs what the workers handed to the UI thread until none is left running.
    void Settle() {
        while (engine->Connector().Running() > 0) {
            f.loop.WaitForPosted(50ms);
            f.loop.RunPosted();
        }
        f.loop.RunPosted();
    }
    static bool Freed(audio::Handle h) {
        audio::ChannelInfo info;
        return !audio::ChannelGetInfo(h, &info);
    }

    TempDir home;
    test::FakePlayer f;
    CaptionFollower caption;
    TitleLog told;
    test::FakePlaybackView view;
    Stations stations;
    std::unique_ptr<Engine> engine;
};

TEST(StationConnect, ThreeStationsInHalfASecondOpenOnlyTheLast) {
    RadioRig rig;
    rig.SetList({"http://one/a|A", "http://one/b|B", "http://one/c|Station C", "/x.wav"});
    rig.engine->PlayEntry(0);
    EXPECT_EQ(rig.f.view.status[3], "Connecting A...");
    EXPECT_EQ(rig.f.player.engine.PlayMode, 0);
    EXPECT_TRUE(rig.view.recordVisible);
    EXPECT_EQ(rig.view.timeLabelLeft, 146);
    rig.engine->PlayEntry(1);
    rig.engine->PlayEntry(2);
    EXPECT_EQ(rig.f.view.status[3], "Connecting Station C...");
    EXPECT_EQ(rig.f.view.timeLabel, "");
    rig.Settle();
    EXPECT_EQ(rig.stations.Opened(), std::vector<std::string>{"http://one/c"});
    EXPECT_EQ(rig.stations.Flags(), audio::kStreamDecode | audio::kStreamStatus);
    EXPECT_EQ(rig.engine->ConnectSerial(), 1);
    EXPECT_NE(rig.engine->SourceStream(), 0u);
    EXPECT_NE(rig.engine->OutputChannel(), 0u);
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 2);
    EXPECT_EQ(rig.f.player.playlist.PlayingEntry, "http://one/c|Station C");
}

TEST(StationConnect, AStationPlaysWhatItDeliversAndEndsOnlyWhenItStops) {
    RadioRig rig;
    rig.SetList({"http://two/a|Two", "/next.wav"});
    rig.engine->PlayEntry(0);
    rig.Settle();
    ASSERT_NE(rig.engine->OutputChannel(), 0u);
    const auto expected = test::DecodeAll(rig.stations.File("two.wav"));
    std::vector<std::uint8_t> heard;
    for (int i = 0; i < 30; ++i) {
        audio::test::Update();
        const auto played = audio::test::Advance(17640);
        heard.insert(heard.end(), played.begin(), played.end());
        rig.engine->StatusTick();
    }
    ASSERT_GE(heard.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), heard.begin()));
    // A station that has ended is tried again; the next entry does not start.
    EXPECT_EQ(rig.f.view.status[3], "Reconnecting... (1)");
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 0);
    EXPECT_NE(rig.engine->SourceStream(), 0u);
}

TEST(StationConnect, AWorkerSupersededWhileConnectingHasItsStreamFreed) {
    RadioRig rig;
    rig.SetList({"http://one/slow|Slow", "http://two/quick|Quick"});
    rig.stations.Hold("http://one/slow");
    rig.engine->PlayEntry(0);
    rig.stations.WaitOpened("http://one/slow");
    rig.engine->PlayEntry(1);
    rig.stations.WaitOpened("http://two/quick");
    while (rig.engine->OutputChannel() == 0) {
        rig.f.loop.WaitForPosted(50ms);
        rig.f.loop.RunPosted();
    }
    const audio::Handle quick = rig.engine->SourceStream();
    rig.stations.Release("http://one/slow");
    rig.Settle();
    EXPECT_EQ(rig.engine->SourceStream(), quick);
    EXPECT_EQ(rig.f.player.playlist.PlayingEntry, "http://two/quick|Quick");
    ASSERT_NE(rig.stations.Made("http://one/slow"), 0u);
    EXPECT_TRUE(RadioRig::Freed(rig.stations.Made("http://one/slow")));
    EXPECT_EQ(audio::ChannelIsActive(rig.engine->OutputChannel()), audio::kActivePlaying);
}

TEST(StationConnect, AStationStillConnectingWhenAFileStartsNeverPlaysLater) {
    RadioRig rig;
    test::WriteWav(rig.home / "file.wav", test::Tone(44100, 2.0, 300), 44100);
    rig.SetList({"http://one/old|Old", rig.home / "file.wav", "http://two/new|New"});
    rig.stations.Hold("http://one/old");
    rig.stations.Hold("http://two/new");
    rig.engine->PlayEntry(0);
    rig.stations.WaitOpened("http://one/old");
    rig.engine->PlayEntry(1);
    EXPECT_EQ(rig.engine->ConnectSerial(), 0);
    rig.engine->Settle();
    EXPECT_FALSE(rig.view.recordVisible);
    rig.engine->PlayEntry(2);
    rig.stations.WaitOpened("http://two/new");
    // Both carry serial 1 now: the old one must still not be taken.
    rig.stations.Release("http://one/old");
    // Other hand-overs (the file's read-ahead) may come first: a bounded number
    // of rounds for the old station's to land.
    const auto oldFreed = [&] {
        const audio::Handle old = rig.stations.Made("http://one/old");
        return old != 0 && RadioRig::Freed(old);
    };
    for (int round = 0; round < 100 && !oldFreed(); ++round) {
        rig.f.loop.WaitForPosted(100ms);
        rig.f.loop.RunPosted();
    }
    EXPECT_EQ(rig.engine->SourceStream(), 0u);
    EXPECT_TRUE(oldFreed());
    rig.stations.Release("http://two/new");
    rig.Settle();
    EXPECT_EQ(rig.f.player.playlist.PlayingEntry, "http://two/new|New");
    audio::ChannelInfo info;
    ASSERT_TRUE(audio::ChannelGetInfo(rig.engine->SourceStream(), &info));
    EXPECT_EQ(audio::StreamGetLength(rig.engine->SourceStream()),
              test::DecodeAll(rig.stations.File("two.wav")).size());
}

TEST(StationConnect, FailuresStopThePlayerWithTheirMessage) {
    test::IcyServer server;
    server.Route("/page", test::IcyStation("<html><body>Not radio</body></html>", "text/html", 0,
                                           "HTTP/1.0 200 OK"));
    server.Route("/absurd", test::IcyStation("\xff\xfb\x90\x00", "audio/mpeg", 1u << 30));
    test::IcyReply notHttp;
    notHttp.status = "ICY 400 Server Full";
    server.Route("/full", notHttp);
    test::IcyReply silent;
    silent.silent = true;
    server.Route("/silent", silent);
    RadioRig rig;
    rig.engine->Connector().SetOpenUrl(LibraryOpenUrl());
    audio::SetConfig(audio::kConfigNetTimeout, 500);
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(test::IcyServer::ClosedPort()) + "/";
    rig.SetList({refused + "|Refused", server.Url("/silent") + "|Silent",
                 server.Url("/page") + "|Page", server.Url("/absurd") + "|Absurd",
                 server.Url("/full") + "|Full"});
    const char* expected[] = {
        "Error opening URL.", "Error opening URL: Connection timed out.",
        "Error opening URL: The address leads to no radio stream.",
        "Error opening URL: The station sends its titles at an impossible interval.",
        "Error opening URL: Can't logon to server or server is full."};
    for (int i = 0; i < 5; ++i) {
        rig.f.dialogs.notices.clear();
        rig.engine->PlayEntry(i);
        rig.Settle();
        ASSERT_EQ(rig.f.dialogs.notices.size(), 1u) << i;
        EXPECT_EQ(rig.f.dialogs.notices[0].kind, NoticeKind::Information);
        EXPECT_EQ(rig.f.dialogs.notices[0].text, expected[i]);
        EXPECT_FALSE(rig.f.player.engine.DeviceReady);
        EXPECT_EQ(rig.f.view.caption, kProgramTitle);
        EXPECT_EQ(rig.engine->SourceStream(), 0u);
    }
    audio::SetConfig(audio::kConfigNetTimeout, 12000);
    rig.f.dialogs.notices.clear();
    rig.engine->ConnectFinished(0, rig.engine->ConnectSerial(), audio::kErrorNoNet);
    ASSERT_EQ(rig.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text, "Error opening URL: Error code 32");
    // A stale result is dropped without a word and its stream freed.
    rig.f.dialogs.notices.clear();
    const std::string file = rig.stations.File("two.wav");
    const audio::Handle stale =
        audio::StreamCreateFile(false, file.c_str(), 0, 0, audio::kStreamDecode);
    rig.engine->ConnectFinished(stale, rig.engine->ConnectSerial() + 1, 0);
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
    EXPECT_TRUE(RadioRig::Freed(stale));
    EXPECT_EQ(rig.engine->SourceStream(), 0u);
}

TEST(StationStatus, TagsAreReadOnCalls20And320And620WithTheComputedRate) {
    RadioRig rig;
    rig.SetList({"http://one/a|Jazz Radio"});
    rig.engine->PlayEntry(0);
    rig.Settle();
    ASSERT_NE(rig.engine->OutputChannel(), 0u);
    std::vector<int> refreshed;
    for (int call = 1; call <= 700; ++call) {
        rig.f.view.timeLabel.clear();
        rig.engine->UpdateRadioStatus();
        if (!rig.f.view.timeLabel.empty()) {
            refreshed.push_back(call);
        }
    }
    EXPECT_EQ(refreshed, (std::vector<int>{20, 320, 620}));
    // A local file has no "icy-br": the average rate of a 44.1 kHz stereo WAV.
    EXPECT_EQ(rig.f.view.status[3], "1411 Kbps 44100 Hz - Stereo");
    rig.engine->UpdateRadioStatus();
    EXPECT_EQ(rig.f.view.caption, "Jazz Radio - Mirvo");
    rig.f.view.timeLabel.clear();
    for (int i = 0; i < 300; ++i) {
        rig.engine->UpdateRadioStatus();
    }
    EXPECT_EQ(rig.f.view.timeLabel, "Playing internet stream at 176 KB/s");
}

// Real stations on the loopback ICY server ------------------------------------

// 128 kbit/s stereo MP3 at 44.1 kHz, made once.
const std::string& Mp3Body() {
    static const TempDir dir;
    static const std::string body = [] {
        const std::string wav = dir / "tone.wav";
        const std::string mp3 = dir / "tone.mp3";
        test::WriteWav(wav, test::Tone(44100, 6.0, 440), 44100);
        if (!test::Encode("lame --quiet -b 128 " + wav + " " + mp3)) {
            return std::string();
        }
        std::ifstream in(mp3, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    return body;
}

struct IcyRig : RadioRig {
    IcyRig() { engine->Connector().SetOpenUrl(LibraryOpenUrl()); }
    // Plays `entry`: the worker connects, the device plays 100 ms per step and
    // the status refresh ticks after each step.
    void Play(const std::string& entry) {
        SetList({entry, "/next.wav"});
        engine->PlayEntry(0);
        Settle();
    }
    // Steps until `done`, for at most a minute of the station's sound.
    bool StepUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 600; ++i) {
            Step();
            if (done()) {
                return true;
            }
        }
        return false;
    }
    void Step(int times = 1) {
        for (int i = 0; i < times; ++i) {
            audio::test::Update();
            audio::test::Advance(17640);
            engine->StatusTick();
        }
    }
    test::IcyServer server;
};

TEST(StationOverIcy, TheStatusLineShowsRateFormatAndTitle) {
    ASSERT_FALSE(Mp3Body().empty());
    IcyRig rig;
    test::IcyReply station = test::IcyStation(Mp3Body(), "audio/mpeg", 8192);
    station.loop = true;
    station.meta = {"StreamTitle='Miles Davis; Coltrane - So What &#8212; Live\x07';StreamUrl='';"};
    rig.server.Route("/live", station);
    test::IcyReply bare = station;
    bare.headers = {
        {"icy-name", "No Rate"}, {"content-type", "audio/mpeg"}, {"icy-metaint", "8192"}};
    bare.meta = {"StreamTitle='';"};
    rig.server.Route("/bare", bare);

    test::FakeShell shell;
    rig.f.player.shell = &shell;
    rig.Play(rig.server.Url("/live") + "|Jazz FM");
    ASSERT_NE(rig.engine->OutputChannel(), 0u);
    // The first look is on the 20th tick that finds the station playing; a
    // busy machine may let it stall a moment before.
    ASSERT_TRUE(rig.StepUntil([&] { return !rig.f.view.timeLabel.empty(); }));
    EXPECT_EQ(rig.f.view.status[3], "128 Kbps 44100 Hz - Stereo");
    EXPECT_EQ(rig.f.view.caption, "Miles Davis; Coltrane - So What \u2014 Live - Mirvo");
    // The song went out as a playback event, once while it stays the same.
    EXPECT_EQ(rig.told.titles,
              std::vector<std::string>{"Miles Davis; Coltrane - So What \u2014 Live"});
    rig.engine->RadioTickCount = 299;
    rig.Step();
    EXPECT_EQ(rig.told.titles.size(), 1u);
    ASSERT_FALSE(shell.hints.empty());
    EXPECT_EQ(shell.hints.back(), "Miles Davis; Coltrane - So What \u2014 Live");
    EXPECT_EQ(rig.f.view.timeLabel, "Playing internet stream at 16 KB/s");
    EXPECT_EQ(rig.view.position, 0);
    // The request asked for the in-stream titles.
    ASSERT_FALSE(rig.server.Requests().empty());
    EXPECT_EQ(rig.server.Requests().back().headers["icy-metadata"], "1");

    // Without a rate header the decoder's rate shows; the title is the entry's.
    rig.Play(rig.server.Url("/bare") + "|Plain Radio");
    ASSERT_TRUE(rig.StepUntil([&] { return !rig.f.view.timeLabel.empty(); }));
    EXPECT_EQ(rig.f.view.status[3], "128 Kbps 44100 Hz - Stereo");
    EXPECT_EQ(rig.f.view.caption, "Plain Radio - Mirvo");
    EXPECT_EQ(rig.f.view.timeLabel, "Playing internet stream at 16 KB/s");
}

TEST(StationOverIcy, AStalledStationBuffersAndACutOneSaysSoWithoutMovingOn) {
    ASSERT_FALSE(Mp3Body().empty());
    IcyRig rig;
    test::IcyReply station = test::IcyStation(Mp3Body(), "audio/mpeg");
    station.stallAfter = 20000;  // a little over a second of sound, then silence
    rig.server.Route("/stalls", station);
    rig.Play(rig.server.Url("/stalls") + "|Stalling");
    ASSERT_NE(rig.engine->OutputChannel(), 0u);
    // All the station sends before it stalls is in first: on a busy machine
    // the device would otherwise catch up with the download and wait a moment
    // before, which is not the wait looked for.
    const auto downloaded = [&] {
        const std::uint64_t got =
            audio::StreamGetFilePosition(rig.engine->SourceStream(), audio::kFilePosDownload);
        return got == audio::kPositionError ? 0 : got;
    };
    for (int i = 0; i < 1000 && downloaded() < station.stallAfter; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_GE(downloaded(), station.stallAfter);
    EXPECT_TRUE(rig.StepUntil([&] { return rig.f.view.status[3] == "Buffering...0%"; }));
    EXPECT_EQ(rig.engine->OutputState(), audio::kActiveStalled);
    rig.Step(30);
    EXPECT_EQ(rig.engine->OutputState(), audio::kActiveStalled);  // waits, never ends
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 0);

    test::IcyReply cut = test::IcyStation(Mp3Body(), "audio/mpeg");
    cut.closeAfter = 30000;
    rig.server.Route("/cut", cut);
    rig.Play(rig.server.Url("/cut") + "|Cut");
    EXPECT_TRUE(rig.StepUntil([&] { return rig.f.view.status[3] == "Reconnecting... (1)"; }));
    rig.Step(5);
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 0);
    EXPECT_EQ(rig.f.view.status[3], "Reconnecting... (1)");
}

// The reconnect timer's wait in seconds, 0 when none runs; `fire` runs it and
// hands the connect that follows over.
int ReconnectWait(IcyRig& rig, bool fire) {
    for (auto& [id, timer] : rig.f.loop.timers) {
        if (timer.interval >= 1s) {
            const int seconds = static_cast<int>(timer.interval / 1s);
            if (fire) {
                const auto tick = timer.tick;
                tick();
                rig.Settle();
            }
            return seconds;
        }
    }
    return 0;
}

// A station that drops comes back by itself on the same output, so that a
// recording goes on into the same file.
TEST(StationReconnect, ALostStationComesBackAndARecordingGoesOn) {
    ASSERT_FALSE(Mp3Body().empty());
    IcyRig rig;
    const TempDir records;
    rig.f.player.settings.WriteString("General", "RecordTempPath", records.path() + "/");
    test::IcyReply dropping = test::IcyStation(Mp3Body(), "audio/mpeg", 8192);
    dropping.loop = true;
    dropping.closeAfter = 120000;  // some seven seconds of sound
    rig.server.Route("/live", dropping);
    rig.Play(rig.server.Url("/live") + "|Live");
    ASSERT_NE(rig.engine->OutputChannel(), 0u);
    ASSERT_TRUE(rig.StepUntil([&] { return rig.engine->OutputState() == audio::kActivePlaying; }));
    rig.f.dialogs.yesNoAnswers.push_back(true);
    rig.engine->recorder().RecordStartAcExecute();
    ASSERT_TRUE(rig.engine->recorder().RecordingActive());
    ASSERT_TRUE(rig.StepUntil([&] { return rig.f.view.status[3] == "Reconnecting... (1)"; }));
    const audio::Handle output = rig.engine->OutputChannel();
    const audio::Handle lost = rig.engine->SourceStream();
    // The server is back with the station.
    test::IcyReply back = dropping;
    back.closeAfter = test::IcyReply::kNever;
    rig.server.Route("/live", back);
    EXPECT_EQ(ReconnectWait(rig, true), 1);
    EXPECT_NE(rig.engine->SourceStream(), lost);
    EXPECT_TRUE(RadioRig::Freed(lost));
    EXPECT_EQ(rig.engine->OutputChannel(), output);
    EXPECT_EQ(ReconnectWait(rig, false), 0);
    EXPECT_TRUE(
        rig.StepUntil([&] { return rig.f.view.status[3] == "128 Kbps 44100 Hz - Stereo"; }));
    EXPECT_TRUE(rig.engine->recorder().RecordingActive());
    EXPECT_TRUE(rig.engine->recorder().DspInstalled());
    EXPECT_TRUE(rig.f.view.timeLabel.starts_with("Recording... Left: ")) << rig.f.view.timeLabel;
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
}

// A station that stays away is tried after 1, 2, 4 ... 30 s for five minutes
// of waits, then says it is lost; Stop ends the trying at once.
TEST(StationReconnect, AStationThatStaysAwayIsGivenUpAndStopEndsTheTrying) {
    ASSERT_FALSE(Mp3Body().empty());
    IcyRig rig;
    test::IcyReply dropping = test::IcyStation(Mp3Body(), "audio/mpeg", 8192);
    dropping.closeAfter = 40000;
    rig.server.Route("/live", dropping);
    rig.Play(rig.server.Url("/live") + "|Live");
    ASSERT_TRUE(rig.StepUntil([&] { return rig.f.view.status[3] == "Reconnecting... (1)"; }));
    test::IcyReply gone =
        test::IcyStation("<html>gone</html>", "text/html", 0, "HTTP/1.0 404 Not Found");
    rig.server.Route("/live", gone);
    std::vector<int> waits;
    for (int attempt = 1; attempt <= 20 && ReconnectWait(rig, false) != 0; ++attempt) {
        EXPECT_EQ(rig.f.view.status[3], "Reconnecting... (" + std::to_string(attempt) + ")");
        waits.push_back(ReconnectWait(rig, true));
    }
    EXPECT_EQ(waits, (std::vector<int>{1, 2, 4, 8, 16, 30, 30, 30, 30, 30, 30, 30, 30}));
    EXPECT_TRUE(rig.StepUntil([&] { return rig.f.view.status[3] == "Error: Lost connection"; }));
    EXPECT_EQ(rig.engine->OutputState(), audio::kActiveStopped);
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 0);

    // Lost again, and stopped while it waits to try.
    rig.server.Route("/live", dropping);
    rig.Play(rig.server.Url("/live") + "|Live");
    ASSERT_TRUE(rig.StepUntil([&] { return rig.f.view.status[3] == "Reconnecting... (1)"; }));
    rig.engine->StopPlayback(true);
    EXPECT_EQ(ReconnectWait(rig, false), 0);
    EXPECT_EQ(rig.engine->Connector().Running(), 0);
    EXPECT_EQ(rig.f.view.status[3], "");
}

// Ten seconds of a tone in noise at 128 kbit/s from ffmpeg, as a live source
// sends it: no Info frame, no tag, frames of 417 and 418 bytes.
const std::string& LiveMp3Body() {
    static const TempDir dir;
    static const std::string body = [] {
        const std::string mp3 = dir / "live.mp3";
        if (!test::Encode("ffmpeg -nostdin -loglevel error -f lavfi -i "
                          "'sine=f=440:r=44100:d=10' -f lavfi -i "
                          "'anoisesrc=r=44100:d=10:a=0.3:c=pink' -filter_complex "
                          "'[0][1]amix=inputs=2,aformat=channel_layouts=stereo' -c:a libmp3lame "
                          "-b:a 128k -write_xing 0 -id3v2_version 0 " +
                          mp3)) {
            return std::string();
        }
        std::ifstream in(mp3, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    return body;
}

// A listener joins a live MP3 station anywhere: one byte into a frame, inside
// its header, in the middle, with the metadata block cutting a header and the
// data arriving in awkward pieces. Every start plays to the station's end.
TEST(StationStarts, AnMp3StationJoinedAnywhereNeverFallsSilent) {
    const std::string& live = LiveMp3Body();
    ASSERT_FALSE(live.empty());
    test::IcyServer server;
    audio::SetConfig(audio::kConfigNetTimeout, 5000);
    const std::size_t metaints[] = {8192, 16000, 417, 33};
    const std::vector<std::size_t> pieces[] = {
        {}, {1, 1, 2, 3, 417, 5, 1000}, {4096, 1, 8191}, {1, 417}};
    constexpr std::size_t kBody = 64000;  // four seconds at 128 kbit/s
    int silent = 0;
    for (int start = 0; start < 200; ++start) {
        // Frames are 417 or 418 bytes: these land on all kinds of places.
        const std::size_t offset = 1 + static_cast<std::size_t>(start) * 211 % 20000;
        test::IcyReply station =
            test::IcyStation(live.substr(offset, kBody), "audio/mpeg", metaints[start % 4]);
        station.pieces = pieces[start / 4 % 4];
        station.meta = {"StreamTitle='Live';"};
        const std::string path = "/live" + std::to_string(start);
        server.Route(path, station);
        const audio::Handle h = audio::StreamCreateURL(server.Url(path).c_str(), 0,
                                                       audio::kStreamDecode, nullptr, nullptr);
        ASSERT_NE(h, 0u) << start << " " << audio::ErrorGetCode();
        // Everything until the station ends, waited for at most twenty seconds.
        std::vector<char> buf(65536);
        std::uint64_t heard = 0;
        for (int i = 0; i < 2000 && audio::ChannelIsActive(h) != audio::kActiveStopped; ++i) {
            const std::uint32_t got = audio::ChannelGetData(h, buf.data(), 65536);
            if (got != audio::kDataError) {
                heard += got;
            }
            if (got == 0 || got == audio::kDataError) {
                std::this_thread::sleep_for(10ms);
            }
        }
        // The cut frames at either end may go; nothing more.
        if (heard < 3.9 * 44100 * 4) {
            ++silent;
            ADD_FAILURE() << "start " << start << " at byte " << offset << " fell silent after "
                          << heard / (44100.0 * 4) << " s";
        }
        audio::StreamFree(h);
    }
    EXPECT_EQ(silent, 0);
    audio::SetConfig(audio::kConfigNetTimeout, 12000);
}

// The program may end while a station connects or is asked for its name: the
// owners go at once instead of waiting out the network time-out.
TEST(StationExit, ConnectsAndNameLookupsEndWithTheirOwner) {
    test::IcyServer server;
    test::IcyReply silent;
    silent.silent = true;
    server.Route("/silent", silent);
    audio::SetConfig(audio::kConfigNetTimeout, 120000);
    const auto waitForRequests = [&](std::size_t n) {
        for (int i = 0; i < 4000 && server.Requests().size() < n; ++i) {
            std::this_thread::sleep_for(5ms);
        }
        return server.Requests().size() >= n;
    };
    // Destroyed on another thread; done long before the time-out, or it waited.
    const auto goesAtOnce = [](auto& owner) {
        auto gone = std::async(std::launch::async, [&] { owner.reset(); });
        return gone.wait_for(30s) == std::future_status::ready;
    };
    {
        auto rig = std::make_unique<RadioRig>();
        rig->engine->Connector().SetOpenUrl(LibraryOpenUrl());
        rig->SetList({server.Url("/silent") + "|Silent"});
        rig->engine->PlayEntry(0);
        ASSERT_TRUE(waitForRequests(1));
        EXPECT_TRUE(goesAtOnce(rig->engine));
    }
    {
        test::FakeEventLoop loop;
        auto lookup = std::make_unique<StationNameLookup>(loop);
        lookup->Start(server.Url("/silent"), 120s, [](const std::string&) {});
        ASSERT_TRUE(waitForRequests(2));
        EXPECT_TRUE(goesAtOnce(lookup));
    }
    audio::SetConfig(audio::kConfigNetTimeout, 12000);
}

// "Add &url..." ---------------------------------------------------------------

struct ListRig {
    ListRig() : f(home.path()), lists(f.player) {}
    TempDir home;
    test::FakePlayer f;
    StationLists lists;
};

TEST(AddStation, TypedAddressesBecomeEntriesTitledByThemselves) {
    ListRig rig;
    auto& entries = rig.f.player.playlist.PlaylistEntries;
    rig.f.dialogs.textAnswers = {"http://radio.example/My%20Jazz%20FM", "radio.example/stream",
                                 "HTTP://radio.example/LIST.PLS", std::nullopt};
    rig.lists.AddRadioAcExecute();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], "http://radio.example/My Jazz FM|http://radio.example/My Jazz FM");
    EXPECT_EQ(rig.f.view.status[1], "1 File");
    rig.lists.AddRadioAcExecute();
    ASSERT_EQ(rig.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text, "Not a valid URL");
    // ".pls" is looked for as typed: capitals make a plain station.
    rig.lists.AddRadioAcExecute();
    EXPECT_FALSE(rig.lists.Downloading());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1], "HTTP://radio.example/LIST.PLS|HTTP://radio.example/LIST.PLS");
    rig.lists.AddRadioAcExecute();  // cancelled
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(rig.f.dialogs.questions.back(), "Internet radio URL:");
}

TEST(AddStation, ARemoteListIsFetchedOffTheUiThreadAndItsEntriesAdded) {
    ListRig rig;
    test::HttpServer server([](const test::HttpRequest& request) {
        test::HttpReply reply;
        if (request.target != "/lists/jazz.pls") {
            reply.status = "404 Not Found";
            return reply;
        }
        reply.delay = 300ms;
        reply.body =
            "[playlist]\nNumberOfEntries=2\nFile1=http://127.0.0.1:1/one\nTitle1=Jazz One\n"
            "File2=http://127.0.0.1:1/two\nTitle2=Jazz Two\nVersion=2\n";
        return reply;
    });
    auto& entries = rig.f.player.playlist.PlaylistEntries;
    entries = {"/music/a.mp3"};
    rig.f.dialogs.textAnswers = {server.Base() + "/lists/jazz.pls"};
    rig.lists.AddRadioAcExecute();
    // Back at once: the answer is not there yet.
    EXPECT_TRUE(rig.lists.Downloading());
    EXPECT_EQ(entries.size(), 1u);
    ASSERT_TRUE(rig.f.loop.WaitForPosted());
    rig.f.loop.RunPosted();
    EXPECT_EQ(entries, (std::vector<std::string>{"/music/a.mp3", "http://127.0.0.1:1/one|Jazz One",
                                                 "http://127.0.0.1:1/two|Jazz Two"}));
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
    EXPECT_EQ(server.Requests().size(), 1u);

    // A missing list and a server that is not there say the same.
    rig.lists.OpenRemotePlaylist(server.Base() + "/lists/none.pls");
    rig.lists.OpenRemotePlaylist(
        "http://127.0.0.1:" + std::to_string(test::IcyServer::ClosedPort()) + "/lists/jazz.pls");
    // The second request starts when the first answer is taken: one run may take both.
    while (rig.f.dialogs.notices.size() < 2) {
        ASSERT_TRUE(rig.f.loop.WaitForPosted());
        rig.f.loop.RunPosted();
    }
    ASSERT_EQ(rig.f.dialogs.notices.size(), 2u);
    EXPECT_EQ(rig.f.dialogs.notices[1].text, "Could not connect to URL.");
    EXPECT_EQ(entries.size(), 3u);
}

// A list is read by its text or media type, whatever its address ends with,
// and only its web stations join the playlist: no local files, nothing
// relative, nothing in the program folder.
TEST(AddStation, ARemoteListIsReadByWhatItIsAndKeepsOnlyWebStations) {
    test::IcyServer server;
    const auto list = [&](const std::string& path, std::string body, std::string type) {
        server.Route(path,
                     test::IcyStation(std::move(body), std::move(type), 0, "HTTP/1.0 200 OK"));
        return server.Url(path);
    };
    ListRig rig;
    auto& entries = rig.f.player.playlist.PlaylistEntries;
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {list("/m3u.pls",
              "#EXTM3U\n#EXTINF:-1,One\nhttp://a/one\n#EXTINF:-1,Local\n/etc/passwd\n"
              "#EXTINF:-1,File\nfile:///etc/passwd\n#EXTINF:-1,Near\nnear.mp3\n"
              "#EXTINF:-1,Two\nHTTPS://b/two\n",
              "audio/x-mpegurl"),
         {"http://a/one|One", "HTTPS://b/two|Two"}},
        {list("/plain.pls", "http://c/three\nsub/four.mp3\n", "audio/x-mpegurl"),
         {"http://c/three"}},
        {list("/list.pls",
              "[playlist]\nFile1=music.mp3\nTitle1=Here\nFile2=http://d/five\nTitle2=Five\n",
              "text/plain"),
         {"http://d/five|Five"}},
        {list("/asx.pls",
              "<asx version=\"3.0\">\n<title>Jazz</title>\n<entry>\n<ref href=\"http://e/six\"/>\n"
              "</entry>\n</asx>\n",
              "video/x-ms-asf"),
         {"http://e/six|Jazz"}},
    };
    for (const auto& [url, expected] : cases) {
        entries.clear();
        rig.lists.OpenRemotePlaylist(url);
        ASSERT_TRUE(rig.f.loop.WaitForPosted());
        rig.f.loop.RunPosted();
        EXPECT_EQ(entries, expected) << url;
        EXPECT_TRUE(rig.f.dialogs.notices.empty()) << url;
    }
    EXPECT_TRUE(std::filesystem::is_empty(rig.home.path()));
    entries.clear();

    // What went wrong is said: a list past the limit, a page with no station.
    const std::string big = list("/big.pls", std::string(1100000, '#'), "audio/x-scpls");
    const std::string page = list("/page.pls", "<html><body>Moved</body></html>", "text/html");
    for (const std::string& url : {big, page}) {
        rig.lists.OpenRemotePlaylist(url);
        ASSERT_TRUE(rig.f.loop.WaitForPosted());
        rig.f.loop.RunPosted();
    }
    ASSERT_EQ(rig.f.dialogs.notices.size(), 2u);
    EXPECT_EQ(rig.f.dialogs.notices[0].text, "The station list is too large (over 1 MB).");
    EXPECT_EQ(rig.f.dialogs.notices[1].text, "The list holds no radio stations.");
    EXPECT_TRUE(entries.empty());
}

TEST(AddStation, ADownloadStillRunningEndsWithItsOwner) {
    std::mutex mutex;
    std::condition_variable wake;
    bool release = false;
    std::atomic<bool> answered{false};
    test::HttpServer server([&](const test::HttpRequest&) {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, 20s, [&] { return release; });
        answered = true;
        test::HttpReply reply;
        reply.body = "[playlist]\nFile1=http://127.0.0.1:1/x\n";
        return reply;
    });
    {
        ListRig rig;
        rig.lists.OpenRemotePlaylist(server.Base() + "/slow.pls");
        while (server.Requests().empty()) {
            std::this_thread::yield();
        }
    }
    // The request was cancelled, not waited out.
    EXPECT_FALSE(answered);
    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    wake.notify_all();
}

}  // namespace
}  // namespace mirvo
