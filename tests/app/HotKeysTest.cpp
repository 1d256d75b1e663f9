// The stored global hot keys: their names, their registration, and the rules
// of the settings page that edits them.
#include "app/HotKeys.h"

#include <gtest/gtest.h>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "support/IniFile.h"

namespace mirvo {
namespace {

using enum HotKeyModifiers;
using test::FakePlayer;
using test::TempDir;

std::string Stored(const TempDir& dir, int id) {
    return IniFile::Load(dir / "Mirvo.ini").ReadString("Global hotkeys", std::to_string(id), "-");
}

TEST(HotKeyNames, ModifierWordsThenTheFixedOrTheDesktopsName) {
    test::FakeHotKeys names;
    EXPECT_EQ(KeyDisplayName(None, 179, names), "Media key: Play/Pause");
    EXPECT_EQ(KeyDisplayName(Windows | Ctrl, 65, names), "Winkey + Ctrl + A");
    EXPECT_EQ(KeyDisplayName(Shift | Alt | Ctrl | Windows, 19, names),
              "Winkey + Ctrl + Alt + Shift + Pause");
    EXPECT_EQ(KeyDisplayName(Alt, 33, names), "Alt + Page Up");
    EXPECT_EQ(KeyDisplayName(None, 255, names), "Key 255");
    // Modifier keys alone and keys the desktop cannot name show no key name.
    EXPECT_EQ(KeyDisplayName(Ctrl, 17, names), "Ctrl + ");
    EXPECT_EQ(KeyDisplayName(None, 92, names), "");
    EXPECT_EQ(KeyDisplayName(Shift, 200, names), "Shift + ");
}

TEST(HotKeyRegistration, RegistersWhatDecodesAndReportsFailuresOnlyWhenAsked) {
    TempDir dir;
    dir.Write("Mirvo.ini",
              "[Global hotkeys]\n1=0000-179\n2=1100-65\n3=0000-abc\n4=0000-\n12=0011-80\n");
    FakePlayer f(dir.path());
    RegisterAllHotKeys(f.player, true);
    EXPECT_EQ(
        f.hotKeys.registered,
        (std::vector<HotKey>{{1, None, 179}, {2, Windows | Ctrl, 65}, {12, Alt | Shift, 80}}));
    EXPECT_TRUE(f.dialogs.notices.empty());

    f.hotKeys.accept = false;  // held by other programs
    RegisterAllHotKeys(f.player, false);
    EXPECT_TRUE(f.dialogs.notices.empty());
    RegisterAllHotKeys(f.player, true);
    ASSERT_EQ(f.dialogs.notices.size(), 3u);
    EXPECT_EQ(f.dialogs.notices[0].kind, NoticeKind::Error);
    EXPECT_EQ(
        f.dialogs.notices[0].text,
        "Can't register global hotkey Play/Pause.\rDisable other global key binding software.");
    EXPECT_EQ(f.dialogs.notices[2].text,
              "Can't register global hotkey Copy playing title.\rDisable other global key binding "
              "software.");

    UnregisterAllHotKeys(f.player);
    EXPECT_EQ(f.hotKeys.unregistered, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(HotKeyPage, ListRowsAndSelectedRowShowStoredBindings) {
    TempDir dir;
    dir.Write("Mirvo.ini", "[Global hotkeys]\n0=\n1=0000-179\n2=0000-abc\n7=0100-19\n");
    FakePlayer f(dir.path());
    const std::vector<std::string> rows = HotKeyListRows(f.player);
    ASSERT_EQ(rows.size(), 13u);
    EXPECT_EQ(rows[0], "Play");
    EXPECT_EQ(rows[1], "Play/Pause\t Media key: Play/Pause");
    EXPECT_EQ(rows[2], "Stop");  // a key part that is no number binds nothing
    EXPECT_EQ(rows[7], "Soft mute\t Ctrl + Pause");
    EXPECT_EQ(rows[12], "Copy playing title");
    EXPECT_EQ(StoredHotKeyName(f.player, 7), "Ctrl + Pause");
    EXPECT_EQ(StoredHotKeyName(f.player, 2), "");
    EXPECT_EQ(StoredHotKeyName(f.player, 3), "");
}

TEST(HotKeyPage, CaptureFieldTakesEveryKeyButClearsOnBareBackspaceOrDelete) {
    test::FakeHotKeys names;
    HotKeyCapture capture;
    EXPECT_EQ(capture.KeyDown(65, Windows | Ctrl, names), "Winkey + Ctrl + A");
    EXPECT_EQ(capture.Modifiers, Windows | Ctrl);
    EXPECT_EQ(capture.KeyCode, 65u);
    EXPECT_EQ(capture.KeyDown(46, None, names), "");
    EXPECT_EQ(capture.Modifiers, None);
    EXPECT_EQ(capture.KeyCode, 0u);
    EXPECT_EQ(capture.KeyDown(65, Alt, names), "Alt + A");
    EXPECT_EQ(capture.KeyDown(8, None, names), "");
    EXPECT_EQ(capture.KeyCode, 0u);
    // With a modifier they are keys like any other.
    EXPECT_EQ(capture.KeyDown(46, Shift, names), "Shift + Delete");
    EXPECT_EQ(capture.KeyCode, 46u);
    EXPECT_EQ(capture.KeyDown(17, Ctrl, names), "Ctrl + ");
}

TEST(HotKeyPage, SetBindsOneFunctionPerCombinationAndRemovesWhenCleared) {
    TempDir dir;
    dir.Write("Mirvo.ini", "[Global hotkeys]\n1=0000-179\n2=0110-83\n3=0110-83\n");
    FakePlayer f(dir.path());
    HotKeyCapture capture;

    // Play takes Ctrl+Alt+S from Stop and Next track.
    capture.KeyDown(83, Ctrl | Alt, f.hotKeys);
    SetHotKey(f.player, 0, capture);
    EXPECT_EQ(Stored(dir, 0), "0110-83");
    EXPECT_EQ(Stored(dir, 2), "");
    EXPECT_EQ(Stored(dir, 3), "");
    EXPECT_EQ(Stored(dir, 1), "0000-179");

    // Only Ctrl pressed: nothing is stored.
    capture.KeyDown(17, Ctrl, f.hotKeys);
    SetHotKey(f.player, 1, capture);
    EXPECT_EQ(Stored(dir, 1), "0000-179");

    // Delete alone clears the capture; "Set" then removes the binding.
    capture.KeyDown(46, None, f.hotKeys);
    SetHotKey(f.player, 1, capture);
    EXPECT_EQ(Stored(dir, 1), "-");

    // Without a selected row nothing is written.
    capture.KeyDown(65, Windows, f.hotKeys);
    SetHotKey(f.player, -1, capture);
    SetHotKey(f.player, 13, capture);
    EXPECT_EQ(IniFile::Load(dir / "Mirvo.ini").Text(), "[Global hotkeys]\n2=\n3=\n0=0110-83\n");
}

}  // namespace
}  // namespace mirvo
