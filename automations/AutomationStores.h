#pragma once

#include <optional>
#include <vector>

#include "automations/AutomationRecord.h"
#include "automations/AutomationRules.h"
#include "base/ports/DefaultsStore.h"

namespace tavuno {

// The four automation lists, each one JSON array stored as data under its
// own key. load() gives an empty list when nothing is stored or the stored
// value is not a readable array (one bad element spoils the whole array);
// nothing is reported and the stored value stays until the next save.
// save() writes nothing when the list cannot be encoded.

// Connection rules, under "connectionRules".
class AutomationStore {
 public:
  explicit AutomationStore(DefaultsStore& defaults) : defaults_(defaults) {}
  std::vector<ConnectionRule> load() const;
  void save(const std::vector<ConnectionRule>& rules) const;

 private:
  DefaultsStore& defaults_;
};

// Launch rules, under "appLaunchRules".
class AppLaunchRuleStore {
 public:
  explicit AppLaunchRuleStore(DefaultsStore& defaults) : defaults_(defaults) {}
  std::vector<AppLaunchRule> load() const;
  void save(const std::vector<AppLaunchRule>& rules) const;

 private:
  DefaultsStore& defaults_;
};

// Scheduled rules, under "scheduledRules".
class ScheduledRuleStore {
 public:
  explicit ScheduledRuleStore(DefaultsStore& defaults) : defaults_(defaults) {}
  std::vector<ScheduledRule> load() const;
  void save(const std::vector<ScheduledRule>& rules) const;

 private:
  DefaultsStore& defaults_;
};

// The history, under "automationHistory": both load and save keep only the
// AutomationHistory::limit newest records, newest first.
class AutomationHistoryStore {
 public:
  explicit AutomationHistoryStore(DefaultsStore& defaults) : defaults_(defaults) {}
  std::vector<AutomationRecord> load() const;
  void save(const std::vector<AutomationRecord>& records) const;

 private:
  DefaultsStore& defaults_;
};

// Rule id (upper-case text) -> day key of its last firing, under
// "scheduleLastFired" as a string dictionary (not JSON). A missing value or
// one of another kind loads as empty.
class ScheduleLastFiredStore {
 public:
  explicit ScheduleLastFiredStore(DefaultsStore& defaults) : defaults_(defaults) {}
  StringMap load() const;
  void save(const StringMap& lastFired) const;

 private:
  DefaultsStore& defaults_;
};

}  // namespace tavuno
