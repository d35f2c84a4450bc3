#include "service/AutomationRunner.h"

#include <algorithm>
#include <type_traits>

#include "automations/AutomationPolicy.h"
#include "automations/AutomationStores.h"
#include "service/AudioService.h"

namespace tavuno {

namespace {

// Where each kind of rule is published.
template <class Rule>
struct RuleList;
template <>
struct RuleList<ConnectionRule> {
  static constexpr auto member = &ServiceState::rules;
  static constexpr ServiceField field = ServiceField::rules;
};
template <>
struct RuleList<AppLaunchRule> {
  static constexpr auto member = &ServiceState::launchRules;
  static constexpr ServiceField field = ServiceField::launchRules;
};
template <>
struct RuleList<ScheduledRule> {
  static constexpr auto member = &ServiceState::scheduledRules;
  static constexpr ServiceField field = ServiceField::scheduledRules;
};

}  // namespace

AutomationRunner::AutomationRunner(AutomationHost& host, const ServicePorts& ports,
                                   const ServiceOptions& options)
    : host_(host), ports_(ports), options_(options) {}

std::size_t AutomationRunner::load() {
  // Each list loads what it can read and keeps the stored value under its
  // backup key when something could not be.
  std::size_t unreadable = 0;
  auto take = [&unreadable](auto loaded) {
    unreadable += loaded.unreadable;
    return std::move(loaded.elements);
  };
  DefaultsStore& defaults = ports_.defaults;
  host_.publish(ServiceField::rules, &ServiceState::rules,
                take(RecordStore<ConnectionRule>(defaults).loadState()));
  host_.publish(ServiceField::launchRules, &ServiceState::launchRules,
                take(RecordStore<AppLaunchRule>(defaults).loadState()));
  host_.publish(ServiceField::scheduledRules, &ServiceState::scheduledRules,
                take(RecordStore<ScheduledRule>(defaults).loadState()));
  host_.publish(ServiceField::automationHistory, &ServiceState::automationHistory,
                take(RecordStore<AutomationRecord>(defaults).loadState()));
  scheduleLastFired_ = ScheduleLastFiredStore(defaults).load();
  return unreadable;
}

// Every edit of a rule list: applied to a copy, stored, then published; an
// edit that answers false changes nothing.
template <class Rule, class Edit>
void AutomationRunner::edit(Edit edit) {
  using List = RuleList<Rule>;
  auto rules = host_.state().*List::member;
  if (!edit(rules)) return;
  RecordStore<Rule>(ports_.defaults).save(rules);
  host_.publish(List::field, List::member, std::move(rules));
}

template <class Rule>
void AutomationRunner::toggle(const Uuid& id) {
  edit<Rule>([&](std::vector<Rule>& rules) { return AutomationPolicy::toggle(rules, id); });
}

template <class Rule>
void AutomationRunner::move(const Uuid& id, std::int64_t offset) {
  edit<Rule>([&](std::vector<Rule>& rules) {
    rules = AutomationPolicy::moving(rules, id, offset);
    return true;
  });
}

template <class Rule>
void AutomationRunner::remove(const Uuid& id) {
  if constexpr (std::is_same_v<Rule, ScheduledRule>) {
    // Its last firing goes with it.
    scheduleLastFired_.erase(id.text());
    ScheduleLastFiredStore(ports_.defaults).save(scheduleLastFired_);
  }
  edit<Rule>([&](std::vector<Rule>& rules) {
    std::erase_if(rules, [&](const Rule& r) { return r.id == id; });
    return true;
  });
}

template void AutomationRunner::toggle<ConnectionRule>(const Uuid&);
template void AutomationRunner::toggle<AppLaunchRule>(const Uuid&);
template void AutomationRunner::toggle<ScheduledRule>(const Uuid&);
template void AutomationRunner::move<ConnectionRule>(const Uuid&, std::int64_t);
template void AutomationRunner::move<AppLaunchRule>(const Uuid&, std::int64_t);
template void AutomationRunner::move<ScheduledRule>(const Uuid&, std::int64_t);
template void AutomationRunner::remove<ConnectionRule>(const Uuid&);
template void AutomationRunner::remove<AppLaunchRule>(const Uuid&);
template void AutomationRunner::remove<ScheduledRule>(const Uuid&);

void AutomationRunner::addConnectionRule(const std::string& deviceUID, const Uuid& profileID) {
  const ServiceState& state = host_.state();
  auto check =
      AutomationPolicy::newConnectionRule(deviceUID, profileID, profileIDs(state.profiles));
  if (!check) return;
  ConnectionRule rule = check.rule();
  for (const auto& device : state.devices)
    if (device.uid == deviceUID) rule.deviceName = device.name;
  edit<ConnectionRule>([&](std::vector<ConnectionRule>& rules) {
    rules.push_back(std::move(rule));
    return true;
  });
}

void AutomationRunner::addLaunchRule(const std::string& bundleID, const Uuid& profileID) {
  auto check =
      AutomationPolicy::newLaunchRule(bundleID, profileID, profileIDs(host_.state().profiles));
  if (!check) return;
  edit<AppLaunchRule>([&](std::vector<AppLaunchRule>& rules) {
    rules.push_back(check.rule());
    return true;
  });
}

void AutomationRunner::addScheduledRule(std::int64_t hour, std::int64_t minute,
                                        const Uuid& profileID) {
  auto check = AutomationPolicy::newScheduledRule(hour, minute, profileID,
                                                  profileIDs(host_.state().profiles));
  if (!check) return;
  edit<ScheduledRule>([&](std::vector<ScheduledRule>& rules) {
    rules.push_back(check.rule());
    return true;
  });
}

void AutomationRunner::forgetProfile(const Uuid& profileID) {
  const ServiceState& state = host_.state();
  host_.publish(ServiceField::rules, &ServiceState::rules,
                AutomationPolicy::withoutProfile(state.rules, profileID));
  host_.publish(ServiceField::launchRules, &ServiceState::launchRules,
                AutomationPolicy::withoutProfile(state.launchRules, profileID));
  host_.publish(ServiceField::scheduledRules, &ServiceState::scheduledRules,
                AutomationPolicy::withoutProfile(state.scheduledRules, profileID));
  RecordStore<ScheduledRule>(ports_.defaults).save(state.scheduledRules);
  RecordStore<ConnectionRule>(ports_.defaults).save(state.rules);
  RecordStore<AppLaunchRule>(ports_.defaults).save(state.launchRules);
}

void AutomationRunner::noteConnections(const std::set<std::string>& connected) {
  pendingConnections_.insert(connected.begin(), connected.end());
}

void AutomationRunner::detectLaunches() {
  std::set<std::string> running;
  for (const auto& app : host_.state().runningApps)
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
    if (launched) host_.schedulePolicy(false);
  }
  lastRunningIDs_ = std::move(running);
}

void AutomationRunner::captureDueSchedules() {
  const ServiceState& state = host_.state();
  if (scheduleQueue_.capture(state.scheduledRules, options_.now(), options_.calendar(),
                             scheduleLastFired_, profileIDs(state.profiles)))
    host_.schedulePolicy(false);
}

void AutomationRunner::run() {
  ++passes_;
  applyRules();
}

void AutomationRunner::applyRules() {
  const ServiceState& state = host_.state();
  std::set<std::string> connected, launched;
  for (const auto& device : state.devices)
    if (pendingConnections_.count(device.uid)) connected.insert(device.uid);
  for (const auto& app : state.runningApps)
    if (pendingLaunches_.count(app.id)) launched.insert(app.id);
  pendingConnections_.clear();
  pendingLaunches_.clear();

  const std::set<Uuid> available = profileIDs(state.profiles);
  const auto connection = AutomationPolicy::profileToActivate(state.rules, connected, available);
  const auto launch = AutomationPolicy::profileForLaunch(state.launchRules, launched, available);

  std::vector<ScheduledRule> due;
  if (auto batch = scheduleQueue_.take()) {
    due = ScheduleQueue::stillDue(*batch, state.scheduledRules, available);
    for (const auto& rule : due)
      scheduleLastFired_[rule.id.text()] = batch->day;
    if (!due.empty()) ScheduleLastFiredStore(ports_.defaults).save(scheduleLastFired_);
  }

  std::optional<Uuid> chosen = connection ? connection : launch;
  if (!chosen && !due.empty()) chosen = due.front().profileID;
  if (!chosen) return;
  auto profile = std::find_if(state.profiles.begin(), state.profiles.end(),
                              [&](const AudioProfile& p) { return p.id == *chosen; });
  if (profile == state.profiles.end()) return;
  const AudioProfile target = *profile;
  const char* trigger = connection ? AutomationTrigger::device
                        : launch   ? AutomationTrigger::application
                                   : AutomationTrigger::schedule;

  host_.setError(std::nullopt);
  const bool succeeded = host_.applyProfile(target);
  AutomationRecord record;
  record.id = Uuid::random();
  record.date = options_.now();
  record.profileName = target.name;
  record.trigger = trigger;
  record.succeeded = succeeded;
  if (!succeeded) {
    const auto cause = host_.errorCause();
    record.detail = state.error;
    record.detailKey = cause.key;
    record.detailCode = cause.code;
  }
  std::vector<AutomationRecord> history{record};
  history.insert(history.end(), state.automationHistory.begin(), state.automationHistory.end());
  history = AutomationHistory::newest(std::move(history), 50);
  RecordStore<AutomationRecord>(ports_.defaults).save(history);
  host_.publish(ServiceField::automationHistory, &ServiceState::automationHistory,
                std::move(history));
}

}  // namespace tavuno
