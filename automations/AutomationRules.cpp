#include "automations/AutomationRules.h"

#include <nlohmann/json.hpp>

#include "base/JsonFields.h"

namespace tavuno {

using nlohmann::json;

json ConnectionRule::toJson() const {
  json value = {{"id", id.text()},
                {"deviceUID", deviceUID},
                {"profileID", profileID.text()},
                {"enabled", enabled}};
  if (!deviceName.empty()) value["deviceName"] = deviceName;
  return value;
}

std::optional<ConnectionRule> ConnectionRule::fromJson(const json& value) {
  JsonFields fields(value);
  ConnectionRule rule{fields.uuid("id"), fields.string("deviceUID"), fields.uuid("profileID"),
                      fields.boolean("enabled")};
  rule.deviceName = fields.optionalString("deviceName").value_or("");
  if (!fields.ok()) return std::nullopt;
  return rule;
}

json AppLaunchRule::toJson() const {
  return {{"id", id.text()},
          {"bundleID", bundleID},
          {"profileID", profileID.text()},
          {"enabled", enabled}};
}

std::optional<AppLaunchRule> AppLaunchRule::fromJson(const json& value) {
  JsonFields fields(value);
  AppLaunchRule rule{fields.uuid("id"), fields.string("bundleID"), fields.uuid("profileID"),
                     fields.boolean("enabled")};
  if (!fields.ok()) return std::nullopt;
  return rule;
}

json ScheduledRule::toJson() const {
  return {{"id", id.text()},
          {"hour", hour},
          {"minute", minute},
          {"profileID", profileID.text()},
          {"enabled", enabled}};
}

std::optional<ScheduledRule> ScheduledRule::fromJson(const json& value) {
  JsonFields fields(value);
  ScheduledRule rule{fields.uuid("id"), fields.integer("hour"), fields.integer("minute"),
                     fields.uuid("profileID"), fields.boolean("enabled")};
  if (!fields.ok()) return std::nullopt;
  return rule;
}

}  // namespace tavuno
