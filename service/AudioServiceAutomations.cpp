// Automation rules: editing, the queues the refresh fills, and their
// evaluation into one applied profile and one history record.
#include <algorithm>

#include "automations/AutomationPolicy.h"
#include "automations/AutomationStores.h"
#include "base/text/TavunoLanguage.h"
#include "profiles/ProfileStore.h"
#include "service/AudioService.h"

namespace tavuno {

namespace {

// Where each kind of rule is published and stored.
template <class Rule>
struct RuleList;
template <>
struct RuleList<ConnectionRule> {
  static constexpr auto member = &ServiceState::rules;
  static constexpr ServiceField field = ServiceField::rules;
  static void save(DefaultsStore& d, const std::vector<ConnectionRule>& r) {
    AutomationStore(d).save(r);
  }
};
template <>
struct RuleList<AppLaunchRule> {
  static constexpr auto member = &ServiceState::launchRules;
  static constexpr ServiceField field = ServiceField::launchRules;
  static void save(DefaultsStore& d, const std::vector<AppLaunchRule>& r) {
    AppLaunchRuleStore(d).save(r);
  }
};
template <>
struct RuleList<ScheduledRule> {
  static constexpr auto member = &ServiceState::scheduledRules;
  static constexpr ServiceField field = ServiceField::scheduledRules;
  static void save(DefaultsStore& d, const std::vector<ScheduledRule>& r) {
    ScheduledRuleStore(d).save(r);
  }
};

}  // namespace

// Every edit of a rule list: applied to a copy, stored, then published; an
// edit that answers false changes nothing.
template <class Rule, class Edit>
void AudioService::editRules(Edit edit) {
  using List = RuleList<Rule>;
  auto rules = state_.*List::member;
  if (!edit(rules)) return;
  List::save(ports_.defaults, rules);
  publish(List::field, List::member, std::move(rules));
}

template <class Rule>
void AudioService::toggleRuleOf(const Uuid& id) {
  editRules<Rule>([&](std::vector<Rule>& rules) { return AutomationPolicy::toggle(rules, id); });
}

template <class Rule>
void AudioService::moveRuleOf(const Uuid& id, std::int64_t offset) {
  editRules<Rule>([&](std::vector<Rule>& rules) {
    rules = AutomationPolicy::moving(rules, id, offset);
    return true;
  });
}

template <class Rule>
void AudioService::deleteRuleOf(const Uuid& id) {
  editRules<Rule>([&](std::vector<Rule>& rules) {
    std::erase_if(rules, [&](const Rule& r) { return r.id == id; });
    return true;
  });
}

void AudioService::addRule(const std::string& deviceUID, const Uuid& profileID) {
  auto check =
      AutomationPolicy::newConnectionRule(deviceUID, profileID, profileIDs(state_.profiles));
  if (!check) return;
  ConnectionRule rule = check.rule();
  for (const auto& device : state_.devices)
    if (device.uid == deviceUID) rule.deviceName = device.name;
  editRules<ConnectionRule>([&](std::vector<ConnectionRule>& rules) {
    rules.push_back(std::move(rule));
    return true;
  });
}

void AudioService::addLaunchRule(const std::string& bundleID, const Uuid& profileID) {
  auto check = AutomationPolicy::newLaunchRule(bundleID, profileID, profileIDs(state_.profiles));
  if (!check) return;
  editRules<AppLaunchRule>([&](std::vector<AppLaunchRule>& rules) {
    rules.push_back(check.rule());
    return true;
  });
}

void AudioService::addScheduledRule(std::int64_t hour, std::int64_t minute, const Uuid& profileID) {
  auto check =
      AutomationPolicy::newScheduledRule(hour, minute, profileID, profileIDs(state_.profiles));
  if (!check) return;
  editRules<ScheduledRule>([&](std::vector<ScheduledRule>& rules) {
    rules.push_back(check.rule());
    return true;
  });
}

void AudioService::toggleRule(const Uuid& id) {
  toggleRuleOf<ConnectionRule>(id);
}
void AudioService::toggleLaunchRule(const Uuid& id) {
  toggleRuleOf<AppLaunchRule>(id);
}
void AudioService::toggleScheduledRule(const Uuid& id) {
  toggleRuleOf<ScheduledRule>(id);
}

void AudioService::moveRule(const Uuid& id, std::int64_t offset) {
  moveRuleOf<ConnectionRule>(id, offset);
}
void AudioService::moveLaunchRule(const Uuid& id, std::int64_t offset) {
  moveRuleOf<AppLaunchRule>(id, offset);
}
void AudioService::moveScheduledRule(const Uuid& id, std::int64_t offset) {
  moveRuleOf<ScheduledRule>(id, offset);
}

void AudioService::deleteRule(const Uuid& id) {
  deleteRuleOf<ConnectionRule>(id);
}
void AudioService::deleteLaunchRule(const Uuid& id) {
  deleteRuleOf<AppLaunchRule>(id);
}
void AudioService::deleteScheduledRule(const Uuid& id) {
  // Its last firing goes with it.
  scheduleLastFired_.erase(id.text());
  ScheduleLastFiredStore(ports_.defaults).save(scheduleLastFired_);
  deleteRuleOf<ScheduledRule>(id);
}

void AudioService::forgetRulesFor(const Uuid& profileID) {
  publish(ServiceField::rules, &ServiceState::rules,
          AutomationPolicy::withoutProfile(state_.rules, profileID));
  publish(ServiceField::launchRules, &ServiceState::launchRules,
          AutomationPolicy::withoutProfile(state_.launchRules, profileID));
  publish(ServiceField::scheduledRules, &ServiceState::scheduledRules,
          AutomationPolicy::withoutProfile(state_.scheduledRules, profileID));
  saveRuleLists();
}

void AudioService::saveRuleLists() {
  ScheduledRuleStore(ports_.defaults).save(state_.scheduledRules);
  AutomationStore(ports_.defaults).save(state_.rules);
  AppLaunchRuleStore(ports_.defaults).save(state_.launchRules);
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
