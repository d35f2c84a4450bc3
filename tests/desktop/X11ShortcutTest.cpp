#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "base/ports/DefaultsStore.h"
#include "platform/qt/DesktopServices.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/X11GlobalShortcut.h"
#include "support/ChildProcess.h"
#include "system/GlobalShortcutController.h"
#include "system/MuteTarget.h"
#include "ui/QtWait.h"

namespace tavuno {
namespace {

using test::processEventsUntil;

constexpr ShortcutId output = ShortcutId::muteOutput;
constexpr ShortcutId mic = ShortcutId::muteInput;

// The output's and the microphone's mute, recorded.
struct RecordingMute : MuteTarget {
  struct Side {
    bool muted = false;
    int changes = 0;
  };
  bool muteAvailable(MuteSide) const override { return true; }
  bool muted(MuteSide side) const override { return of(side).muted; }
  bool setMute(MuteSide side, bool mute) override {
    of(side).muted = mute;
    ++of(side).changes;
    return true;
  }
  void setError(std::optional<std::string>) override {}
  Side& of(MuteSide side) { return side == MuteSide::input ? input : output; }
  const Side& of(MuteSide side) const { return side == MuteSide::input ? input : output; }

  Side output;
  Side input;
};

// Another client of the same X server: presses keys through XTEST and holds
// grabs of its own.
class OtherClient {
 public:
  explicit OtherClient(const std::string& display) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    symbols_ = xcb_key_symbols_alloc(connection_);
  }
  ~OtherClient() {
    xcb_key_symbols_free(symbols_);
    xcb_disconnect(connection_);
  }

  xcb_keycode_t keycode(xcb_keysym_t keysym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, keysym);
    const xcb_keycode_t code = codes ? codes[0] : 0;
    std::free(codes);
    return code;
  }
  // The server makes the event `delayMs` after the one before.
  void key(xcb_keysym_t keysym, bool press, std::uint32_t delayMs = 0) {
    xcb_test_fake_input(connection_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode(keysym),
                        delayMs, root_, 0, 0, 0);
  }
  // Control+Alt+Super held around a press of `letter` held `holdMs`.
  void pressShortcut(xcb_keysym_t letter, std::uint32_t holdMs = 0) {
    for (xcb_keysym_t modifier : {controlL, altL, superL})
      key(modifier, true);
    key(letter, true);
    key(letter, false, holdMs);
    for (xcb_keysym_t modifier : {superL, altL, controlL})
      key(modifier, false);
    sync();
  }
  void toggleCapsLock() {
    key(capsLock, true);
    key(capsLock, false);
    sync();
  }
  // True when the server let this client grab the combination of `letter`
  // with `state`.
  bool grab(xcb_keysym_t letter, std::uint16_t state) {
    xcb_generic_error_t* error = xcb_request_check(
        connection_, xcb_grab_key_checked(connection_, 1, root_, state, keycode(letter),
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return !error;
  }
  // Returns once the server has handled everything sent before.
  void sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  static constexpr xcb_keysym_t controlL = 0xffe3, altL = 0xffe9, superL = 0xffeb,
                                capsLock = 0xffe5;

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_;
  xcb_key_symbols_t* symbols_;
};

class X11ShortcutTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    auto program = test::ChildProcess::find("Xvfb");
    if (!program) return;
    server = new test::ChildProcess({*program, "-displayfd", "{fd}", "-nolisten", "tcp", "-noreset",
                                     "-screen", "0", "320x240x24"},
                                    {.deathSignal = SIGTERM});
    if (auto number = server->readLine(15.0)) display = ":" + *number;
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    if (!server) GTEST_SKIP() << "Xvfb is not installed (scripts/bootstrap installs it)";
    ASSERT_FALSE(display.empty()) << "Xvfb did not start";
    backend = makeGlobalShortcut(main, DesktopSession{.wayland = false, .x11Display = display},
                                 QDBusConnection(QStringLiteral("none")));
    ASSERT_TRUE(dynamic_cast<X11GlobalShortcut*>(backend.get())) << "an X11 session grabs keys";
    other = std::make_unique<OtherClient>(display);
  }
  std::unique_ptr<GlobalShortcutController> makeController() {
    return std::make_unique<GlobalShortcutController>(
        defaults, *backend,
        GlobalShortcutController::Actions{
            {ShortcutId::muteOutput, muteShortcutAction(target, MuteSide::output)},
            {ShortcutId::muteInput, muteShortcutAction(target, MuteSide::input)}});
  }

  static inline test::ChildProcess* server = nullptr;
  static inline std::string display;
  QtMainQueue main;
  InMemoryDefaultsStore defaults;
  std::shared_ptr<RecordingMute> target = std::make_shared<RecordingMute>();
  std::unique_ptr<GlobalShortcutRegistering> backend;
  std::unique_ptr<OtherClient> other;
};

TEST_F(X11ShortcutTest, PressesOfTheCombinationToggleTheMute) {
  auto controller = makeController();
  controller->setEnabled(output, true);
  ASSERT_TRUE(controller->enabled(output)) << controller->message(output).value_or("");

  other->pressShortcut('m');
  ASSERT_TRUE(processEventsUntil([&] { return target->output.changes == 1; }));
  EXPECT_TRUE(target->output.muted);

  // Caps Lock on changes the modifier state the server matches.
  other->toggleCapsLock();
  other->pressShortcut('m');
  other->toggleCapsLock();
  // A press made before the letter changes still counts.
  controller->setKey(output, ShortcutKey::v);
  ASSERT_EQ(controller->key(output), ShortcutKey::v);
  ASSERT_TRUE(processEventsUntil([&] { return target->output.changes == 2; }));
  EXPECT_FALSE(target->output.muted);

  other->pressShortcut('m');  // the old letter is free again
  other->pressShortcut('v');
  ASSERT_TRUE(processEventsUntil([&] { return target->output.changes == 3; }));
  EXPECT_TRUE(other->grab('m', X11GlobalShortcut::modifiers)) << "m was let go";
}

TEST_F(X11ShortcutTest, TheMicrophonesCombinationTogglesTheInputMuteOncePerHold) {
  auto controller = makeController();
  controller->setEnabled(output, true);
  controller->setEnabled(mic, true);
  ASSERT_TRUE(controller->enabled(mic)) << controller->message(mic).value_or("");
  ASSERT_EQ(controller->key(mic), ShortcutKey::v);

  // Held past the server's repeat delay (660 ms unless set otherwise) and
  // several repeats (every 40 ms): the server sends the press again and again.
  other->pressShortcut('v', 1000);
  other->pressShortcut('m');
  ASSERT_TRUE(processEventsUntil([&] { return target->output.changes == 1; }));
  EXPECT_EQ(target->input.changes, 1) << "a held key counts once";
  EXPECT_TRUE(target->input.muted);
  other->pressShortcut('v');
  ASSERT_TRUE(processEventsUntil([&] { return target->input.changes == 2; }));
  EXPECT_FALSE(target->input.muted);
  EXPECT_EQ(target->output.changes, 1) << "each combination acts on its own side";

  // Releasing one leaves the other's grab in place.
  controller->setEnabled(output, false);
  EXPECT_TRUE(other->grab('m', X11GlobalShortcut::modifiers));
  EXPECT_FALSE(other->grab('v', X11GlobalShortcut::modifiers));
  other->pressShortcut('v');
  ASSERT_TRUE(processEventsUntil([&] { return target->input.changes == 3; }));

  // The back end itself never lets two shortcuts grab one key.
  SystemResult same = backend->registerKey(ShortcutId::muteOutput, ShortcutKey::v, [] {});
  ASSERT_FALSE(same);
  EXPECT_EQ(same.error()->status, XCB_ACCESS);
  other->pressShortcut('v');
  ASSERT_TRUE(processEventsUntil([&] { return target->input.changes == 4; }));
}

TEST_F(X11ShortcutTest, AGrabAnotherClientHoldsIsRefusedToTheMicrophoneAlone) {
  ASSERT_TRUE(other->grab('v', X11GlobalShortcut::modifiers | XCB_MOD_MASK_2));
  auto controller = makeController();
  controller->setEnabled(output, true);
  controller->setEnabled(mic, true);
  EXPECT_FALSE(controller->enabled(mic));
  EXPECT_EQ(controller->message(mic),
            "O atalho não pôde ser registrado (erro 10); ele pode estar em uso.");
  EXPECT_EQ(defaults.boolean("inputMuteShortcutEnabled"), false);
  EXPECT_TRUE(other->grab('v', X11GlobalShortcut::modifiers)) << "what was granted was given back";
  EXPECT_TRUE(controller->enabled(output));
  other->pressShortcut('m');
  ASSERT_TRUE(processEventsUntil([&] { return target->output.changes == 1; }));
}

TEST_F(X11ShortcutTest, ACombinationAnotherClientHoldsIsRefusedWithTheMessage) {
  ASSERT_TRUE(other->grab('m', X11GlobalShortcut::modifiers));
  auto controller = makeController();
  controller->setEnabled(output, true);
  EXPECT_FALSE(controller->enabled(output));
  EXPECT_EQ(controller->message(output),
            "O atalho não pôde ser registrado (erro 10); ele pode estar em uso.")
      << "BadAccess";
  EXPECT_EQ(defaults.boolean("globalShortcutEnabled"), false);
  // The variants the server did grant were given back.
  EXPECT_TRUE(other->grab('m', X11GlobalShortcut::modifiers | XCB_MOD_MASK_LOCK));

  controller->setKey(output, ShortcutKey::s);
  controller->setEnabled(output, true);
  EXPECT_TRUE(controller->enabled(output)) << "another letter is free";
}

}  // namespace
}  // namespace tavuno
