#include "ui/model/RelativeTime.h"

namespace tavuno {

RelativeSpan relativeSpan(WallTime date, WallTime now) {
  // In whole seconds first: the difference of two far-apart dates overflows
  // the clock's nanoseconds.
  auto secondsOf = [](WallTime time) {
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
  };
  const std::int64_t seconds = secondsOf(now) - secondsOf(date);
  constexpr std::int64_t minute = 60, hour = 60 * minute, day = 24 * hour;
  if (seconds < minute) return {RelativeUnit::now, 0};
  if (seconds < hour) return {RelativeUnit::minutes, seconds / minute};
  if (seconds < day) return {RelativeUnit::hours, seconds / hour};
  const std::int64_t days = seconds / day;
  if (days < 7) return {RelativeUnit::days, days};
  if (days < 30) return {RelativeUnit::weeks, days / 7};
  if (days < 365) return {RelativeUnit::months, days / 30};
  return {RelativeUnit::years, days / 365};
}

}  // namespace tavuno
