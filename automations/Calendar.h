#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/ports/WallClock.h"

namespace date {
class time_zone;
}

namespace tavuno {

// A Gregorian day with its era: 1 for the years of the common era, 0 before
// it (year 0 of the proleptic calendar is year 1 of era 0).
struct CalendarDay {
  int era = 0;
  int year = 0;
  unsigned month = 0;
  unsigned day = 0;
  friend bool operator==(const CalendarDay&, const CalendarDay&) = default;
};

// Local-time arithmetic in one explicit time zone. Times `reach` or more from
// 1970 are outside what it answers for (every query gives nothing). Zone
// rules come from the system's zone database as far as it reaches.
class Calendar {
 public:
  static constexpr std::chrono::hours reach{24 * 365 * 280};

  // UTC, which needs no zone database.
  Calendar() = default;
  // nullptr means UTC.
  explicit Calendar(const date::time_zone* zone) : zone_(zone) {}
  // An IANA zone name ("Europe/Berlin"); nothing when it is not known.
  static std::optional<Calendar> named(std::string_view name);
  // The local zone as the C library sees it: the one $TZ names (a zone name
  // or a zone file, with or without a leading ':'; empty means UTC), else the
  // system's (/etc/localtime). When the zone cannot be determined it is UTC,
  // and the first such fallback of the process says so on stderr.
  static Calendar current();

  std::string zoneName() const;

  // The start of the local minute containing `time`.
  std::optional<WallTime> minuteStart(WallTime time) const;
  // The local day containing `time`.
  std::optional<CalendarDay> day(WallTime time) const;
  // The latest moment strictly before `before` whose local time reads
  // hour:minute:00. On a day when that time does not exist (clocks jump
  // forward over it) the search goes on to earlier days; when it exists
  // twice (clocks go back) only the first counts. Nothing for an hour
  // outside 0-23 or a minute outside 0-59.
  std::optional<WallTime> latestOccurrence(std::int64_t hour, std::int64_t minute,
                                           WallTime before) const;

 private:
  const date::time_zone* zone_ = nullptr;
};

}  // namespace tavuno
