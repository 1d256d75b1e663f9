// URL streams against the loopback ICY server: the metadata cut out of the audio
// at every interval, the tag blocks, file positions, error codes, playlists,
// stalls and closes, and each station format.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "AudioTestUtil.h"
#include "audio/TestDevice.h"
#include "fakes/IcyServer.h"

namespace {

using mirvo::test::IcyReply;
using mirvo::test::IcyServer;
using mirvo::test::IcyStation;
using namespace std::chrono_literals;

constexpr std::uint32_t kUrlFlags = audio::kStreamDecode | audio::kStreamStatus;

std::string FileBytes(const std::string& name) {
    std::ifstream file(audio_fixtures::Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Polls `done` for up to 20 s; only a guard against hanging, never a measurement.
template <typename F>
bool Eventually(F done) {
    for (int i = 0; i < 4000; ++i) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    return done();
}

// Everything a URL decode stream delivers until it stops (activity 0).
std::vector<std::uint8_t> Drain(audio::Handle h) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buf(16384);
    Eventually([&] {
        for (;;) {
            const std::uint32_t got = audio::ChannelGetData(h, buf.data(), 16384);
            if (got == 0 || got == audio::kDataError) {
                break;
            }
            out.insert(out.end(), buf.begin(), buf.begin() + got);
        }
        return audio::ChannelIsActive(h) == audio::kActiveStopped;
    });
    return out;
}

// Threads of this process now.
std::size_t Threads() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

std::vector<std::string> Lines(const std::string& block) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < block.size()) {
        const std::size_t end = block.find('\0', at);
        lines.push_back(block.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

class UrlTest : public ::testing::Test {
  protected:
    void SetUp() override { audio::SetConfig(audio::kConfigNetTimeout, 3000); }
    void TearDown() override { audio::SetConfig(audio::kConfigNetTimeout, 12000); }

    IcyServer server;
};

struct MetaCase {
    std::size_t metaint;
    const char* status;
};

class MetaintTest : public UrlTest, public ::testing::WithParamInterface<MetaCase> {};

// The audio left after cutting the metadata out is the body byte for byte: the
// same decode as without metadata, and the download count is the body's size.
TEST_P(MetaintTest, CutsMetadataOutOfTheAudio) {
    const std::string body = FileBytes("tone.mp3");
    server.Route("/plain", IcyStation(body, "audio/mpeg", 0, "HTTP/1.0 200 OK"));
    IcyReply station = IcyStation(body, "audio/mpeg", GetParam().metaint, GetParam().status);
    station.meta = {"StreamTitle='First';StreamUrl='';", "", "StreamTitle='Second';"};
    server.Route("/radio", station);

    const audio::Handle plain =
        audio::StreamCreateURL(server.Url("/plain").c_str(), 0, kUrlFlags, nullptr, nullptr);
    ASSERT_NE(plain, 0u) << audio::ErrorGetCode();
    const auto reference = Drain(plain);
    audio::StreamFree(plain);

    const audio::Handle h =
        audio::StreamCreateURL(server.Url("/radio").c_str(), 0, kUrlFlags, nullptr, nullptr);
    ASSERT_NE(h, 0u) << audio::ErrorGetCode();
    audio::ChannelInfo info;
    ASSERT_TRUE(audio::ChannelGetInfo(h, &info));
    EXPECT_EQ(info.Frequency, 44100u);
    EXPECT_EQ(info.Channels, 2u);
    EXPECT_EQ(info.StreamType, audio::kTypeMp3);
    EXPECT_NE(info.Flags & audio::kStreamDecode, 0u);
    EXPECT_EQ(audio::StreamGetLength(h), 0u);
    EXPECT_FALSE(audio::ChannelSetPosition(h, 0));

    const auto got = Drain(h);
    EXPECT_GT(reference.size(), 44100u * 4);
    EXPECT_TRUE(got == reference) << got.size() << " vs " << reference.size();
    EXPECT_EQ(audio::StreamGetFilePosition(h, audio::kFilePosDownload), body.size());
    EXPECT_EQ(audio::StreamGetFilePosition(h, audio::kFilePosCurrent), body.size());
    EXPECT_EQ(audio::ChannelGetPosition(h), got.size());
    EXPECT_FLOAT_EQ(audio::ChannelBytes2Seconds(h, 44100 * 4), 1.0f);

    const auto headers = audio::StreamGetTags(h, audio::kTagHttp);
    ASSERT_TRUE(headers);
    ASSERT_GE(headers->size(), 2u);
    EXPECT_EQ(headers->substr(headers->size() - 2), std::string(2, '\0'));
    const auto lines = Lines(*headers);
    EXPECT_EQ(lines.front(), GetParam().status);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "icy-name: Test Radio"), lines.end());
    EXPECT_EQ(lines.back(), "");

    const auto meta = audio::StreamGetTags(h, audio::kTagMeta);
    if (GetParam().metaint == 0) {
        EXPECT_FALSE(meta);
    } else {
        // The latest non-empty block of those sent within the body.
        const std::size_t blocks = body.size() / GetParam().metaint;
        ASSERT_TRUE(meta);
        EXPECT_EQ(*meta,
                  blocks >= 3 ? "StreamTitle='Second';" : "StreamTitle='First';StreamUrl='';");
    }
    EXPECT_TRUE(audio::StreamFree(h));
    auto request = server.Requests().back();
    EXPECT_EQ(request.headers["icy-metadata"], "1");
}

INSTANTIATE_TEST_SUITE_P(Intervals, MetaintTest,
                         ::testing::Values(MetaCase{0, "ICY 200 OK"}, MetaCase{1, "ICY 200 OK"},
                                           MetaCase{8192, "ICY 200 OK"},
                                           MetaCase{16000, "ICY 200 OK"},
                                           MetaCase{8192, "HTTP/1.0 200 OK"},
                                           MetaCase{16000, "HTTP/1.1 200 OK"}));

// A live station: the MP3 body again and again at about 128 kbit/s.
IcyReply LiveStation(std::size_t metaint = 8192) {
    IcyReply station = IcyStation(FileBytes("tone.mp3"), "audio/mpeg", metaint);
    station.loop = true;
    station.bytesPerSecond = 64000;
    return station;
}

audio::Handle Open(const std::string& url, std::uint32_t flags = kUrlFlags) {
    return audio::StreamCreateURL(url.c_str(), 0, flags, nullptr, nullptr);
}

TEST_F(UrlTest, TitlesInUtf8StayAndWindows1252IsConverted) {
    struct Case {
        std::string sent;
        std::string read;
    };
    const std::vector<Case> cases = {
        {"StreamTitle='Caf\xc3\xa9 \xe2\x98\x95';", "StreamTitle='Caf\xc3\xa9 \xe2\x98\x95';"},
        {"StreamTitle='Caf\xe9 \x80 M\xfcller';",
         "StreamTitle='Caf\xc3\xa9 \xe2\x82\xac M\xc3\xbcller';"},
        // Bytes that are not UTF-8 in the middle of a valid sequence start.
        {"StreamTitle='\xc3(';", "StreamTitle='\xc3\x83(';"}};
    for (const Case& c : cases) {
        IcyReply station = LiveStation(4096);
        station.meta = {c.sent};
        station.headers.emplace_back("icy-genre",
                                     "Fran\xe7"
                                     "ais");
        server.Route("/radio", station);
        const audio::Handle h = Open(server.Url("/radio"));
        ASSERT_NE(h, 0u) << audio::ErrorGetCode();
        EXPECT_TRUE(
            Eventually([&] { return audio::StreamGetTags(h, audio::kTagMeta).has_value(); }));
        EXPECT_EQ(audio::StreamGetTags(h, audio::kTagMeta).value_or(""), c.read);
        const auto lines = Lines(audio::StreamGetTags(h, audio::kTagHttp).value_or(""));
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            "icy-genre: Fran\xc3\xa7"
                            "ais"),
                  lines.end());
        audio::StreamFree(h);
    }
}

// The largest block a station can send (255 × 16 bytes) is read whole.
TEST_F(UrlTest, ReadsTheLargestMetadataBlock) {
    IcyReply station = LiveStation(16000);
    const std::string title = "StreamTitle='" + std::string(4080 - 16, 'x') + "';";
    station.meta = {title + std::string(4080 - title.size(), ' ')};
    server.Route("/radio", station);
    const audio::Handle h = Open(server.Url("/radio"));
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(Eventually([&] { return audio::StreamGetTags(h, audio::kTagMeta).has_value(); }));
    EXPECT_EQ(audio::StreamGetTags(h, audio::kTagMeta).value_or("").size(), 4080u);
    audio::StreamFree(h);
}

TEST_F(UrlTest, ErrorCodes) {
    server.Route("/missing", [] {
        IcyReply r = IcyStation("<html>gone</html>", "text/html", 0, "HTTP/1.0 404 Not Found");
        return r;
    }());
    server.Route("/page", IcyStation("<!DOCTYPE html><html><body>Hi</body></html>", "text/html", 0,
                                     "HTTP/1.0 200 OK"));
    server.Route("/full", IcyStation("Server is full, try later\r\n", "text/plain"));
    server.Route("/fakempeg", IcyStation("  <html><body>Login</body></html>", "audio/mpeg"));
    server.Route("/garbage", IcyStation(std::string(20000, 'z'), "application/octet-stream"));
    server.Route("/empty", IcyStation("", "audio/mpeg"));
    server.Route("/busy", IcyStation("", "audio/mpeg", 0, "ICY 401 Service Unavailable"));
    server.Route("/absurd", IcyStation(FileBytes("tone.mp3"), "audio/mpeg", 99999999999));
    IcyReply negative = IcyStation(FileBytes("tone.mp3"), "audio/mpeg");
    negative.headers.emplace_back("icy-metaint", "-8192");
    server.Route("/negative", negative);
    IcyReply slow = LiveStation();
    slow.delay = 10s;
    server.Route("/slow", slow);
    IcyReply silent;
    silent.silent = true;
    server.Route("/silent", silent);
    IcyReply headersOnly = LiveStation();
    headersOnly.stallAfter = 0;
    server.Route("/noaudio", headersOnly);
    // Long enough for a loaded machine to answer, short enough to wait out thrice.
    audio::SetConfig(audio::kConfigNetTimeout, 1500);
    const std::size_t threads = Threads();

    const std::string refused = "http://127.0.0.1:" + std::to_string(IcyServer::ClosedPort()) + "/";
    const std::vector<std::pair<std::string, int>> cases = {
        {refused, audio::kErrorFileOpen},
        {server.Url("/missing"), audio::kErrorFileOpen},
        {server.Url("/nowhere"), audio::kErrorFileOpen},
        {"http://no-such-host.invalid/stream", audio::kErrorNoNet},
        {server.Url("/slow"), audio::kErrorTimeout},
        {server.Url("/silent"), audio::kErrorTimeout},
        {server.Url("/noaudio"), audio::kErrorTimeout},
        // Answers, but nothing to play: a page, a text, bytes of no audio, nothing.
        {server.Url("/page"), audio::kErrorNotAudio},
        {server.Url("/full"), audio::kErrorNotAudio},
        {server.Url("/fakempeg"), audio::kErrorNotAudio},
        {server.Url("/garbage"), audio::kErrorNotAudio},
        {server.Url("/empty"), audio::kErrorNotAudio},
        // Not HTTP at all.
        {server.Url("/busy"), audio::kErrorFileFormat},
        {server.Url("/absurd"), audio::kErrorMetaInterval},
        {server.Url("/negative"), audio::kErrorMetaInterval},
        {"ftp://127.0.0.1/stream", audio::kErrorFileOpen},
    };
    for (const auto& [url, code] : cases) {
        EXPECT_EQ(Open(url), 0u) << url;
        EXPECT_EQ(audio::ErrorGetCode(), code) << url;
    }
    EXPECT_EQ(audio::StreamCreateURL(nullptr, 0, kUrlFlags, nullptr, nullptr), 0u);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorParameter);
    // Nothing is left connected to the stations that did not make it, and no
    // thread of the library's stays behind.
    EXPECT_TRUE(Eventually([&] { return server.Open() == 0; }));
    EXPECT_TRUE(Eventually([&] { return Threads() == threads; })) << Threads() << " " << threads;
}

// A station that closes, here in the middle of a metadata block, ends the
// stream once everything decoded has been read.
TEST_F(UrlTest, CloseInsideMetadataEndsTheStream) {
    IcyReply station = LiveStation(8192);
    station.meta = {"StreamTitle='Before the cut, a long title';"};
    station.closeAfter = 3 * (8192 + 1 + 48) + 8192 + 1 + 20;
    server.Route("/radio", station);
    const audio::Handle h = Open(server.Url("/radio"));
    ASSERT_NE(h, 0u);
    const auto got = Drain(h);
    EXPECT_EQ(audio::ChannelIsActive(h), audio::kActiveStopped);
    EXPECT_EQ(audio::StreamGetFilePosition(h, audio::kFilePosDownload), 4u * 8192);
    EXPECT_GT(got.size(), 44100u);  // 32 KB of 128 kbit/s: about two seconds
    EXPECT_EQ(audio::StreamGetTags(h, audio::kTagMeta).value_or(""),
              "StreamTitle='Before the cut, a long title';");
    EXPECT_EQ(audio::ChannelGetData(h, std::vector<char>(4096).data(), 4096), 0u);
    audio::StreamFree(h);
}

// A stalled station: the decode stream and the output channel fed from it
// report a stall, the compressed data waits in the download buffer, and the
// stream frees at once although the server still holds the connection.
TEST_F(UrlTest, StallIsReportedAndFreeingDoesNotWait) {
    IcyReply station = LiveStation(8192);
    station.bytesPerSecond = 0;
    station.stallAfter = 100000;
    server.Route("/radio", station);
    const std::size_t threads = Threads();
    const audio::Handle h = Open(server.Url("/radio"));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(Eventually(
        [&] { return audio::StreamGetFilePosition(h, audio::kFilePosDownload) == 100000; }));
    // Decoding runs only about a second ahead of the reader.
    const std::uint64_t decoded = audio::StreamGetFilePosition(h, audio::kFilePosCurrent);
    EXPECT_LT(decoded, 100000u - 40000u);

    ASSERT_TRUE(audio::Init(audio::test::kDevice, 44100, 0));
    struct Feed {
        audio::Handle source;
        static std::uint32_t Proc(audio::Handle, void* buffer, std::uint32_t length, void* user) {
            return audio::ChannelGetData(static_cast<Feed*>(user)->source, buffer, length);
        }
    } feed{h};
    const audio::Handle out = audio::StreamCreate(44100, 2, 0, Feed::Proc, &feed);
    ASSERT_NE(out, 0u);
    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    std::uint32_t outActivity = 0;
    EXPECT_TRUE(Eventually([&] {
        audio::test::Update();
        audio::test::Advance(44100);
        outActivity = audio::ChannelIsActive(out);
        return outActivity == audio::kActiveStalled;
    }));
    EXPECT_EQ(audio::ChannelIsActive(h), audio::kActiveStalled);
    EXPECT_EQ(audio::StreamGetFilePosition(h, audio::kFilePosDownload), 100000u);
    audio::StreamFree(out);
    audio::Free();

    EXPECT_EQ(server.Open(), 1);
    EXPECT_TRUE(audio::StreamFree(h));
    EXPECT_TRUE(Eventually([&] { return server.Open() == 0; }));
    // The download and decode threads are gone (and the server's for the station).
    EXPECT_TRUE(Eventually([&] { return Threads() == threads; }));
    EXPECT_FALSE(audio::StreamFree(h));
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorHandle);
    EXPECT_FALSE(audio::StreamGetTags(h, audio::kTagHttp));
}

// After a stall decoding waits for a reserve of the station's data, which the
// program shows as buffering, instead of going on frame by frame.
TEST_F(UrlTest, StallRefillsBeforeDecodingGoesOn) {
    IcyReply station = LiveStation(8192);
    station.bytesPerSecond = 40000;  // twice the station's rate
    station.stallAfter = 60000;
    station.stallFor = 2500ms;  // the reader waits past the one second of a stall
    server.Route("/radio", station);
    const audio::Handle h = Open(server.Url("/radio"));
    ASSERT_NE(h, 0u);
    std::vector<char> buf(65536);
    bool stalled = false;
    std::uint64_t reserve = 0;  // downloaded, not decoded, while stalled
    EXPECT_TRUE(Eventually([&] {
        std::uint32_t got = 0;
        for (std::uint32_t n; (n = audio::ChannelGetData(h, buf.data(), 65536)) > 0;) {
            got += n;
        }
        if (stalled && got > 0) {
            return true;  // flowing again
        }
        const std::uint64_t downloaded = audio::StreamGetFilePosition(h, audio::kFilePosDownload);
        if (audio::ChannelIsActive(h) == audio::kActiveStalled && downloaded >= 60000) {
            stalled = true;
            reserve = std::max(
                reserve, downloaded - audio::StreamGetFilePosition(h, audio::kFilePosCurrent));
        }
        return false;
    }));
    // Two seconds of 160 kbit/s.
    EXPECT_GE(reserve, 36000u);
    audio::StreamFree(h);
}

// Without the decode flag the station plays on an output channel of its own.
TEST_F(UrlTest, PlaysOnAnOutputChannel) {
    server.Route("/radio", LiveStation());
    ASSERT_TRUE(audio::Init(audio::test::kDevice, 44100, 0));
    const audio::Handle out = Open(server.Url("/radio"), 0);
    ASSERT_NE(out, 0u) << audio::ErrorGetCode();
    ASSERT_TRUE(audio::StreamPlay(out, false, 0));
    double energy = 0;
    EXPECT_TRUE(Eventually([&] {
        audio::test::Update();
        const auto played = audio_fixtures::AsSamples(audio::test::Advance(4410 * 4));
        for (const std::int16_t v : played) {
            energy += double(v) * v;
        }
        return energy > 1e9;
    }));
    EXPECT_EQ(audio::ChannelIsActive(out), audio::kActivePlaying);
    EXPECT_TRUE(audio::StreamFree(out));
    audio::Free();
}

// The station dialog's look: the headers as soon as they are there, then the
// first metadata block, and no audio.
TEST_F(UrlTest, StatusOnlyGivesHeadersAndTheFirstTitle) {
    IcyReply station = LiveStation(8192);
    station.meta = {"StreamTitle='Now';", "StreamTitle='Later';"};
    server.Route("/radio", station);
    IcyReply stalled = LiveStation(8192);
    stalled.stallAfter = 0;
    server.Route("/stalled", stalled);
    IcyReply far = LiveStation(1000000);
    far.bytesPerSecond = 0;
    server.Route("/far", far);

    const audio::Handle h = Open(server.Url("/radio"), audio::kStreamStatus);
    ASSERT_NE(h, 0u) << audio::ErrorGetCode();
    const auto lines = Lines(audio::StreamGetTags(h, audio::kTagHttp).value_or(""));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "icy-name: Test Radio"), lines.end());
    EXPECT_TRUE(Eventually([&] { return audio::StreamGetTags(h, audio::kTagMeta).has_value(); }));
    EXPECT_EQ(audio::StreamGetTags(h, audio::kTagMeta).value_or(""), "StreamTitle='Now';");
    EXPECT_TRUE(Eventually([&] { return server.Open() == 0; }));  // it hung up
    EXPECT_EQ(audio::ChannelGetData(h, std::vector<char>(4096).data(), 4096), 0u);
    audio::StreamFree(h);

    // A first block too far off is not waited for.
    const audio::Handle distant = Open(server.Url("/far"), audio::kStreamStatus);
    ASSERT_NE(distant, 0u);
    EXPECT_TRUE(Eventually([&] { return server.Open() == 0; }));
    EXPECT_LT(audio::StreamGetFilePosition(distant, audio::kFilePosDownload), 1000000u);
    audio::StreamFree(distant);

    // No audio at all: the headers are enough.
    const audio::Handle quiet = Open(server.Url("/stalled"), audio::kStreamStatus);
    ASSERT_NE(quiet, 0u) << audio::ErrorGetCode();
    EXPECT_TRUE(audio::StreamGetTags(quiet, audio::kTagHttp));
    EXPECT_FALSE(audio::StreamGetTags(quiet, audio::kTagMeta));
    audio::StreamFree(quiet);
}

TEST_F(UrlTest, FollowsPlaylistsAndRedirects) {
    server.Route("/stream", LiveStation());
    server.Route("/my%20station%C3%A9", LiveStation());
    server.Route("/list.pls",
                 IcyStation("[playlist]\r\nNumberOfEntries=1\r\nFile1=" + server.Url("/stream") +
                                "\r\nTitle1=Test\r\nLength1=-1\r\nVersion=2\r\n",
                            "audio/x-scpls", 0, "HTTP/1.0 200 OK"));
    server.Route("/list.m3u", IcyStation("#EXTM3U\n#EXTINF:-1,Test\n/stream\n", "audio/x-mpegurl",
                                         0, "HTTP/1.0 200 OK"));
    // A .pls served as plain text, found by its content.
    server.Route("/text", IcyStation("[Playlist]\nFile1=" + server.Url("/list.m3u") + "\n",
                                     "text/plain", 0, "HTTP/1.0 200 OK"));
    IcyReply moved = IcyStation("<html>Moved</html>", "text/html", 0, "HTTP/1.1 302 Found");
    moved.headers.emplace_back("Location", "/text");
    server.Route("/moved", moved);
    server.Route("/loop.pls", IcyStation("[playlist]\nFile1=" + server.Url("/loop.pls") + "\n",
                                         "audio/x-scpls", 0, "HTTP/1.0 200 OK"));
    server.Route(
        "/list.asx",
        IcyStation("<ASX version=\"3.0\">\r\n<Title>Test</Title>\r\n<Entry><Ref href = \"" +
                       server.Url("/stream") + "\" /></Entry>\r\n</ASX>\r\n",
                   "video/x-ms-asf", 0, "HTTP/1.0 200 OK"));
    server.Route("/asx.html", IcyStation("\r\n<asx version='3.0'><entry><ref href='" +
                                             server.Url("/list.m3u") + "'/></entry></asx>",
                                         "text/html", 0, "HTTP/1.0 200 OK"));
    server.Route("/nolist.pls", IcyStation("[playlist]\nNumberOfEntries=0\n", "audio/x-scpls", 0,
                                           "HTTP/1.0 200 OK"));

    // An address stored with a blank and a non-ASCII letter is sent encoded.
    for (const char* path : {"/list.pls", "/list.m3u", "/text", "/moved", "/list.asx", "/asx.html",
                             "/my station\xc3\xa9"}) {
        const audio::Handle h = Open(server.Url(path));
        ASSERT_NE(h, 0u) << path << " " << audio::ErrorGetCode();
        const auto lines = Lines(audio::StreamGetTags(h, audio::kTagHttp).value_or(""));
        EXPECT_EQ(lines.front(), "ICY 200 OK") << path;
        EXPECT_NE(std::find(lines.begin(), lines.end(), "icy-metaint: 8192"), lines.end());
        audio::StreamFree(h);
    }
    const audio::Handle status = Open(server.Url("/list.pls"), audio::kStreamStatus);
    ASSERT_NE(status, 0u);
    const auto lines = Lines(audio::StreamGetTags(status, audio::kTagHttp).value_or(""));
    EXPECT_EQ(lines.front(), "ICY 200 OK");
    audio::StreamFree(status);

    EXPECT_EQ(Open(server.Url("/loop.pls")), 0u);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorFileFormat);
    EXPECT_EQ(Open(server.Url("/nolist.pls")), 0u);
    EXPECT_EQ(audio::ErrorGetCode(), audio::kErrorNotAudio);
}

struct Station {
    const char* file;
    const char* contentType;
    std::uint32_t type;
    std::uint32_t rate;
    std::uint32_t channels;
    double seconds;          // of the source
    std::uint32_t kbps = 0;  // the rate it was made with, when a fixed one
};

class StationFormatTest : public UrlTest, public ::testing::WithParamInterface<Station> {};

// Each format decodes at the station's rate and channels to about the source's
// length, with the test tone's level.
TEST_P(StationFormatTest, Decodes) {
    const Station& s = GetParam();
    IcyReply station = IcyStation(FileBytes(s.file), s.contentType, 4000, "HTTP/1.0 200 OK");
    station.meta = {"StreamTitle='Tone';"};
    server.Route("/radio", station);
    for (const std::uint32_t sampleFlag : {0u, audio::kSampleFloat}) {
        const audio::Handle h = Open(server.Url("/radio"), kUrlFlags | sampleFlag);
        ASSERT_NE(h, 0u) << s.file << " " << audio::ErrorGetCode();
        audio::ChannelInfo info;
        ASSERT_TRUE(audio::ChannelGetInfo(h, &info));
        EXPECT_EQ(info.StreamType, s.type) << s.file;
        EXPECT_EQ(info.Frequency, s.rate) << s.file;
        EXPECT_EQ(info.Channels, s.channels) << s.file;
        const auto bytes = Drain(h);
        const double sampleBytes = sampleFlag != 0 ? 4.0 : 2.0;
        const double seconds = bytes.size() / (sampleBytes * s.channels * s.rate);
        EXPECT_NEAR(seconds, s.seconds, 0.1) << s.file;
        double sum = 0;
        const std::size_t count = bytes.size() / static_cast<std::size_t>(sampleBytes);
        for (std::size_t i = 0; i < count; ++i) {
            double v = 0;
            if (sampleFlag != 0) {
                float f;
                std::memcpy(&f, bytes.data() + i * 4, 4);
                v = f * 32768.0;
            } else {
                std::int16_t x;
                std::memcpy(&x, bytes.data() + i * 2, 2);
                v = x;
            }
            sum += v * v;
        }
        // The tone's RMS level is 12000 / sqrt(2), about 8500.
        EXPECT_NEAR(std::sqrt(sum / std::max<std::size_t>(count, 1)), 8485.0, 1500.0) << s.file;
        EXPECT_EQ(audio::StreamGetTags(h, audio::kTagMeta).value_or(""), "StreamTitle='Tone';");
        // A fixed rate as made; a variable one measured over what the decoder
        // took, below the file's average, which counts the headers too.
        const std::uint32_t kbps = audio::StreamGetBitrate(h);
        if (s.kbps > 0) {
            EXPECT_EQ(kbps, s.kbps) << s.file;
        } else if (s.seconds >= 1.0) {  // half a second is one read: nothing to measure over
            EXPECT_GT(kbps, 0u) << s.file;
            EXPECT_LT(kbps, FileBytes(s.file).size() * 8 / s.seconds / 1000 * 1.2) << s.file;
        }
        audio::StreamFree(h);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, StationFormatTest,
    ::testing::Values(Station{"tone.mp3", "audio/mpeg", audio::kTypeMp3, 44100, 2, 1.5, 160},
                      Station{"mono22.mp3", "audio/mpeg", audio::kTypeMp3, 22050, 1, 2.0, 32},
                      Station{"tone.ogg", "application/ogg", audio::kTypeOgg, 44100, 2, 1.5},
                      Station{"tone.opus", "audio/ogg", audio::kTypeOpus, 48000, 2, 1.5},
                      Station{"mono48.opus", "audio/opus", audio::kTypeOpus, 48000, 1, 0.5},
                      Station{"tone.aac", "audio/aac", audio::kTypeAac, 44100, 2, 1.5},
                      Station{"tone.oga", "audio/ogg", audio::kTypeFlacOgg, 44100, 2, 1.5},
                      Station{"mono22.aac", "audio/aacp", audio::kTypeAac, 22050, 1, 2.0},
                      // Told apart by their first bytes alone.
                      Station{"tone.ogg", "application/octet-stream", audio::kTypeOgg, 44100, 2,
                              1.5},
                      Station{"tone.aac", "", audio::kTypeAac, 44100, 2, 1.5}));

// A station whose answer starts in the middle of a frame, with bytes that look
// like a frame header of another rate and channel count.
TEST_F(UrlTest, AacStationStartingInsideAFrame) {
    const std::string body = std::string("\xff\xf1\x4c\x40\x20\x1f\xfc", 7) +
                             std::string(500, '\x11') + FileBytes("mono22.aac");
    server.Route("/radio", IcyStation(body, "audio/aacp", 8192));
    const audio::Handle h = Open(server.Url("/radio"));
    ASSERT_NE(h, 0u) << audio::ErrorGetCode();
    audio::ChannelInfo info;
    ASSERT_TRUE(audio::ChannelGetInfo(h, &info));
    EXPECT_EQ(info.Frequency, 22050u);
    EXPECT_EQ(info.Channels, 1u);
    EXPECT_NEAR(Drain(h).size() / (2.0 * 22050), 2.0, 0.1);
    audio::StreamFree(h);
}

// A stretch of junk in the middle of an MP3 station is skipped, not the end.
TEST_F(UrlTest, Mp3StationGoesOnAfterJunk) {
    const std::string tone = FileBytes("tone.mp3");
    server.Route("/radio", IcyStation(tone + std::string(5000, 'z') + tone, "audio/mpeg", 8192));
    const audio::Handle h = Open(server.Url("/radio"));
    ASSERT_NE(h, 0u);
    const double seconds = Drain(h).size() / (4.0 * 44100);
    EXPECT_NEAR(seconds, 3.0, 0.15);
    audio::StreamFree(h);
}

// A Vorbis station decodes to exactly the samples of the same file on disk.
TEST_F(UrlTest, VorbisMatchesTheFileDecode) {
    server.Route("/radio", IcyStation(FileBytes("tone.ogg"), "audio/ogg", 1));
    const audio::Handle file = audio_fixtures::OpenDecode("tone.ogg");
    ASSERT_NE(file, 0u);
    const auto want = audio_fixtures::ReadAll(file);
    audio::StreamFree(file);
    const audio::Handle h = Open(server.Url("/radio"));
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(Drain(h) == want);
    audio::StreamFree(h);
}

// An Ogg station without ICY blocks names its songs in the comments of each
// chained part; they become the in-stream metadata.
TEST_F(UrlTest, OggStationTitlesComeFromTheComments) {
    for (const char* ext : {".ogg", ".opus"}) {
        const std::string first = FileBytes(std::string("first") + ext);
        server.Route("/radio",
                     IcyStation(first + FileBytes(std::string("second") + ext), "application/ogg"));
        IcyReply icy = IcyStation(first, "application/ogg", 4000);
        icy.meta = {"StreamTitle='From ICY';"};
        server.Route("/icy", icy);

        const audio::Handle h = Open(server.Url("/radio"));
        ASSERT_NE(h, 0u) << ext;
        EXPECT_TRUE(Eventually([&] {
            return audio::StreamGetTags(h, audio::kTagMeta).value_or("") ==
                   "StreamTitle='Artist - First';";
        })) << ext;
        audio::ChannelInfo info;
        audio::ChannelGetInfo(h, &info);
        const double seconds = Drain(h).size() / (4.0 * info.Frequency);
        EXPECT_NEAR(seconds, 3.0, 0.1) << ext;  // both parts
        EXPECT_EQ(audio::StreamGetTags(h, audio::kTagMeta).value_or(""),
                  "StreamTitle='Artist - Zweite \xc3\x9c"
                  "bung';")
            << ext;
        audio::StreamFree(h);

        const audio::Handle withIcy = Open(server.Url("/icy"));
        ASSERT_NE(withIcy, 0u);
        Drain(withIcy);
        EXPECT_EQ(audio::StreamGetTags(withIcy, audio::kTagMeta).value_or(""),
                  "StreamTitle='From ICY';");
        audio::StreamFree(withIcy);
    }
}

// Download, decode and a reader (the program's feed) run free of each other,
// for ThreadSanitizer; streams are freed while all three are busy.
TEST_F(UrlTest, DownloadDecodeAndReaderOverlap) {
    IcyReply station = LiveStation(1000);
    station.bytesPerSecond = 400000;
    station.meta = {"StreamTitle='One';", "", "StreamTitle='Two';"};
    server.Route("/radio", station);
    for (int round = 0; round < 3; ++round) {
        const audio::Handle h = Open(server.Url("/radio"));
        ASSERT_NE(h, 0u) << audio::ErrorGetCode();
        std::atomic<std::uint64_t> read{0};
        std::atomic<bool> stop{false};
        std::thread reader([&] {
            std::vector<char> buf(4096);
            while (!stop) {
                const std::uint32_t got = audio::ChannelGetData(h, buf.data(), 4096);
                if (got != audio::kDataError) {
                    read += got;
                }
                audio::StreamGetFilePosition(h, audio::kFilePosCurrent);
                std::this_thread::yield();
            }
        });
        std::thread watcher([&] {
            while (!stop) {
                audio::StreamGetTags(h, audio::kTagMeta);
                audio::StreamGetTags(h, audio::kTagHttp);
                audio::ChannelIsActive(h);
                audio::StreamGetFilePosition(h, audio::kFilePosDownload);
                std::this_thread::sleep_for(1ms);
            }
        });
        EXPECT_TRUE(Eventually([&] { return read > 44100u * 4 * (round + 1); }));
        if (round == 2) {
            audio::StreamFree(h);  // while the reader still calls on the handle
        }
        stop = true;
        reader.join();
        watcher.join();
        audio::StreamFree(h);
    }
    EXPECT_TRUE(Eventually([&] { return server.Open() == 0; }));
}

// A process that ends with a station playing ends cleanly.
TEST(UrlExitTest, ExitWithALiveStream) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Made before the library, so it is destroyed after it: the library
            // hangs up on a station that is still sending.
            static IcyServer server;
            server.Route("/radio", LiveStation());
            const audio::Handle h = Open(server.Url("/radio"));
            std::exit(h != 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
