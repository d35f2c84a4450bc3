#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/ports/Uuid.h"
#include "base/ports/WallClock.h"
#include "base/text/TavunoLanguage.h"

namespace tavuno {

// What made an automation run. Stored untranslated and looked up when shown,
// so the history follows a change of language.
namespace AutomationTrigger {
inline constexpr const char* device = textKey("Dispositivo");
inline constexpr const char* application = textKey("Aplicativo");
inline constexpr const char* schedule = textKey("Horário");
}  // namespace AutomationTrigger

// One entry of the automation history.
struct AutomationRecord {
  Uuid id;
  // Written as seconds since 2001-01-01 00:00:00 UTC, fraction kept.
  WallTime date;
  // The applied profile's name at that moment.
  std::string profileName;
  // One of the AutomationTrigger words.
  std::string trigger;
  bool succeeded = false;
  // On failure: the message shown, its untranslated key and the status that
  // was formatted into it. Left out of the JSON when absent.
  std::optional<std::string> detail;
  std::optional<std::string> detailKey;
  std::optional<std::int32_t> detailCode;

  nlohmann::json toJson() const;
  // The three detail keys may be missing or null; every other key is
  // required. Nothing for a date too far from now to be represented.
  static std::optional<AutomationRecord> fromJson(const nlohmann::json& value);

  friend bool operator==(const AutomationRecord&, const AutomationRecord&) = default;
};

namespace AutomationHistory {

// The most records ever kept.
inline constexpr std::size_t limit = 50;

// Newest first by date; records with equal dates keep their order (so a new
// record put in front stays in front); cut to `limit`.
std::vector<AutomationRecord> newest(std::vector<AutomationRecord> records, std::size_t limit);

}  // namespace AutomationHistory

}  // namespace tavuno
