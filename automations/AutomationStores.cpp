#include "automations/AutomationStores.h"

#include <nlohmann/json.hpp>

#include "base/JsonFields.h"
#include "base/SettingsKeys.h"

namespace tavuno {

using nlohmann::json;

namespace {

template <class Element>
std::vector<Element> loadList(const DefaultsStore& defaults, const char* key) {
  auto bytes = defaults.data(key);
  if (!bytes) return {};
  auto value = parseJson(*bytes);
  if (!value || !value->is_array()) return {};
  std::vector<Element> list;
  list.reserve(value->size());
  for (const auto& element : *value) {
    auto decoded = Element::fromJson(element);
    if (!decoded) return {};
    list.push_back(std::move(*decoded));
  }
  return list;
}

template <class Element>
void saveList(DefaultsStore& defaults, const char* key, const std::vector<Element>& list) {
  json array = json::array();
  for (const auto& element : list)
    array.push_back(element.toJson());
  if (auto bytes = dumpJson(array)) defaults.set(key, std::move(*bytes));
}

}  // namespace

std::vector<ConnectionRule> AutomationStore::load() const {
  return loadList<ConnectionRule>(defaults_, key::connectionRules);
}

void AutomationStore::save(const std::vector<ConnectionRule>& rules) const {
  saveList(defaults_, key::connectionRules, rules);
}

std::vector<AppLaunchRule> AppLaunchRuleStore::load() const {
  return loadList<AppLaunchRule>(defaults_, key::appLaunchRules);
}

void AppLaunchRuleStore::save(const std::vector<AppLaunchRule>& rules) const {
  saveList(defaults_, key::appLaunchRules, rules);
}

std::vector<ScheduledRule> ScheduledRuleStore::load() const {
  return loadList<ScheduledRule>(defaults_, key::scheduledRules);
}

void ScheduledRuleStore::save(const std::vector<ScheduledRule>& rules) const {
  saveList(defaults_, key::scheduledRules, rules);
}

std::vector<AutomationRecord> AutomationHistoryStore::load() const {
  return AutomationHistory::newest(loadList<AutomationRecord>(defaults_, key::automationHistory),
                                   AutomationHistory::limit);
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
