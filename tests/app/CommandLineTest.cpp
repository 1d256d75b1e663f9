#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <deque>

#include "fakes/TempDir.h"
#include "fakes/XdgHome.h"
#include "support/Files.h"
#include "system/Associations.h"

namespace mirvo {
namespace {

using test::TempDir;

class FakeLink : public InstanceLink {
  public:
    // What each look finds, in turn; the last one stays.
    Presence Find() override {
        ++finds;
        const Presence now = found.front();
        if (found.size() > 1) {
            found.pop_front();
        }
        return now;
    }
    bool FindRunning() override { return Find() == Presence::Running; }
    Delivery SendPath(const std::string& path) override {
        sent.push_back("path:" + path);
        return Answer();
    }
    Delivery SendShow() override {
        sent.push_back("show");
        return Answer();
    }
    Delivery SendQuit() override {
        sent.push_back("quit");
        return Answer();
    }
    Delivery Answer() {
        if (failures > 0) {
            --failures;
            return Delivery::Refused;
        }
        return answers;
    }
    std::deque<Presence> found{Presence::None};
    Delivery answers = Delivery::Answered;
    int failures = 0;  // sends refused before `answers` holds
    int finds = 0;
    std::vector<std::string> sent;
};

TEST(CommandLine, SwitchesEndTheProcessAndOthersDoNot) {
    TempDir dir;
    const Settings settings(dir / "Mirvo.ini");
    FakeLink link;
    int setUps = 0;
    const auto setUp = [&setUps] { ++setUps; };
    for (const char* sw : {"-quit", "-setrootpath"}) {
        EXPECT_TRUE(HandleCommandLine(sw, settings, link, "2026-12-08", setUp)) << sw;
    }
    EXPECT_EQ(setUps, 1);            // the music folder setup, for "-setrootpath" alone
    EXPECT_TRUE(link.sent.empty());  // -quit with nothing running does nothing
    for (const char* other : {"", "-QUIT", "-quit ", "/music/a.mp3", "-unknown", "-setrootpath "}) {
        EXPECT_FALSE(HandleCommandLine(other, settings, link, "2026-12-08", setUp)) << other;
    }
    EXPECT_EQ(setUps, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "Mirvo.ini"));

    link.found = {Presence::Running};
    EXPECT_TRUE(HandleCommandLine("-quit", settings, link, "2026-12-08"));
    EXPECT_EQ(link.sent, std::vector<std::string>{"quit"});
}

TEST(CommandLine, RegAndUnregHandleTheMusicAndPlaylistTypes) {
    test::XdgHome xdg;
    const std::string before = "[Default Applications]\naudio/x-scpls=vlc.desktop;\n";
    xdg.config.Write("mimeapps.list", before);
    TempDir dir;
    const Settings settings(dir / "Mirvo.ini");
    FileAssociations associations(settings, AssociationPlaces::FromEnvironment());
    FakeLink link;

    EXPECT_TRUE(HandleCommandLine("-reg", settings, link, "2026-12-08"));
    const IniFile flags = IniFile::Load(dir / "Mirvo.ini");
    for (const char* extension : {"mp3", "wav", "ogg", "m3u", "pls", "opus", "m4a", "wv", "ape"}) {
        EXPECT_TRUE(associations.IsTypeAssociated(extension)) << extension;
        EXPECT_TRUE(flags.ReadBool("Associations", extension, false)) << extension;
    }
    EXPECT_FALSE(associations.IsTypeAssociated("flac"));
    EXPECT_EQ(test::XdgHome::QueryDefault("audio/x-scpls"), "mirvo-pls.desktop");
    // The MIME cache of the applications folder was rebuilt.
    const std::string cache = ReadWholeFile(xdg.Applications() + "/mimeinfo.cache").value_or("");
    EXPECT_NE(cache.find("audio/x-vorbis+ogg=mirvo-ogg.desktop;"), std::string::npos) << cache;
    EXPECT_NE(cache.find("audio/x-opus+ogg=mirvo-opus.desktop;"), std::string::npos) << cache;
    EXPECT_NE(cache.find("audio/mp4=mirvo-m4a.desktop;"), std::string::npos) << cache;
    EXPECT_EQ(test::XdgHome::QueryDefault("audio/x-wavpack"), "mirvo-wv.desktop");

    EXPECT_TRUE(HandleCommandLine("-unreg", settings, link, "2026-12-08"));
    EXPECT_EQ(ReadWholeFile(xdg.MimeApps()), before);
    EXPECT_FALSE(IniFile::Load(dir / "Mirvo.ini").ReadBool("Associations", "mp3", true));
    EXPECT_FALSE(std::filesystem::exists(xdg.Applications() + "/mirvo-mp3.desktop"));

    // Nothing of ours left: a further removal changes nothing.
    const Settings fresh(dir / "Fresh.ini");
    EXPECT_TRUE(HandleCommandLine("-unreg", fresh, link, "2026-12-08"));
    EXPECT_EQ(ReadWholeFile(xdg.MimeApps()), before);
    EXPECT_FALSE(std::filesystem::exists(dir / "Fresh.ini"));
    EXPECT_TRUE(link.sent.empty());
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
    EXPECT_EQ(HandOverToRunningInstance(link, "/m/a.mp3", false), HandOver::StartHere);
    link.found = {Presence::Running};
    EXPECT_EQ(HandOverToRunningInstance(link, "/m/a b.mp3", true), HandOver::Done);
    EXPECT_EQ(HandOverToRunningInstance(link, "/m/c.mp3", false), HandOver::Done);
    EXPECT_EQ(link.sent, (std::vector<std::string>{"path:/m/a b.mp3", "path:/m/c.mp3"}));
}

TEST(HandOver, WithoutPathBringsTheRunningWindowForwardUnlessMultipleAllowed) {
    FakeLink link;
    link.found = {Presence::Running};
    EXPECT_EQ(HandOverToRunningInstance(link, "", false), HandOver::Done);
    EXPECT_EQ(link.sent, std::vector<std::string>{"show"});
    EXPECT_EQ(HandOverToRunningInstance(link, "", true), HandOver::StartHere);
    // A further instance owns nothing, so one that does not answer is no obstacle.
    link.found = {Presence::Unreachable};
    EXPECT_EQ(HandOverToRunningInstance(link, "", true), HandOver::StartHere);
    EXPECT_EQ(link.sent.size(), 1u);
}

// A path the owner may still open is never sent again, or it would open twice.
TEST(HandOver, AnUnansweredPathIsNotSentAgain) {
    FakeLink link;
    link.found = {Presence::Running};
    link.answers = Delivery::NoAnswer;
    EXPECT_EQ(HandOverToRunningInstance(link, "/m/a.mp3", false), HandOver::Unanswered);
    EXPECT_EQ(link.sent, std::vector<std::string>{"path:/m/a.mp3"});
}

TEST(HandOver, ARefusedSendLooksForTheOwnerAgain) {
    FakeLink link;
    link.found = {Presence::Running};
    link.failures = 2;
    EXPECT_EQ(HandOverToRunningInstance(link, "/m/a.mp3", false), HandOver::Done);
    EXPECT_EQ(link.sent.size(), 3u);
    EXPECT_EQ(link.finds, 3);

    // The owner died during the send and nobody took over: this start does.
    FakeLink orphan;
    orphan.found = {Presence::Running, Presence::None};
    orphan.failures = 1;
    EXPECT_EQ(HandOverToRunningInstance(orphan, "/m/a.mp3", false), HandOver::StartHere);
}

TEST(HandOver, AnOwnerThatNeverAnswersIsNotJoinedByASecondOne) {
    FakeLink link;
    link.found = {Presence::Running};
    link.answers = Delivery::Refused;
    EXPECT_EQ(HandOverToRunningInstance(link, "/m/a.mp3", false), HandOver::Failed);
    EXPECT_LE(link.finds, 10);  // it gives up
    FakeLink stuck;
    stuck.found = {Presence::Unreachable};
    EXPECT_EQ(HandOverToRunningInstance(stuck, "/m/a.mp3", true), HandOver::Failed);
    EXPECT_EQ(HandOverToRunningInstance(stuck, "", false), HandOver::Failed);
    EXPECT_TRUE(stuck.sent.empty());
}

}  // namespace
}  // namespace mirvo
