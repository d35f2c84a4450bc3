#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "automations/AutomationRecord.h"
#include "service/ServiceState.h"
#include "ui/model/PickerEntries.h"

namespace tavuno {

// One rule of the automations screen, in the current language.
struct RuleRowText {
  Uuid id;
  // What triggers it: the device's UID or the application's id; empty for a
  // time.
  std::string key;
  // The device's name ("Dispositivo desconectado" when none present has its
  // UID), the application's name, or the time "08:30".
  std::string subject;
  bool subjectMissing = false;
  // The profile's name, or "Perfil indisponível" once it was deleted.
  std::string profile;
  bool profileMissing = false;
  bool enabled = true;

  friend bool operator==(const RuleRowText&, const RuleRowText&) = default;
};

// The name of an installed application by its id, when the platform knows
// it (used for a rule's application that is not running now).
using AppNameLookup = std::function<std::optional<std::string>(const std::string& appId)>;

std::vector<RuleRowText> connectionRuleRows(const ServiceState& state);
// An application that is not running is named by `installedName`, else by
// its id.
std::vector<RuleRowText> launchRuleRows(const ServiceState& state,
                                        const AppNameLookup& installedName = {});
std::vector<RuleRowText> scheduledRuleRows(const ServiceState& state);

// A daily time as "%02d:%02d".
std::string timeOfDayText(std::int64_t hour, std::int64_t minute);

// One entry of "Atividade recente".
struct HistoryRowText {
  Uuid id;
  bool succeeded = false;
  WallTime date;
  std::string profileName;
  // The trigger word and " · Aplicado" or " · Não aplicado por completo".
  std::string status;
  // What went wrong: the message of its key in the current language (with
  // its code), else the text recorded at the time; nothing on success.
  std::optional<std::string> detail;

  friend bool operator==(const HistoryRowText&, const HistoryRowText&) = default;
};

inline constexpr std::size_t recentHistoryLimit = 20;

// The newest records as stored (newest first), at most recentHistoryLimit.
std::vector<HistoryRowText> recentHistoryRows(const std::vector<AutomationRecord>& history);

// The creation panels' pickers: "Selecione", then the devices (by UID) or the
// running applications (by id); `chosen` selected while it is listed.
Picker ruleDevicePicker(const std::vector<AudioDevice>& devices,
                        const std::optional<std::string>& chosen);
Picker runningAppPicker(const std::vector<RunningApp>& apps,
                        const std::optional<std::string>& chosen);

}  // namespace tavuno
