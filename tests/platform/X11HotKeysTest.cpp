// Global hot keys on a real X server (Xvfb), pressed through XTest by xdotool
// while a window of another client has the focus.
#include "platform/X11HotKeys.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <QCoreApplication>
#include <QProcess>
#include <QThread>
#include <cstdlib>

#include "audio/TestDevice.h"
#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "platform/X11Keys.h"
#include "playback/Commands.h"

namespace mirvo {
namespace {

using enum HotKeyModifiers;

// Another X client: it can hold keys and own the focused window.
class OtherClient {
  public:
    explicit OtherClient(const std::string& display) : c_(xcb_connect(display.c_str(), nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        symbols_ = xcb_key_symbols_alloc(c_);
    }
    ~OtherClient() {
        xcb_key_symbols_free(symbols_);
        xcb_disconnect(c_);
    }
    xcb_keycode_t Code(xcb_keysym_t keysym) const {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        return code;
    }
    bool Grab(xcb_keysym_t keysym, std::uint16_t modifiers) {
        xcb_generic_error_t* error =
            xcb_request_check(c_, xcb_grab_key_checked(c_, 1, root_, modifiers, Code(keysym),
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }
    void Ungrab(xcb_keysym_t keysym, std::uint16_t modifiers) {
        xcb_ungrab_key(c_, Code(keysym), root_, modifiers);
        Sync();
    }
    // A mapped window with the keyboard focus.
    void FocusOwnWindow() {
        window_ = xcb_generate_id(c_);
        const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
        xcb_map_window(c_, window_);
        Sync();
        xcb_set_input_focus(c_, XCB_INPUT_FOCUS_PARENT, window_, XCB_CURRENT_TIME);
        Sync();
    }
    bool HasFocus() {
        xcb_get_input_focus_reply_t* reply =
            xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr);
        const bool focused = reply != nullptr && reply->focus == window_;
        std::free(reply);
        return focused;
    }
    // Key presses of `keysym` the focused window received.
    int PressesOf(xcb_keysym_t keysym) {
        Sync();
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
                pressed_.push_back(reinterpret_cast<xcb_key_press_event_t*>(event)->detail);
            }
            std::free(event);
        }
        return static_cast<int>(std::count(pressed_.begin(), pressed_.end(), Code(keysym)));
    }

  private:
    void Sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    xcb_window_t window_ = 0;
    xcb_key_symbols_t* symbols_ = nullptr;
    std::vector<xcb_keycode_t> pressed_;
};

class X11HotKeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // -displayfd picks a free display and tells its number.
        server_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                               QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                               QStringLiteral("-screen"), QStringLiteral("0"),
                                               QStringLiteral("640x480x24")});
        ASSERT_TRUE(server_.waitForStarted());
        while (!server_.canReadLine()) {
            ASSERT_TRUE(server_.waitForReadyRead(30000)) << "Xvfb did not start";
        }
        display = ":" + server_.readLine().trimmed().toStdString();
    }
    void TearDown() override {
        server_.terminate();
        server_.waitForFinished();
    }
    // xdotool sends the keys through XTest, as a keyboard would.
    void Press(const char* keys) {
        QProcess xdotool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display));
        xdotool.setProcessEnvironment(env);
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromUtf8(keys)});
        ASSERT_TRUE(xdotool.waitForFinished(20000));
        ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
    }
    // Runs the loop until `done` holds; false when it did not within 20 s.
    static bool RunUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(10);
        }
        return done();
    }
    std::string display;

  private:
    QProcess server_;
};

TEST_F(X11HotKeysTest, ACombinationWorksWhileAnotherWindowHasTheFocusWhateverTheLocks) {
    test::TempDir dir;
    const std::string tone = dir / "tone.wav";
    test::WriteWav(tone, test::Tone(44100, 5.0, 440), 44100);
    test::FakePlayer f(dir.path());
    f.player.engine.Device = audio::test::kDevice;
    f.player.app.ProgramTitle = kProgramTitle;
    f.player.playlist.PlaylistEntries = {tone};
    f.view.rowCount = 1;
    f.view.focusedRow = 0;
    test::FakePlaybackView bar;
    {
        Engine engine(f.player, bar);
        Commands commands(f.player, engine);
        ASSERT_TRUE(commands.DispatchKey(kKeyEnter, kNoModifier));
        engine.Settle();
        ASSERT_EQ(engine.OutputState(), audio::kActivePlaying);

        OtherClient other(display);
        other.FocusOwnWindow();
        X11HotKeys hotKeys(display);
        std::vector<int> heard;
        hotKeys.OnHotKey = [&](int id) {
            heard.push_back(id);
            commands.HotKey(id);
        };
        ASSERT_TRUE(hotKeys.RegisterHotKey({1, Ctrl | Alt, 'P'}));  // "Play/Pause"
        ASSERT_TRUE(other.HasFocus());

        Press("ctrl+alt+p");
        ASSERT_TRUE(RunUntil([&] { return heard.size() == 1; }));
        EXPECT_EQ(heard[0], 1);
        EXPECT_EQ(engine.OutputState(), audio::kActivePaused);
        EXPECT_EQ(other.PressesOf(XKB_KEY_p), 0);  // the grab took it from the focused window
        EXPECT_TRUE(other.HasFocus());

        Press("Num_Lock");
        Press("ctrl+alt+p");
        ASSERT_TRUE(RunUntil([&] { return heard.size() == 2; }));
        EXPECT_EQ(engine.OutputState(), audio::kActivePlaying);
        Press("Caps_Lock");
        Press("ctrl+alt+p");
        ASSERT_TRUE(RunUntil([&] { return heard.size() == 3; }));
        EXPECT_EQ(engine.OutputState(), audio::kActivePaused);
        Press("Num_Lock");
        Press("Caps_Lock");

        // Other modifiers make another combination, which the focused window gets.
        ASSERT_TRUE(hotKeys.RegisterHotKey({99, Ctrl | Alt | Shift, 123}));
        Press("ctrl+p");
        Press("ctrl+alt+shift+p");
        Press("ctrl+alt+shift+F12");
        ASSERT_TRUE(RunUntil([&] { return heard.size() == 4; }));
        EXPECT_EQ(heard[3], 99);
        EXPECT_EQ(other.PressesOf(XKB_KEY_p), 2);
        EXPECT_EQ(engine.OutputState(), audio::kActivePaused);
    }
    audio::Free();
}

TEST_F(X11HotKeysTest, MediaKeysArriveUnderTheirFunctionsNumber) {
    OtherClient other(display);
    other.FocusOwnWindow();
    X11HotKeys hotKeys(display);
    std::vector<int> heard;
    hotKeys.OnHotKey = [&](int id) { heard.push_back(id); };
    ASSERT_TRUE(hotKeys.RegisterHotKey({1, None, 179}));
    ASSERT_TRUE(hotKeys.RegisterHotKey({3, None, 176}));
    ASSERT_TRUE(hotKeys.RegisterHotKey({7, None, 19}));
    Press("XF86AudioNext");
    Press("Pause");
    Press("XF86AudioPlay");
    ASSERT_TRUE(RunUntil([&] { return heard.size() == 3; }));
    EXPECT_EQ(heard, (std::vector<int>{3, 7, 1}));

    // Registering an id again replaces its combination.
    ASSERT_TRUE(hotKeys.RegisterHotKey({1, Shift, 179}));
    Press("XF86AudioPlay");
    Press("shift+XF86AudioPlay");
    ASSERT_TRUE(RunUntil([&] { return heard.size() == 4; }));
    EXPECT_EQ(heard[3], 1);
    EXPECT_EQ(other.PressesOf(XKB_KEY_XF86AudioPlay), 1);
}

TEST_F(X11HotKeysTest, AKeyHeldByAnotherClientFailsAndLeavesNoGrabBehind) {
    OtherClient other(display);
    X11HotKeys hotKeys(display);
    const std::uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    const std::uint16_t numLock = XCB_MOD_MASK_2;

    ASSERT_TRUE(other.Grab(XKB_KEY_s, ctrlAlt));
    EXPECT_FALSE(hotKeys.RegisterHotKey({2, Ctrl | Alt, 'S'}));
    other.Ungrab(XKB_KEY_s, ctrlAlt);

    // Held only with NumLock on: the whole registration fails, and the grabs
    // already made for it are released.
    ASSERT_TRUE(other.Grab(XKB_KEY_s, ctrlAlt | numLock));
    EXPECT_FALSE(hotKeys.RegisterHotKey({2, Ctrl | Alt, 'S'}));
    EXPECT_TRUE(other.Grab(XKB_KEY_s, ctrlAlt));
    other.Ungrab(XKB_KEY_s, ctrlAlt);
    other.Ungrab(XKB_KEY_s, ctrlAlt | numLock);

    ASSERT_TRUE(hotKeys.RegisterHotKey({2, Ctrl | Alt, 'S'}));
    EXPECT_FALSE(other.Grab(XKB_KEY_s, ctrlAlt));
    EXPECT_FALSE(other.Grab(XKB_KEY_s, ctrlAlt | XCB_MOD_MASK_LOCK | numLock));
    hotKeys.UnregisterHotKey(2);
    EXPECT_TRUE(other.Grab(XKB_KEY_s, ctrlAlt));
    other.Ungrab(XKB_KEY_s, ctrlAlt);

    // Every grab goes with the registrar.
    {
        X11HotKeys leaving(display);
        ASSERT_TRUE(leaving.RegisterHotKey({5, Windows, 'V'}));
        EXPECT_FALSE(other.Grab(XKB_KEY_v, XCB_MOD_MASK_4));
    }
    EXPECT_TRUE(other.Grab(XKB_KEY_v, XCB_MOD_MASK_4));
    // A key the keyboard does not have cannot be held.
    EXPECT_FALSE(hotKeys.RegisterHotKey({6, None, 0}));
}

TEST(X11HotKeysWithoutServer, EveryRegistrationFailsButKeysKeepTheirNames) {
    X11HotKeys absent(":65001");
    EXPECT_FALSE(absent.RegisterHotKey({1, None, 179}));
    absent.UnregisterHotKey(1);
    EXPECT_EQ(absent.KeyName('A'), "A");
    EXPECT_EQ(absent.KeyName(116), "F5");
    EXPECT_EQ(absent.KeyName(107), "KP_Add");
    EXPECT_EQ(absent.KeyName(179), "XF86AudioPlay");
    EXPECT_EQ(absent.KeyName(0), "");

    // A Wayland session without XWayland has no DISPLAY.
    const QByteArray saved = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    X11HotKeys none;
    EXPECT_FALSE(none.RegisterHotKey({1, None, 'A'}));
    if (!saved.isNull()) {
        qputenv("DISPLAY", saved);
    }
}

}  // namespace
}  // namespace mirvo
