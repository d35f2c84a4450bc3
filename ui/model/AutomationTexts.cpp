#include "ui/model/AutomationTexts.h"

#include <algorithm>
#include <cstdio>

#include "base/text/TavunoLanguage.h"
#include "ui/model/ProfileTexts.h"

namespace tavuno {

namespace {

void setProfile(RuleRowText& row, const ServiceState& state, const Uuid& profileID) {
  for (const auto& profile : state.profiles)
    if (profile.id == profileID) {
      row.profile = profile.name;
      return;
    }
  row.profile = tr("Perfil indisponível");
  row.profileMissing = true;
}

template <class Rule>
RuleRowText baseRow(const Rule& rule, const ServiceState& state) {
  RuleRowText row;
  row.id = rule.id;
  row.enabled = rule.enabled;
  setProfile(row, state, rule.profileID);
  return row;
}

Picker placeholderPicker() {
  Picker picker;
  picker.entries.push_back({tr("Selecione"), std::nullopt});
  picker.selected = 0;
  return picker;
}

void addChoice(Picker& picker, std::string label, const std::string& value,
               const std::optional<std::string>& chosen) {
  if (chosen && *chosen == value && picker.selected == 0)
    picker.selected = static_cast<int>(picker.entries.size());
  picker.entries.push_back({std::move(label), value});
}

}  // namespace

std::vector<RuleRowText> connectionRuleRows(const ServiceState& state) {
  std::vector<RuleRowText> rows;
  for (const auto& rule : state.rules) {
    RuleRowText row = baseRow(rule, state);
    row.key = rule.deviceUID;
    auto device = std::find_if(state.devices.begin(), state.devices.end(),
                               [&](const AudioDevice& d) { return d.uid == rule.deviceUID; });
    row.subjectMissing = device == state.devices.end();
    if (!row.subjectMissing)
      row.subject = device->name;
    else if (!rule.deviceName.empty())
      row.subject = trf("%@ (desconectado)", rule.deviceName);
    else
      row.subject = tr("Dispositivo desconectado");
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<RuleRowText> launchRuleRows(const ServiceState& state,
                                        const AppNameLookup& installedName) {
  std::vector<RuleRowText> rows;
  for (const auto& rule : state.launchRules) {
    RuleRowText row = baseRow(rule, state);
    row.key = rule.bundleID;
    auto app = std::find_if(state.runningApps.begin(), state.runningApps.end(),
                            [&](const RunningApp& a) { return a.id == rule.bundleID; });
    if (app != state.runningApps.end()) {
      row.subject = app->name;
    } else {
      auto installed = installedName ? installedName(rule.bundleID) : std::nullopt;
      row.subject = installed && !installed->empty() ? *installed : rule.bundleID;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<RuleRowText> scheduledRuleRows(const ServiceState& state) {
  std::vector<RuleRowText> rows;
  for (const auto& rule : state.scheduledRules) {
    RuleRowText row = baseRow(rule, state);
    row.subject = timeOfDayText(rule.hour, rule.minute);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string timeOfDayText(std::int64_t hour, std::int64_t minute) {
  char text[48];
  // English reads the 12-hour clock, as the time field shows it; a stored
  // value out of the day's range is shown as it is.
  if (TavunoLanguage::current() == "en" && hour >= 0 && hour < 24 && minute >= 0 && minute < 60) {
    std::snprintf(text, sizeof text, "%lld:%02lld %s", static_cast<long long>((hour + 11) % 12 + 1),
                  static_cast<long long>(minute), hour < 12 ? "AM" : "PM");
    return text;
  }
  std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(hour),
                static_cast<long long>(minute));
  return text;
}

std::vector<HistoryRowText> recentHistoryRows(const std::vector<AutomationRecord>& history) {
  std::vector<HistoryRowText> rows;
  for (const auto& record : history) {
    if (rows.size() == recentHistoryLimit) break;
    HistoryRowText row;
    row.id = record.id;
    row.succeeded = record.succeeded;
    row.date = record.date;
    row.profileName = record.profileName;
    row.status = tr(record.trigger) +
                 (record.succeeded ? tr(" · Aplicado") : tr(" · Não aplicado por completo"));
    if (record.detailKey && !record.detailKey->empty())
      row.detail =
          record.detailCode ? trf(*record.detailKey, *record.detailCode) : tr(*record.detailKey);
    else if (record.detail && !record.detail->empty())
      row.detail = record.detail;
    rows.push_back(std::move(row));
  }
  return rows;
}

Picker ruleDevicePicker(const std::vector<AudioDevice>& devices,
                        const std::optional<std::string>& chosen) {
  Picker picker = placeholderPicker();
  for (const auto& device : devices) {
    // Linux lists a headset's output and its input as two devices of one
    // name: where names repeat, each says which side it is.
    const bool repeated =
        std::count_if(devices.begin(), devices.end(),
                      [&](const AudioDevice& other) { return other.name == device.name; }) > 1;
    std::string label = device.name;
    if (repeated && device.output != device.input)
      label = device.output ? trf("%@ (saída)", device.name) : trf("%@ (entrada)", device.name);
    addChoice(picker, std::move(label), device.uid, chosen);
  }
  return picker;
}

Picker runningAppPicker(const std::vector<RunningApp>& apps,
                        const std::optional<std::string>& chosen) {
  Picker picker = placeholderPicker();
  for (const auto& app : apps)
    addChoice(picker, app.name, app.id, chosen);
  return picker;
}

}  // namespace tavuno
