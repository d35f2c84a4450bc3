#include "engine/AppControlPreferences.h"

#include <nlohmann/json.hpp>

#include "base/JsonFields.h"
#include "base/SettingsKeys.h"

namespace tavuno {

using nlohmann::json;

namespace {

// An array of strings, or nothing when absent or null; `fields` fails on any
// other kind.
std::set<std::string> stringSet(JsonFields& fields, const char* key) {
  std::set<std::string> result;
  const json* value = fields.optionalValue(key);
  if (!value) return result;
  if (!value->is_array()) {
    fields.fail();
    return result;
  }
  for (const auto& element : *value) {
    if (!element.is_string()) {
      fields.fail();
      return {};
    }
    result.insert(element.get<std::string>());
  }
  return result;
}

}  // namespace

AppControlPreferences::LoadResult AppControlPreferences::loadState(DefaultsStore& defaults) {
  auto stored = defaults.value(key::appControlPreferences);
  if (!stored) return {AppControlPreferences{.automatic = true}, false};
  if (const auto* bytes = std::get_if<Bytes>(&*stored)) {
    if (auto value = parseJson(*bytes))
      if (auto preferences = fromJson(*value)) return {std::move(*preferences), false};
  }
  if (!defaults.contains(key::appControlPreferencesBackup))
    defaults.set(key::appControlPreferencesBackup, std::move(*stored));
  return {AppControlPreferences{.automatic = false}, true};
}

void AppControlPreferences::save(DefaultsStore& defaults) const {
  if (auto bytes = dumpJson(toJson())) defaults.set(key::appControlPreferences, std::move(*bytes));
}

std::set<std::string> AppControlPreferences::desiredApps(
    const std::set<std::string>& discovered) const {
  std::set<std::string> desired = enabled;
  if (automatic) desired.insert(discovered.begin(), discovered.end());
  return desired;
}

void AppControlPreferences::enable(const std::string& id) {
  enabled.insert(id);
  excluded.erase(id);
}

void AppControlPreferences::exclude(const std::string& id) {
  enabled.erase(id);
  excluded.insert(id);
}

json AppControlPreferences::toJson() const {
  return {{"automatic", automatic}, {"enabled", enabled}, {"excluded", excluded}};
}

std::optional<AppControlPreferences> AppControlPreferences::fromJson(const json& value) {
  JsonFields fields(value);
  AppControlPreferences preferences;
  preferences.automatic = fields.optionalBoolean("automatic").value_or(false);
  preferences.enabled = stringSet(fields, "enabled");
  preferences.excluded = stringSet(fields, "excluded");
  if (!fields.ok()) return std::nullopt;
  return preferences;
}

}  // namespace tavuno
