// The weekly update check against a loopback server.
#include "app/UpdateCheck.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>

#include "fakes/FakeServices.h"
#include "fakes/HttpServer.h"
#include "fakes/TempDir.h"
#include "support/IniFile.h"

namespace mirvo {
namespace {

using Strings = std::vector<std::string>;

TEST(UpdateCheck, RunsWhenAWeekHasPassedEitherWay) {
    EXPECT_FALSE(UpdateCheckDue("2026-12-02", "2026-12-08"));
    EXPECT_TRUE(UpdateCheckDue("2026-12-01", "2026-12-08"));
    EXPECT_FALSE(UpdateCheckDue("2026-12-14", "2026-12-08"));
    EXPECT_TRUE(UpdateCheckDue("2026-12-15", "2026-12-08"));
    EXPECT_TRUE(UpdateCheckDue("2026-02-27", "2026-03-06"));  // across the month's end
    EXPECT_TRUE(UpdateCheckDue("0", "2026-12-08"));
    EXPECT_TRUE(UpdateCheckDue("08.12.2026", "2026-12-08"));
}

struct Rig {
    Rig()
        : f(dir.path()), server([this](const test::HttpRequest&) {
              std::unique_lock lock(mutex);
              wake.wait(lock, [this] { return released; });
              return reply;
          }) {
        f.player.values.UpdateURL = server.Base();
    }
    ~Rig() { Release(); }
    void Release() {
        {
            const std::lock_guard lock(mutex);
            released = true;
        }
        wake.notify_all();
    }
    // One whole check with the server answering `body`.
    void Check(const std::string& body) {
        reply.body = body;
        Release();
        UpdateCheck check(f.player, [] { return std::string("Playing text"); });
        check.Start("2026-12-08");
        ASSERT_TRUE(f.loop.WaitForPosted());
        f.loop.RunPosted();
    }
    std::string Stored(const std::string& key) const {
        return IniFile::Load(dir / "Mirvo.ini").ReadString("General", key, "(missing)");
    }

    test::TempDir dir;
    test::FakePlayer f;
    std::mutex mutex;
    std::condition_variable wake;
    bool released = false;
    test::HttpReply reply;
    test::HttpServer server;
};

TEST(UpdateCheck, ANewVersionIsOfferedOnceWithoutHoldingTheWindow) {
    Rig rig;
    rig.reply.body = "http://example.org/get\n1.05\nVersion 1.05 is out.\nGet it?\n";
    {
        UpdateCheck check(rig.f.player, [] { return std::string("Playing text"); });
        check.Start("2026-12-08");
        // The server holds the answer: the UI thread is free meanwhile.
        EXPECT_TRUE(check.Running());
        EXPECT_EQ(rig.f.view.status[3], "Checking for updates...");
        EXPECT_TRUE(rig.f.loop.posted.empty());
        rig.Release();
        ASSERT_TRUE(rig.f.loop.WaitForPosted());
        rig.f.dialogs.yesNoAnswers = {false};
        rig.f.loop.RunPosted();
        EXPECT_FALSE(check.Running());
    }
    const auto requests = rig.server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/updatecheck.php?app=mirvo&version=1.04i");
    EXPECT_EQ(rig.f.dialogs.questions,
              Strings{"Version 1.05 is out.\rGet it?\r\rhttp://example.org/get"});
    EXPECT_EQ(rig.Stored("lastnewversion"), "1.05");
    EXPECT_EQ(rig.Stored("lastversioncheck"), "2026-12-08");
    EXPECT_EQ(rig.f.view.status[3], "Playing text");
    EXPECT_FALSE(std::filesystem::exists(rig.dir / "temp"));

    // The same answer a week later asks nothing; nor does this version.
    rig.Check("http://example.org/get\n1.05\nVersion 1.05 is out.\n");
    rig.Check("http://example.org/get\n1.04i\nNothing new.\n");
    EXPECT_EQ(rig.f.dialogs.questions.size(), 1u);
    EXPECT_EQ(rig.Stored("lastnewversion"), "1.05");
    EXPECT_TRUE(rig.f.desktop.opened.empty());
}

TEST(UpdateCheck, YesOpensTheAddressAndEndsTheProgram) {
    Rig rig;
    rig.f.dialogs.yesNoAnswers = {true};
    rig.Check("http://example.org/get\n1.06\nNew.\n");
    EXPECT_EQ(rig.f.desktop.opened, Strings{"http://example.org/get"});
    EXPECT_EQ(rig.f.loop.quits, 1);
    EXPECT_EQ(rig.Stored("lastnewversion"), "(missing)");

    // Without a message the question is the address alone.
    rig.f.dialogs.yesNoAnswers = {false};
    rig.Check("HTTPS://example.org/only\n1.07\n");
    EXPECT_EQ(rig.f.dialogs.questions.back(), "HTTPS://example.org/only");
    EXPECT_EQ(rig.Stored("lastnewversion"), "1.07");
}

// Whatever answers may not be the update service: a captive portal's page,
// an error page, a one-line answer or an address that is no web page is
// never offered, opened or stored.
TEST(UpdateCheck, OnlyAVersionAndAWebAddressAreOffered) {
    Rig rig;
    rig.f.dialogs.yesNoAnswers = {true, true, true, true, true, true, true, true};
    rig.Check("<!DOCTYPE html>\n<html><head><title>Log in</title></head>\n<body>Wi-Fi</body>\n");
    rig.Check("http://example.org/only\n");
    rig.reply.status = "404 Not Found";
    rig.Check("http://portal.example/\n404 Not Found\nThe page is gone.\n");
    rig.reply.status = "200 OK";
    for (const char* address :
         {"file:///home/user/.bashrc", "/usr/bin/xterm", "~/Desktop/run.desktop",
          "javascript:alert(1)", "http://", "http:///etc/passwd", "http://a b.example/",
          "ftp://example.org/mirvo.tar.gz"}) {
        rig.Check(std::string(address) + "\n1.05\nNew version.\n");
    }
    for (const std::string& version : Strings{"", "none", "1.05\x1b[31m", "1.05 beta", "v1.05",
                                              "1.05\r[PlayingHistory]", std::string(40, '1')}) {
        rig.Check(std::string("http://example.org/get\n") + version + "\nNew version.\n");
    }
    EXPECT_TRUE(rig.f.dialogs.questions.empty());
    EXPECT_TRUE(rig.f.desktop.opened.empty());
    EXPECT_EQ(rig.f.loop.quits, 0);
    EXPECT_EQ(rig.Stored("lastnewversion"), "(missing)");
    // Its date still moves on.
    EXPECT_EQ(rig.Stored("lastversioncheck"), "2026-12-08");

    // A message with control characters shows without them.
    rig.Check("https://example.org/get\n1.05-beta+2\nNew\x07 \x1b[1mversion\n");
    EXPECT_EQ(rig.f.dialogs.questions, Strings{"New [1mversion\r\rhttps://example.org/get"});
    EXPECT_EQ(rig.f.desktop.opened, Strings{"https://example.org/get"});
}

TEST(UpdateCheck, NoAnswerAdvancesTheDateQuietly) {
    Rig rig;
    rig.reply.status = "503 Service Unavailable";
    rig.Check("busy\n");
    rig.server.Stop();
    rig.Check("");
    rig.f.player.values.UpdateURL.clear();  // no endpoint known at all
    rig.Check("");
    EXPECT_TRUE(rig.f.dialogs.questions.empty());
    EXPECT_TRUE(rig.f.dialogs.notices.empty());
    EXPECT_EQ(rig.Stored("lastversioncheck"), "2026-12-08");
    EXPECT_EQ(rig.f.view.status[3], "Playing text");
}

}  // namespace
}  // namespace mirvo
