// Automation rules: editing, the queues the refresh fills, and their
// evaluation into one applied profile and one history record.
#include <algorithm>

#include "automations/AutomationPolicy.h"
#include "automations/AutomationStores.h"
#include "base/text/TavunoLanguage.h"
#include "profiles/ProfileStore.h"
#include "service/AudioService.h"

namespace tavuno {

void AudioService::addRule(const std::string& deviceUID, const Uuid& profileID) {
  auto check =
      AutomationPolicy::newConnectionRule(deviceUID, profileID, profileIDs(state_.profiles));
  if (!check) return;
  ConnectionRule rule = check.rule();
  for (const auto& device : state_.devices)
    if (device.uid == deviceUID) rule.deviceName = device.name;
  auto rules = state_.rules;
  rules.push_back(std::move(rule));
  AutomationStore(ports_.defaults).save(rules);
  publish(ServiceField::rules, &ServiceState::rules, std::move(rules));
}

void AudioService::addLaunchRule(const std::string& bundleID, const Uuid& profileID) {
  auto check = AutomationPolicy::newLaunchRule(bundleID, profileID, profileIDs(state_.profiles));
  if (!check) return;
  auto rules = state_.launchRules;
  rules.push_back(check.rule());
  AppLaunchRuleStore(ports_.defaults).save(rules);
  publish(ServiceField::launchRules, &ServiceState::launchRules, std::move(rules));
}

void AudioService::addScheduledRule(std::int64_t hour, std::int64_t minute, const Uuid& profileID) {
  auto check =
      AutomationPolicy::newScheduledRule(hour, minute, profileID, profileIDs(state_.profiles));
  if (!check) return;
  auto rules = state_.scheduledRules;
  rules.push_back(check.rule());
  ScheduledRuleStore(ports_.defaults).save(rules);
  publish(ServiceField::scheduledRules, &ServiceState::scheduledRules, std::move(rules));
}

void AudioService::toggleRule(const Uuid& id) {
  auto rules = state_.rules;
  if (!AutomationPolicy::toggle(rules, id)) return;
  AutomationStore(ports_.defaults).save(rules);
  publish(ServiceField::rules, &ServiceState::rules, std::move(rules));
}

void AudioService::toggleLaunchRule(const Uuid& id) {
  auto rules = state_.launchRules;
  if (!AutomationPolicy::toggle(rules, id)) return;
  AppLaunchRuleStore(ports_.defaults).save(rules);
  publish(ServiceField::launchRules, &ServiceState::launchRules, std::move(rules));
}

void AudioService::toggleScheduledRule(const Uuid& id) {
  auto rules = state_.scheduledRules;
  if (!AutomationPolicy::toggle(rules, id)) return;
  ScheduledRuleStore(ports_.defaults).save(rules);
  publish(ServiceField::scheduledRules, &ServiceState::scheduledRules, std::move(rules));
}

void AudioService::moveRule(const Uuid& id, std::int64_t offset) {
  auto rules = AutomationPolicy::moving(state_.rules, id, offset);
  AutomationStore(ports_.defaults).save(rules);
  publish(ServiceField::rules, &ServiceState::rules, std::move(rules));
}

void AudioService::moveLaunchRule(const Uuid& id, std::int64_t offset) {
  auto rules = AutomationPolicy::moving(state_.launchRules, id, offset);
  AppLaunchRuleStore(ports_.defaults).save(rules);
  publish(ServiceField::launchRules, &ServiceState::launchRules, std::move(rules));
}

void AudioService::moveScheduledRule(const Uuid& id, std::int64_t offset) {
  auto rules = AutomationPolicy::moving(state_.scheduledRules, id, offset);
  ScheduledRuleStore(ports_.defaults).save(rules);
  publish(ServiceField::scheduledRules, &ServiceState::scheduledRules, std::move(rules));
}

void AudioService::deleteRule(const Uuid& id) {
  auto rules = state_.rules;
  std::erase_if(rules, [&](const ConnectionRule& r) { return r.id == id; });
  AutomationStore(ports_.defaults).save(rules);
  publish(ServiceField::rules, &ServiceState::rules, std::move(rules));
}

void AudioService::deleteLaunchRule(const Uuid& id) {
  auto rules = state_.launchRules;
  std::erase_if(rules, [&](const AppLaunchRule& r) { return r.id == id; });
  AppLaunchRuleStore(ports_.defaults).save(rules);
  publish(ServiceField::launchRules, &ServiceState::launchRules, std::move(rules));
}

void AudioService::deleteScheduledRule(const Uuid& id) {
  auto rules = state_.scheduledRules;
  std::erase_if(rules, [&](const ScheduledRule& r) { return r.id == id; });
  scheduleLastFired_.erase(id.text());
  ScheduleLastFiredStore(ports_.defaults).save(scheduleLastFired_);
  ScheduledRuleStore(ports_.defaults).save(rules);
  publish(ServiceField::scheduledRules, &ServiceState::scheduledRules, std::move(rules));
}

void AudioService::detectLaunches() {
  std::set<std::string> running;
  for (const auto& app : state_.runningApps)
    running.insert(app.id);
  if (lastRunningIDs_) {
    // Every launch postpones the evaluation, also the relaunch of an app
    // still pending from before it quit.
    bool launched = false;
    for (const auto& id : running) {
      if (lastRunningIDs_->count(id)) continue;
      pendingLaunches_.insert(id);
      launched = true;
    }
    if (launched) schedulePolicy(false);
  }
  lastRunningIDs_ = std::move(running);
}

void AudioService::captureDueSchedules() {
  if (scheduleQueue_.capture(state_.scheduledRules, options_.now(), options_.calendar(),
                             scheduleLastFired_, profileIDs(state_.profiles)))
    schedulePolicy(false);
}

void AudioService::runAutomations() {
  ++automationPasses_;
  applyConnectionRules();
}

void AudioService::applyConnectionRules() {
  std::set<std::string> connected, launched;
  for (const auto& device : state_.devices)
    if (pendingConnections_.count(device.uid)) connected.insert(device.uid);
  for (const auto& app : state_.runningApps)
    if (pendingLaunches_.count(app.id)) launched.insert(app.id);
  pendingConnections_.clear();
  pendingLaunches_.clear();

  const std::set<Uuid> available = profileIDs(state_.profiles);
  const auto connection = AutomationPolicy::profileToActivate(state_.rules, connected, available);
  const auto launch = AutomationPolicy::profileForLaunch(state_.launchRules, launched, available);

  std::vector<ScheduledRule> due;
  if (auto batch = scheduleQueue_.take()) {
    due = ScheduleQueue::stillDue(*batch, state_.scheduledRules, available);
    for (const auto& rule : due)
      scheduleLastFired_[rule.id.text()] = batch->day;
    if (!due.empty()) ScheduleLastFiredStore(ports_.defaults).save(scheduleLastFired_);
  }

  std::optional<Uuid> chosen = connection ? connection : launch;
  if (!chosen && !due.empty()) chosen = due.front().profileID;
  if (!chosen) return;
  auto profile = std::find_if(state_.profiles.begin(), state_.profiles.end(),
                              [&](const AudioProfile& p) { return p.id == *chosen; });
  if (profile == state_.profiles.end()) return;
  const AudioProfile target = *profile;
  const char* trigger = connection ? AutomationTrigger::device
                        : launch   ? AutomationTrigger::application
                                   : AutomationTrigger::schedule;

  setError(std::nullopt);
  const bool succeeded = applyProfile(target);
  AutomationRecord record;
  record.id = Uuid::random();
  record.date = options_.now();
  record.profileName = target.name;
  record.trigger = trigger;
  record.succeeded = succeeded;
  if (!succeeded) {
    record.detail = state_.error;
    record.detailKey = automationErrorKey_;
    record.detailCode = automationErrorCode_;
  }
  std::vector<AutomationRecord> history{record};
  history.insert(history.end(), state_.automationHistory.begin(), state_.automationHistory.end());
  history = AutomationHistory::newest(std::move(history), 50);
  AutomationHistoryStore(ports_.defaults).save(history);
  publish(ServiceField::automationHistory, &ServiceState::automationHistory, std::move(history));
}

}  // namespace tavuno
