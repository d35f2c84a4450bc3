#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "automations/AutomationRules.h"
#include "automations/Calendar.h"
#include "base/ports/DefaultsStore.h"
#include "base/ports/WallClock.h"

namespace tavuno {

// The scheduled rules that fell due at one occurrence.
struct ScheduledBatch {
  // Day key of that occurrence (AutomationPolicy::dayKey).
  std::string day;
  // In the order of the rule list.
  std::vector<ScheduledRule> rules;
  friend bool operator==(const ScheduledBatch&, const ScheduledBatch&) = default;
};

// Turns the progress of the clock between refreshes into at most one pending
// batch of due scheduled rules. Only the most recent scheduled time missed
// during a gap (sleep, a stalled main thread) is honoured, and a rule fires
// at most once per local day. Held in memory only: times missed before a
// restart are not caught up.
class ScheduleQueue {
 public:
  // Looks at the time since the previous capture (at least the whole
  // current minute) and queues the rules whose latest occurrence is the most
  // recent one in that window, skipping disabled rules, rules whose profile
  // is not among `availableProfiles`, hours of 24 or more, minutes of 60 or
  // more, and rules `lastFired` already marks for that day. True when a new
  // batch was queued. While a batch is pending nothing happens (not even
  // the window moves on), so that time is covered by the next capture.
  bool capture(const std::vector<ScheduledRule>& rules, WallTime date, const Calendar& calendar,
               const StringMap& lastFired, const std::set<Uuid>& availableProfiles);

  // Takes the pending batch out, leaving none.
  std::optional<ScheduledBatch> take();

  const std::optional<ScheduledBatch>& pending() const { return pending_; }
  const std::optional<WallTime>& lastObserved() const { return lastObserved_; }

  // The rules of `batch`, in its order, that are still in `rules` with the
  // same id, hour, minute and profile, enabled, and whose profile is among
  // `availableProfiles`: a rule edited, disabled or orphaned between capture
  // and application is dropped.
  static std::vector<ScheduledRule> stillDue(const ScheduledBatch& batch,
                                             const std::vector<ScheduledRule>& rules,
                                             const std::set<Uuid>& availableProfiles);

 private:
  std::optional<ScheduledBatch> pending_;
  std::optional<WallTime> lastObserved_;
};

}  // namespace tavuno
