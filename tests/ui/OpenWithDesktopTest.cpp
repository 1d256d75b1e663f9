// Explore (Ctrl+E) and Documentation (Ctrl+F1) through the real xdg-open on a
// real X server, on a desktop that has no program for folders and web pages,
// and on one that has.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <map>
#include <optional>

#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/StartedWindow.h"
#include "fakes/XdgHome.h"
#include "platform/Desktop.h"
#include "support/Files.h"

namespace mirvo {
namespace {

// Variables set or removed for one test.
class Environment {
  public:
    ~Environment() {
        for (const auto& [name, value] : saved_) {
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        }
    }
    void Set(const std::string& name, const std::optional<std::string>& value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

class OpenWithDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        // Only the test's own folders name programs, and no desktop is guessed.
        env.Set("XDG_DATA_DIRS", systemData.path());
        for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "GNOME_DESKTOP_SESSION_ID"}) {
            env.Set(name, std::nullopt);
        }
        env.Set("BROWSER", "false");
        std::filesystem::create_directory(home / "Album");
        song = home / "Album/song.wav";
        test::WriteWav(song, test::Tone(44100, 1.0, 440), 44100);
        home.Write("Documentation.html", "<html></html>");
        app = test::StartWindow(home, {song}, desktop, hotKeys, dialogs);
    }
    void TearDown() override {
        app.reset();
        audio::Free();
    }
    // Runs the loop until `done` holds, at most 10 s.
    static bool Await(const std::function<bool()>& done) {
        for (int i = 0; i < 1000 && !done(); ++i) {
            QTest::qWait(10);
        }
        return done();
    }
    // A program for folders and web pages that notes what it was given.
    void InstallOpener() {
        const std::string script = home / "opener.sh";
        home.Write("opener.sh", "#!/bin/sh\necho \"$1\" >> " + opened + "\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        std::filesystem::create_directories(xdg.Applications());
        xdg.data.Write("applications/test-opener.desktop",
                       "[Desktop Entry]\nType=Application\nName=Opener\nExec=" + script +
                           " %f\nMimeType=inode/directory;text/html;\n");
        xdg.config.Write("mimeapps.list",
                         "[Default Applications]\ninode/directory=test-opener.desktop\n"
                         "text/html=test-opener.desktop\n");
    }
    std::string Opened() const { return ReadWholeFile(opened).value_or(""); }

    Environment env;
    test::XdgHome xdg;
    test::TempDir systemData;
    test::TempDir home;
    std::string song;
    std::string opened = home / "opened.txt";
    QtDesktop desktop;
    test::FakeHotKeys hotKeys;
    test::FakeDialogs dialogs;
    std::unique_ptr<MainApp> app;
};

TEST_F(OpenWithDesktop, WithNothingToOpenThemExploreAndDocumentationSaySo) {
    QTest::keyClick(app->window.ListScreen, Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(dialogs.notices.empty());  // nothing waits for xdg-open
    ASSERT_TRUE(Await([&] { return dialogs.notices.size() == 1; }));
    EXPECT_EQ(dialogs.notices[0].kind, NoticeKind::Error);
    EXPECT_EQ(dialogs.notices[0].text.rfind("No file manager could be started to show the "
                                            "folder.\r\r" +
                                                home / "Album",
                                            0),
              0u)
        << dialogs.notices[0].text;

    QTest::keyClick(app->window.ListScreen, Qt::Key_F1, Qt::ControlModifier);
    ASSERT_TRUE(Await([&] { return dialogs.notices.size() == 2; }));
    EXPECT_EQ(
        dialogs.notices[1].text,
        "No program could be started to show the documentation.\r\r" + home / "Documentation.html");
}

TEST_F(OpenWithDesktop, WithAProgramForThemTheyOpenSilently) {
    InstallOpener();
    QTest::keyClick(app->window.ListScreen, Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(Await([&] { return Opened().find(home / "Album") != std::string::npos; }));
    QTest::keyClick(app->window.ListScreen, Qt::Key_F1, Qt::ControlModifier);
    ASSERT_TRUE(Await([&] { return Opened().find("Documentation.html") != std::string::npos; }));
    QTest::qWait(300);  // the openers' answers arrive
    EXPECT_TRUE(dialogs.notices.empty()) << dialogs.notices[0].text;
}

}  // namespace
}  // namespace mirvo
