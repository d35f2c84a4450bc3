#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

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
const std::string outputHoldsText =
    "That combination is already used by the shortcut that mutes the output.";
const std::string micHoldsText =
    "That combination is already used by the shortcut that mutes the microphone.";
constexpr ShortcutId output = ShortcutId::muteOutput;
constexpr ShortcutId mic = ShortcutId::muteInput;
using Call = FakeGlobalShortcut::Call;

class GlobalShortcutTest : public ::testing::Test {
 protected:
  test::ScopedLanguage language{test::englishCatalog()};
  SimMainQueue main;
  InMemoryDefaultsStore defaults;
  FakeGlobalShortcut backend{main};
  int presses = 0;
  int micPresses = 0;

  std::unique_ptr<GlobalShortcutController> makeController() {
    return std::make_unique<GlobalShortcutController>(
        defaults, backend,
        GlobalShortcutController::Actions{{output, [this] { ++presses; }},
                                          {mic, [this] { ++micPresses; }}});
  }
  std::optional<bool> storedEnabled(ShortcutId id = output) const {
    return defaults.boolean(traitsOf(id).enabledSetting);
  }
  std::optional<std::string> storedKey(ShortcutId id = output) const {
    return defaults.string(traitsOf(id).keySetting);
  }
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
    backend.unregister(output);
    if (row.storedKey) defaults.set(key::shortcutKey, *row.storedKey);
    if (row.storedEnabled) defaults.set(key::globalShortcutEnabled, *row.storedEnabled);

    auto controller = makeController();
    EXPECT_EQ(controller->key(output), row.expectedKey);
    EXPECT_EQ(controller->enabled(output), row.expectRegistered);
    EXPECT_EQ(backend.registeredKey(output).has_value(), row.expectRegistered);
  }
}

TEST_F(GlobalShortcutTest, ATakenCombinationAtLaunchTurnsTheStoredSettingOff) {
  defaults.set(key::globalShortcutEnabled, true);
  defaults.set(key::shortcutKey, std::string("v"));
  backend.takeKey(ShortcutKey::v, taken);

  auto controller = makeController();
  EXPECT_FALSE(controller->enabled(output));
  EXPECT_EQ(controller->message(output), takenText);
  EXPECT_EQ(storedEnabled(), false);
  EXPECT_EQ(storedKey(), "v") << "the letter is kept for the next attempt";
}

TEST_F(GlobalShortcutTest, SwitchingOnAndOff) {
  auto controller = makeController();
  backend.failNext(taken);
  controller->setEnabled(output, true);
  EXPECT_FALSE(controller->enabled(output));
  EXPECT_EQ(controller->message(output), takenText);
  EXPECT_EQ(storedEnabled(), false) << "a refused switch-on stores false";

  controller->setEnabled(output, true);
  EXPECT_TRUE(controller->enabled(output));
  EXPECT_FALSE(controller->message(output)) << "success clears the earlier problem";
  EXPECT_EQ(storedEnabled(), true);
  EXPECT_EQ(backend.registeredKey(output), ShortcutKey::m);

  controller->setEnabled(output, false);
  EXPECT_FALSE(controller->enabled(output));
  EXPECT_EQ(storedEnabled(), false);
  EXPECT_EQ(backend.registeredKey(output), std::nullopt);
}

TEST_F(GlobalShortcutTest, ChangingTheLetterWhileOffTouchesNoRegistration) {
  auto controller = makeController();
  backend.failNext(taken);
  controller->setEnabled(output, true);
  backend.clearCalls();

  controller->setKey(output, ShortcutKey::m);
  EXPECT_EQ(controller->message(output), takenText) << "the current letter again: not even cleared";
  EXPECT_FALSE(storedKey());

  controller->setKey(output, ShortcutKey::s);
  EXPECT_EQ(controller->key(output), ShortcutKey::s);
  EXPECT_EQ(storedKey(), "s");
  EXPECT_FALSE(controller->message(output));
  EXPECT_TRUE(backend.calls().empty());
}

TEST_F(GlobalShortcutTest, ChangingTheLetterWhileOnMovesTheRegistrationOrKeepsTheOld) {
  auto controller = makeController();
  controller->setEnabled(output, true);
  backend.clearCalls();
  controller->setKey(output, ShortcutKey::v);
  EXPECT_EQ(backend.calls(),
            (std::vector<Call>{{Call::Kind::unregister, output},
                               {Call::Kind::registerKey, output, ShortcutKey::v}}));
  EXPECT_EQ(storedKey(), "v");

  backend.takeKey(ShortcutKey::s, taken);
  controller->setKey(output, ShortcutKey::s);
  EXPECT_EQ(controller->key(output), ShortcutKey::v);
  EXPECT_EQ(storedKey(), "v");
  EXPECT_TRUE(controller->enabled(output));
  EXPECT_EQ(controller->message(output), newKeyText);
  EXPECT_EQ(backend.pressRegistered(output), HotKeyDisposition::handled);
  main.runPending();
  EXPECT_EQ(presses, 1) << "the old letter still acts";
}

TEST_F(GlobalShortcutTest, WhenTheOldLetterIsLostTooTheShortcutSwitchesOff) {
  auto controller = makeController();
  controller->setEnabled(output, true);
  backend.takeKey(ShortcutKey::v, taken);
  backend.takeKey(ShortcutKey::m, -1);  // grabbed by someone else while released

  controller->setKey(output, ShortcutKey::v);
  EXPECT_FALSE(controller->enabled(output));
  EXPECT_EQ(storedEnabled(), false);
  EXPECT_EQ(controller->key(output), ShortcutKey::m);
  EXPECT_EQ(controller->message(output), newKeyText) << "the message names the first failure";
}

TEST_F(GlobalShortcutTest, ACombinationTheDesktopWithdrawsLaterSwitchesTheShortcutOff) {
  auto controller = makeController();
  controller->setEnabled(output, true);
  backend.revoke(output, taken);
  EXPECT_FALSE(controller->enabled(output));
  EXPECT_EQ(storedEnabled(), false);
  EXPECT_EQ(controller->message(output), takenText);

  controller.reset();
  backend.revoke(output, taken);  // the handler left with the controller
}

TEST_F(GlobalShortcutTest, PressesRunTheActionOnTheMainQueueAndForeignOnesArePassedOn) {
  auto controller = makeController();
  EXPECT_EQ(backend.pressRegistered(output), HotKeyDisposition::passedOn)
      << "nothing registered yet";
  controller->setEnabled(output, true);

  EXPECT_EQ(backend.pressRegistered(output), HotKeyDisposition::handled);
  EXPECT_EQ(presses, 0) << "never run on the event thread";
  main.runPending();
  EXPECT_EQ(presses, 1);

  EXPECT_EQ(backend.press(std::nullopt), HotKeyDisposition::passedOn);
  EXPECT_EQ(backend.press(HotKeyIdentifier{0x41424344, hotKeyIdentifier(output).id}),
            HotKeyDisposition::passedOn);
  EXPECT_EQ(backend.press(HotKeyIdentifier{tavunoHotKeySignature, 3}), HotKeyDisposition::passedOn);
  EXPECT_EQ(backend.pressRegistered(mic), HotKeyDisposition::passedOn) << "the other one is off";
  controller->setEnabled(output, false);
  EXPECT_EQ(backend.pressRegistered(output), HotKeyDisposition::passedOn);
  main.runPending();
  EXPECT_EQ(presses, 1);
}

TEST_F(GlobalShortcutTest, AnOlderSettingsFileLeavesTheMicrophoneShortcutOff) {
  struct Row {
    const char* name;
    std::optional<std::string> outputKey;
    ShortcutKey expectedMicKey;
  };
  const Row rows[] = {
      {"the output on its default letter", std::nullopt, ShortcutKey::v},
      {"the output on s", std::string("s"), ShortcutKey::v},
      {"the output on the microphone's letter: the first free one", std::string("v"),
       ShortcutKey::m},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    defaults = InMemoryDefaultsStore();
    backend.unregister(output);
    backend.clearCalls();
    defaults.set(key::globalShortcutEnabled, true);
    if (row.outputKey) defaults.set(key::shortcutKey, *row.outputKey);

    auto controller = makeController();
    EXPECT_TRUE(controller->enabled(output));
    EXPECT_FALSE(controller->enabled(mic));
    EXPECT_EQ(controller->key(mic), row.expectedMicKey);
    EXPECT_FALSE(controller->message(mic));
    EXPECT_EQ(backend.calls().size(), 1u) << "only the output's registration";
    EXPECT_FALSE(backend.registeredKey(mic));
    EXPECT_FALSE(storedEnabled(mic)) << "nothing written for it";
    EXPECT_FALSE(storedKey(mic));
  }
}

TEST_F(GlobalShortcutTest, BothShortcutsAreRegisteredAndReleasedEachOnItsOwn) {
  defaults.set(key::inputMuteShortcutEnabled, true);
  defaults.set(key::inputMuteShortcutKey, std::string("s"));
  auto controller = makeController();
  EXPECT_TRUE(controller->enabled(mic)) << "restored on its own";
  EXPECT_EQ(backend.registeredKey(mic), ShortcutKey::s);
  controller->setEnabled(output, true);
  EXPECT_EQ(backend.registeredKey(output), ShortcutKey::m);

  EXPECT_EQ(backend.pressRegistered(mic), HotKeyDisposition::handled);
  EXPECT_EQ(backend.pressRegistered(mic), HotKeyDisposition::handled);
  EXPECT_EQ(backend.pressRegistered(output), HotKeyDisposition::handled);
  main.runPending();
  EXPECT_EQ(micPresses, 2);
  EXPECT_EQ(presses, 1) << "each press runs its own shortcut's action";

  backend.clearCalls();
  controller->setKey(mic, ShortcutKey::v);
  controller->setEnabled(output, false);
  EXPECT_EQ(backend.calls(), (std::vector<Call>{{Call::Kind::unregister, mic},
                                                {Call::Kind::registerKey, mic, ShortcutKey::v},
                                                {Call::Kind::unregister, output}}));
  EXPECT_EQ(storedKey(mic), "v");
  EXPECT_FALSE(storedKey()) << "the output's letter is its own setting";
  EXPECT_EQ(storedEnabled(), false);
  EXPECT_EQ(storedEnabled(mic), true);
  EXPECT_EQ(backend.pressRegistered(mic), HotKeyDisposition::handled);
  EXPECT_EQ(backend.pressRegistered(output), HotKeyDisposition::passedOn);

  // The desktop takes one back: only that one goes off.
  controller->setEnabled(output, true);
  backend.revoke(mic, taken);
  EXPECT_FALSE(controller->enabled(mic));
  EXPECT_EQ(controller->message(mic), takenText);
  EXPECT_EQ(storedEnabled(mic), false);
  EXPECT_TRUE(controller->enabled(output));
  EXPECT_FALSE(controller->message(output));
}

TEST_F(GlobalShortcutTest, TwoShortcutsThatAreOnNeverShareALetter) {
  auto controller = makeController();
  controller->setEnabled(output, true);
  controller->setEnabled(mic, true);
  backend.clearCalls();

  controller->setKey(mic, ShortcutKey::m);
  EXPECT_EQ(controller->key(mic), ShortcutKey::v);
  EXPECT_EQ(controller->message(mic), outputHoldsText);
  EXPECT_FALSE(storedKey(mic));
  controller->setKey(output, ShortcutKey::v);
  EXPECT_EQ(controller->key(output), ShortcutKey::m);
  EXPECT_EQ(controller->message(output), micHoldsText);
  EXPECT_TRUE(backend.calls().empty()) << "refused before the desktop is asked";
  EXPECT_TRUE(controller->enabled(mic)) << "the old letters stay registered";
  EXPECT_TRUE(controller->enabled(output));

  // A shortcut that is off holds its letter from nobody, and cannot come on
  // with a letter one that is on has.
  controller->setEnabled(mic, false);
  controller->setKey(output, ShortcutKey::v);
  EXPECT_EQ(controller->key(output), ShortcutKey::v);
  EXPECT_FALSE(controller->message(output));
  backend.clearCalls();
  controller->setEnabled(mic, true);
  EXPECT_FALSE(controller->enabled(mic));
  EXPECT_EQ(controller->message(mic), outputHoldsText);
  EXPECT_EQ(storedEnabled(mic), false);
  EXPECT_TRUE(backend.calls().empty());
  controller->setKey(mic, ShortcutKey::s);
  controller->setEnabled(mic, true);
  EXPECT_TRUE(controller->enabled(mic));
  EXPECT_FALSE(controller->message(mic));
  EXPECT_EQ(backend.registeredKey(mic), ShortcutKey::s);
}

TEST_F(GlobalShortcutTest, ALetterEditedIntoBothIsKeptByTheOutputAndRefusedToTheMicrophone) {
  for (ShortcutId id : {output, mic}) {
    defaults.set(traitsOf(id).enabledSetting, true);
    defaults.set(traitsOf(id).keySetting, std::string("s"));
  }
  auto controller = makeController();
  EXPECT_TRUE(controller->enabled(output));
  EXPECT_FALSE(controller->enabled(mic));
  EXPECT_EQ(controller->message(mic), outputHoldsText);
  EXPECT_EQ(storedEnabled(mic), false);
  EXPECT_FALSE(backend.registeredKey(mic));
}

TEST_F(GlobalShortcutTest, ACombinationAnotherProgramHoldsIsRefusedToTheMicrophoneAlone) {
  auto controller = makeController();
  controller->setEnabled(output, true);
  backend.takeKey(ShortcutKey::v, taken);
  controller->setEnabled(mic, true);
  EXPECT_FALSE(controller->enabled(mic));
  EXPECT_EQ(controller->message(mic), takenText);
  EXPECT_EQ(storedEnabled(mic), false);
  EXPECT_TRUE(controller->enabled(output));
  EXPECT_FALSE(controller->message(output));

  controller->setKey(mic, ShortcutKey::s);
  controller->setEnabled(mic, true);
  EXPECT_TRUE(controller->enabled(mic));
  EXPECT_EQ(backend.registeredKey(mic), ShortcutKey::s);
}

TEST_F(GlobalShortcutTest, ObserversAreToldWhichShortcutChanged) {
  auto controller = makeController();
  std::vector<ShortcutChange> changes;
  auto subscription =
      controller->observe([&](ShortcutChange change) { changes.push_back(change); });
  controller->setEnabled(mic, true);
  controller->setKey(output, ShortcutKey::v);  // the microphone's: refused
  EXPECT_EQ(changes, (std::vector<ShortcutChange>{{mic, ShortcutField::enabled},
                                                  {output, ShortcutField::message}}));
}

class RecordingMuteTarget : public MuteTarget {
 public:
  std::map<MuteSide, bool> available{{MuteSide::output, true}, {MuteSide::input, true}};
  std::map<MuteSide, bool> isMuted{{MuteSide::output, false}, {MuteSide::input, false}};
  std::optional<std::string> error;

  bool muteAvailable(MuteSide side) const override { return available.at(side); }
  bool muted(MuteSide side) const override { return isMuted.at(side); }
  bool setMute(MuteSide side, bool mute) override { return isMuted[side] = mute, true; }
  void setError(std::optional<std::string> message) override { error = std::move(message); }
};

TEST(MuteShortcutAction, TogglesItsOwnSideOrExplainsAndStopsOnceTheTargetIsGone) {
  test::ScopedLanguage language(test::englishCatalog());
  auto target = std::make_shared<RecordingMuteTarget>();
  auto muteOutput = muteShortcutAction(target, MuteSide::output);
  auto muteInput = muteShortcutAction(target, MuteSide::input);
  muteOutput();
  EXPECT_TRUE(target->isMuted[MuteSide::output]);
  muteInput();
  muteInput();
  muteInput();
  EXPECT_TRUE(target->isMuted[MuteSide::input]);
  muteOutput();
  EXPECT_FALSE(target->isMuted[MuteSide::output]);
  EXPECT_TRUE(target->isMuted[MuteSide::input]) << "each shortcut flips its own side";

  const struct {
    MuteSide side;
    const char* message;
  } missing[] = {{MuteSide::output, "The current output has no mute control."},
                 {MuteSide::input, "The current microphone offers no mute control."}};
  for (const auto& row : missing) {
    target->available[row.side] = false;
    const bool before = target->isMuted[row.side];
    muteShortcutAction(target, row.side)();
    EXPECT_EQ(target->isMuted[row.side], before) << "the mute state is left alone";
    EXPECT_EQ(target->error, row.message);
  }

  target.reset();
  muteOutput();  // holds the target weakly: nothing happens
  muteInput();
}

}  // namespace
}  // namespace tavuno
