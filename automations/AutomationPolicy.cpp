#include "automations/AutomationPolicy.h"

namespace tavuno::AutomationPolicy {

RuleCheck<ConnectionRule> newConnectionRule(const std::string& deviceUID, const Uuid& profileID,
                                            const std::set<Uuid>& profiles) {
  if (deviceUID.empty()) return RuleRejection::emptyDeviceUID;
  if (!profiles.contains(profileID)) return RuleRejection::unknownProfile;
  return ConnectionRule{Uuid::random(), deviceUID, profileID, true};
}

RuleCheck<AppLaunchRule> newLaunchRule(const std::string& bundleID, const Uuid& profileID,
                                       const std::set<Uuid>& profiles) {
  if (bundleID.empty()) return RuleRejection::emptyBundleID;
  if (!profiles.contains(profileID)) return RuleRejection::unknownProfile;
  return AppLaunchRule{Uuid::random(), bundleID, profileID, true};
}

RuleCheck<ScheduledRule> newScheduledRule(std::int64_t hour, std::int64_t minute,
                                          const Uuid& profileID, const std::set<Uuid>& profiles) {
  if (hour < 0 || hour > 23) return RuleRejection::hourOutOfRange;
  if (minute < 0 || minute > 59) return RuleRejection::minuteOutOfRange;
  if (!profiles.contains(profileID)) return RuleRejection::unknownProfile;
  return ScheduledRule{Uuid::random(), hour, minute, profileID, true};
}

namespace {

template <class Rule, class Key>
std::optional<Uuid> firstMatching(const std::vector<Rule>& rules, Key key,
                                  const std::set<std::string>& present,
                                  const std::set<Uuid>& available) {
  for (const auto& rule : rules)
    if (rule.enabled && present.contains(rule.*key) && available.contains(rule.profileID))
      return rule.profileID;
  return std::nullopt;
}

}  // namespace

std::optional<Uuid> profileToActivate(const std::vector<ConnectionRule>& rules,
                                      const std::set<std::string>& connected,
                                      const std::set<Uuid>& available) {
  return firstMatching(rules, &ConnectionRule::deviceUID, connected, available);
}

std::optional<Uuid> profileForLaunch(const std::vector<AppLaunchRule>& rules,
                                     const std::set<std::string>& launched,
                                     const std::set<Uuid>& available) {
  return firstMatching(rules, &AppLaunchRule::bundleID, launched, available);
}

std::string dayKey(WallTime time, const Calendar& calendar) {
  auto day = calendar.day(time).value_or(CalendarDay{});
  return std::to_string(day.era) + "-" + std::to_string(day.year) + "-" +
         std::to_string(day.month) + "-" + std::to_string(day.day);
}

}  // namespace tavuno::AutomationPolicy
