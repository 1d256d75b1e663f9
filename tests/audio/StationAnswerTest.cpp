// A station's answer taken apart without a network: the header lines through
// redirects, and the audio with its in-stream metadata cut out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/Download.h"

namespace {

using namespace std::string_literals;
using audio::detail::IcyDemux;
using audio::detail::ResponseHeaders;

bool AddAll(ResponseHeaders& headers, const std::vector<std::string>& lines) {
    bool done = false;
    for (const std::string& line : lines) {
        done = headers.Add(line);
    }
    return done;
}

TEST(StationAnswerTest, HeadersOfTheFinalAnswerAfterRedirects) {
    ResponseHeaders headers;
    EXPECT_FALSE(AddAll(headers, {"HTTP/1.1 302 Found\r\n", "Location: http://b/\r\n", "\r\n"}));
    EXPECT_FALSE(AddAll(headers, {"HTTP/1.1 100 Continue\r\n", "\r\n"}));
    EXPECT_TRUE(AddAll(headers, {"ICY 200 OK\r\n", "icy-metaint:  8192\r\n",
                                 "Content-Type: audio/mpeg\r\n", "\r\n"}));
    EXPECT_EQ(headers.Status(), 200);
    EXPECT_EQ(headers.Header("CONTENT-TYPE"), "audio/mpeg");
    EXPECT_EQ(headers.Header("location"), "");
    EXPECT_EQ(headers.MetaInterval(), 8192u);
    EXPECT_EQ(headers.Block(), "ICY 200 OK\0icy-metaint:  8192\0Content-Type: audio/mpeg\0\0"s);
}

TEST(StationAnswerTest, OddStatusLinesAndBytesStayHarmless) {
    ResponseHeaders headers;
    // A status too long to be one is none (it used to overflow).
    EXPECT_FALSE(AddAll(headers, {"HTTP/1.1 99999999999 OK", ""}));
    EXPECT_EQ(headers.Status(), 0);
    ResponseHeaders other;
    EXPECT_TRUE(AddAll(other, {"HTTP/1.0 200 OK", "icy-name:a\0b\xe9"s, "\0\0\r\n"s, ""}));
    // A NUL would end the line or the block early; other bytes become UTF-8.
    EXPECT_EQ(other.Header("icy-name"), "ab\xc3\xa9");
    EXPECT_EQ(other.Block(), "HTTP/1.0 200 OK\0icy-name:ab\xc3\xa9\0\0"s);
}

struct Cut {
    std::string audio;
    std::vector<std::string> titles;
};

Cut Demux(std::uint64_t interval, const std::string& body, std::size_t piece) {
    IcyDemux demux;
    demux.SetInterval(interval);
    Cut cut;
    for (std::size_t at = 0; at < body.size(); at += piece) {
        const std::string part = body.substr(at, piece);
        demux.Feed(
            part.data(), part.size(),
            [&](const char* data, std::size_t n) {
                cut.audio.append(data, n);
                return true;
            },
            [&](std::string_view text) {
                cut.titles.emplace_back(text);
                return true;
            });
    }
    return cut;
}

TEST(StationAnswerTest, MetadataIsCutOutWhereverThePiecesEnd) {
    std::string block = "StreamTitle='A - B';";
    block.resize(32, '\0');
    const std::string body = "abcd" + std::string(1, '\x02') + block + "efgh" +
                             std::string(1, '\0') + "ijkl" + std::string(1, '\x01') + "cut";
    for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{7}, body.size()}) {
        const Cut cut = Demux(4, body, piece);
        EXPECT_EQ(cut.audio, "abcdefghijkl") << piece;
        // The empty block counts; the last one is not complete.
        EXPECT_EQ(cut.titles, (std::vector<std::string>{"StreamTitle='A - B';", ""})) << piece;
    }
    EXPECT_EQ(Demux(0, body, 5).audio, body);
}

TEST(StationAnswerTest, AFeedStopsWhenTheReceiverSaysSo) {
    IcyDemux demux;
    demux.SetInterval(2);
    int audioCalls = 0;
    const std::string body = "ab\x01title"s + std::string(11, '\0') + "cd";
    EXPECT_FALSE(demux.Feed(
        body.data(), body.size(),
        [&](const char*, std::size_t) {
            ++audioCalls;
            return true;
        },
        [](std::string_view text) { return text != "title"; }));
    EXPECT_EQ(audioCalls, 1);
}

}  // namespace
