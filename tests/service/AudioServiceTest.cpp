#include <gtest/gtest.h>

#include "profiles/ProfileStore.h"
#include "service/AudioService.h"
#include "support/ServiceProbe.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

class AudioServiceTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
};

TEST_F(AudioServiceTest, ABurstOfListenerEventsGivesOneRefreshAndTheTimerKeepsTicking) {
  auto service = platform.makeService();
  const auto afterConstruction = ServiceProbe::refreshCount(*service);
  EXPECT_EQ(afterConstruction, 1u);

  for (int i = 0; i < 10; ++i) {
    service->scheduleAudioRefresh();
    platform.main.advance(0.004);  // ten events within 40 ms
  }
  EXPECT_EQ(ServiceProbe::refreshCount(*service), afterConstruction);
  platform.main.advance(0.045);  // the last event was at 36 ms
  EXPECT_EQ(ServiceProbe::refreshCount(*service), afterConstruction)
      << "refresh waits 50 ms after the last";
  platform.main.advance(0.002);
  EXPECT_EQ(ServiceProbe::refreshCount(*service), afterConstruction + 1);

  // Timer ticks at 2, 4 and 6 s from construction, whatever the burst did.
  platform.main.advance(6.0 - platform.main.uptime());
  EXPECT_EQ(ServiceProbe::refreshCount(*service), afterConstruction + 4);
}

TEST_F(AudioServiceTest, NothingRunsOnceTheServiceIsGone) {
  auto service = platform.makeService();
  service->scheduleAudioRefresh();
  std::weak_ptr<AudioService> weak = service;
  service.reset();
  EXPECT_TRUE(weak.expired()) << "timers and work items must not keep the service alive";
  platform.main.advance(10.0);
  EXPECT_EQ(platform.main.scheduledCount(), 0u);
}

TEST_F(AudioServiceTest, WithoutTheTimerOnlyExplicitRefreshesHappen) {
  auto service = platform.makeService({.startTimer = false});
  platform.main.advance(10.0);
  EXPECT_EQ(ServiceProbe::refreshCount(*service), 1u);
}

TEST_F(AudioServiceTest, AssigningErrorForgetsTheAutomationKeyAndCode) {
  test::ScopedLanguage language(test::englishCatalog());
  auto service = platform.makeService({.startTimer = false});
  int errorNotifications = 0;
  auto subscription = service->observe([&](ServiceField field) {
    if (field == ServiceField::error) ++errorNotifications;
  });

  ServiceProbe::profileError(*service, "Perfil padrão %d", -50);
  EXPECT_EQ(service->state().error, "Perfil padrão -50");
  EXPECT_EQ(ServiceProbe::automationErrorKey(*service), "Perfil padrão %d");
  EXPECT_EQ(ServiceProbe::automationErrorCode(*service), -50);

  service->setError("outra mensagem");
  EXPECT_EQ(service->state().error, "outra mensagem");
  EXPECT_FALSE(ServiceProbe::automationErrorKey(*service));
  EXPECT_FALSE(ServiceProbe::automationErrorCode(*service));

  ServiceProbe::profileError(*service, "Perfil padrão");
  EXPECT_EQ(service->state().error, "Default profile");
  EXPECT_EQ(ServiceProbe::automationErrorKey(*service), "Perfil padrão");
  EXPECT_FALSE(ServiceProbe::automationErrorCode(*service));
  service->setError(std::nullopt);
  EXPECT_FALSE(service->state().error);
  EXPECT_FALSE(ServiceProbe::automationErrorKey(*service));
  EXPECT_EQ(errorNotifications, 4) << "every assignment is announced, even an unchanged one";

  subscription.reset();
  service->setError("x");
  EXPECT_EQ(errorNotifications, 4);
}

TEST_F(AudioServiceTest, ConstructionReadsStoredSwitchesAndIgnoresWrongKinds) {
  platform.defaults.set("notificationsEnabled", true);
  platform.defaults.set("scheduleLastFired", StringMap{{"A", "2026-12-08"}});
  auto service = platform.makeService({.startTimer = false});
  EXPECT_TRUE(service->state().notificationsEnabled);
  EXPECT_EQ(ServiceProbe::scheduleLastFired(*service), (StringMap{{"A", "2026-12-08"}}));

  test::SimPlatform other;
  other.defaults.set("notificationsEnabled", std::string("yes"));
  other.defaults.set("scheduleLastFired", Bytes{1, 2, 3});
  auto fallback = other.makeService({.startTimer = false});
  EXPECT_FALSE(fallback->state().notificationsEnabled);
  EXPECT_TRUE(ServiceProbe::scheduleLastFired(*fallback).empty());
}

TEST_F(AudioServiceTest, UnreadableControlPreferencesAreAnnouncedUnlessAnotherMessageCameFirst) {
  test::ScopedLanguage language(test::englishCatalog());
  platform.defaults.set("appControlPreferences", std::string("not data"));
  auto service = platform.makeService({.startTimer = false});
  EXPECT_EQ(service->state().error,
            "The per-app control preferences were invalid. Automatic control was turned off; "
            "please review the settings.");

  // The stored active profile cannot be applied at start: its message stays.
  test::SimPlatform other;
  other.defaults.set("appControlPreferences", std::string("not data"));
  const AudioProfile away{Uuid::random(), "Fora", "mic", "gone"};
  ProfileStore::save({away}, other.defaults);
  other.defaults.set("activeProfileID", away.id.text());
  auto failed = other.makeService({.startTimer = false});
  EXPECT_EQ(failed->state().error, "The profile's devices are not available. No change was made.");
}

}  // namespace
}  // namespace tavuno
