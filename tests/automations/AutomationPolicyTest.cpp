#include <gtest/gtest.h>

#include <limits>

#include "automations/AutomationPolicy.h"
#include "automations/ScheduleQueue.h"

namespace tavuno {
namespace {

ConnectionRule rule(const char* deviceUID, Uuid profile, bool enabled = true) {
  return {Uuid::random(), deviceUID, profile, enabled};
}

TEST(AutomationPolicy, MovingExchangesWithinTheList) {
  const Uuid p = Uuid::random();
  const std::vector<ConnectionRule> list{rule("a", p), rule("b", p), rule("c", p)};
  auto order = [&](const Uuid& id, std::int64_t offset) {
    std::string uids;
    for (const auto& r : AutomationPolicy::moving(list, id, offset))
      uids += r.deviceUID;
    return uids;
  };
  const auto big = std::numeric_limits<std::int64_t>::max();
  const auto small = std::numeric_limits<std::int64_t>::min();
  EXPECT_EQ(order(list[0].id, -1), "abc") << "the first cannot move up";
  EXPECT_EQ(order(list[2].id, 1), "abc") << "the last cannot move down";
  EXPECT_EQ(order(list[1].id, -1), "bac");
  EXPECT_EQ(order(list[0].id, 2), "cba") << "an exchange, not an insertion";
  EXPECT_EQ(order(Uuid::random(), 1), "abc");
  EXPECT_EQ(order(list[2].id, big), "abc");
  EXPECT_EQ(order(list[0].id, small), "abc");
}

TEST(AutomationPolicy, AddChecksGiveAnEnabledRuleOrTheReason) {
  const Uuid known = Uuid::random();
  const std::set<Uuid> profiles{known};
  EXPECT_EQ(AutomationPolicy::newConnectionRule("", known, profiles).rejection(),
            RuleRejection::emptyDeviceUID);
  EXPECT_EQ(AutomationPolicy::newConnectionRule("usb", Uuid::random(), profiles).rejection(),
            RuleRejection::unknownProfile);
  EXPECT_EQ(AutomationPolicy::newLaunchRule("", known, profiles).rejection(),
            RuleRejection::emptyBundleID);
  auto launch = AutomationPolicy::newLaunchRule("org.app", known, profiles);
  ASSERT_TRUE(launch);
  EXPECT_TRUE(launch.rule().enabled);
  EXPECT_EQ(launch.rule().profileID, known);

  struct Row {
    std::int64_t hour, minute;
    std::optional<RuleRejection> rejection;
  } rows[] = {{0, 0, {}},
              {23, 59, {}},
              {24, 0, RuleRejection::hourOutOfRange},
              {-1, 0, RuleRejection::hourOutOfRange},
              {8, 60, RuleRejection::minuteOutOfRange},
              {8, -1, RuleRejection::minuteOutOfRange}};
  for (const auto& row : rows) {
    auto check = AutomationPolicy::newScheduledRule(row.hour, row.minute, known, profiles);
    EXPECT_EQ(check ? std::nullopt : std::optional(check.rejection()), row.rejection)
        << row.hour << ":" << row.minute;
  }
}

TEST(AutomationPolicy, TheFirstValidRuleChoosesTheProfile) {
  const Uuid p = Uuid::random(), q = Uuid::random(), gone = Uuid::random();
  const std::set<Uuid> available{p, q};
  auto choose = [&](std::vector<ConnectionRule> rules, std::set<std::string> connected) {
    return AutomationPolicy::profileToActivate(rules, connected, available);
  };
  EXPECT_EQ(choose({rule("usb", p), rule("usb", q)}, {"usb"}), p) << "list order decides";
  EXPECT_EQ(choose({rule("usb", p, false), rule("usb", q)}, {"usb"}), q) << "disabled skipped";
  EXPECT_EQ(choose({rule("usb", gone), rule("usb", q)}, {"usb"}), q) << "deleted profile skipped";
  EXPECT_EQ(choose({rule("usb", gone)}, {"usb"}), std::nullopt);
  EXPECT_EQ(choose({rule("hdmi", p)}, {"usb"}), std::nullopt);
  const std::vector<AppLaunchRule> launches{{Uuid::random(), "org.b", q, true},
                                            {Uuid::random(), "org.a", p, true}};
  EXPECT_EQ(AutomationPolicy::profileForLaunch(launches, {"org.a"}, available), p);
}

TEST(ScheduleQueue, StillDueDropsRulesChangedAfterCapture) {
  const Uuid p = Uuid::random(), q = Uuid::random();
  const ScheduledRule kept{Uuid::random(), 8, 0, p, true}, edited{Uuid::random(), 8, 0, p, true},
      disabled{Uuid::random(), 8, 0, p, true}, deleted{Uuid::random(), 8, 0, p, true},
      orphaned{Uuid::random(), 8, 0, q, true};
  const ScheduledBatch batch{"1-2024-6-3", {kept, edited, disabled, deleted, orphaned}};
  ScheduledRule editedNow = edited, disabledNow = disabled;
  editedNow.minute = 1;
  disabledNow.enabled = false;
  auto due = ScheduleQueue::stillDue(batch, {orphaned, disabledNow, editedNow, kept}, {p});
  EXPECT_EQ(due, std::vector<ScheduledRule>{kept});
}

}  // namespace
}  // namespace tavuno
