#include "automations/ScheduleQueue.h"

#include <algorithm>
#include <chrono>

#include "automations/AutomationPolicy.h"

namespace tavuno {

namespace {

using namespace std::chrono_literals;

// `time` moved by `by`, held at the ends of the range a WallTime can hold.
WallTime nudged(WallTime time, std::chrono::milliseconds by) {
  if (by < 0ms && time < WallTime::min() - by) return WallTime::min();
  if (by > 0ms && time > WallTime::max() - by) return WallTime::max();
  return time + by;
}

}  // namespace

bool ScheduleQueue::capture(const std::vector<ScheduledRule>& rules, WallTime date,
                            const Calendar& calendar, const StringMap& lastFired,
                            const std::set<Uuid>& availableProfiles) {
  if (pending_) return false;

  // When the calendar cannot place the minute, the moment itself stands for
  // its start.
  const WallTime minuteStart = calendar.minuteStart(date).value_or(date);
  const WallTime limit = nudged(minuteStart, -1ms);
  // A clock that moved backwards restarts the window at the current minute.
  const WallTime windowStart = lastObserved_ && *lastObserved_ <= date ? *lastObserved_ : limit;
  const WallTime lowerBound = std::min(windowStart, limit);
  lastObserved_ = date;

  struct Candidate {
    const ScheduledRule* rule;
    WallTime occurrence;
  };
  std::vector<Candidate> candidates;
  const WallTime searchEnd = nudged(date, 1ms);
  for (const auto& rule : rules) {
    if (!rule.enabled || !availableProfiles.contains(rule.profileID)) continue;
    if (rule.hour >= 24 || rule.minute >= 60) continue;
    auto occurrence = calendar.latestOccurrence(rule.hour, rule.minute, searchEnd);
    if (occurrence && *occurrence > lowerBound) candidates.push_back({&rule, *occurrence});
  }
  if (candidates.empty()) return false;

  WallTime latest = candidates.front().occurrence;
  for (const auto& candidate : candidates)
    latest = std::max(latest, candidate.occurrence);
  ScheduledBatch batch{AutomationPolicy::dayKey(latest, calendar), {}};
  for (const auto& candidate : candidates) {
    if (candidate.occurrence != latest) continue;
    auto fired = lastFired.find(candidate.rule->id.text());
    if (fired != lastFired.end() && fired->second == batch.day) continue;
    batch.rules.push_back(*candidate.rule);
  }
  if (batch.rules.empty()) return false;
  pending_ = std::move(batch);
  return true;
}

std::optional<ScheduledBatch> ScheduleQueue::take() {
  return std::exchange(pending_, std::nullopt);
}

std::vector<ScheduledRule> ScheduleQueue::stillDue(const ScheduledBatch& batch,
                                                   const std::vector<ScheduledRule>& rules,
                                                   const std::set<Uuid>& availableProfiles) {
  std::vector<ScheduledRule> due;
  for (const auto& queued : batch.rules) {
    bool unchanged = std::any_of(rules.begin(), rules.end(), [&](const ScheduledRule& current) {
      return current.id == queued.id && current.hour == queued.hour &&
             current.minute == queued.minute && current.profileID == queued.profileID &&
             current.enabled;
    });
    if (unchanged && availableProfiles.contains(queued.profileID)) due.push_back(queued);
  }
  return due;
}

}  // namespace tavuno
