#include <gtest/gtest.h>

#include "engine/SessionPolicy.h"

namespace tavuno {
namespace {

struct ActionRow {
  const char* proves;
  bool desired;
  std::optional<SessionSignature> candidate, current, failed;
  SessionAction expected;
};

TEST(SessionPolicy, ActionTable) {
  const SessionSignature a{{1, 2}, "out", 7}, b{{1, 2}, "out", 8};
  const ActionRow rows[] = {
      {"running as wanted", true, a, a, b, SessionAction::keep},
      {"nothing running, nothing failed", true, a, std::nullopt, std::nullopt,
       SessionAction::start},
      {"running something else", true, a, b, std::nullopt, SessionAction::start},
      {"another signature failed", true, a, std::nullopt, b, SessionAction::start},
      {"this signature failed, nothing running", true, a, std::nullopt, a, SessionAction::idle},
      {"this signature failed, something else running", true, a, b, a, SessionAction::teardown},
      {"not desired, nothing running", false, a, std::nullopt, std::nullopt, SessionAction::idle},
      {"not desired, running", false, a, a, std::nullopt, SessionAction::teardown},
      {"desired without a candidate, running", true, std::nullopt, a, std::nullopt,
       SessionAction::teardown},
      {"desired without a candidate, idle", true, std::nullopt, std::nullopt, std::nullopt,
       SessionAction::idle},
  };
  for (const auto& row : rows)
    EXPECT_EQ(SessionPolicy::action(row.desired, row.candidate, row.current, row.failed),
              row.expected)
        << row.proves;
}

TEST(SessionRetryBudget, TwoRetriesPerSignature) {
  const SessionSignature a{{1}, "out", 7}, b{{1}, "other", 9};
  SessionRetryBudget budget;
  EXPECT_FALSE(budget.consume(a, false)) << "not desired: no retry and no change";
  EXPECT_FALSE(budget.signature);
  EXPECT_TRUE(budget.consume(a, true));
  EXPECT_TRUE(budget.consume(a, true));
  EXPECT_FALSE(budget.consume(a, true));
  EXPECT_TRUE(budget.consume(b, true)) << "a new signature starts afresh";
  EXPECT_EQ(budget.attempts, 1);
}

}  // namespace
}  // namespace tavuno
