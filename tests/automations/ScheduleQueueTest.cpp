#include <gtest/gtest.h>

#include <cstdlib>

#include <date/tz.h>

#include "automations/AutomationPolicy.h"
#include "automations/ScheduleQueue.h"

namespace tavuno {
namespace {

using namespace std::chrono_literals;

// The instant a clock in `zone` reads y-m-d h:min:s; for a time shown twice,
// `later` picks the second showing.
WallTime local(const char* zone, int y, unsigned m, unsigned d, int h, int min, int s = 0,
               bool later = false) {
  auto time = date::local_days{date::year{y} / m / d} + std::chrono::hours{h} +
              std::chrono::minutes{min} + std::chrono::seconds{s};
  return date::locate_zone(zone)->to_sys(time,
                                         later ? date::choose::latest : date::choose::earliest);
}

WallTime utc(int y, unsigned m, unsigned d, int h, int min) {
  return date::sys_days{date::year{y} / m / d} + std::chrono::hours{h} + std::chrono::minutes{min};
}

struct OccurrenceRow {
  const char* proves;
  const char* zone;
  std::int64_t hour, minute;
  WallTime before;
  std::optional<WallTime> expected;
};

TEST(Calendar, FindsTheLatestOccurrenceAcrossDaylightSavingChanges) {
  const char* berlin = "Europe/Berlin";
  const char* saoPaulo = "America/Sao_Paulo";
  const OccurrenceRow rows[] = {
      {"earlier today", berlin, 8, 0, local(berlin, 2024, 6, 3, 9, 0), utc(2024, 6, 3, 6, 0)},
      {"exactly now is not before now", berlin, 9, 0, local(berlin, 2024, 6, 3, 9, 0),
       utc(2024, 6, 2, 7, 0)},
      {"02:30 does not exist on the spring-forward day: the day before", berlin, 2, 30,
       local(berlin, 2024, 3, 31, 12, 0), utc(2024, 3, 30, 1, 30)},
      {"02:30 shown twice on the fall-back day: the first", berlin, 2, 30,
       local(berlin, 2024, 10, 27, 12, 0), utc(2024, 10, 27, 0, 30)},
      {"00:30 missing when clocks jumped from midnight", saoPaulo, 0, 30,
       local(saoPaulo, 2018, 11, 4, 1, 10), utc(2018, 11, 3, 3, 30)},
      {"during the second showing of 23:30 the first still counts", saoPaulo, 23, 30,
       local(saoPaulo, 2019, 2, 16, 23, 40, 0, true), utc(2019, 2, 17, 1, 30)},
      {"an hour of 24", berlin, 24, 0, local(berlin, 2024, 6, 3, 9, 0), std::nullopt},
      {"a time no calendar answers for", "UTC", 8, 0, WallTime::min(), std::nullopt},
  };
  for (const auto& row : rows) {
    auto calendar = Calendar::named(row.zone);
    ASSERT_TRUE(calendar) << row.zone;
    EXPECT_EQ(calendar->latestOccurrence(row.hour, row.minute, row.before), row.expected)
        << row.proves;
  }
  EXPECT_FALSE(Calendar::named("Not/AZone"));
}

// Sets $TZ for the life of a test and puts the previous value back.
class ScopedTZ {
 public:
  explicit ScopedTZ(const char* value) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    ::setenv("TZ", value, 1);
  }
  ~ScopedTZ() {
    if (previous_)
      ::setenv("TZ", previous_->c_str(), 1);
    else
      ::unsetenv("TZ");
  }

 private:
  std::optional<std::string> previous_;
};

TEST(Calendar, TheLocalZoneIsTheOneTZNames) {
  const struct {
    const char* proves;
    const char* tz;
    const char* zone;
  } rows[] = {
      {"a zone name", "America/Sao_Paulo", "America/Sao_Paulo"},
      {"with the C library's leading colon", ":Asia/Tokyo", "Asia/Tokyo"},
      {"a zone file", ":/usr/share/zoneinfo/Europe/Berlin", "Europe/Berlin"},
      {"an empty value is UTC", "", "UTC"},
      {"an unknown name falls back to UTC", "Nowhere/Invented", "UTC"},
  };
  for (const auto& row : rows) {
    ScopedTZ tz(row.tz);
    EXPECT_EQ(Calendar::current().zoneName(), row.zone) << row.proves;
  }
}

TEST(CalendarDeathTest, FallingBackToUtcIsSaidOnceOnStderr) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: nothing said yet
  EXPECT_EXIT(
      {
        ::setenv("TZ", "Nowhere/Invented", 1);
        Calendar::current();
        Calendar::current();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^[^\n]*\\(TZ=Nowhere/Invented\\)[^\n]*\n$");
}

TEST(AutomationPolicy, DayKeyIsTheLocalDayWithItsEra) {
  const auto saoPaulo = *Calendar::named("America/Sao_Paulo");
  EXPECT_EQ(AutomationPolicy::dayKey(utc(2024, 12, 8, 1, 0), saoPaulo), "1-2024-12-7");
  EXPECT_EQ(AutomationPolicy::dayKey(utc(2024, 12, 8, 1, 0), Calendar()), "1-2024-12-8");
  EXPECT_EQ(AutomationPolicy::dayKey(WallTime::max(), Calendar()), "0-0-0-0");
}

class ScheduleQueueTest : public ::testing::Test {
 protected:
  static constexpr const char* zone = "Europe/Berlin";
  const Calendar calendar = *Calendar::named(zone);
  const Uuid profile = Uuid::random();
  ScheduleQueue queue;
  StringMap lastFired;

  ScheduledRule at(std::int64_t hour, std::int64_t minute) {
    return {Uuid::random(), hour, minute, profile, true};
  }
  bool capture(const std::vector<ScheduledRule>& rules, WallTime now) {
    return queue.capture(rules, now, calendar, lastFired, {profile});
  }
  // What the evaluation does with a batch: take it and mark its rules.
  ScheduledBatch apply() {
    auto batch = queue.take();
    if (!batch) {
      ADD_FAILURE() << "nothing was queued";
      return {};
    }
    for (const auto& rule : batch->rules)
      lastFired[rule.id.text()] = batch->day;
    return *batch;
  }
  WallTime time(int h, int min, int s = 0) { return local(zone, 2024, 6, 3, h, min, s); }
};

TEST_F(ScheduleQueueTest, QueuesEveryValidRuleOfTheMinuteOnce) {
  ScheduledRule disabled = at(8, 0), orphaned = at(8, 0);
  disabled.enabled = false;
  orphaned.profileID = Uuid::random();
  const std::vector<ScheduledRule> rules{at(8, 0),  disabled,  orphaned,
                                         at(24, 0), at(8, 60), at(8, 0)};
  EXPECT_FALSE(capture(rules, time(7, 59, 58)));
  EXPECT_TRUE(capture(rules, time(8, 0, 0) + 500ms));
  EXPECT_FALSE(capture(rules, time(8, 0, 40))) << "nothing happens while a batch is pending";
  EXPECT_EQ(apply(), (ScheduledBatch{"1-2024-6-3", {rules[0], rules[5]}}));
  EXPECT_FALSE(capture(rules, time(8, 0, 50))) << "fired today";
  EXPECT_FALSE(capture(rules, time(8, 1, 0)));
}

TEST_F(ScheduleQueueTest, ARuleAddedDuringItsMinuteStillFires) {
  EXPECT_FALSE(capture({}, time(8, 0, 30)));
  EXPECT_TRUE(capture({at(8, 0)}, time(8, 0, 32))) << "the window holds the whole current minute";
}

TEST_F(ScheduleQueueTest, AMomentTheCalendarCannotPlaceStandsForItsOwnMinute) {
  // The first moment the calendar gives no minute for, a UTC midnight.
  const WallTime edge{-Calendar::reach};
  ASSERT_FALSE(Calendar().minuteStart(edge));
  EXPECT_TRUE(queue.capture({at(0, 0)}, edge, Calendar(), lastFired, {profile}));
  for (WallTime extreme : {WallTime::min(), WallTime::max()}) {
    ScheduleQueue fresh;
    EXPECT_FALSE(fresh.capture({at(0, 0)}, extreme, Calendar(), lastFired, {profile}));
  }
}

TEST_F(ScheduleQueueTest, TheWindowStartsAtTheCurrentMinuteAfterLaunchOrABackwardsClock) {
  const std::vector<ScheduledRule> rules{at(8, 0), at(9, 0)};
  EXPECT_FALSE(capture(rules, time(10, 0))) << "times already passed at launch are not applied";
  EXPECT_TRUE(capture(rules, time(9, 0, 30))) << "clock set back: the current minute only";
  EXPECT_EQ(apply().rules, std::vector<ScheduledRule>{rules[1]});
}

TEST_F(ScheduleQueueTest, AfterSleepOnlyTheLatestMissedTimeIsApplied) {
  const std::vector<ScheduledRule> rules{at(9, 30), at(8, 0)};
  EXPECT_FALSE(capture(rules, time(7, 0)));
  EXPECT_TRUE(capture(rules, time(10, 0, 5)));
  EXPECT_EQ(apply().rules, std::vector<ScheduledRule>{rules[0]});
  EXPECT_FALSE(capture(rules, time(10, 0, 7)));
  EXPECT_FALSE(capture(rules, time(10, 2, 0)));
}

TEST_F(ScheduleQueueTest, ARepeatedLocalTimeFiresOnce) {
  const char* saoPaulo = "America/Sao_Paulo";
  const Calendar calendar = *Calendar::named(saoPaulo);
  const std::vector<ScheduledRule> rules{at(23, 30)};
  auto captureAt = [&](WallTime now) {
    return queue.capture(rules, now, calendar, lastFired, {profile});
  };
  EXPECT_FALSE(captureAt(local(saoPaulo, 2019, 2, 16, 23, 29, 50)));
  ASSERT_TRUE(captureAt(local(saoPaulo, 2019, 2, 16, 23, 30, 5)));
  EXPECT_EQ(queue.take()->day, "1-2019-2-16");
  // An hour on, the clock reads 23:30 again; without any lastFired mark the
  // rule must still not fire a second time.
  EXPECT_FALSE(captureAt(local(saoPaulo, 2019, 2, 16, 23, 30, 5, true)));
}

}  // namespace
}  // namespace tavuno
