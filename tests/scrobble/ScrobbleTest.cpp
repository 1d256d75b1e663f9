// The play history client against a service written for the tests, on loopback.
#include "scrobble/Scrobbling.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <map>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/HeardTrack.h"
#include "fakes/HttpServer.h"
#include "fakes/ScrobbleService.h"
#include "fakes/TempDir.h"
#include "playback/Session.h"
#include "scrobble/PlayReport.h"
#include "support/Files.h"
#include "tags/TagFixtures.h"

namespace mirvo {
namespace {

using namespace std::chrono_literals;
using namespace tagfixtures;
using Strings = std::vector<std::string>;
using test::FakeService;
using test::Form;

// Time as the test sets it: both clocks move only when told.
class TestClock final : public ScrobbleClock {
  public:
    std::int64_t UnixTime() const override { return start + elapsed / 1000; }
    std::chrono::steady_clock::time_point Monotonic() const override {
        return std::chrono::steady_clock::time_point(std::chrono::milliseconds(elapsed));
    }
    void Advance(std::chrono::milliseconds by) { elapsed += by.count(); }
    std::atomic<std::int64_t> start{1700000000};  // Unix time at elapsed 0
    std::atomic<std::int64_t> elapsed{0};         // milliseconds
};

// The form of the first request to `target`.
std::map<std::string, std::string> FormTo(const FakeService& service, const std::string& target) {
    for (const auto& r : service.Requests()) {
        if (r.target == target) {
            return Form(r.body);
        }
    }
    return {};
}

struct Client {
    explicit Client(const FakeService& service, std::string user = "John Doe",
                    const ScrobbleClock& clock = ScrobbleClock::System())
        : client(dir / "Scrobbles.txt", clock) {
        client.SetAccount({true, std::move(user), "secret", service.Base()});
        client.RetryPause = 1ms;
    }
    // A finished play, sent (or queued) before this returns.
    void Play(const std::string& file, int seconds = 100, std::int64_t startedAt = 1700000000) {
        client.Submit(test::HeardTrack(file), seconds, 0, startedAt);
        client.WaitForWorkers();
    }
    test::TempDir dir;
    ScrobbleClient client;
};

int Count(const Strings& kinds, const std::string& kind) {
    return static_cast<int>(std::count(kinds.begin(), kinds.end(), kind));
}

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
    ASSERT_TRUE(c.client.Send({"A", "T", "", 0, "", 0}, true));
    auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 3u);  // one handshake, then the session is kept
    auto hs = Form(requests[0].target.substr(2));
    EXPECT_EQ(requests[0].target,
              "/?hs=true&p=1.2&c=mrv&v=0.1&u=John+Doe&t=" + hs["t"] + "&a=" + hs["a"]);
    EXPECT_NEAR(std::stoll(hs["t"]), std::time(nullptr), 5);
    EXPECT_EQ(requests[1].target, "/np");
    EXPECT_EQ(requests[1].body, "s=sid1&a=Rock+%26+Roll%2F2&t=Song&b=Album&l=40&n=3&m=mb-1");
    EXPECT_EQ(requests[2].body, "s=sid1&a=A&t=T&b=&l=&n=&m=");

    // The time sent is when the play started, however long ago.
    c.Play(TaggedMp3(c.dir, "x.mp3", "Heard"), 40, 1234567890);
    requests = service.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3].target, "/sub");
    EXPECT_EQ(requests[3].body,
              "s=sid1&a[0]=V1+Artist&t[0]=Heard&b[0]=V1+Album&l[0]=40&n[0]=&m[0]=&o[0]=P&r[0]=&"
              "i[0]=1234567890");
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
    EXPECT_FALSE(c.client.HoldingOff());
    EXPECT_FALSE(c.client.Send(track, true));  // refused: no session, and no asking again soon
    EXPECT_TRUE(c.client.HoldingOff());
    EXPECT_FALSE(c.client.Send(track, true));
    EXPECT_EQ(service.Kinds(), (Strings{"hs", "np", "np", "hs", "np", "np", "hs"}));
}

// Three sends in a row without "OK" hold every request off for a minute;
// plays heard meanwhile wait on disk and go with the first send after it.
TEST(Scrobbling, AFailingServiceIsAskedThreeTimesThenLeftAloneWhilePlaysWait) {
    FakeService service;
    TestClock clock;
    Client c(service, "John Doe", clock);
    const std::string song = TaggedMp3(c.dir, "s.mp3", "Song");
    service.postWord = "FAILED";
    c.client.Submit(test::HeardTrack(song), 60, 1, clock.UnixTime());  // a notice is never kept
    c.client.WaitForWorkers();
    EXPECT_EQ(Count(service.Kinds(), "np"), 3);
    EXPECT_TRUE(c.client.HoldingOff());
    c.Play(song, 60, 1700000100);
    c.client.Submit(test::HeardTrack(song), 60, 1, clock.UnixTime());
    c.Play(TaggedMp3(c.dir, "t.mp3", "Next"), 61, 1700000200);
    Strings kinds = service.Kinds();
    EXPECT_EQ(kinds.size(), 6u) << "nothing is sent while holding off";
    ASSERT_EQ(c.client.Queue().size(), 2u);
    EXPECT_NE(ReadWholeFile(c.dir / "Scrobbles.txt").value_or(""), "");

    clock.Advance(59s);
    c.Play(song, 62, 1700000300);
    EXPECT_EQ(service.Kinds().size(), 6u);
    clock.Advance(2s);
    service.postWord = "OK";
    service.server.ClearRequests();
    c.Play(TaggedMp3(c.dir, "u.mp3", "Last"), 63, 1700000400);
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 2u);
    auto form = Form(requests[1].body);
    EXPECT_EQ(form["t[0]"], "Song");
    EXPECT_EQ(form["i[0]"], "1700000100");
    EXPECT_EQ(form["t[1]"], "Next");
    EXPECT_EQ(form["i[1]"], "1700000200");
    EXPECT_EQ(form["i[2]"], "1700000300");
    EXPECT_EQ(form["t[3]"], "Last");
    EXPECT_TRUE(c.client.Queue().empty());
    EXPECT_FALSE(c.client.HoldingOff());
    EXPECT_EQ(ReadWholeFile(c.dir / "Scrobbles.txt"), "");
}

// A refused account is not asked again soon, nor ever every few seconds:
// the waits double from a minute up to two hours. New details end the wait.
TEST(Scrobbling, ARefusedAccountWaitsLongerEachTimeUpToTwoHours) {
    FakeService service;
    TestClock clock;
    Client c(service, "John Doe", clock);
    const std::string song = TaggedMp3(c.dir, "s.mp3", "Song");
    service.password = "changed";
    c.Play(song);
    EXPECT_EQ(service.Kinds(), Strings{"hs"});
    for (const int minutes : {1, 2, 4, 8, 16, 32, 64, 120, 120}) {
        service.server.ClearRequests();
        clock.Advance(std::chrono::minutes(minutes) - 1s);
        c.client.Submit(test::HeardTrack(song), 100, 1, clock.UnixTime());
        c.Play(song);
        EXPECT_TRUE(service.Requests().empty()) << minutes;
        clock.Advance(1s);
        c.Play(song);
        EXPECT_EQ(service.Kinds(), Strings{"hs"}) << minutes;
    }
    EXPECT_EQ(c.client.Queue().size(), 19u);
    service.server.ClearRequests();
    c.client.SetAccount({true, "John Doe", "changed", service.Base()});
    c.Play(song);
    EXPECT_EQ(service.Kinds(), (Strings{"hs", "sub"}));
    EXPECT_EQ(service.Recorded().size(), 20u);
}

// An answer of 403 with BADAUTH is still the service's word, not a lost
// connection; a web server's error page says nothing the protocol knows.
TEST(Scrobbling, AnErrorStatusStillCarriesTheServicesWord) {
    FakeService service;
    TestClock clock;
    Client c(service, "John Doe", clock);
    Strings messages;
    const auto check = [&] {
        c.client.CheckConnection([&](const std::string& m) { messages.push_back(m); });
        c.client.WaitForWorkers();
    };
    service.handshakeStatus = "403 Forbidden";
    service.password = "other";
    check();
    c.Play(TaggedMp3(c.dir, "s.mp3", "Song"));
    EXPECT_TRUE(c.client.HoldingOff()) << "a refused account, not a lost connection";
    EXPECT_EQ(service.Kinds(), (Strings{"hs", "hs"}));

    test::HttpServer page([](const test::HttpRequest&) {
        return test::HttpReply{"503 Service Unavailable", "<html>\n<body>Down</body>\n"};
    });
    c.client.SetAccount({true, "John Doe", "secret", page.Base()});
    check();
    EXPECT_EQ(messages, (Strings{"Authentication last.fm: BADAUTH", "Can not connect to last.fm"}));
}

// A play the service refuses never holds up the plays after it.
TEST(Scrobbling, ARefusedPlayIsDroppedAndThePlaysAfterItAreRecorded) {
    FakeService service;
    TestClock clock;
    Client c(service, "John Doe", clock);
    service.refusedTitles = {"Refused"};
    c.Play(TaggedMp3(c.dir, "r.mp3", "Refused"));
    EXPECT_EQ(Count(service.Kinds(), "sub"), 3);
    ASSERT_EQ(c.client.Queue().size(), 1u) << "refused alone, it may be the service's trouble";
    c.Play(TaggedMp3(c.dir, "a.mp3", "Good 1"));
    c.Play(TaggedMp3(c.dir, "b.mp3", "Good 2"));
    clock.Advance(61s);
    c.Play(TaggedMp3(c.dir, "c.mp3", "Good 3"));
    EXPECT_EQ(service.Recorded(), (Strings{"Good+1", "Good+2", "Good+3"}));
    EXPECT_TRUE(c.client.Queue().empty());
    EXPECT_EQ(ReadWholeFile(c.dir / "Scrobbles.txt"), "");
    // It is gone for good: the next play goes alone.
    service.server.ClearRequests();
    c.Play(TaggedMp3(c.dir, "d.mp3", "Good 4"));
    EXPECT_EQ(Count(service.Kinds(), "sub"), 1);
}

// A service that answers FAILED to everything is in trouble, whatever the
// plays: none is dropped, and a send costs a bounded number of requests.
TEST(Scrobbling, AServiceRefusingEveryPlayLosesNone) {
    FakeService service;
    TestClock clock;
    test::TempDir dir;
    Strings titles;
    std::deque<QueuedPlay> queue;
    for (int n = 0; n < 60; ++n) {
        titles.push_back("Song+" + std::to_string(n));
        queue.push_back({{"Band", "Song " + std::to_string(n), "", 0, "", 100}, 1700000000 + n});
    }
    WriteFile(dir / "Scrobbles.txt", QueueText(queue));
    ScrobbleClient client(dir / "Scrobbles.txt", clock);
    client.SetAccount({true, "u", "secret", service.Base()});
    client.RetryPause = 1ms;
    service.postWord = "FAILED Database";
    client.Submit(test::HeardTrack(TaggedMp3(dir, "x.mp3", "Song 60")), 100, 0, 1700000060);
    client.WaitForWorkers();
    titles.push_back("Song+60");
    EXPECT_LE(Count(service.Kinds(), "sub"), 3 * 12);
    EXPECT_EQ(client.Queue().size(), 61u);
    service.postWord = "OK";
    clock.Advance(61s);
    client.Submit(test::HeardTrack(TaggedMp3(dir, "y.mp3", "Song 61")), 100, 0, 1700000061);
    client.WaitForWorkers();
    titles.push_back("Song+61");
    EXPECT_EQ(service.Recorded(), titles);
}

// Untagged files cannot be recorded by the service; a queue from an older
// version that holds such plays lets them go.
TEST(Scrobbling, PlaysWithoutArtistOrTitleAreNeitherQueuedNorSent) {
    FakeService service;
    Client c(service);
    const std::string untagged = c.dir / "untagged.mp3";
    WriteFile(untagged, std::string(1000, '\0'));
    const std::string titleOnly = c.dir / "title.mp3";
    WriteFile(titleOnly, Id3v2Tag(3, Id3v2Text(3, "TIT2", "Only a title")));
    c.client.Submit(test::HeardTrack(untagged), 100, 1, 1700000000);
    c.Play(untagged);
    c.Play(titleOnly);
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_TRUE(c.client.Queue().empty());

    WriteFile(c.dir / "old.txt",
              "1700000000\t100\t0\t\t\t\t\n"
              "1700000001\t100\t0\tBand\t \tAlbum\t\n"
              "1700000002\t100\t0\tBand\tSong\t\t\n");
    ScrobbleClient old(c.dir / "old.txt");
    ASSERT_EQ(old.Queue().size(), 1u);
    EXPECT_EQ(old.Queue().front().Track.Title, "Song");
}

// Plays of 2039 and later are kept and sent like any other.
TEST(Scrobbling, TimesPast2038SurviveTheQueueFile) {
    FakeService service;
    TestClock clock;
    clock.start = 2208988800;  // 1 January 2040
    Client c(service, "John Doe", clock);
    const std::string song = TaggedMp3(c.dir, "s.mp3", "Song");
    service.server.Stop();
    c.Play(song, 100, 2208988800);
    ASSERT_EQ(c.client.Queue().size(), 1u);
    service.server.Start();
    ScrobbleClient next(c.dir / "Scrobbles.txt", clock);
    ASSERT_EQ(next.Queue().size(), 1u);
    EXPECT_EQ(next.Queue().front().StartedAt, 2208988800);
    next.SetAccount({true, "u", "secret", service.Base()});
    next.Submit(test::HeardTrack(song), 100, 0, 2208989000);
    next.WaitForWorkers();
    const auto requests = service.Requests();
    ASSERT_EQ(service.Kinds(), (Strings{"hs", "sub"}));
    EXPECT_EQ(Form(requests[0].target.substr(2))["t"], "2208988800");
    EXPECT_EQ(Form(requests[1].body)["i[0]"], "2208988800");
    EXPECT_EQ(Form(requests[1].body)["i[1]"], "2208989000");
}

// The protocol counts a play after half of it or four minutes, whichever
// comes first, and takes the time it started, not the time it was sent.
TEST(Scrobbling, ALongTrackCountsAfterFourMinutesWithTheTimeItStarted) {
    FakeService service;
    TestClock clock;
    Client c(service, "John Doe", clock);
    const std::string song = TaggedMp3(c.dir, "long.mp3", "Long");
    PlayReport report(c.client, clock);
    const auto listen = [&](std::int64_t lengthMs, int seconds) {
        const std::int64_t started = clock.UnixTime();
        service.server.ClearRequests();
        report.TrackAudible(test::HeardTrack(song, lengthMs));
        for (int ms = 500; ms <= seconds * 1000; ms += 500) {
            clock.Advance(500ms);
            report.PositionAdvanced(ms, lengthMs, 33);
        }
        report.StateChanged(PlayState::Stopped);
        c.client.WaitForWorkers();
        return started;
    };
    // The notice and the play go on workers of their own, in either order.
    std::int64_t started = listen(540000, 250);  // nine minutes, left after 250 s
    EXPECT_EQ(Count(service.Kinds(), "np"), 1);
    EXPECT_EQ(FormTo(service, "/sub")["l[0]"], "540");
    EXPECT_EQ(FormTo(service, "/sub")["i[0]"], std::to_string(started));
    EXPECT_EQ(clock.UnixTime(), started + 250);

    listen(540000, 239);
    EXPECT_EQ(service.Kinds(), Strings{"np"});
    started = listen(100000, 51);  // half of a shorter one
    EXPECT_EQ(Count(service.Kinds(), "np"), 1);
    EXPECT_EQ(FormTo(service, "/sub")["i[0]"], std::to_string(started));
}

// Only files that are there are reported: one moved or deleted while it
// plays is not, though its tags came with the start.
TEST(Scrobbling, APlayWhoseFileWentWhileItPlayedIsNotReported) {
    FakeService service;
    TestClock clock;
    Client c(service, "John Doe", clock);
    const std::string song = TaggedMp3(c.dir, "moved.mp3", "Moved");
    PlayReport report(c.client, clock);
    report.TrackAudible(test::HeardTrack(song, 60000));
    std::filesystem::remove(song);
    for (int ms = 500; ms <= 40000; ms += 500) {
        clock.Advance(500ms);
        report.PositionAdvanced(ms, 60000, 33);
    }
    report.StateChanged(PlayState::Stopped);
    c.client.WaitForWorkers();
    EXPECT_TRUE(service.Kinds().empty());
    EXPECT_TRUE(c.client.Queue().empty());
}

// A play that ends while another send waits on a hung service is on disk at
// once: a kill then loses nothing.
TEST(Scrobbling, AFinishedPlayIsOnDiskWhileASendHangs) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a forked child of a thread-sanitized test starts no threads";
#endif
    test::TempDir dir;
    const std::string first = TaggedMp3(dir, "a.mp3", "First");
    const std::string second = TaggedMp3(dir, "b.mp3", "Second");
    const std::string queue = dir / "Scrobbles.txt";
    int toChild[2];
    int toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    // Forked before the server starts: the child has no thread but its own.
    const pid_t child = ::fork();
    if (child == 0) {
        int port = 0;
        char go = 0;
        if (::read(toChild[0], &port, sizeof port) != sizeof port) {
            ::_exit(1);
        }
        ScrobbleClient client(queue);
        client.SetAccount({true, "u", "secret", "http://127.0.0.1:" + std::to_string(port)});
        client.Submit(test::HeardTrack(first), 100, 0, 1700000000);
        if (::read(toChild[0], &go, 1) != 1) {
            ::_exit(1);
        }
        client.Submit(test::HeardTrack(second), 100, 0, 1700000100);
        while (client.Queue().size() < 2) {
            std::this_thread::sleep_for(1ms);
        }
        [[maybe_unused]] const ssize_t said = ::write(toParent[1], "q", 1);
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    // Declared before the service: its thread may still be leaving the hold
    // when the test ends.
    std::mutex mutex;
    std::condition_variable wake;
    bool hanging = false;
    bool release = false;
    FakeService service;
    service.beforeSubmission = [&] {
        std::unique_lock lock(mutex);
        hanging = true;
        wake.notify_all();
        wake.wait(lock, [&] { return release; });
    };
    const int port = service.server.Port();
    ASSERT_EQ(::write(toChild[1], &port, sizeof port), static_cast<ssize_t>(sizeof port));
    bool hung = false;
    {
        std::unique_lock lock(mutex);
        hung = wake.wait_for(lock, 30s, [&] { return hanging; });
    }
    ASSERT_EQ(::write(toChild[1], "g", 1), 1);
    // The child says when the second play is queued; the send of the first
    // still hangs, until long after this wait would have given up.
    pollfd said{toParent[0], POLLIN, 0};
    const bool queued = hung && ::poll(&said, 1, 20000) == 1;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    {
        const std::lock_guard lock(mutex);
        release = true;
    }
    wake.notify_all();
    for (const int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) {
        ::close(fd);
    }
    EXPECT_TRUE(hung);
    EXPECT_TRUE(queued) << "queueing waited for the send";
    const auto plays = ParseQueue(ReadWholeFile(queue).value_or(""));
    ASSERT_EQ(plays.size(), 2u);
    EXPECT_EQ(plays[0].Track.Title, "First");
    EXPECT_EQ(plays[1].Track.Title, "Second");
    EXPECT_EQ(plays[1].StartedAt, 1700000100);
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
            offline.Submit(test::HeardTrack(files[static_cast<std::size_t>(n)]), 100 + n, 0,
                           1700000000 + n);
        }
        offline.WaitForWorkers();
        EXPECT_EQ(offline.Queue().size(), 120u);
    }
    service.server.Start();
    ScrobbleClient online(queue);
    ASSERT_EQ(online.Queue().size(), 120u);
    online.SetAccount({true, "u", "secret", service.Base()});
    online.Submit(test::HeardTrack(files[120]), 220, 0, 1700000120);
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
    c.client.Submit(test::HeardTrack("http://radio.example/stream"), 100, 1, 0);
    c.client.Submit(test::HeardTrack(c.dir / "gone.mp3"), 100, 0, 0);
    c.client.Submit(test::HeardTrack(""), 100, 0, 0);
    c.client.SetAccount({false, "u", "secret", service.Base()});
    c.client.Submit(test::HeardTrack(TaggedMp3(c.dir, "a.mp3", "A")), 100, 0, 0);
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
    test::NoMeters meters;
    {
        Session session(f.player, bar, meters, &c.client);
        session.engine().PlayEntry(0);
        session.engine().Settle();
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
