// The HTTP layer against a real loopback server.
#include "support/Http.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/HttpServer.h"
#include "fakes/TempDir.h"
#include "support/Files.h"
#include "support/Md5.h"

namespace mirvo {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

Lines Split(std::string_view text) {
    Lines lines;
    SplitLines(text, '\n', lines);
    return lines;
}

TEST(Http, LinesEndWithTheirSeparatorAndEmptyOnesAreDropped) {
    EXPECT_EQ(Split("OK\n"), Lines{"OK"});
    EXPECT_TRUE(Split("OK").empty());
    EXPECT_EQ(Split("OK\nsid\n\nhttp://a/np\nhttp://a/sub\n"),
              (Lines{"OK", "sid", "http://a/np", "http://a/sub"}));
    EXPECT_EQ(Split("OK\nsid\nhttp://a/np\nhttp://a/sub").size(), 3u);
}

TEST(Http, EncodingKeepsOnlyTheSafeBytes) {
    EXPECT_EQ(UrlEncode("Rock & Roll/2"), "Rock+%26+Roll%2F2");
    EXPECT_EQ(UrlEncode("a-b.c_d~"), "a-b.c_d%7E");
    EXPECT_EQ(UrlEncode("Sigur R\xc3\xb3s"), "Sigur+R%C3%B3s");
    EXPECT_EQ(UrlEncode(std::string_view("ab\0cd", 5)), "ab");
    EXPECT_EQ(Md5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(Http, GetAndPostReachTheServerAsWritten) {
    test::HttpServer server([](const test::HttpRequest& r) {
        return test::HttpReply{"200 OK", r.method == "GET" ? "OK\nsid\n" : "OK\n"};
    });
    // The port is honoured: the server is not on 80.
    const HttpAnswer got = HttpGetLines(server.Base() + "/?hs=true&u=a+b");
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.lines, (Lines{"OK", "sid"}));
    EXPECT_EQ(HttpPostLines(server.Base() + "/np", "s=1&a=x&l=").lines, Lines{"OK"});
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/?hs=true&u=a+b");
    EXPECT_EQ(requests[0].headers.at("user-agent"), "VEDIRUZ Download");
    EXPECT_EQ(requests[0].headers.at("cache-control"), "no-cache");
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].version, "HTTP/1.0");
    EXPECT_EQ(requests[1].body, "s=1&a=x&l=");
    EXPECT_EQ(requests[1].headers.at("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[1].headers.count("user-agent"), 0u);
}

// An error status comes with what the server said; a failed request with nothing.
TEST(Http, ErrorAnswersKeepTheirWordsAndFailuresGiveNone) {
    test::HttpReply reply;
    test::HttpServer server([&](const test::HttpRequest&) { return reply; });
    HttpLimits quick;
    quick.whole = 300ms;
    reply = {"403 Forbidden", "BADAUTH\n"};
    HttpAnswer got = HttpGetLines(server.Base() + "/", quick);
    EXPECT_EQ(got.status, 403);
    EXPECT_EQ(got.lines, Lines{"BADAUTH"});
    reply = {"500 Internal Server Error", "FAILED Database\n"};
    got = HttpPostLines(server.Base() + "/", "x", quick);
    EXPECT_EQ(got.status, 500);
    EXPECT_EQ(got.lines, Lines{"FAILED Database"});

    const auto none = [](const HttpAnswer& answer) {
        return answer.status == 0 && answer.lines.empty();
    };
    reply = {"200 OK", "OK\n", 0ms, false, true};
    EXPECT_TRUE(none(HttpPostLines(server.Base() + "/", "x", quick))) << "no answer";
    reply = {"200 OK", "OK\nsession\n", 0ms, true};
    EXPECT_TRUE(none(HttpGetLines(server.Base() + "/", quick))) << "cut off";
    reply = {"200 OK", "OK\n", 1000ms};
    EXPECT_TRUE(none(HttpGetLines(server.Base() + "/", quick))) << "too slow";
    HttpLimits small;
    small.maxBytes = 10;
    reply = {"200 OK", std::string(100, 'x') + "\n"};
    EXPECT_TRUE(none(HttpGetLines(server.Base() + "/", small))) << "too large";
    const int port = server.Port();
    server.Stop();
    EXPECT_TRUE(none(HttpGetLines("http://127.0.0.1:" + std::to_string(port) + "/")));
    EXPECT_TRUE(none(HttpGetLines("ftp://127.0.0.1/")));
}

TEST(Http, DownloadWritesTheAnswerOrNothing) {
    test::TempDir dir;
    test::HttpReply reply{"200 OK", "http://example.org/get\n1.05\nNew!\n"};
    test::HttpServer server([&](const test::HttpRequest&) { return reply; });
    const std::string file = dir / "temp";
    EXPECT_EQ(DownloadToFile(server.Base() + "/updatecheck.php", file), reply.body.size());
    EXPECT_EQ(ReadWholeFile(file), reply.body);
    std::filesystem::remove(file);
    // Error pages are not what the update check and station lists asked for.
    for (const char* status : {"404 Not Found", "500 Internal Server Error"}) {
        reply.status = status;
        EXPECT_EQ(DownloadToFile(server.Base() + "/updatecheck.php", file), 0u) << status;
        EXPECT_FALSE(std::filesystem::exists(file)) << status;
    }
}

}  // namespace
}  // namespace mirvo
