#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "automations/AutomationStores.h"
#include "base/SettingsKeys.h"
#include "platform/sim/SimIdentity.h"
#include "profiles/ProfileStore.h"
#include "service/AudioService.h"
#include "support/ServiceProbe.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

using namespace std::chrono;

class AutomationsTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
  test::ScopedLanguage language{test::englishCatalog()};
  SimIdentity identity;
  AudioObjectID speakers = 0, mic = 0;
  AudioProfile home, desk, night;
  // 2026-03-02 07:00 UTC, moved by the test.
  WallTime now = sys_days{year{2026} / 3 / 2} + hours{7};
  std::shared_ptr<AudioService> service;

  void SetUp() override {
    speakers = platform.hal.addDevice(
        {.uid = "speakers", .transport = transport::builtIn, .outputStreams = 1});
    mic = platform.hal.addDevice({.uid = "mic", .inputStreams = 1});
    platform.hal.setDefaultOutput(speakers);
    platform.hal.setDefaultInput(mic);
    home = {Uuid::random(), "Casa", "mic", "speakers"};
    desk = {Uuid::random(), "Mesa", "dock", "dock"};
    night = {Uuid::random(), "Noite", "mic", "speakers", std::nullopt, AppMixMap{}, std::nullopt};
    ProfileStore::save({home, desk, night}, platform.defaults);
    platform.defaults.set("activeProfileID", home.id.text());
  }
  void make() {
    ServicePorts ports = platform.ports();
    ports.identity = &identity;
    service = AudioService::create(
        ports, {.now = [this] { return now; }, .calendar = [] { return *Calendar::named("UTC"); }});
    platform.main.advance(2.0);
  }
  AudioObjectID plugDock() {
    return platform.hal.addDevice({.uid = "dock", .inputStreams = 1, .outputStreams = 1});
  }
  void launch(std::int32_t pid, std::string id) {
    identity.addRunning({.pid = pid, .bundleIdentifier = id, .localizedName = id});
  }
};

TEST_F(AutomationsTest, APluggedDeviceAppliesItsRuleOnceWithOneRecord) {
  make();
  service->addRule("dock", desk.id);
  EXPECT_TRUE(service->state().rules.back().deviceName.empty()) << "not connected: no name known";
  AudioObjectID dock = plugDock();
  platform.main.advance(1.4);
  EXPECT_TRUE(service->state().automationHistory.empty());
  platform.main.advance(0.2);
  EXPECT_EQ(platform.hal.defaultOutput(), dock);
  EXPECT_EQ(service->state().activeProfileID, desk.id);
  ASSERT_EQ(service->state().automationHistory.size(), 1u);
  const auto& record = service->state().automationHistory[0];
  EXPECT_EQ(record.trigger, "Dispositivo");
  EXPECT_EQ(record.profileName, "Mesa");
  EXPECT_TRUE(record.succeeded);
  EXPECT_EQ(record.date, now);
  EXPECT_EQ(AutomationHistoryStore(platform.defaults).load().size(), 1u);
  platform.main.advance(10.0);
  EXPECT_EQ(service->state().automationHistory.size(), 1u);

  // A rule keeps the name of its device, for the day it is not connected.
  platform.hal.addDevice({.uid = "hdmi", .name = "HDMI Monitor", .outputStreams = 1});
  platform.main.advance(0.1);
  service->addRule("hdmi", night.id);
  EXPECT_EQ(service->state().rules.back().deviceName, "HDMI Monitor");
}

TEST_F(AutomationsTest, AConnectionBeatsALaunchAndFailuresAreRecorded) {
  make();
  service->addLaunchRule("org.player", night.id);
  service->addRule("dock", desk.id);
  platform.hal.addDevice({.uid = "dock", .outputStreams = 1});  // no input: desk cannot apply
  launch(50, "org.player");
  platform.main.advance(4.0);
  ASSERT_EQ(service->state().automationHistory.size(), 1u);
  const auto& record = service->state().automationHistory[0];
  EXPECT_EQ(record.trigger, "Dispositivo");
  EXPECT_FALSE(record.succeeded);
  EXPECT_EQ(record.detailKey,
            "Os dispositivos do perfil não estão disponíveis. Nenhuma alteração foi aplicada.");
  EXPECT_EQ(record.detail, "The profile's devices are not available. No change was made.");
  EXPECT_TRUE(ServiceProbe::pendingLaunches(*service).empty()) << "consumed even though it lost";

  launch(51, "org.other");
  service->addLaunchRule("org.other", night.id);
  platform.main.advance(4.0);
  ASSERT_EQ(service->state().automationHistory.size(), 2u);
  EXPECT_EQ(service->state().automationHistory[0].trigger, "Aplicativo");
  EXPECT_EQ(service->state().activeProfileID, night.id);
}

TEST_F(AutomationsTest, AfterASleepOnlyTheLatestMissedTimeFiresOnce) {
  make();
  service->addScheduledRule(8, 0, desk.id);
  service->addScheduledRule(9, 30, night.id);
  service->addScheduledRule(9, 30, home.id);
  now += hours{3};  // the machine slept from 07:00 to 10:00
  platform.main.advance(2.0);
  platform.main.advance(2.0);
  ASSERT_EQ(service->state().automationHistory.size(), 1u);
  EXPECT_EQ(service->state().automationHistory[0].trigger, "Horário");
  EXPECT_EQ(service->state().activeProfileID, night.id);
  const auto fired = ScheduleLastFiredStore(platform.defaults).load();
  EXPECT_EQ(fired.size(), 2u) << "both 09:30 rules are marked, the 08:00 one is not";
  EXPECT_FALSE(fired.count(service->state().scheduledRules[0].id.text()));

  now += minutes{1};
  platform.main.advance(10.0);
  EXPECT_EQ(service->state().automationHistory.size(), 1u);
  service->deleteScheduledRule(service->state().scheduledRules[1].id);
  EXPECT_EQ(ScheduleLastFiredStore(platform.defaults).load().size(), 1u);
}

TEST_F(AutomationsTest, TheHistoryKeepsTheFiftyNewest) {
  std::vector<AutomationRecord> old;
  for (int i = 0; i < 50; ++i) {
    AutomationRecord record;
    record.id = Uuid::random();
    record.date = now - hours{i + 1};
    record.profileName = "old";
    record.trigger = "Horário";
    old.push_back(record);
  }
  AutomationHistoryStore(platform.defaults).save(old);
  make();
  service->addRule("dock", desk.id);
  plugDock();
  platform.main.advance(2.0);
  const auto& history = service->state().automationHistory;
  ASSERT_EQ(history.size(), 50u);
  EXPECT_EQ(history.front().profileName, "Mesa");
  EXPECT_EQ(history.back().date, now - hours{49});
}

TEST_F(AutomationsTest, RulesAreCheckedMovedAndToggled) {
  make();
  service->addRule("", desk.id);
  service->addRule("dock", Uuid::random());
  service->addScheduledRule(24, 0, desk.id);
  service->addScheduledRule(0, 60, desk.id);
  service->addScheduledRule(-1, 0, desk.id);
  EXPECT_TRUE(service->state().rules.empty());
  EXPECT_TRUE(service->state().scheduledRules.empty());

  service->addRule("a", desk.id);
  service->addRule("b", home.id);
  service->moveRule(service->state().rules[1].id, -1);
  EXPECT_EQ(service->state().rules[0].deviceUID, "b");
  service->toggleRule(service->state().rules[0].id);
  EXPECT_FALSE(AutomationStore(platform.defaults).load()[0].enabled);
  service->deleteRule(service->state().rules[0].id);
  ASSERT_EQ(AutomationStore(platform.defaults).load().size(), 1u);
  EXPECT_EQ(AutomationStore(platform.defaults).load()[0].deviceUID, "a");
}

TEST_F(AutomationsTest, ARelaunchPostponesTheEvaluationAgain) {
  make();
  service->addLaunchRule("org.player", night.id);
  launch(50, "org.player");
  service->refresh();  // evaluation due 1.5 s from now
  platform.main.advance(0.5);
  identity.removeRunning(50);
  service->refresh();
  platform.main.advance(0.5);
  launch(51, "org.player");  // back while its first launch is still pending
  service->refresh();
  platform.main.advance(1.0);
  EXPECT_TRUE(service->state().automationHistory.empty()) << "postponed by the relaunch";
  platform.main.advance(0.6);
  ASSERT_EQ(service->state().automationHistory.size(), 1u);
  EXPECT_EQ(service->state().automationHistory[0].trigger, "Aplicativo");
}

TEST_F(AutomationsTest, AScheduledRuleSwitchedOffBeforeItsEvaluationIsDroppedUnmarked) {
  make();  // 07:00
  service->addScheduledRule(7, 0, desk.id);
  service->addScheduledRule(7, 0, night.id);
  service->refresh();
  ASSERT_TRUE(ServiceProbe::scheduleQueue(*service).pending());
  const Uuid off = service->state().scheduledRules[0].id;
  const Uuid on = service->state().scheduledRules[1].id;
  service->toggleScheduledRule(off);
  ServiceProbe::applyConnectionRules(*service);
  EXPECT_EQ(service->state().activeProfileID, night.id);
  EXPECT_EQ(service->state().automationHistory.size(), 1u);
  EXPECT_FALSE(ServiceProbe::scheduleLastFired(*service).count(off.text()));
  EXPECT_TRUE(ServiceProbe::scheduleLastFired(*service).count(on.text()));
}

TEST_F(AutomationsTest, EveryRuleChangeSurvivesARestart) {
  using Change = std::function<void(AudioService&)>;
  const struct {
    const char* proves;
    Change change;
  } rows[] = {
      {"adding a connection rule", [&](AudioService& s) { s.addRule("usb", desk.id); }},
      {"adding a launch rule", [&](AudioService& s) { s.addLaunchRule("org.c", desk.id); }},
      {"adding a scheduled rule", [&](AudioService& s) { s.addScheduledRule(9, 15, desk.id); }},
      {"toggling a connection rule", [](AudioService& s) { s.toggleRule(s.state().rules[1].id); }},
      {"toggling a launch rule",
       [](AudioService& s) { s.toggleLaunchRule(s.state().launchRules[1].id); }},
      {"toggling a scheduled rule",
       [](AudioService& s) { s.toggleScheduledRule(s.state().scheduledRules[1].id); }},
      {"moving a connection rule", [](AudioService& s) { s.moveRule(s.state().rules[1].id, -1); }},
      {"moving a launch rule",
       [](AudioService& s) { s.moveLaunchRule(s.state().launchRules[1].id, -1); }},
      {"moving a scheduled rule",
       [](AudioService& s) { s.moveScheduledRule(s.state().scheduledRules[1].id, -1); }},
      {"deleting a connection rule", [](AudioService& s) { s.deleteRule(s.state().rules[0].id); }},
      {"deleting a launch rule",
       [](AudioService& s) { s.deleteLaunchRule(s.state().launchRules[0].id); }},
      {"deleting a scheduled rule",
       [](AudioService& s) { s.deleteScheduledRule(s.state().scheduledRules[0].id); }},
  };
  auto lists = [](const AudioService& s) {
    return std::tuple(s.state().rules, s.state().launchRules, s.state().scheduledRules);
  };
  for (const auto& row : rows) {
    test::SimPlatform sim;
    ProfileStore::save({home, desk, night}, sim.defaults);
    AutomationStore(sim.defaults)
        .save({{Uuid::random(), "dock", desk.id, true}, {Uuid::random(), "usb", home.id, true}});
    AppLaunchRuleStore(sim.defaults)
        .save({{Uuid::random(), "org.a", home.id, true}, {Uuid::random(), "org.b", desk.id, true}});
    ScheduledRuleStore(sim.defaults)
        .save({{Uuid::random(), 8, 0, home.id, true}, {Uuid::random(), 9, 0, desk.id, true}});
    auto before = sim.makeService({.startTimer = false});
    const auto seeded = lists(*before);
    row.change(*before);
    ASSERT_NE(lists(*before), seeded) << row.proves;
    auto after = sim.makeService({.startTimer = false});
    EXPECT_EQ(lists(*after), lists(*before)) << row.proves;
  }
}

// One stored rule that cannot be read used to drop every rule at start, silently, and the next
// rule change or profile deletion wrote the empty list over the good ones.
TEST_F(AutomationsTest, AnUnreadableRuleIsKeptAsideToldAndTheOthersSurviveLaterSaves) {
  const std::string stored = R"([{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","deviceUID":"dock",)"
                             R"("profileID":")" +
                             desk.id.text() +
                             R"(","enabled":true},)"
                             R"({"id":"1A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","deviceUID":"usb",)"
                             R"("profileID":")" +
                             night.id.text() + R"(","enabled":"later"}])";
  platform.defaults.set(key::connectionRules, Bytes(stored.begin(), stored.end()));
  const std::string mixes = R"({"org.a":{"volume":0.5},"org.b":{"volume":"loud"}})";
  platform.defaults.set(key::appMix, Bytes(mixes.begin(), mixes.end()));
  make();
  ASSERT_EQ(service->state().rules.size(), 1u) << "the readable rule is loaded";
  EXPECT_EQ(service->state().rules[0].deviceUID, "dock");
  EXPECT_EQ(service->state().error,
            "Some saved automations or per-app settings could not be read. They were kept aside "
            "in the settings, and the rest was loaded.");
  EXPECT_EQ(platform.defaults.data(key::connectionRulesBackup),
            Bytes(stored.begin(), stored.end()));
  EXPECT_EQ(platform.defaults.data(key::appMixBackup), Bytes(mixes.begin(), mixes.end()));

  // Applying the active profile at start saved its mix, a profile deletion and a rule change
  // saved the lists: the good rule stays, the backups too.
  service->deleteProfile(night);
  service->addRule("hdmi", home.id);
  const auto saved = AutomationStore(platform.defaults).load();
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].deviceUID, "dock");
  EXPECT_EQ(saved[1].deviceUID, "hdmi");
  EXPECT_EQ(platform.defaults.data(key::connectionRulesBackup),
            Bytes(stored.begin(), stored.end()));
  EXPECT_EQ(platform.defaults.data(key::appMixBackup), Bytes(mixes.begin(), mixes.end()));
}

}  // namespace
}  // namespace tavuno
