#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "base/SettingsKeys.h"
#include "platform/sim/FakeGlobalShortcut.h"
#include "platform/sim/SimMainQueue.h"
#include "support/SimPlatform.h"
#include "system/GlobalShortcutController.h"
#include "system/MuteTarget.h"

namespace tavuno {
namespace {

constexpr std::int32_t taken = -9878;  // the platform's "hot key exists" status
const std::string takenText =
    "The shortcut could not be registered (error -9878); it may be in use.";
const std::string newKeyText = "Could not register the new shortcut. " + takenText;

class GlobalShortcutTest : public ::testing::Test {
 protected:
  test::ScopedLanguage language{test::englishCatalog()};
  SimMainQueue main;
  InMemoryDefaultsStore defaults;
  FakeGlobalShortcut backend{main};
  int presses = 0;

  std::unique_ptr<GlobalShortcutController> makeController() {
    return std::make_unique<GlobalShortcutController>(defaults, backend, [this] { ++presses; });
  }
  std::optional<bool> storedEnabled() const { return defaults.boolean(key::globalShortcutEnabled); }
  std::optional<std::string> storedKey() const { return defaults.string(key::shortcutKey); }
};

TEST_F(GlobalShortcutTest, ConstructionRestoresTheStoredChoices) {
  struct Row {
    const char* name;
    std::optional<DefaultsValue> storedKey;
    std::optional<DefaultsValue> storedEnabled;
    ShortcutKey expectedKey;
    bool expectRegistered;
  };
  const Row rows[] = {
      {"nothing stored", std::nullopt, std::nullopt, ShortcutKey::m, false},
      {"stored letter, off", std::string("s"), false, ShortcutKey::s, false},
      {"unknown letter falls back to m", std::string("x"), true, ShortcutKey::m, true},
      {"letter of another kind falls back to m", std::int64_t{1}, true, ShortcutKey::m, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    defaults = InMemoryDefaultsStore();
    backend.unregister();
    if (row.storedKey) defaults.set(key::shortcutKey, *row.storedKey);
    if (row.storedEnabled) defaults.set(key::globalShortcutEnabled, *row.storedEnabled);

    auto controller = makeController();
    EXPECT_EQ(controller->key(), row.expectedKey);
    EXPECT_EQ(controller->enabled(), row.expectRegistered);
    EXPECT_EQ(backend.registeredKey().has_value(), row.expectRegistered);
  }
}

TEST_F(GlobalShortcutTest, ATakenCombinationAtLaunchTurnsTheStoredSettingOff) {
  defaults.set(key::globalShortcutEnabled, true);
  defaults.set(key::shortcutKey, std::string("v"));
  backend.takeKey(ShortcutKey::v, taken);

  auto controller = makeController();
  EXPECT_FALSE(controller->enabled());
  EXPECT_EQ(controller->message(), takenText);
  EXPECT_EQ(storedEnabled(), false);
  EXPECT_EQ(storedKey(), "v") << "the letter is kept for the next attempt";
}

TEST_F(GlobalShortcutTest, SwitchingOnAndOff) {
  auto controller = makeController();
  backend.failNext(taken);
  controller->setEnabled(true);
  EXPECT_FALSE(controller->enabled());
  EXPECT_EQ(controller->message(), takenText);
  EXPECT_EQ(storedEnabled(), false) << "a refused switch-on stores false";

  controller->setEnabled(true);
  EXPECT_TRUE(controller->enabled());
  EXPECT_FALSE(controller->message()) << "success clears the earlier problem";
  EXPECT_EQ(storedEnabled(), true);
  EXPECT_EQ(backend.registeredKey(), ShortcutKey::m);

  controller->setEnabled(false);
  EXPECT_FALSE(controller->enabled());
  EXPECT_EQ(storedEnabled(), false);
  EXPECT_EQ(backend.registeredKey(), std::nullopt);
}

TEST_F(GlobalShortcutTest, ChangingTheLetterWhileOffTouchesNoRegistration) {
  auto controller = makeController();
  backend.failNext(taken);
  controller->setEnabled(true);
  backend.clearCalls();

  controller->setKey(ShortcutKey::m);
  EXPECT_EQ(controller->message(), takenText) << "the current letter again: not even cleared";
  EXPECT_FALSE(storedKey());

  controller->setKey(ShortcutKey::s);
  EXPECT_EQ(controller->key(), ShortcutKey::s);
  EXPECT_EQ(storedKey(), "s");
  EXPECT_FALSE(controller->message());
  EXPECT_TRUE(backend.calls().empty());
}

TEST_F(GlobalShortcutTest, ChangingTheLetterWhileOnMovesTheRegistrationOrKeepsTheOld) {
  auto controller = makeController();
  controller->setEnabled(true);
  backend.clearCalls();
  controller->setKey(ShortcutKey::v);
  using Call = FakeGlobalShortcut::Call;
  EXPECT_EQ(backend.calls(), (std::vector<Call>{{Call::Kind::unregister},
                                                {Call::Kind::registerKey, ShortcutKey::v}}));
  EXPECT_EQ(storedKey(), "v");

  backend.takeKey(ShortcutKey::s, taken);
  controller->setKey(ShortcutKey::s);
  EXPECT_EQ(controller->key(), ShortcutKey::v);
  EXPECT_EQ(storedKey(), "v");
  EXPECT_TRUE(controller->enabled());
  EXPECT_EQ(controller->message(), newKeyText);
  EXPECT_EQ(backend.pressRegistered(), HotKeyDisposition::handled);
  main.runPending();
  EXPECT_EQ(presses, 1) << "the old letter still acts";
}

TEST_F(GlobalShortcutTest, WhenTheOldLetterIsLostTooTheShortcutSwitchesOff) {
  auto controller = makeController();
  controller->setEnabled(true);
  backend.takeKey(ShortcutKey::v, taken);
  backend.takeKey(ShortcutKey::m, -1);  // grabbed by someone else while released

  controller->setKey(ShortcutKey::v);
  EXPECT_FALSE(controller->enabled());
  EXPECT_EQ(storedEnabled(), false);
  EXPECT_EQ(controller->key(), ShortcutKey::m);
  EXPECT_EQ(controller->message(), newKeyText) << "the message names the first failure";
}

TEST_F(GlobalShortcutTest, ACombinationTheDesktopWithdrawsLaterSwitchesTheShortcutOff) {
  auto controller = makeController();
  controller->setEnabled(true);
  backend.revoke(taken);
  EXPECT_FALSE(controller->enabled());
  EXPECT_EQ(storedEnabled(), false);
  EXPECT_EQ(controller->message(), takenText);

  controller.reset();
  backend.revoke(taken);  // the handler left with the controller
}

TEST_F(GlobalShortcutTest, PressesRunTheActionOnTheMainQueueAndForeignOnesArePassedOn) {
  auto controller = makeController();
  EXPECT_EQ(backend.pressRegistered(), HotKeyDisposition::passedOn) << "nothing registered yet";
  controller->setEnabled(true);

  EXPECT_EQ(backend.pressRegistered(), HotKeyDisposition::handled);
  EXPECT_EQ(presses, 0) << "never run on the event thread";
  main.runPending();
  EXPECT_EQ(presses, 1);

  EXPECT_EQ(backend.press(std::nullopt), HotKeyDisposition::passedOn);
  EXPECT_EQ(backend.press(HotKeyIdentifier{0x41424344, tavunoHotKeyID}),
            HotKeyDisposition::passedOn);
  EXPECT_EQ(backend.press(HotKeyIdentifier{tavunoHotKeySignature, 2}), HotKeyDisposition::passedOn);
  controller->setEnabled(false);
  EXPECT_EQ(backend.pressRegistered(), HotKeyDisposition::passedOn);
  main.runPending();
  EXPECT_EQ(presses, 1);
}

class RecordingMuteTarget : public MuteTarget {
 public:
  bool available = true;
  bool isMuted = false;
  std::optional<std::string> error;

  bool muteAvailable() const override { return available; }
  bool muted() const override { return isMuted; }
  bool setMute(bool mute) override { return isMuted = mute, true; }
  void setError(std::optional<std::string> message) override { error = std::move(message); }
};

TEST(MuteShortcutAction, TogglesOrExplainsAndStopsOnceTheTargetIsGone) {
  test::ScopedLanguage language(test::englishCatalog());
  auto target = std::make_shared<RecordingMuteTarget>();
  auto action = muteShortcutAction(target);
  action();
  EXPECT_TRUE(target->isMuted);
  action();
  EXPECT_FALSE(target->isMuted);

  target->available = false;
  action();
  EXPECT_FALSE(target->isMuted) << "the mute state is left alone";
  EXPECT_EQ(target->error, "The current output has no mute control.");

  target.reset();
  action();  // holds the target weakly: nothing happens
}

}  // namespace
}  // namespace tavuno
