#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>

#include "base/ports/Uuid.h"
#include "engine/AppDiscovery.h"
#include "engine/AudioWorker.h"
#include "engine/MainHop.h"
#include "engine/SessionPolicy.h"
#include "service/ServiceState.h"

namespace tavuno {

struct ServicePorts;
struct ServiceOptions;

// Makes the session for one start, on the application's worker: duplex or
// standard. The application uses the real sessions; tests may script them.
using SessionFactory = std::function<SessionRef(bool duplex)>;

// What the sessions read of the service and tell it. Main thread only.
class SessionHost {
 public:
  virtual const ServiceState& state() const = 0;
  virtual void setError(std::optional<std::string> message) = 0;
  virtual void refresh() = 0;
  // Shows `message` as the warning of `id`'s stalled start.
  virtual void showStalledWarning(std::string message, const std::string& id) = 0;
  // Clears the error line if it is `id`'s stalled-start warning.
  virtual void clearStalledWarning(const std::string& id) = 0;
  virtual void publishAppSet(ServiceField field, std::set<std::string> ServiceState::*member,
                             std::set<std::string> value) = 0;

 protected:
  ~SessionHost() = default;
};

// Everything Tavuno holds for one application whose audio it may control.
// The phase says what runs, so a start pending beside a running session, or
// a passthrough app with a session, cannot be written down.
struct AppSessionRecord {
  struct Idle {};
  struct Starting {
    Uuid token;  // tells this start's answer from an older one's
    SessionSignature signature;
    bool stalled = false;  // past the start timeout, still waited for
  };
  struct Running {
    SessionRef session;
    SessionSignature signature;
    StreamWatchdog watchdog;
  };
  // The app records: its audio is left alone until it stops.
  struct Passthrough {};
  std::variant<Idle, Starting, Running, Passthrough> phase;

  // Its last session failed to give its audio back: never started again
  // while Tavuno runs.
  bool quarantined = false;
  // What failed last; not started again until something changes.
  std::optional<SessionSignature> failed;
  SessionRetryBudget retryBudget;
  // Refreshes in a row that found its streams playing on no device yet (see awaitingPlacement).
  int unplacedLooks = 0;
  // Lives as long as the orchestra, so a stop always runs before the next
  // build of the same app.
  std::unique_ptr<AudioWorker> worker;
};

// The per-application sessions: starting them on their app's worker,
// stopping them, the watchdog, retries and quarantine, and the published
// sets derived from each app's phase (controlled, starting, stalled,
// passthrough, quarantined).
class SessionOrchestra : public std::enable_shared_from_this<SessionOrchestra> {
 public:
  // `ports`, `options` and `host` outlive the orchestra.
  SessionOrchestra(SessionHost& host, const ServicePorts& ports, const ServiceOptions& options,
                   std::shared_ptr<MainHop> hop);

  // Brings one desired app's session in line with what it plays now.
  void reconcile(const std::string& id, const Discovery& discovery);
  // Starts `app` again now, forgetting what failed before (the user asked).
  void retry(const ActiveApp& app);
  // The app is no longer wanted: its session stops, its failures are
  // forgotten.
  void release(const std::string& id);
  void teardown(const std::string& id);
  // Something the start depends on changed: a failed start may be retried.
  void forgetFailure(const std::string& id);
  void forgetFailures();
  // Every running session takes its app's mix from the published settings.
  void applyGains();
  // Quitting: every live session is stopped at once and waited for together
  // under one deadline, then the workers are let go.
  void quit(double deadline);

  // Whether Tavuno holds the app's streams (a session runs or starts).
  bool holds(const std::string& id) const;
  SessionRef session(const std::string& id) const;
  bool hasPendingStart(const std::string& id) const;
  std::optional<SessionSignature> failedSignature(const std::string& id) const;

 private:
  using Phase = decltype(AppSessionRecord::phase);
  // How long, and how many times, a first take waits for streams the server is still placing.
  static constexpr double kPlacementWait = 0.1;
  static constexpr int kPlacementLooks = 10;

  AppSessionRecord& record(const std::string& id);
  const AppSessionRecord* find(const std::string& id) const;
  AppSessionRecord* find(const std::string& id);
  // Assigns the phase and publishes the sets that follow from it.
  void setPhase(const std::string& id, Phase phase);
  void publishSets(const std::string& id);
  std::optional<Uuid> pendingToken(const std::string& id) const;

  bool watchdogFailed(const std::string& id);
  bool awaitingPlacement(const ActiveApp& app);
  void start(const ActiveApp& app, const AudioDevice& output, const SessionSignature& signature);
  bool completeStart(const std::string& id, const Uuid& token, const ActiveApp& app,
                     const SessionSignature& signature, SessionResult result);
  void scheduleChecks(const std::string& id, const ActiveApp& app,
                      const SessionSignature& signature, const SessionRef& session);
  void forgetPendingStart(const std::string& id);
  void recordFailure(const std::string& id, const SessionSignature& signature);
  void reportStalledStart(const ActiveApp& app);
  void quarantine(const std::string& id);
  std::function<void(SessionRef)> disposer(const std::string& id);
  AudioWorker& worker(const std::string& id);
  SessionFactory factory() const;
  SessionSignature signatureFor(const ActiveApp& app, const AudioDevice& route) const;

  SessionHost& host_;
  const ServicePorts& ports_;
  const ServiceOptions& options_;
  std::shared_ptr<MainHop> hop_;
  std::map<std::string, AppSessionRecord> apps_;
};

}  // namespace tavuno
