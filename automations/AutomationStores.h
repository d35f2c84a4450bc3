#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "automations/AutomationRecord.h"
#include "automations/AutomationRules.h"
#include "base/SettingsKeys.h"
#include "base/ports/DefaultsStore.h"

namespace tavuno {

// The four automation lists, each one JSON array stored as data under its
// own key, every element written by its record's toJson() and read by its
// fromJson(). load() gives the elements that can be read, in order; when any
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

// Where a kind of record is stored: `key` and `backupKey`, and optionally
// `kept(list)`, what of a list is loaded and saved.
template <class Record>
struct RecordKind;

template <>
struct RecordKind<ConnectionRule> {
  static constexpr const char* key = key::connectionRules;
  static constexpr const char* backupKey = key::connectionRulesBackup;
};

template <>
struct RecordKind<AppLaunchRule> {
  static constexpr const char* key = key::appLaunchRules;
  static constexpr const char* backupKey = key::appLaunchRulesBackup;
};

template <>
struct RecordKind<ScheduledRule> {
  static constexpr const char* key = key::scheduledRules;
  static constexpr const char* backupKey = key::scheduledRulesBackup;
};

// Both load and save keep only the AutomationHistory::limit newest records,
// newest first.
template <>
struct RecordKind<AutomationRecord> {
  static constexpr const char* key = key::automationHistory;
  static constexpr const char* backupKey = key::automationHistoryBackup;
  static std::vector<AutomationRecord> kept(std::vector<AutomationRecord> records) {
    return AutomationHistory::newest(std::move(records), AutomationHistory::limit);
  }
};

// One list of records of a kind in the settings store.
template <class Record>
class RecordStore {
 public:
  explicit RecordStore(DefaultsStore& defaults) : defaults_(defaults) {}
  std::vector<Record> load() const { return loadState().elements; }
  StoredList<Record> loadState() const;
  void save(const std::vector<Record>& records) const;

 private:
  DefaultsStore& defaults_;
};

// Made for these kinds only (in AutomationStores.cpp).
extern template class RecordStore<ConnectionRule>;
extern template class RecordStore<AppLaunchRule>;
extern template class RecordStore<ScheduledRule>;
extern template class RecordStore<AutomationRecord>;

using AutomationStore = RecordStore<ConnectionRule>;
using AppLaunchRuleStore = RecordStore<AppLaunchRule>;
using ScheduledRuleStore = RecordStore<ScheduledRule>;
using AutomationHistoryStore = RecordStore<AutomationRecord>;

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
