#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <set>
#include <string>

#include "base/ports/DefaultsStore.h"
#include "base/text/TavunoLanguage.h"

namespace tavuno {

// Which applications the per-app engine controls: all that play audio
// (automatic) or only those switched on, plus those switched off.
struct AppControlPreferences {
  bool automatic = false;
  // Application ids switched on with startApp.
  std::set<std::string> enabled;
  // Application ids switched off with stopApp; kept and stored, not used to
  // decide what is controlled.
  std::set<std::string> excluded;

  struct LoadResult;

  static constexpr const char* fallbackMessage = textKey(
      "As preferências de controle por aplicativo estavam inválidas. O controle automático foi desativado; revise as configurações.");

  // Nothing stored: automatic control. A stored value that is not readable
  // JSON data (of any kind) is copied once, unchanged, to the backup key
  // (an earlier backup is never overwritten) and gives manual control with
  // `replaced` set. The bad value itself stays until the next save.
  static LoadResult loadState(DefaultsStore& defaults);
  // When the preferences cannot be encoded nothing is written.
  void save(DefaultsStore& defaults) const;

  // The ids to control among the applications now producing audio.
  std::set<std::string> desiredApps(const std::set<std::string>& discovered) const;
  // startApp: switched on, no longer switched off.
  void enable(const std::string& id);
  // stopApp: switched off, no longer switched on.
  void exclude(const std::string& id);

  // {"automatic": bool, "enabled": [string], "excluded": [string]}; missing
  // (or null) "automatic" reads as false, missing sets as empty.
  nlohmann::json toJson() const;
  static std::optional<AppControlPreferences> fromJson(const nlohmann::json& value);

  friend bool operator==(const AppControlPreferences&, const AppControlPreferences&) = default;
};

struct AppControlPreferences::LoadResult {
  AppControlPreferences preferences;
  // The stored value was unreadable and manual control replaced it; the
  // service tells the user with `fallbackMessage`.
  bool replaced = false;
};

}  // namespace tavuno
