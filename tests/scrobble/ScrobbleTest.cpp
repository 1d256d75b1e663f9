// The play history client against a service written for the tests, on loopback.
#include "scrobble/Scrobbling.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/HttpServer.h"
#include "fakes/ScrobbleService.h"
#include "fakes/TempDir.h"
#include "playback/Session.h"
#include "support/Files.h"
#include "tags/TagFixtures.h"

namespace mirvo {
namespace {

using namespace std::chrono_literals;
using namespace tagfixtures;
using Strings = std::vector<std::string>;
using test::FakeService;
using test::Form;

struct Client {
    explicit Client(const FakeService& service, std::string user = "John Doe")
        : client(dir / "Scrobbles.txt") {
        client.SetAccount({true, std::move(user), "secret", service.Base()});
        client.RetryPause = 1ms;
    }
    test::TempDir dir;
    ScrobbleClient client;
};

// An MP3 file as far as tags go: an ID3v2 tag and an ID3v1 tag.
std::string TaggedMp3(const test::TempDir& dir, const std::string& name, const std::string& title,
                      const std::string& extra = "") {
    const std::string path = dir / name;
    WriteFile(path, Id3v2Tag(3, Id3v2Text(3, "TIT2", title) + extra) + std::string(400, '\0') +
                        Id3v1("", "V1 Artist", "V1 Album", "", "", 0));
    return path;
}

TEST(Scrobbling, TracksAreGatheredFromEachKindOfTag) {
    test::TempDir dir;
    using namespace std::string_literals;
    const std::string mp3 = TaggedMp3(
        dir, "a.mp3", "Title",
        Id3v2Text(3, "TRCK", "03/12") + Id3v2Frame(3, "UFID", "http://musicbrainz.org\0abc-123"s));
    ScrobbleTrack t = GatherTrack(mp3, 200);
    EXPECT_EQ(t.Title, "Title");
    EXPECT_EQ(t.Artist, "V1 Artist");  // missing in ID3v2
    EXPECT_EQ(t.Album, "V1 Album");
    EXPECT_EQ(t.TrackNumber, 3);
    EXPECT_EQ(t.MusicBrainzID, "\0abc-123"s);  // the zero byte goes when sent
    EXPECT_EQ(t.Length, 200);

    const std::string flac = dir / "b.flac";
    WriteFile(flac, Flac(44100, 2, 16, 0,
                         FlacBlock(4,
                                   VorbisComments("v", {"ARTIST=F", "TITLE=G", "TRACKNUMBER=7",
                                                        "MUSICBRAINZ_TRACKID=m-1"}),
                                   true)));
    t = GatherTrack(flac, 5);
    EXPECT_EQ(t.Artist, "F");
    EXPECT_EQ(t.Title, "G");
    EXPECT_EQ(t.TrackNumber, 7);
    EXPECT_EQ(t.MusicBrainzID, "m-1");

    const std::string ogg = dir / "c.ogg";
    WriteFile(ogg, OggVorbisHeaders(2, 44100, 128000, "v", {"COMPOSER=C", "TRACKNUMBER=2-9"}));
    t = GatherTrack(ogg, 5);
    EXPECT_EQ(t.Artist, "C");
    EXPECT_EQ(t.TrackNumber, 2);

    EXPECT_EQ(GatherTrack(dir / "d.wav", 9).Title, "");
    EXPECT_EQ(ParseLeadingNumber("3/12"), 3);
    EXPECT_EQ(ParseLeadingNumber("03-12"), 3);
    EXPECT_EQ(ParseLeadingNumber("0/5"), 0);
    EXPECT_EQ(ParseLeadingNumber("x"), 0);
    EXPECT_EQ(ParseLeadingNumber(""), 0);
}

TEST(Scrobbling, RequestsCarryTheTrackAsTheProtocolWritesIt) {
    FakeService service;
    Client c(service);
    ScrobbleTrack track{" Rock & Roll/2 ", "Song", "Album", 3, std::string("\0mb-1", 5), 40};
    ASSERT_TRUE(c.client.Send(track, true));
    ASSERT_TRUE(c.client.Send({"", "", "", 0, "", 0}, true));
    auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 3u);  // one handshake, then the session is kept
    auto hs = Form(requests[0].target.substr(2));
    EXPECT_EQ(requests[0].target,
              "/?hs=true&p=1.2&c=mrv&v=0.1&u=John+Doe&t=" + hs["t"] + "&a=" + hs["a"]);
    EXPECT_NEAR(std::stoll(hs["t"]), std::time(nullptr), 5);
    EXPECT_EQ(requests[1].target, "/np");
    EXPECT_EQ(requests[1].body, "s=sid1&a=Rock+%26+Roll%2F2&t=Song&b=Album&l=40&n=3&m=mb-1");
    EXPECT_EQ(requests[2].body, "s=sid1&a=&t=&b=&l=&n=&m=");

    c.client.Submit(TaggedMp3(c.dir, "x.mp3", "Heard"), 40, 0);
    c.client.WaitForWorkers();
    requests = service.Requests();
    ASSERT_EQ(requests.size(), 4u);
    const std::string i = Form(requests[3].body)["i[0]"];
    EXPECT_EQ(requests[3].target, "/sub");
    EXPECT_EQ(
        requests[3].body,
        "s=sid1&a[0]=V1+Artist&t[0]=Heard&b[0]=V1+Album&l[0]=40&n[0]=&m[0]=&o[0]=P&r[0]=&i[0]=" +
            i);
    EXPECT_TRUE(c.client.Queue().empty());
}

TEST(Scrobbling, AnAnswerOtherThanOkMakesTheNextRequestHandShakeFirst) {
    FakeService service;
    Client c(service);
    const ScrobbleTrack track{"A", "T", "", 0, "", 100};
    ASSERT_TRUE(c.client.Send(track, true));
    service.postWord = "FAILED Plays";
    EXPECT_FALSE(c.client.Send(track, true));
    service.postWord = "OK";
    EXPECT_TRUE(c.client.Send(track, true));
    EXPECT_EQ(service.Kinds(), (Strings{"hs", "np", "np", "hs", "np"}));

    service.handshakeWord = "BADAUTH";
    service.postWord = "garbage";
    EXPECT_FALSE(c.client.Send(track, true));  // the held session, answered with garbage
    EXPECT_FALSE(c.client.Send(track, true));  // refused
    EXPECT_FALSE(c.client.Send(track, true));  // no session was taken from the refusal
    EXPECT_EQ(service.Kinds(), (Strings{"hs", "np", "np", "hs", "np", "np", "hs", "hs"}));
}

TEST(Scrobbling, AFailingPlayIsTriedThreeTimesAndKeptUntilTheServiceTakesIt) {
    FakeService service;
    Client c(service);
    const std::string song = TaggedMp3(c.dir, "s.mp3", "Song");
    service.postWord = "FAILED";
    c.client.Submit(song, 60, 1);  // a notice is never kept
    c.client.Submit(song, 60, 0);
    c.client.WaitForWorkers();
    Strings kinds = service.Kinds();
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "np"), 3);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "sub"), 3);
    ASSERT_EQ(c.client.Queue().size(), 1u);
    const std::int64_t firstSent = c.client.Queue().front().SentAt;
    EXPECT_NE(ReadWholeFile(c.dir / "Scrobbles.txt").value_or(""), "");

    service.postWord = "OK";
    service.server.ClearRequests();
    c.client.Submit(TaggedMp3(c.dir, "t.mp3", "Next"), 61, 0);
    c.client.WaitForWorkers();
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 2u);
    auto form = Form(requests[1].body);
    EXPECT_EQ(form["t[0]"], "Song");
    EXPECT_EQ(form["i[0]"], std::to_string(firstSent));  // when it was first sent
    EXPECT_EQ(form["t[1]"], "Next");
    EXPECT_TRUE(c.client.Queue().empty());
    EXPECT_EQ(ReadWholeFile(c.dir / "Scrobbles.txt"), "");
}

TEST(Scrobbling, PlaysMadeOfflineArriveInOrderOnceEachAfterARestart) {
    FakeService service;
    test::TempDir dir;
    const std::string queue = dir / "Scrobbles.txt";
    Strings files;
    for (int n = 0; n <= 120; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d", n);
        files.push_back(TaggedMp3(dir, std::string(name) + ".mp3", std::string("Song ") + name));
    }
    service.server.Stop();
    {
        ScrobbleClient offline(queue);
        offline.SetAccount({true, "u", "secret", service.Base()});
        offline.RetryPause = 1ms;
        for (int n = 0; n < 120; ++n) {
            offline.Submit(files[static_cast<std::size_t>(n)], 100 + n, 0);
        }
        offline.WaitForWorkers();
        EXPECT_EQ(offline.Queue().size(), 120u);
    }
    service.server.Start();
    ScrobbleClient online(queue);
    ASSERT_EQ(online.Queue().size(), 120u);
    online.SetAccount({true, "u", "secret", service.Base()});
    online.Submit(files[120], 220, 0);
    online.WaitForWorkers();

    Strings titles;
    std::vector<std::size_t> perPost;
    for (const auto& r : service.Requests()) {
        if (r.target != "/sub") {
            continue;
        }
        auto form = Form(r.body);
        std::size_t n = 0;
        for (; form.count("t[" + std::to_string(n) + "]"); ++n) {
            titles.push_back(form["t[" + std::to_string(n) + "]"]);
            EXPECT_EQ(form["l[" + std::to_string(n) + "]"],
                      std::to_string(100 + titles.size() - 1));
        }
        perPost.push_back(n);
    }
    ASSERT_EQ(titles.size(), 121u);
    for (std::size_t n = 0; n < titles.size(); ++n) {
        char want[32];
        std::snprintf(want, sizeof want, "Song+%03zu", n);
        EXPECT_EQ(titles[n], want);
    }
    EXPECT_EQ(perPost, (std::vector<std::size_t>{50, 50, 21}));
    EXPECT_TRUE(online.Queue().empty());
}

TEST(Scrobbling, TheConnectionCheckTellsWhatTheServiceSaid) {
    FakeService service;
    Client c(service);
    std::mutex mutex;
    Strings messages;
    const auto check = [&] {
        c.client.CheckConnection([&](const std::string& m) {
            const std::lock_guard lock(mutex);
            messages.push_back(m);
        });
        c.client.WaitForWorkers();
    };
    service.handshakeWord = "BADAUTH";
    check();
    service.handshakeWord = "OK";
    check();
    check();  // the check keeps no session: it asks again
    ASSERT_TRUE(c.client.Send({"A", "T", "", 0, "", 100}, true));
    check();  // a session is held: nothing to check, nothing said
    service.server.Stop();
    ScrobbleClient unreachable(c.dir / "other.txt");
    unreachable.SetAccount({true, "u", "p", service.Base()});
    unreachable.CheckConnection([&](const std::string& m) { messages.push_back(m); });
    unreachable.WaitForWorkers();
    EXPECT_EQ(messages, (Strings{"Authentication last.fm: BADAUTH", "Authentication last.fm: OK",
                                 "Authentication last.fm: OK", "Can not connect to last.fm"}));
}

TEST(Scrobbling, StationsAndDisabledReportingStartNoWorker) {
    FakeService service;
    Client c(service);
    c.client.Submit("http://radio.example/stream", 100, 1);
    c.client.Submit(c.dir / "gone.mp3", 100, 0);
    c.client.Submit("", 100, 0);
    c.client.SetAccount({false, "u", "secret", service.Base()});
    c.client.Submit(TaggedMp3(c.dir, "a.mp3", "A"), 100, 0);
    c.client.WaitForWorkers();
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_TRUE(c.client.Queue().empty());
}

TEST(Scrobbling, ARealPlayPastHalfIsReportedOnceWithItsTrack) {
    FakeService service;
    Client c(service);
    const std::string wav = c.dir / "tone.wav";
    test::WriteWav(wav, test::Tone(44100, 40.0, 440), 44100);
    const std::string song = c.dir / "song.mp3";
    ASSERT_TRUE(test::Encode("lame --quiet -b 64 --tt Played --ta Band " + wav + " " + song));
    test::FakePlayer f(c.dir.path());
    f.player.engine.Device = audio::test::kDevice;
    f.player.engine.PlayMode = 3;
    f.player.playlist.PlaylistEntries = {song};
    test::FakePlaybackView bar;
    class NoMeters : public MeterView {
        void ShowLevelMeterStyle(int) override {}
        void SetMeterLeds(int, int, int) override {}
        void ShowVolumeBar(VolumeBarCause) override {}
        void HideVolumeBar() override {}
    } meters;
    {
        Session session(f.player, bar, meters, &c.client);
        session.engine().PlayEntry(0);
        for (int step = 0; step < 2000 && f.player.engine.DeviceReady; ++step) {
            audio::test::Update();
            audio::test::Advance(1455 * 4);  // one status period of sound
            session.engine().StatusTick();
        }
        EXPECT_FALSE(f.player.engine.DeviceReady);
        c.client.WaitForWorkers();
    }
    audio::Free();
    const auto requests = service.Requests();
    ASSERT_EQ(service.Kinds(), (Strings{"hs", "np", "sub"}));
    EXPECT_EQ(Form(requests[1].body)["t"], "Played");
    EXPECT_EQ(Form(requests[1].body)["a"], "Band");
    EXPECT_EQ(Form(requests[2].body)["t[0]"], "Played");
    EXPECT_EQ(Form(requests[2].body)["l[0]"], Form(requests[1].body)["l"]);
}

}  // namespace
}  // namespace mirvo
