#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "fakes/TempDir.h"
#include "support/Files.h"

namespace mirvo {
namespace {

using test::TempDir;

class FakeLink : public InstanceLink {
  public:
    bool FindRunning() override { return running; }
    bool SendPath(const std::string& path) override {
        sent.push_back("path:" + path);
        return answers;
    }
    bool SendShow() override {
        sent.push_back("show");
        return answers;
    }
    bool SendQuit() override {
        sent.push_back("quit");
        return answers;
    }
    bool running = false;
    bool answers = true;
    std::vector<std::string> sent;
};

TEST(CommandLine, SwitchesEndTheProcessAndOthersDoNot) {
    TempDir dir;
    const Settings settings(dir / "Mirvo.ini");
    FakeLink link;
    for (const char* sw : {"-quit", "-reg", "-unreg", "-setrootpath"}) {
        EXPECT_TRUE(HandleCommandLine(sw, settings, link, "2026-12-08")) << sw;
    }
    EXPECT_TRUE(link.sent.empty());  // -quit with nothing running does nothing
    for (const char* other : {"", "-QUIT", "-quit ", "/music/a.mp3", "-unknown"}) {
        EXPECT_FALSE(HandleCommandLine(other, settings, link, "2026-12-08")) << other;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "Mirvo.ini"));

    link.running = true;
    EXPECT_TRUE(HandleCommandLine("-quit", settings, link, "2026-12-08"));
    EXPECT_EQ(link.sent, std::vector<std::string>{"quit"});
}

TEST(CommandLine, SetGlobalHotKeysWritesOneToSevenOnly) {
    TempDir dir;
    dir.Write("Mirvo.ini", "[Global hotkeys]\n0=0100-80\n1=1111-1\n8=0010-70\n12=0001-71\n");
    const Settings settings(dir / "Mirvo.ini");
    FakeLink link;
    EXPECT_TRUE(HandleCommandLine("-setglobalhotkeys", settings, link, "2026-12-08"));
    const IniFile ini = IniFile::Load(dir / "Mirvo.ini");
    const char* expected[] = {"0100-80",  "0000-179", "0000-178", "0000-176", "0000-177",
                              "0000-175", "0000-174", "0000-19",  "0010-70"};
    for (int i = 0; i <= 8; ++i) {
        EXPECT_EQ(ini.ReadString("Global hotkeys", std::to_string(i), ""), expected[i]) << i;
    }
    EXPECT_EQ(ini.ReadString("Global hotkeys", "12", ""), "0001-71");
}

TEST(CommandLine, SetLastUpdateCheckStoresTheDate) {
    TempDir dir;
    const Settings settings(dir / "Mirvo.ini");
    FakeLink link;
    EXPECT_TRUE(HandleCommandLine("-setlastupdatecheck", settings, link, "2026-12-08"));
    EXPECT_EQ(settings.ReadString("General", "lastversioncheck", ""), "2026-12-08");
    EXPECT_EQ(TodayText().size(), 10u);
}

TEST(HandOver, PathGoesToTheRunningInstanceWhateverTheSetting) {
    FakeLink link;
    EXPECT_FALSE(HandOverToRunningInstance(link, "/m/a.mp3", false));  // none running
    link.running = true;
    EXPECT_TRUE(HandOverToRunningInstance(link, "/m/a b.mp3", true));
    EXPECT_TRUE(HandOverToRunningInstance(link, "/m/c.mp3", false));
    EXPECT_EQ(link.sent, (std::vector<std::string>{"path:/m/a b.mp3", "path:/m/c.mp3"}));
}

TEST(HandOver, WithoutPathBringsTheRunningWindowForwardUnlessMultipleAllowed) {
    FakeLink link;
    link.running = true;
    EXPECT_TRUE(HandOverToRunningInstance(link, "", false));
    EXPECT_EQ(link.sent, std::vector<std::string>{"show"});
    EXPECT_FALSE(HandOverToRunningInstance(link, "", true));
    EXPECT_EQ(link.sent.size(), 1u);
}

TEST(HandOver, AnInstanceThatStopsAnsweringDoesNotSwallowThePath) {
    FakeLink link;
    link.running = true;
    link.answers = false;
    EXPECT_FALSE(HandOverToRunningInstance(link, "/m/a.mp3", false));
}

}  // namespace
}  // namespace mirvo
