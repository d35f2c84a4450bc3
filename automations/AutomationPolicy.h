#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "automations/AutomationRules.h"
#include "automations/Calendar.h"
#include "base/ports/Uuid.h"
#include "base/ports/WallClock.h"

namespace tavuno {

// Why an add operation stores nothing. The screen prevents most of these;
// the service ignores them silently.
enum class RuleRejection {
  emptyDeviceUID,
  emptyBundleID,
  hourOutOfRange,
  minuteOutOfRange,
  unknownProfile,
};

// A new rule ready to append, or why there is none.
template <class Rule>
class RuleCheck {
 public:
  RuleCheck(Rule rule) : value_(std::move(rule)) {}
  RuleCheck(RuleRejection rejection) : value_(rejection) {}

  bool ok() const { return std::holds_alternative<Rule>(value_); }
  explicit operator bool() const { return ok(); }
  // Only when ok().
  const Rule& rule() const { return std::get<Rule>(value_); }
  // Only when not ok().
  RuleRejection rejection() const { return std::get<RuleRejection>(value_); }

 private:
  std::variant<Rule, RuleRejection> value_;
};

namespace AutomationPolicy {

// The checks of the add operations. A rule that passes has a fresh id and is
// enabled. `profiles` holds the ids of the saved profiles. Duplicates are
// allowed: the list order decides between them.
RuleCheck<ConnectionRule> newConnectionRule(const std::string& deviceUID, const Uuid& profileID,
                                            const std::set<Uuid>& profiles);
RuleCheck<AppLaunchRule> newLaunchRule(const std::string& bundleID, const Uuid& profileID,
                                       const std::set<Uuid>& profiles);
RuleCheck<ScheduledRule> newScheduledRule(std::int64_t hour, std::int64_t minute,
                                          const Uuid& profileID, const std::set<Uuid>& profiles);

// Exchanges the first element with `id` and the one `offset` places away;
// the list comes back unchanged when there is no such element or the other
// place is outside the list. The screen moves by one place; with a larger
// offset this is an exchange, not an insertion.
template <class Rule>
std::vector<Rule> moving(std::vector<Rule> list, const Uuid& id, std::int64_t offset) {
  auto found = std::find_if(list.begin(), list.end(), [&](const Rule& r) { return r.id == id; });
  if (found == list.end()) return list;
  const auto index = static_cast<std::int64_t>(found - list.begin());
  const auto count = static_cast<std::int64_t>(list.size());
  // Compared without forming index + offset, which could overflow.
  if (offset < -index || offset >= count - index) return list;
  std::swap(list[static_cast<std::size_t>(index)], list[static_cast<std::size_t>(index + offset)]);
  return list;
}

// Inverts `enabled` of the first rule with `id`; false (and no change) when
// there is none, so the caller knows whether to save.
template <class Rule>
bool toggle(std::vector<Rule>& list, const Uuid& id) {
  auto found = std::find_if(list.begin(), list.end(), [&](const Rule& r) { return r.id == id; });
  if (found == list.end()) return false;
  found->enabled = !found->enabled;
  return true;
}

// The rules that do not use `profileID`, in their order: what deleting a
// profile leaves.
template <class Rule>
std::vector<Rule> withoutProfile(std::vector<Rule> list, const Uuid& profileID) {
  std::erase_if(list, [&](const Rule& r) { return r.profileID == profileID; });
  return list;
}

// The profile of the first enabled rule whose device is among `connected`
// and whose profile is among `available`.
std::optional<Uuid> profileToActivate(const std::vector<ConnectionRule>& rules,
                                      const std::set<std::string>& connected,
                                      const std::set<Uuid>& available);
// Likewise for launch rules and the applications that started.
std::optional<Uuid> profileForLaunch(const std::vector<AppLaunchRule>& rules,
                                     const std::set<std::string>& launched,
                                     const std::set<Uuid>& available);

// "era-year-month-day" of the local day of `time`, unpadded ("1-2024-12-7");
// a component the calendar cannot give counts as 0.
std::string dayKey(WallTime time, const Calendar& calendar);

}  // namespace AutomationPolicy

}  // namespace tavuno
