#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "automations/AutomationRecord.h"
#include "automations/AutomationRules.h"
#include "base/ports/DefaultsStore.h"

namespace tavuno {

// The four automation lists, each one JSON array stored as data under its
// own key. load() gives the elements that can be read, in order; when any
// cannot (or the stored value is not a readable array, or not data), the
// stored value is first kept, unchanged, under "<key>.corruptBackup" (an
// earlier, different backup moving to the first free
// "<key>.corruptBackup.N", as the profiles do), and loadState() says how many
// were left out. The stored value itself stays until the next save, which
// writes the list it is given; no save removes a backup. save() writes
// nothing when the list cannot be encoded.

template <class Element>
struct StoredList {
  std::vector<Element> elements;
  // Stored elements left out because they could not be read (1 for a stored
  // value that is not an array at all); kept under the backup key.
  std::size_t unreadable = 0;
};

// Connection rules, under "connectionRules".
class AutomationStore {
 public:
  explicit AutomationStore(DefaultsStore& defaults) : defaults_(defaults) {}
  std::vector<ConnectionRule> load() const { return loadState().elements; }
  StoredList<ConnectionRule> loadState() const;
  void save(const std::vector<ConnectionRule>& rules) const;

 private:
  DefaultsStore& defaults_;
};

// Launch rules, under "appLaunchRules".
class AppLaunchRuleStore {
 public:
  explicit AppLaunchRuleStore(DefaultsStore& defaults) : defaults_(defaults) {}
  std::vector<AppLaunchRule> load() const { return loadState().elements; }
  StoredList<AppLaunchRule> loadState() const;
  void save(const std::vector<AppLaunchRule>& rules) const;

 private:
  DefaultsStore& defaults_;
};

// Scheduled rules, under "scheduledRules".
class ScheduledRuleStore {
 public:
  explicit ScheduledRuleStore(DefaultsStore& defaults) : defaults_(defaults) {}
  std::vector<ScheduledRule> load() const { return loadState().elements; }
  StoredList<ScheduledRule> loadState() const;
  void save(const std::vector<ScheduledRule>& rules) const;

 private:
  DefaultsStore& defaults_;
};

// The history, under "automationHistory": both load and save keep only the
// AutomationHistory::limit newest records, newest first.
class AutomationHistoryStore {
 public:
  explicit AutomationHistoryStore(DefaultsStore& defaults) : defaults_(defaults) {}
  std::vector<AutomationRecord> load() const { return loadState().elements; }
  StoredList<AutomationRecord> loadState() const;
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
