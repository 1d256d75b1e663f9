// The settings dialog's pages without a window: what each change writes to a
// real settings file, in how many saves, and what it does to the player.
#include "app/Preferences.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <future>
#include <numeric>

#include "app/HotKeys.h"
#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/ScrobbleService.h"
#include "fakes/TempDir.h"
#include "fakes/WriteCounter.h"
#include "fakes/XdgHome.h"
#include "playback/Engine.h"
#include "support/IniFile.h"

namespace mirvo {
namespace {

using namespace std::chrono_literals;

struct Rig {
    explicit Rig(ScrobbleClient* scrobbler = nullptr)
        : f(home.path()), saves(home.path(), "Mirvo.ini") {
        f.player.engine.Device = audio::test::kDevice;
        f.player.app.ProgramTitle = kProgramTitle;
        engine = std::make_unique<Engine>(f.player, bar);
        prefs = std::make_unique<Preferences>(f.player, *engine, scrobbler,
                                              AssociationPlaces::FromEnvironment(),
                                              [this](int style) { styles.push_back(style); });
    }
    ~Rig() {
        prefs.reset();
        engine.reset();
        audio::Free();
    }
    IniFile Ini() const { return IniFile::Load(home / "Mirvo.ini"); }
    std::string Key(const char* section, const char* key) const {
        return Ini().Get(section, key).value_or("<none>");
    }

    test::XdgHome xdg;
    test::TempDir home;
    test::FakePlayer f;
    test::FakePlaybackView bar;
    std::unique_ptr<Engine> engine;
    std::vector<int> styles;
    std::unique_ptr<Preferences> prefs;
    test::WriteCounter saves;
};

TEST(Preferences, EachChangeIsOneSaveOfItsKeys) {
    Rig r;
    r.home.Write("Mirvo.ini", "[General]\nlastversioncheck=2026-12-01\nlastnewversion=1.05\n");
    r.saves.Take();
    Preferences& p = *r.prefs;

    p.StayUpdatedClicked(false);
    EXPECT_EQ(r.saves.Take(), 1);  // three keys, one save
    EXPECT_EQ(r.Key("General", "AutoUpdate"), "0");
    EXPECT_EQ(r.Key("General", "lastversioncheck"), "0");
    EXPECT_EQ(r.Key("General", "lastnewversion"), "none");
    EXPECT_FALSE(r.f.player.values.AutoUpdate);

    p.EnqueueOptionClicked(1);
    EXPECT_EQ(r.saves.Take(), 1);
    EXPECT_EQ(r.Key("General", "EnqueueOption"), "1");
    p.MultipleInstancesClicked(true);
    EXPECT_EQ(r.saves.Take(), 1);
    EXPECT_EQ(r.Key("General", "MultipleInstances"), "1");

    p.RecordTempPathChanged("/music/rec/");
    EXPECT_EQ(r.saves.Take(), 1);
    EXPECT_EQ(r.Key("General", "RecordTempPath"), "/music/rec/");
    p.RecordAheadClicked(true);
    EXPECT_EQ(r.saves.Take(), 1);
    EXPECT_EQ(r.Key("General", "RecordAhead"), "1");

    r.f.player.playlist.PlaylistEntries = {"/b/1 z.mp3", "/a/2 y.mp3", "/c/0 x.mp3"};
    r.f.player.playlist.PlayingIndex = 1;
    p.SortClicked(1);
    EXPECT_EQ(r.saves.Take(), 1);
    EXPECT_EQ(r.Key("Playlist", "SortingWay"), "1");
    EXPECT_EQ(r.f.player.playlist.PlaylistEntries,
              (std::vector<std::string>{"/c/0 x.mp3", "/b/1 z.mp3", "/a/2 y.mp3"}));
    EXPECT_EQ(r.f.player.playlist.PlayingIndex, 2);  // still the entry that was playing

    p.ChangeDevice(audio::test::kDevice);
    EXPECT_EQ(r.saves.Take(), 1);
    EXPECT_EQ(r.Key("General", "Device"), std::to_string(audio::test::kDevice));

    p.FormClose(5);
    EXPECT_EQ(r.saves.Take(), 1);
    EXPECT_EQ(r.Key("General", "PreferencesHistory"), "5");
}

TEST(Preferences, TheSecondsFieldKeepsTheLastWholeNumber) {
    Rig r;
    Preferences& p = *r.prefs;
    p.RecordSecAheadChanged("45");
    EXPECT_EQ(r.saves.Take(), 1);
    for (const char* typed : {"45s", "abc", "", "4.5", "-10", "99999999999"}) {
        p.RecordSecAheadChanged(typed);
        EXPECT_EQ(r.saves.Take(), 0) << typed;
    }
    EXPECT_EQ(r.Key("General", "RecordSecAhead"), "45");
    p.RecordSecAheadChanged(" 300 ");
    EXPECT_EQ(r.Key("General", "RecordSecAhead"), "300");
}

TEST(Preferences, LoadingTheControlsWritesNothing) {
    Rig r;
    r.home.Write("Mirvo.ini",
                 "[General]\nEnqueueOption=0\nRecordSecAhead=30\nPreferencesHistory=4\n"
                 "Device=1\n");
    const std::string before = r.Ini().Text();
    r.saves.Take();
    Preferences& p = *r.prefs;
    const PreferencesShown shown = p.FormShow(",");
    ASSERT_TRUE(p.PrefsLoading);
    // What the dialog does while it fills its controls.
    for (int box = 0; box < 6; ++box) {
        p.AssociationClicked(box, true);
    }
    p.StayUpdatedClicked(false);
    p.EnqueueOptionClicked(2);
    p.MultipleInstancesClicked(true);
    p.SortClicked(1);
    p.MeterStyleClicked(2);
    p.RecordTempPathChanged("/x/");
    p.RecordSecAheadChanged("12");
    p.RecordAheadClicked(true);
    p.LastfmEnableClicked(true);
    p.LastfmUsernameDone("someone");
    p.DeviceChanged(0);
    p.FormShown();
    EXPECT_FALSE(p.PrefsLoading);
    EXPECT_EQ(r.saves.Take(), 0);
    EXPECT_EQ(r.Ini().Text(), before);
    EXPECT_TRUE(r.styles.empty());
    EXPECT_EQ(r.f.player.engine.Device, audio::test::kDevice);
    EXPECT_EQ(r.f.player.playlist.SortingWay, 0);

    EXPECT_EQ(shown.EnqueueOption, 0);
    EXPECT_EQ(shown.RecordSecAhead, "30");
    EXPECT_EQ(shown.Page, 4);
    EXPECT_EQ(shown.DeviceItem, 0);
    ASSERT_FALSE(shown.Devices.empty());
    EXPECT_EQ(shown.Devices[0], "Default");
    EXPECT_EQ(shown.RecordTempPath, TempFolder());  // unset: where recordings go
    EXPECT_EQ(shown.BufferLength, "Buffer length: 3000 ms");
    EXPECT_EQ(shown.HotKeyRows.size(), 13u);

    p.MeterStyleClicked(2);  // after loading, a click switches the meters
    EXPECT_EQ(r.styles, std::vector<int>{2});
}

TEST(Preferences, PagesAndDevicesOutOfRangeShowTheFirstPageAndNoDevice) {
    Rig r;
    r.home.Write("Mirvo.ini", "[General]\nPreferencesHistory=9\nDevice=-100\n");
    r.f.player.playlist.PlayingEntry = "http://radio.example/stream|Radio";
    const PreferencesShown shown = r.prefs->FormShow(",");
    EXPECT_EQ(shown.Page, 0);
    EXPECT_EQ(shown.DeviceItem, -1);
    EXPECT_EQ(shown.EnqueueOption, 2);  // the default
    EXPECT_EQ(shown.BufferLength, "Buffer length: 5000 ms");
}

TEST(Preferences, OutputLevelInTheLocalesFormatWithWholeValuesEndingInComma0) {
    EXPECT_EQ(OutputLevelText(Engine::VolumeCurve(500), ","), "-12,0 dB");  // 250
    EXPECT_EQ(OutputLevelText(Engine::VolumeCurve(500), "."), "-12,0 dB");
    EXPECT_EQ(OutputLevelText(90, ","), "-20,9 dB");
    EXPECT_EQ(OutputLevelText(90, "."), "-20.9 dB");
    EXPECT_EQ(OutputLevelText(1000, "."), "0,0 dB");
    EXPECT_EQ(OutputLevelText(999, ","), "0,0 dB");  // -0.009 rounds to no sign
    EXPECT_EQ(OutputLevelText(1, ","), "-60,0 dB");
    EXPECT_EQ(OutputLevelText(0, ","), "-oo dB");
    EXPECT_EQ(OutputLevelText(Engine::VolumeCurve(9), ","), "-oo dB");
    EXPECT_EQ(OutputLevelText(2, ","), "-54,0 dB");
    EXPECT_EQ(OutputLevelText(3, "."), "-50.5 dB");
}

TEST(Preferences, HotKeysAreReleasedWhileShownAndTakenBackAtClose) {
    Rig r;
    r.home.Write("Mirvo.ini", "[Global hotkeys]\n1=0000-179\n3=0100-78\n5=junk\n");
    test::FakeHotKeys& keys = r.f.hotKeys;
    r.prefs->FormShow(",");
    r.prefs->FormShown();
    std::vector<int> all(13);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(keys.unregistered, all);
    EXPECT_TRUE(keys.registered.empty());

    keys.accept = false;  // held by another program
    r.prefs->FormClose(0);
    ASSERT_EQ(keys.registered.size(), 2u);
    EXPECT_EQ(keys.registered[0], (HotKey{1, HotKeyModifiers::None, 179}));
    EXPECT_EQ(keys.registered[1], (HotKey{3, HotKeyModifiers::Ctrl, 78}));
    EXPECT_TRUE(r.f.dialogs.notices.empty());  // not the hot keys' page: nothing said

    r.prefs->FormShow(",");
    r.prefs->FormShown();
    r.prefs->FormClose(kHotKeysPage);
    ASSERT_EQ(r.f.dialogs.notices.size(), 2u);
    EXPECT_EQ(r.f.dialogs.notices[0].text,
              "Can't register global hotkey Play/Pause.\rDisable other global key binding "
              "software.");
    EXPECT_EQ(r.f.dialogs.notices[1].kind, NoticeKind::Error);
}

TEST(Preferences, AssociationBoxesAssociateAndRemoveThroughTheDesktopFiles) {
    Rig r;
    Preferences& p = *r.prefs;
    EXPECT_FALSE(p.FormShow(",").Associated[1]);
    p.FormShown();
    r.saves.Take();
    p.AssociationClicked(1, true);  // "&MP3"
    EXPECT_EQ(r.saves.Take(), 1);
    EXPECT_EQ(r.Key("Associations", "mp3"), "1");
    EXPECT_TRUE(FileAssociations(r.f.player.settings, AssociationPlaces::FromEnvironment())
                    .IsTypeAssociated("mp3"));
    const PreferencesShown again = p.FormShow(",");
    p.FormShown();
    EXPECT_TRUE(again.Associated[1]);
    EXPECT_FALSE(again.Associated[0]);
    p.AssociationClicked(1, false);
    EXPECT_EQ(r.Key("Associations", "mp3"), "0");
    EXPECT_FALSE(p.FormShow(",").Associated[1]);
}

TEST(Preferences, MusicFoldersAreSavedAndReadBack) {
    Rig r;
    Preferences& p = *r.prefs;
    test::FakeShell shell;
    r.f.player.shell = &shell;
    const int& changes = shell.folderChanges;
    r.f.dialogs.folderAnswers = {"/srv/music", std::nullopt, "/home/me/Music/"};
    EXPECT_EQ(p.AddMusicFolder(), (std::vector<std::string>{"/srv/music/"}));
    EXPECT_EQ(r.saves.Take(), 1);
    EXPECT_EQ(p.AddMusicFolder(), std::nullopt);  // cancelled
    EXPECT_EQ(r.saves.Take(), 0);
    EXPECT_EQ(p.AddMusicFolder(), (std::vector<std::string>{"/srv/music/", "/home/me/Music/"}));
    EXPECT_EQ(r.Key("Root media", "path1"), "/home/me/Music/");
    EXPECT_EQ(p.DeleteMusicFolder(5), std::nullopt);
    EXPECT_EQ(p.DeleteMusicFolder(0), (std::vector<std::string>{"/home/me/Music/"}));
    EXPECT_EQ(r.Key("Root media", "path0"), "/home/me/Music/");
    EXPECT_EQ(r.Key("Root media", "path1"), "<none>");
    EXPECT_EQ(changes, 3);

    // Only 20 are read back at start: a 21st would be lost, so it is refused.
    r.f.player.playlist.MusicFolders.assign(20, "/m/");
    r.f.dialogs.folderAnswers = {"/one/more"};
    EXPECT_EQ(p.AddMusicFolder(), std::nullopt);
    EXPECT_EQ(r.f.dialogs.folderAnswers.size(), 1u);  // not even asked
    ASSERT_EQ(r.f.dialogs.notices.size(), 1u);
}

TEST(Preferences, AReadOnlySettingsFileKeepsWhatItHolds) {
    Rig r;
    r.home.Write("Mirvo.ini", "[Root media]\npath0=/old/\n");
    r.f.player.settings.LoadMusicFolders(r.f.player.playlist);
    ::chmod((r.home / "Mirvo.ini").c_str(), 0444);
    r.saves.Take();
    r.f.dialogs.folderAnswers = {"/new"};
    EXPECT_EQ(r.prefs->AddMusicFolder(), (std::vector<std::string>{"/old/"}));
    r.prefs->MultipleInstancesClicked(true);
    EXPECT_EQ(r.saves.Take(), 0);
}

TEST(Preferences, TheRecordFolderEndsInASlashAndCancelKeepsIt) {
    Rig r;
    r.f.dialogs.folderAnswers = {"/data/rec", std::nullopt};
    EXPECT_EQ(r.prefs->ChooseRecordFolder(), "/data/rec/");
    EXPECT_EQ(r.prefs->ChooseRecordFolder(), std::nullopt);
    EXPECT_EQ(r.saves.Take(), 0);  // the field writes it when it changes
}

// A tone whose every frame differs, so a position can be told from the sound.
std::vector<std::uint8_t> Ramp(const std::string& path, double seconds) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * 44100) * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>((i * 7) % 60000 - 30000);
    }
    test::WriteWav(path, samples, 44100);
    return test::DecodeAll(path);
}

TEST(Preferences, ChangingTheDeviceGoesOnAtTheSamePosition) {
    Rig r;
    const std::string song = r.home / "song.wav";
    const std::vector<std::uint8_t> data = Ramp(song, 6.0);
    r.f.player.playlist.PlaylistEntries = {song};
    Engine& e = *r.engine;
    e.PlayEntry(0);
    e.Settle();
    for (int i = 0; i < 10; ++i) {
        audio::test::Update();
        audio::test::Advance(17640);
        e.StatusTick();
    }
    const std::int64_t position = e.CurrentPositionBytes();
    ASSERT_EQ(position, 176400);

    r.prefs->ChangeDevice(audio::test::kDevice);
    e.Settle();
    EXPECT_TRUE(r.f.player.engine.DeviceReady);
    EXPECT_EQ(e.OutputState(), audio::kActivePlaying);
    EXPECT_EQ(e.CurrentPositionBytes(), position);
    audio::test::Update();
    const std::vector<std::uint8_t> heard = audio::test::Advance(17640);
    ASSERT_EQ(heard.size(), 17640u);
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), data.begin() + position));

    // From "No sound", paused: still paused, at the same place, on the new device.
    r.prefs->ChangeDevice(0);
    e.Settle();
    EXPECT_EQ(r.f.player.engine.Device, 0);
    EXPECT_EQ(e.OutputState(), audio::kActivePlaying);
    e.Pause();
    const std::int64_t paused = e.CurrentPositionBytes();  // a paused clock stands still
    r.prefs->ChangeDevice(audio::test::kDevice);
    e.Settle();
    EXPECT_TRUE(e.IsPaused());
    EXPECT_EQ(e.CurrentPositionBytes(), paused);
    e.Resume();
    audio::test::Update();
    const std::vector<std::uint8_t> resumed = audio::test::Advance(4410);
    ASSERT_EQ(resumed.size(), 4408u);
    EXPECT_TRUE(std::equal(resumed.begin(), resumed.end(), data.begin() + paused));
    EXPECT_TRUE(r.f.dialogs.notices.empty());
}

TEST(Preferences, ChangingTheDeviceWhileStoppedStartsTheCurrentEntry) {
    Rig r;
    const std::string song = r.home / "song.wav";
    const std::vector<std::uint8_t> data = Ramp(song, 3.0);
    r.f.player.playlist.PlaylistEntries = {song};
    r.f.player.playlist.PlayingIndex = 0;
    r.prefs->ChangeDevice(audio::test::kDevice);
    r.engine->Settle();
    EXPECT_EQ(r.engine->OutputState(), audio::kActivePlaying);
    audio::test::Update();
    const std::vector<std::uint8_t> heard = audio::test::Advance(4410);
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), data.begin()));

    // A device that cannot be opened is said once, and nothing plays.
    r.prefs->ChangeDevice(4000);
    ASSERT_EQ(r.f.dialogs.notices.size(), 1u);
    EXPECT_EQ(r.f.dialogs.notices[0].text, "Can't open sound device.");
    EXPECT_EQ(r.engine->OutputState(), audio::kActiveStopped);
    EXPECT_EQ(r.Key("General", "Device"), "4000");
}

struct ServiceRig {
    ServiceRig() : client(home / "Scrobbles.txt"), rig(&client) {
        client.RetryPause = 1ms;
        client.SetAccount({false, "", "", service.Base()});
        rig.f.player.values.LastfmHost = service.Base();
    }
    // The posted answer, run as the UI thread would.
    std::vector<test::Notice> Answer() {
        EXPECT_TRUE(rig.f.loop.WaitForPosted());
        rig.f.loop.RunPosted();
        return rig.f.dialogs.notices;
    }
    test::FakeService service;
    test::TempDir home;
    ScrobbleClient client;
    Rig rig;
};

TEST(Preferences, PlayHistoryChangesReachTheClientAndTheFile) {
    ServiceRig s;
    Preferences& p = *s.rig.prefs;
    p.LastfmUsernameDone("John Doe");
    p.LastfmPasswordDone("secret");
    EXPECT_EQ(s.rig.saves.Take(), 2);
    p.LastfmPasswordDone("secret");  // the field left again unchanged
    EXPECT_EQ(s.rig.saves.Take(), 0);
    p.LastfmEnableClicked(true);
    EXPECT_EQ(s.rig.saves.Take(), 1);
    EXPECT_EQ(s.rig.Key("PlayingHistory", "LastfmUsername"), "John Doe");
    EXPECT_EQ(s.rig.Key("PlayingHistory", "LastfmPassword"), "secret");
    EXPECT_EQ(s.rig.Key("PlayingHistory", "LastfmEnable"), "1");

    // The client speaks with what the page set.
    ASSERT_TRUE(s.client.Send({"Artist", "Title", "", 0, "", 100}, true));
    const auto requests = s.service.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(test::Form(requests[0].target.substr(2))["u"], "John+Doe");
}

TEST(Preferences, CheckConnectionAnswersOnTheUiThreadWithoutWaitingForIt) {
    ServiceRig s;
    Preferences& p = *s.rig.prefs;
    p.LastfmUsernameDone("me");
    p.LastfmPasswordDone("wrong");
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    s.service.beforeHandshake = [gate] { gate.wait(); };

    p.CheckConnection();  // returns while the service has not answered
    EXPECT_TRUE(s.rig.f.loop.posted.empty());
    release.set_value();
    auto notices = s.Answer();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "Authentication last.fm: BADAUTH");
    EXPECT_EQ(notices[0].kind, NoticeKind::Information);

    p.LastfmPasswordDone("secret");
    p.CheckConnection();
    notices = s.Answer();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1].text, "Authentication last.fm: OK");

    s.service.server.Stop();
    p.CheckConnection();
    notices = s.Answer();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[2].text, "Can not connect to last.fm");
}

TEST(Preferences, ACheckAnsweredAfterTheDialogWentAwayShowsNothing) {
    ServiceRig s;
    s.rig.prefs->CheckConnection();
    s.client.WaitForWorkers();
    s.rig.prefs.reset();
    s.rig.f.loop.RunPosted();
    EXPECT_TRUE(s.rig.f.dialogs.notices.empty());
}

}  // namespace
}  // namespace mirvo
