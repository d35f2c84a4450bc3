#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "base/ports/Uuid.h"

namespace tavuno {

// The three rule kinds. Each is kept in a list whose order is the user's
// priority (first = highest) and written as a JSON object with exactly the
// field names below as keys, every key required, UUIDs upper-case.

// Applies a profile when a device is connected.
struct ConnectionRule {
  Uuid id;
  std::string deviceUID;
  Uuid profileID;
  bool enabled = true;
  // The device's name when the rule was made, so a rule for a device that
  // is not connected still says which one it is; empty in older files.
  std::string deviceName;

  nlohmann::json toJson() const;
  static std::optional<ConnectionRule> fromJson(const nlohmann::json& value);
  friend bool operator==(const ConnectionRule&, const ConnectionRule&) = default;
};

// Applies a profile when an application starts.
struct AppLaunchRule {
  Uuid id;
  // The application id as the running-applications list gives it.
  std::string bundleID;
  Uuid profileID;
  bool enabled = true;

  nlohmann::json toJson() const;
  static std::optional<AppLaunchRule> fromJson(const nlohmann::json& value);
  friend bool operator==(const AppLaunchRule&, const AppLaunchRule&) = default;
};

// Applies a profile every day at a local time. Hour and minute are stored as
// read: values outside 0-23 and 0-59 can come only from edited storage and
// are never scheduled.
struct ScheduledRule {
  Uuid id;
  std::int64_t hour = 0;
  std::int64_t minute = 0;
  Uuid profileID;
  bool enabled = true;

  nlohmann::json toJson() const;
  static std::optional<ScheduledRule> fromJson(const nlohmann::json& value);
  friend bool operator==(const ScheduledRule&, const ScheduledRule&) = default;
};

}  // namespace tavuno
