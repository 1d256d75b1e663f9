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
    EXPECT_EQ(rig.f.dialogs.questions, Strings{"Version 1.05 is out.\rGet it?"});
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

    // A one-line answer is a new version without a message.
    rig.f.dialogs.yesNoAnswers = {false};
    rig.Check("http://example.org/only\n");
    EXPECT_EQ(rig.f.dialogs.questions.back(), "");
    EXPECT_EQ(rig.Stored("lastnewversion"), "");
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
