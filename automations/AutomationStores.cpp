#include "automations/AutomationStores.h"

#include <nlohmann/json.hpp>

#include "base/JsonFields.h"
#include "base/SettingsKeys.h"
#include "base/StoredBackup.h"

namespace tavuno {

using nlohmann::json;

namespace {

// Each element that can be read, in order. When any cannot (or the stored
// value is not a JSON array, or not data at all), the stored value is first
// kept, unchanged, under `backupKey`: the next save of the list holds only
// the readable elements, the backup stays.
template <class Element>
StoredList<Element> loadList(DefaultsStore& defaults, const char* key, const char* backupKey) {
  auto stored = defaults.value(key);
  if (!stored) return {};
  StoredList<Element> result;
  const auto* bytes = std::get_if<Bytes>(&*stored);
  auto value = bytes ? parseJson(*bytes) : std::nullopt;
  if (value && value->is_array()) {
    result.elements.reserve(value->size());
    for (const auto& element : *value) {
      if (auto decoded = Element::fromJson(element))
        result.elements.push_back(std::move(*decoded));
      else
        ++result.unreadable;
    }
  } else {
    result.unreadable = 1;
  }
  if (result.unreadable > 0) keepUnreadable(std::move(*stored), backupKey, defaults);
  return result;
}

template <class Element>
void saveList(DefaultsStore& defaults, const char* key, const std::vector<Element>& list) {
  json array = json::array();
  for (const auto& element : list)
    array.push_back(element.toJson());
  if (auto bytes = dumpJson(array)) defaults.set(key, std::move(*bytes));
}

}  // namespace

StoredList<ConnectionRule> AutomationStore::loadState() const {
  return loadList<ConnectionRule>(defaults_, key::connectionRules, key::connectionRulesBackup);
}

void AutomationStore::save(const std::vector<ConnectionRule>& rules) const {
  saveList(defaults_, key::connectionRules, rules);
}

StoredList<AppLaunchRule> AppLaunchRuleStore::loadState() const {
  return loadList<AppLaunchRule>(defaults_, key::appLaunchRules, key::appLaunchRulesBackup);
}

void AppLaunchRuleStore::save(const std::vector<AppLaunchRule>& rules) const {
  saveList(defaults_, key::appLaunchRules, rules);
}

StoredList<ScheduledRule> ScheduledRuleStore::loadState() const {
  return loadList<ScheduledRule>(defaults_, key::scheduledRules, key::scheduledRulesBackup);
}

void ScheduledRuleStore::save(const std::vector<ScheduledRule>& rules) const {
  saveList(defaults_, key::scheduledRules, rules);
}

StoredList<AutomationRecord> AutomationHistoryStore::loadState() const {
  auto loaded =
      loadList<AutomationRecord>(defaults_, key::automationHistory, key::automationHistoryBackup);
  loaded.elements = AutomationHistory::newest(std::move(loaded.elements), AutomationHistory::limit);
  return loaded;
}

void AutomationHistoryStore::save(const std::vector<AutomationRecord>& records) const {
  saveList(defaults_, key::automationHistory,
           AutomationHistory::newest(records, AutomationHistory::limit));
}

StringMap ScheduleLastFiredStore::load() const {
  return defaults_.dictionary(key::scheduleLastFired).value_or(StringMap{});
}

void ScheduleLastFiredStore::save(const StringMap& lastFired) const {
  defaults_.set(key::scheduleLastFired, lastFired);
}

}  // namespace tavuno
