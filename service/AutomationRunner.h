#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "automations/ScheduleQueue.h"
#include "base/ports/DefaultsStore.h"
#include "base/ports/Uuid.h"
#include "profiles/AudioProfile.h"
#include "service/ServiceHost.h"

namespace tavuno {

struct ServicePorts;
struct ServiceOptions;

// What the automation runner asks of the service besides the state.
class AutomationHost : public virtual ServiceHost {
 public:
  // Reports its own failure through profileError.
  virtual bool applyProfile(const AudioProfile& profile) = 0;
  // The deferred step: the device policy when `applyDevices`, then run().
  virtual void schedulePolicy(bool applyDevices) = 0;
  // What the error line shows, as the key and code profileError was given;
  // nothing when another message replaced it.
  struct ErrorCause {
    std::optional<std::string> key;
    std::optional<std::int32_t> code;
  };
  virtual ErrorCause errorCause() const = 0;

 protected:
  ~AutomationHost() = default;
};

// The automation rules (on a device's connection, an application's launch
// and a time of day): editing and storing them, noting what happened at
// each refresh, and firing the first rule that matches into one applied
// profile and one history record.
class AutomationRunner {
 public:
  // `ports`, `options` and `host` outlive the runner.
  AutomationRunner(AutomationHost& host, const ServicePorts& ports, const ServiceOptions& options);

  // Reads the rules, the history and the last firings into the state; gives
  // how many stored elements could not be read.
  std::size_t load();

  // Each kind of rule, in the user's priority order.
  void addConnectionRule(const std::string& deviceUID, const Uuid& profileID);
  void addLaunchRule(const std::string& bundleID, const Uuid& profileID);
  void addScheduledRule(std::int64_t hour, std::int64_t minute, const Uuid& profileID);
  template <class Rule>
  void toggle(const Uuid& id);
  template <class Rule>
  void move(const Uuid& id, std::int64_t offset);
  template <class Rule>
  void remove(const Uuid& id);
  // Every rule that applies `profileID` goes.
  void forgetProfile(const Uuid& profileID);

  // What happened, for the next run: devices connected, apps launched (read
  // from the running apps at each refresh), schedules come due.
  void noteConnections(const std::set<std::string>& connected);
  void detectLaunches();
  void captureDueSchedules();
  // The deferred step's automation pass.
  void run();

 private:
  friend struct ServiceProbe;

  template <class Rule, class Edit>
  void edit(Edit edit);
  // Applies the profile of the first rule that matches what happened since
  // the last evaluation and records it in the history.
  void applyRules();

  AutomationHost& host_;
  const ServicePorts& ports_;
  const ServiceOptions& options_;
  StringMap scheduleLastFired_;
  std::set<std::string> pendingConnections_;
  std::optional<std::set<std::string>> lastRunningIDs_;
  std::set<std::string> pendingLaunches_;
  ScheduleQueue scheduleQueue_;
  std::uint64_t passes_ = 0;
};

}  // namespace tavuno
