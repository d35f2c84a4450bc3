#pragma once

#include <cstdint>

#include "base/ports/WallClock.h"

namespace tavuno {

// How long ago something happened, in the one unit a person would say it:
// "agora" under a minute, then whole minutes, hours, days, weeks, months
// (30 days) and years (365 days), always rounded down. A date in the future
// (a clock set back) counts as now. The words come from ICU in the screens.
enum class RelativeUnit { now, minutes, hours, days, weeks, months, years };

struct RelativeSpan {
  RelativeUnit unit = RelativeUnit::now;
  std::int64_t count = 0;

  friend bool operator==(const RelativeSpan&, const RelativeSpan&) = default;
};

RelativeSpan relativeSpan(WallTime date, WallTime now);

}  // namespace tavuno
