#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "platform/sim/FakeAudioNotifications.h"
#include "platform/sim/SimMainQueue.h"
#include "support/SimPlatform.h"
#include "system/NotificationPolicy.h"
#include "system/NotificationRequests.h"

namespace tavuno {
namespace {

using Uids = std::set<std::string>;

TEST(NotificationPolicy, MessageForEachKindOfChange) {
  test::ScopedLanguage language(test::englishCatalog());
  struct Row {
    const char* name;
    bool enabled;
    std::optional<Uids> previous;
    Uids current;
    std::optional<std::string> expected;
  };
  const Row rows[] = {
      {"switched off", false, Uids{"a"}, Uids{"a", "b"}, std::nullopt},
      {"first observation", true, std::nullopt, Uids{"a", "b"}, std::nullopt},
      {"same set", true, Uids{"a", "b"}, Uids{"b", "a"}, std::nullopt},
      {"one added", true, Uids{"a"}, Uids{"a", "b"}, "Audio device connected."},
      {"one removed", true, Uids{"a", "b"}, Uids{"a"}, "Audio device disconnected."},
      {"one added, another removed", true, Uids{"a", "b"}, Uids{"a", "c"},
       "Audio devices changed."},
      {"everything replaced", true, Uids{"a"}, Uids{"b", "c"}, "Audio devices changed."},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NotificationPolicy::message(row.enabled, row.previous ? &*row.previous : nullptr,
                                          row.current),
              row.expected)
        << row.name;
  }
}

// The service's setting, driven the way the service drives it.
class NotificationRequestsTest : public ::testing::Test {
 protected:
  SimMainQueue main;
  FakeAudioNotifications notifications{main};
  std::unique_ptr<NotificationRequests> requests = std::make_unique<NotificationRequests>();
  std::vector<NotificationAnswer> settled;

  void request(bool enabled) {
    requests->request(enabled, notifications,
                      [this](NotificationAnswer answer) { settled.push_back(answer); });
  }
};

TEST_F(NotificationRequestsTest, OnAsksAndAppliesTheAnswerOffSettlesAtOnce) {
  request(true);
  EXPECT_TRUE(settled.empty()) << "nothing changes before the answer";
  ASSERT_TRUE(notifications.answerOldest(true));
  EXPECT_TRUE(settled.empty()) << "the answer comes through the main queue";
  main.runPending();
  EXPECT_EQ(settled, std::vector{NotificationAnswer::granted});

  request(true);
  notifications.answerOldest(false);
  main.runPending();
  EXPECT_EQ(settled.back(), NotificationAnswer::refused);

  const int asked = notifications.requestCount();
  request(false);
  EXPECT_EQ(settled.back(), NotificationAnswer::switchedOff);
  EXPECT_EQ(notifications.requestCount(), asked) << "switching off asks for nothing";
}

TEST_F(NotificationRequestsTest, OnlyTheLatestRequestDecides) {
  // On, then off before the system answers: the late grant is ignored.
  request(true);
  request(false);
  notifications.answerOldest(true);
  main.runPending();
  EXPECT_EQ(settled, std::vector{NotificationAnswer::switchedOff});

  // On twice, answers in reverse order: only the second request's answer counts.
  settled.clear();
  request(true);
  request(true);
  notifications.answerNewest(false);
  notifications.answerNewest(true);
  main.runPending();
  EXPECT_EQ(settled, std::vector{NotificationAnswer::refused});
}

TEST_F(NotificationRequestsTest, AnAnswerAfterTheOwnerIsGoneDoesNothing) {
  request(true);
  requests.reset();
  notifications.answerOldest(true);
  main.runPending();
  EXPECT_TRUE(settled.empty());
}

}  // namespace
}  // namespace tavuno
