#include "system/Associations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "fakes/TempDir.h"
#include "fakes/XdgHome.h"
#include "support/Files.h"
#include "support/IniFile.h"

namespace mirvo {
namespace {

using test::TempDir;
using test::XdgHome;

constexpr const char* kUserList =
    "# chosen by hand\n"
    "[Added Associations]\n"
    "audio/mpeg=vlc.desktop;\n"
    "\n"
    "[Default Applications]\n"
    "text/plain=org.gnome.gedit.desktop\n"
    "audio/mpeg=vlc.desktop;\n"
    "audio/x-wav=vlc.desktop\n"
    "\n"
    "[Removed Associations]\n"
    "audio/flac=totem.desktop;\n";

class Associations : public ::testing::Test {
  protected:
    Associations() {
        // Another player's entry, so xdg-mime can name it once it is the default again.
        xdg.data.Write("applications/vlc.desktop",
                       "[Desktop Entry]\nType=Application\nName=VLC\nExec=sh %U\n");
    }
    std::string List() const { return ReadWholeFile(xdg.MimeApps()).value_or("<none>"); }
    std::string Entry(const std::string& extension) const {
        return ReadWholeFile(xdg.Applications() + "/mirvo-" + extension + ".desktop")
            .value_or("<none>");
    }
    std::string EntryText(const std::string& comment, const std::string& exec,
                          const std::string& types, const std::string& backups) const {
        return "[Desktop Entry]\nType=Application\nName=Mirvo\nComment=" + comment +
               "\nExec=" + exec + " %f\nTryExec=" + places.executable +
               "\nIcon=mirvo\nMimeType=" + types + "\nNoDisplay=true\nTerminal=false\n" + backups;
    }
    bool Flag(const char* extension) const {
        return IniFile::Load(program / "Mirvo.ini").ReadBool("Associations", extension, false);
    }

    XdgHome xdg;
    TempDir program;
    Settings settings{program / "Mirvo.ini"};
    AssociationPlaces places = AssociationPlaces::FromEnvironment();
    FileAssociations ours{settings, places};
};

TEST_F(Associations, TakeTheDefaultAndGiveTheOldHandlerBack) {
    ASSERT_EQ(places.applications, xdg.Applications());
    ASSERT_EQ(places.mimeapps, xdg.MimeApps());
    WriteFileAtomically(xdg.MimeApps(), kUserList);
    EXPECT_EQ(XdgHome::QueryDefault("audio/mpeg"), "vlc.desktop");

    ours.AssociateType("mp3");
    ours.AssociateType("wav");
    EXPECT_EQ(List(),
              "# chosen by hand\n"
              "[Added Associations]\n"
              "audio/mpeg=vlc.desktop;\n"
              "\n"
              "[Default Applications]\n"
              "text/plain=org.gnome.gedit.desktop\n"
              "audio/mpeg=mirvo-mp3.desktop;vlc.desktop;\n"
              "audio/x-wav=mirvo-wav.desktop;vlc.desktop;\n"
              "audio/wav=mirvo-wav.desktop;\n"
              "\n"
              "[Removed Associations]\n"
              "audio/flac=totem.desktop;\n");
    EXPECT_EQ(Entry("mp3"), EntryText("MP3 - Mirvo File", places.executable, "audio/mpeg;",
                                      "X-Mirvo-Previous-Default-audio-mpeg=vlc.desktop;\n"));
    // A type without a default before has nothing saved: removal takes its line away.
    EXPECT_EQ(Entry("wav"),
              EntryText("WAV - Mirvo File", places.executable, "audio/x-wav;audio/wav;",
                        "X-Mirvo-Previous-Default-audio-x-wav=vlc.desktop\n"));
    EXPECT_TRUE(ours.IsTypeAssociated("mp3"));
    EXPECT_TRUE(ours.IsTypeAssociated("wav"));
    EXPECT_FALSE(ours.IsTypeAssociated("ogg"));
    EXPECT_TRUE(Flag("mp3"));
    EXPECT_EQ(XdgHome::QueryDefault("audio/mpeg"), "mirvo-mp3.desktop");
    EXPECT_EQ(XdgHome::QueryDefault("audio/wav"), "mirvo-wav.desktop");

    ours.UnassociateType("mp3");
    ours.UnassociateType("wav");
    EXPECT_EQ(List(), kUserList);
    EXPECT_EQ(Entry("mp3"), "<none>");
    EXPECT_EQ(Entry("wav"), "<none>");
    EXPECT_FALSE(ours.IsTypeAssociated("mp3"));
    EXPECT_FALSE(Flag("mp3"));
    EXPECT_FALSE(Flag("wav"));
    EXPECT_EQ(XdgHome::QueryDefault("audio/mpeg"), "vlc.desktop");
}

TEST_F(Associations, ARepeatedAssociationKeepsTheHandlerFromBefore) {
    WriteFileAtomically(xdg.MimeApps(), kUserList);
    // wav: one type had a default written without the final ";", one had none.
    for (const char* extension : {"mp3", "wav"}) {
        ours.AssociateType(extension);
    }
    const std::string once = List();
    const std::string entry = Entry("wav");
    for (const char* extension : {"mp3", "wav"}) {
        ours.AssociateType(extension);
    }
    EXPECT_EQ(List(), once);
    EXPECT_EQ(Entry("wav"), entry);
    for (const char* extension : {"mp3", "wav"}) {
        ours.UnassociateType(extension);
    }
    EXPECT_EQ(List(), kUserList);

    // Another player took the type meanwhile: that one is the handler to give back.
    ours.AssociateType("mp3");
    std::string list = List();
    list.replace(list.find("mirvo-mp3.desktop;vlc.desktop;"), 30,
                 "totem.desktop;mirvo-mp3.desktop;");
    WriteFileAtomically(xdg.MimeApps(), list);
    EXPECT_FALSE(ours.IsTypeAssociated("mp3"));
    ours.AssociateType("mp3");
    EXPECT_NE(List().find("audio/mpeg=mirvo-mp3.desktop;totem.desktop;\n"), std::string::npos);
    ours.UnassociateType("mp3");
    EXPECT_NE(List().find("audio/mpeg=totem.desktop;\n"), std::string::npos);
}

TEST_F(Associations, RemovalLeavesAHandlerChosenSince) {
    WriteFileAtomically(xdg.MimeApps(), kUserList);
    ours.AssociateType("mp3");
    ours.AssociateType("wav");
    std::string list = List();
    list.replace(list.find("mirvo-mp3.desktop;vlc.desktop;"), 30, "totem.desktop");
    list.replace(list.find("mirvo-wav.desktop;vlc.desktop;"), 30, "sh.desktop;mirvo-wav.desktop;");
    WriteFileAtomically(xdg.MimeApps(), list);

    ours.UnassociateType("mp3");
    ours.UnassociateType("wav");
    EXPECT_NE(List().find("audio/mpeg=totem.desktop\n"), std::string::npos);
    EXPECT_NE(List().find("audio/x-wav=sh.desktop;\n"), std::string::npos);
    EXPECT_EQ(List().find("audio/wav="), std::string::npos);
    EXPECT_EQ(Entry("mp3"), "<none>");
    EXPECT_EQ(Entry("wav"), "<none>");
}

TEST_F(Associations, AListOrSectionThatIsNotThereYet) {
    ours.AssociateType("ogg");
    EXPECT_EQ(List(),
              "[Default Applications]\n"
              "audio/ogg=mirvo-ogg.desktop;\n"
              "audio/x-vorbis+ogg=mirvo-ogg.desktop;\n");
    EXPECT_EQ(Entry("ogg"), EntryText("OGG - Mirvo File", places.executable,
                                      "audio/ogg;audio/x-vorbis+ogg;", ""));
    ours.UnassociateType("ogg");
    EXPECT_EQ(List(), "[Default Applications]\n");

    WriteFileAtomically(xdg.MimeApps(), "[Added Associations]\naudio/flac=vlc.desktop;");
    ours.AssociateType("flac");
    EXPECT_EQ(List(),
              "[Added Associations]\naudio/flac=vlc.desktop;\n\n"
              "[Default Applications]\naudio/flac=mirvo-flac.desktop;\n");
}

TEST_F(Associations, OwnedOnlyByThisExecutableForEveryType) {
    EXPECT_FALSE(ours.IsTypeAssociated("mp3"));
    EXPECT_FALSE(std::filesystem::exists(xdg.MimeApps()));  // reading creates nothing
    EXPECT_EQ(Entry("mp3"), "<none>");

    TempDir elsewhere;
    const Settings copySettings(elsewhere / "Mirvo.ini");
    AssociationPlaces copyPlaces = places;
    copyPlaces.executable = elsewhere / "mirvo";
    FileAssociations copy(copySettings, copyPlaces);
    copy.AssociateType("mp3");
    EXPECT_TRUE(copy.IsTypeAssociated("mp3"));
    EXPECT_FALSE(ours.IsTypeAssociated("mp3"));

    ours.AssociateType("wav");
    std::string list = List();
    list.erase(list.find("audio/wav="), std::string("audio/wav=mirvo-wav.desktop;\n").size());
    WriteFileAtomically(xdg.MimeApps(), list);
    EXPECT_FALSE(ours.IsTypeAssociated("wav"));  // one of its two types is lost

    ours.AssociateType("ogg");
    std::filesystem::remove(xdg.Applications() + "/mirvo-ogg.desktop");
    EXPECT_FALSE(ours.IsTypeAssociated("ogg"));
}

TEST_F(Associations, StartUpTakesBackFlaggedMusicTypesOnly) {
    WriteFileAtomically(xdg.MimeApps(), kUserList);
    TempDir elsewhere;
    const Settings copySettings(elsewhere / "Mirvo.ini");
    AssociationPlaces copyPlaces = places;
    copyPlaces.executable = elsewhere / "mirvo";
    FileAssociations copy(copySettings, copyPlaces);
    for (const char* extension : {"mp3", "wav", "ogg", "m3u"}) {
        copy.AssociateType(extension);
    }
    program.Write("Mirvo.ini", "[Associations]\nmp3=1\nwav=0\nogg=1\nm3u=1\n");
    const std::string taken = List();

    ClaimAssociationsAtStart(settings, false);
    EXPECT_FALSE(ours.IsTypeAssociated("mp3"));
    EXPECT_EQ(List(), taken);

    ClaimAssociationsAtStart(settings, true);
    EXPECT_TRUE(ours.IsTypeAssociated("mp3"));
    EXPECT_TRUE(ours.IsTypeAssociated("ogg"));
    EXPECT_FALSE(ours.IsTypeAssociated("wav"));
    EXPECT_FALSE(ours.IsTypeAssociated("m3u"));
    EXPECT_EQ(List(), taken);  // same entry names, only their program changed
    EXPECT_EQ(Entry("mp3"), EntryText("MP3 - Mirvo File", places.executable, "audio/mpeg;",
                                      "X-Mirvo-Previous-Default-audio-mpeg=vlc.desktop;\n"));
}

TEST_F(Associations, FilesThatCannotBeChangedAreLeftAlone) {
    WriteFileAtomically(xdg.MimeApps(), kUserList);
    ::chmod(xdg.MimeApps().c_str(), 0444);
    ours.AssociateType("mp3");
    EXPECT_EQ(List(), kUserList);
    EXPECT_EQ(Entry("mp3"), "<none>");
    EXPECT_TRUE(Flag("mp3"));  // the flag records the wish all the same

    std::filesystem::remove(xdg.MimeApps());
    std::filesystem::create_directory(xdg.MimeApps());  // there, but not a readable list
    ours.AssociateType("ogg");
    EXPECT_EQ(Entry("ogg"), "<none>");
    ours.UnassociateType("ogg");
    EXPECT_FALSE(Flag("ogg"));
    EXPECT_TRUE(std::filesystem::is_directory(xdg.MimeApps()));

    std::filesystem::remove(xdg.MimeApps());
    ours.AssociateType("exe");  // no MIME type of ours
    EXPECT_FALSE(std::filesystem::exists(xdg.MimeApps()));
    EXPECT_FALSE(std::filesystem::exists(xdg.Applications() + "/mirvo-exe.desktop"));
}

TEST_F(Associations, AnyExecutablePathTheEntryCanCarry) {
    AssociationPlaces odd = places;
    odd.executable = "/opt/my player/mir$vo%1\\x";
    FileAssociations player(settings, odd);
    player.AssociateType("pls");
    EXPECT_EQ(Entry("pls"),
              "[Desktop Entry]\nType=Application\nName=Mirvo\n"
              "Comment=PLS - Mirvo File\n"
              "Exec=\"/opt/my player/mir\\\\$vo%%1\\\\\\\\x\" %f\n"
              "TryExec=/opt/my player/mir$vo%1\\\\x\n"
              "Icon=mirvo\nMimeType=audio/x-scpls;\nNoDisplay=true\nTerminal=false\n");
    EXPECT_TRUE(player.IsTypeAssociated("pls"));

    for (const char* unusable : {"/opt/mir\nvo", "mirvo", ""}) {
        odd.executable = unusable;
        FileAssociations broken(settings, odd);
        broken.AssociateType("m3u");
        EXPECT_EQ(Entry("m3u"), "<none>") << unusable;
        EXPECT_FALSE(broken.IsTypeAssociated("m3u"));
    }
}

// The MIME cache rebuild runs beside the program: a slow one holds nothing up.
TEST_F(Associations, TheCacheRebuildIsNotWaitedFor) {
    TempDir bin;
    const std::string go = bin / "go";
    const std::string seen = bin / "seen";
    // Says "go" once it sees the go-ahead written after NotifyChanged returned,
    // "late" when it gave up waiting for it.
    const std::string tool =
        bin.Write("update-desktop-database",
                  "#!/bin/sh\nfor i in $(seq 100); do\n  if [ -e '" + go + "' ]; then echo go > '" +
                      seen + ".new'; mv '" + seen + ".new' '" + seen +
                      "'; exit 0; fi\n  sleep 0.1\ndone\necho late > '" + seen + "'\n");
    ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
    std::filesystem::create_directories(xdg.Applications());
    const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", (bin.path() + ":" + path).c_str(), 1);
    ours.NotifyChanged();
    ::setenv("PATH", path.c_str(), 1);
    bin.Write("go", "");
    for (int i = 0; i < 400 && !std::filesystem::exists(seen); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(ReadWholeFile(seen).value_or("<none>"), "go\n");
}

}  // namespace
}  // namespace mirvo
