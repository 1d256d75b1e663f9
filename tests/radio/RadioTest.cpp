// Stations without a network: the tag routines, the connect workers with an
// open of the test's own (local files as stations) on the audio library's
// test device, and the "Add &url..." command against a loopback HTTP server.
#include "playback/Radio.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
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
        return [this](const std::string& url, std::uint32_t flags) -> audio::Handle {
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

struct RadioRig {
    RadioRig() : f(home.path()) {
        f.player.engine.Device = audio::test::kDevice;
        f.player.app.ProgramTitle = kProgramTitle;
        engine = std::make_unique<Engine>(f.player, view);
        engine->Connector().SetOpenUrl(stations.Open());
        f.player.engine.PlayMode = 1;
    }
    ~RadioRig() {
        engine.reset();
        audio::Free();
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
    EXPECT_EQ(rig.engine->OutputState(), audio::kActiveStopped);
    // A station that has ended says so and stays; the next entry does not start.
    EXPECT_EQ(rig.f.view.status[3], "Error: Lost connection");
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
    ASSERT_TRUE(rig.f.loop.WaitForPosted());
    rig.f.loop.RunPosted();
    EXPECT_EQ(rig.engine->SourceStream(), 0u);
    EXPECT_TRUE(RadioRig::Freed(rig.stations.Made("http://one/old")));
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
    test::IcyReply silent;
    silent.silent = true;
    server.Route("/silent", silent);
    RadioRig rig;
    rig.engine->Connector().SetOpenUrl(LibraryOpenUrl());
    audio::SetConfig(audio::kConfigNetTimeout, 500);
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(test::IcyServer::ClosedPort()) + "/";
    rig.SetList(
        {refused + "|Refused", server.Url("/silent") + "|Silent", server.Url("/page") + "|Page"});
    const char* expected[] = {"Error opening URL.", "Error opening URL: Connection timed out.",
                              "Error opening URL: Can't logon to server or server is full."};
    for (int i = 0; i < 3; ++i) {
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
    station.meta = {"StreamTitle='Miles Davis - So What';StreamUrl='';"};
    rig.server.Route("/live", station);
    test::IcyReply bare = station;
    bare.headers = {
        {"icy-name", "No Rate"}, {"content-type", "audio/mpeg"}, {"icy-metaint", "8192"}};
    bare.meta = {"StreamTitle='';"};
    rig.server.Route("/bare", bare);

    rig.Play(rig.server.Url("/live") + "|Jazz FM");
    ASSERT_NE(rig.engine->OutputChannel(), 0u);
    // The first look is on the 20th tick that finds the station playing; a
    // busy machine may let it stall a moment before.
    ASSERT_TRUE(rig.StepUntil([&] { return !rig.f.view.timeLabel.empty(); }));
    EXPECT_EQ(rig.f.view.status[3], "128 Kbps 44100 Hz - Stereo");
    EXPECT_EQ(rig.f.view.caption, "Miles Davis - So What - Mirvo");
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
    EXPECT_TRUE(rig.StepUntil([&] { return rig.f.view.status[3] == "Buffering...0%"; }));
    EXPECT_EQ(rig.engine->OutputState(), audio::kActiveStalled);
    rig.Step(30);
    EXPECT_EQ(rig.engine->OutputState(), audio::kActiveStalled);  // waits, never ends
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 0);

    test::IcyReply cut = test::IcyStation(Mp3Body(), "audio/mpeg");
    cut.closeAfter = 30000;
    rig.server.Route("/cut", cut);
    rig.Play(rig.server.Url("/cut") + "|Cut");
    EXPECT_TRUE(rig.StepUntil([&] { return rig.f.view.status[3] == "Error: Lost connection"; }));
    rig.Step(5);
    EXPECT_EQ(rig.f.player.playlist.PlayingIndex, 0);
    EXPECT_EQ(rig.f.view.status[3], "Error: Lost connection");
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
    EXPECT_FALSE(std::filesystem::exists(rig.home / "temp.pls"));
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
