#include <gtest/gtest.h>

#include "ui/model/AppRowStatus.h"

namespace tavuno {
namespace {

// One row per rule of the mixer's status, each naming what it proves. The
// sets of the service are given per row; the app is "a".
struct Row {
  const char* proves;
  bool automatic;
  bool inCall;
  std::set<std::string> desired, passthrough, starting, stalled, controlled, quarantined;
  AppRowState expected;
  bool start, retry, stop;
};

TEST(AppRowStatus, RulesApplyInOrderAndOfferTheRightButtons) {
  const std::set<std::string> a{"a"};
  const Row rows[] = {
      {"a call beats every other state", false, true, a, a, a, a, a, a, AppRowState::inCall, false,
       false, false},
      {"quarantine beats the start button",
       false,
       false,
       {},
       {},
       {},
       {},
       {},
       a,
       AppRowState::quarantined,
       false,
       false,
       false},
      {"manual control offers a start",
       false,
       false,
       {},
       {},
       {},
       {},
       {},
       {},
       AppRowState::offerControl,
       true,
       false,
       false},
      {"automatic control never offers a start",
       true,
       false,
       {},
       {},
       {},
       {},
       {},
       {},
       AppRowState::waiting,
       false,
       true,
       false},
      {"passthrough only while desired",
       false,
       false,
       a,
       a,
       a,
       {},
       {},
       {},
       AppRowState::passthrough,
       false,
       false,
       false},
      {"starting beats stalled and controlled",
       false,
       false,
       a,
       {},
       a,
       a,
       a,
       {},
       AppRowState::starting,
       false,
       false,
       true},
      {"stalled beats controlled",
       true,
       false,
       {},
       {},
       {},
       a,
       a,
       {},
       AppRowState::stalled,
       false,
       false,
       false},
      {"controlled has no caption",
       false,
       false,
       a,
       {},
       {},
       {},
       a,
       {},
       AppRowState::controlled,
       false,
       false,
       true},
      {"wanted but silent waits with a retry",
       false,
       false,
       a,
       {},
       {},
       {},
       {},
       {},
       AppRowState::waiting,
       false,
       true,
       true},
  };
  for (const auto& row : rows) {
    ServiceState state;
    state.controlPreferences.automatic = row.automatic;
    state.desiredApps = row.desired;
    state.passthroughApps = row.passthrough;
    state.startingApps = row.starting;
    state.stalledStarts = row.stalled;
    state.controlledApps = row.controlled;
    state.quarantinedApps = row.quarantined;
    ActiveApp app{.id = "a", .name = "App", .inputActive = row.inCall};
    const auto status = appRowStatus(state, app);
    EXPECT_EQ(status.state, row.expected) << row.proves;
    EXPECT_EQ(status.offerStart, row.start) << row.proves;
    EXPECT_EQ(status.offerRetry, row.retry) << row.proves;
    EXPECT_EQ(status.offerStop, row.stop) << row.proves;
    EXPECT_EQ(status.caption == nullptr,
              row.expected == AppRowState::controlled || row.expected == AppRowState::offerControl)
        << row.proves;
  }
}

TEST(AppRowStatus, QuarantineIsAWarningAndTheCallCaptionIsNot) {
  ServiceState state;
  state.quarantinedApps = {"a"};
  EXPECT_EQ(appRowStatus(state, {.id = "a"}).tone, CaptionTone::warning);
  EXPECT_EQ(appRowStatus(state, {.id = "a", .inputActive = true}).tone, CaptionTone::secondary);
}

}  // namespace
}  // namespace tavuno
