#include "service/SessionOrchestra.h"

#include "base/text/TavunoLanguage.h"
#include "engine/AppRoute.h"
#include "engine/taps/DuplexProcessTap.h"
#include "engine/taps/ProcessTap.h"
#include "service/AudioService.h"

namespace tavuno {

namespace {
template <class Phase>
bool is(const AppSessionRecord* record) {
  return record && std::holds_alternative<Phase>(record->phase);
}
}  // namespace

SessionOrchestra::SessionOrchestra(SessionHost& host, const ServicePorts& ports,
                                   const ServiceOptions& options, std::shared_ptr<MainHop> hop)
    : host_(host), ports_(ports), options_(options), hop_(std::move(hop)) {}

AppSessionRecord& SessionOrchestra::record(const std::string& id) {
  return apps_[id];
}

const AppSessionRecord* SessionOrchestra::find(const std::string& id) const {
  auto it = apps_.find(id);
  return it == apps_.end() ? nullptr : &it->second;
}

AppSessionRecord* SessionOrchestra::find(const std::string& id) {
  auto it = apps_.find(id);
  return it == apps_.end() ? nullptr : &it->second;
}

bool SessionOrchestra::holds(const std::string& id) const {
  const auto* app = find(id);
  return is<AppSessionRecord::Running>(app) || is<AppSessionRecord::Starting>(app);
}

SessionRef SessionOrchestra::session(const std::string& id) const {
  const auto* app = find(id);
  if (!app) return nullptr;
  const auto* running = std::get_if<AppSessionRecord::Running>(&app->phase);
  return running ? running->session : nullptr;
}

bool SessionOrchestra::hasPendingStart(const std::string& id) const {
  return pendingToken(id).has_value();
}

std::optional<Uuid> SessionOrchestra::pendingToken(const std::string& id) const {
  const auto* app = find(id);
  if (!app) return std::nullopt;
  const auto* starting = std::get_if<AppSessionRecord::Starting>(&app->phase);
  return starting ? std::optional(starting->token) : std::nullopt;
}

std::optional<SessionSignature> SessionOrchestra::failedSignature(const std::string& id) const {
  const auto* app = find(id);
  return app ? app->failed : std::nullopt;
}

void SessionOrchestra::setPhase(const std::string& id, Phase phase) {
  record(id).phase = std::move(phase);
  publishSets(id);
}

void SessionOrchestra::publishSets(const std::string& id) {
  const AppSessionRecord* app = find(id);
  const auto* starting = app ? std::get_if<AppSessionRecord::Starting>(&app->phase) : nullptr;
  const auto publish = [&](ServiceField field, std::set<std::string> ServiceState::*member,
                           bool present) {
    if ((host_.state().*member).count(id) == static_cast<std::size_t>(present)) return;
    std::set<std::string> next = host_.state().*member;
    if (present)
      next.insert(id);
    else
      next.erase(id);
    host_.publishAppSet(field, member, std::move(next));
  };
  publish(ServiceField::passthroughApps, &ServiceState::passthroughApps,
          is<AppSessionRecord::Passthrough>(app));
  publish(ServiceField::startingApps, &ServiceState::startingApps, starting && !starting->stalled);
  publish(ServiceField::stalledStarts, &ServiceState::stalledStarts, starting && starting->stalled);
  publish(ServiceField::controlledApps, &ServiceState::controlledApps,
          is<AppSessionRecord::Running>(app));
  publish(ServiceField::quarantinedApps, &ServiceState::quarantinedApps, app && app->quarantined);
}

SessionFactory SessionOrchestra::factory() const {
  if (options_.makeSession) return options_.makeSession;
  TapPlatform* tap = ports_.tap;
  SerialQueueFactory& queues = ports_.workers;
  std::shared_ptr<MainHop> hop = hop_;
  // A cleanup status is taken as the platform gives it.
  const CleanupFilter cleanup = [](OSStatus status) { return status; };
  return [=, &queues](bool duplex) -> SessionRef {
    if (!tap) return nullptr;
    SessionPorts sessionPorts{*tap, queues, [hop] { return hop->uptime(); }};
    if (duplex)
      return std::make_shared<DuplexProcessTap>(sessionPorts, cleanup, std::nullopt,
                                                AudioService::duplexPrefillFrames);
    return std::make_shared<ProcessTap>(sessionPorts, cleanup);
  };
}

SessionSignature SessionOrchestra::signatureFor(const ActiveApp& app,
                                                const AudioDevice& route) const {
  return SessionSignature{app.processes, route.uid, route.id};
}

AudioWorker& SessionOrchestra::worker(const std::string& id) {
  auto& slot = record(id).worker;
  if (!slot) slot = std::make_unique<AudioWorker>(ports_.main, hop_, ports_.workers);
  return *slot;
}

void SessionOrchestra::forgetPendingStart(const std::string& id) {
  if (is<AppSessionRecord::Starting>(find(id))) setPhase(id, AppSessionRecord::Idle{});
  host_.clearStalledWarning(id);
}

bool SessionOrchestra::watchdogFailed(const std::string& id) {
  auto* app = find(id);
  auto* running = app ? std::get_if<AppSessionRecord::Running>(&app->phase) : nullptr;
  if (!running) return false;
  StreamWatchdog& watchdog = running->watchdog;
  const double now = ports_.main.uptime();
  bool failed = running->session->shouldStopForBufferHealth(now);
  if (!failed) {
    const std::uint32_t callbacks = running->session->diagnostics().callbacks;
    if (!watchdog.lastCallbacks || *watchdog.lastCallbacks != callbacks) {
      watchdog = StreamWatchdog{callbacks, now};
    } else if (now - watchdog.lastProgress >= AudioService::watchdogStall) {
      failed = true;
    }
  }
  if (!failed) return false;
  const SessionSignature signature = running->signature;
  teardown(id);
  recordFailure(id, signature);
  host_.setError(tr(
      "O fluxo de áudio parou ou o formato do dispositivo mudou. Tentando recuperar a conexão."));
  return true;
}

void SessionOrchestra::reconcile(const std::string& id, const Discovery& discovery) {
  if (const auto* app = find(id); app && app->quarantined) return;
  watchdogFailed(id);

  const ServiceState& state = host_.state();
  auto found = discovery.apps.find(id);
  const ActiveApp* app = found == discovery.apps.end() ? nullptr : &found->second;
  auto route =
      AppRoute::output(mixFor(state.appSettings, id), app ? app->ownOutputUID : std::nullopt,
                       state.devices, state.defaultOutput);
  std::optional<SessionSignature> candidate;
  if (app && route) candidate = signatureFor(*app, *route);

  if (app && app->inputActive) {
    if (!is<AppSessionRecord::Passthrough>(find(id))) {
      teardown(id);
      setPhase(id, AppSessionRecord::Passthrough{});
    }
    return;
  }
  if (is<AppSessionRecord::Passthrough>(find(id))) setPhase(id, AppSessionRecord::Idle{});

  if (auto* record = find(id)) {
    if (auto* starting = std::get_if<AppSessionRecord::Starting>(&record->phase)) {
      if (candidate && starting->signature == *candidate) return;
      forgetPendingStart(id);
    }
  }
  if (!candidate) forgetFailure(id);

  const AppSessionRecord* record = find(id);
  const auto* running = record ? std::get_if<AppSessionRecord::Running>(&record->phase) : nullptr;
  switch (SessionPolicy::action(true, candidate,
                                running ? std::optional(running->signature) : std::nullopt,
                                record ? record->failed : std::nullopt)) {
    case SessionAction::keep:
    case SessionAction::idle:
      break;
    case SessionAction::start:
      if (!running && awaitingPlacement(*app)) break;
      start(*app, *route, *candidate);
      break;
    case SessionAction::teardown:
      teardown(id);
      break;
  }
}

bool SessionOrchestra::awaitingPlacement(const ActiveApp& app) {
  // Streams that play on no device yet are still being linked by the server: where they go says
  // whether the app chose an output of its own, and taking them now would take them to the
  // default for good. Looked at again shortly, for up to a second; then the route holds.
  AppSessionRecord& known = record(app.id);
  const AppMix mix = mixFor(host_.state().appSettings, app.id);
  const bool placed = !app.nativeOutputIDs || !app.nativeOutputIDs->empty();
  if (placed || app.ownOutputUID || mix.outputUID() || mix.followsDefault() ||
      known.unplacedLooks >= kPlacementLooks) {
    known.unplacedLooks = 0;
    return false;
  }
  ++known.unplacedLooks;
  std::weak_ptr<SessionOrchestra> weak = weak_from_this();
  ports_.main.postAfter(kPlacementWait, [weak] {
    if (auto self = weak.lock()) self->host_.refresh();
  });
  return true;
}

void SessionOrchestra::start(const ActiveApp& app, const AudioDevice& output,
                             const SessionSignature& signature) {
  const std::string id = app.id;
  if (!ports_.perAppAudioSupported.now()) {
    host_.setError(tr("Requer macOS 14.2 ou posterior."));
    return;
  }
  if (const auto* known = find(id); known && known->quarantined) return;
  teardown(id);
  AudioWorker& appWorker = worker(id);
  const Uuid token = Uuid::random();
  setPhase(id, AppSessionRecord::Starting{token, signature});

  const AppMix mix = mixFor(host_.state().appSettings, id);
  const bool duplex =
      options_.allowVirtualDuplex && output.input && output.transport == transport::virtualDevice;
  std::weak_ptr<SessionOrchestra> weak = weak_from_this();
  auto dispose = disposer(id);
  SessionFactory make = factory();
  const std::vector<AudioObjectID> processes = app.processes;

  AudioWorker::Job job;
  // Runs on the worker: touches nothing of the orchestra.
  job.work = [make, duplex, mix, processes, output, dispose]() -> SessionResult {
    SessionRef session = make(duplex);
    if (!session) return SessionFailure::unsupported(tr("Processo ou saída indisponível."));
    session->setGain(mix.volume(), mix.muted());
    if (auto failure = session->start(processes, output)) {
      if (session->cleanupFailed()) dispose(session);
      return *failure;
    }
    return session;
  };
  job.shouldStart = [weak, id, token] {
    auto self = weak.lock();
    if (!self) return false;
    const auto* record = self->find(id);
    return self->pendingToken(id) == token && self->host_.state().desiredApps.count(id) &&
           !record->quarantined;
  };
  job.timeout = AudioService::startTimeout;
  job.onTimeout = [weak, id, token, app] {
    auto self = weak.lock();
    if (self && self->pendingToken(id) == token && self->host_.state().desiredApps.count(id))
      self->reportStalledStart(app);
  };
  job.completion = [weak, id, token, app, signature](SessionResult result) {
    auto self = weak.lock();
    return self && self->completeStart(id, token, app, signature, std::move(result));
  };
  job.discard = dispose;
  appWorker.run(std::move(job));
}

bool SessionOrchestra::completeStart(const std::string& id, const Uuid& token, const ActiveApp& app,
                                     const SessionSignature& signature, SessionResult result) {
  if (pendingToken(id) != token || !host_.state().desiredApps.count(id)) return false;
  forgetPendingStart(id);
  if (auto* failure = std::get_if<SessionFailure>(&result)) {
    recordFailure(id, signature);
    host_.setError(trf("Não foi possível controlar %@: %@", app.name, failure->errorDescription()));
    return true;
  }
  SessionRef session = std::get<SessionRef>(result);
  const AppMix mix = mixFor(host_.state().appSettings, id);
  session->setGain(mix.volume(), mix.muted());
  record(id).failed.reset();
  setPhase(id, AppSessionRecord::Running{session, signature, {}});
  scheduleChecks(id, app, signature, session);
  return true;
}

void SessionOrchestra::scheduleChecks(const std::string& id, const ActiveApp& app,
                                      const SessionSignature& signature,
                                      const SessionRef& session) {
  std::weak_ptr<SessionOrchestra> weak = weak_from_this();
  std::weak_ptr<ManagedAudioSession> weakSession = session;
  ports_.main.postAfter(AudioService::firstCallbackDelay, [weak, weakSession, id, app, signature] {
    auto self = weak.lock();
    auto running = weakSession.lock();
    if (!self || !running || self->session(id) != running) return;
    if (running->diagnostics().callbacks != 0) return;
    self->teardown(id);
    self->recordFailure(id, signature);
    self->host_.setError(trf(
        "O fluxo de áudio de %@ não iniciou. Verifique a permissão de áudio do sistema e a compatibilidade da saída.",
        app.name));
  });
  ports_.main.postAfter(AudioService::healthCheckDelay, [weak, weakSession, id] {
    auto self = weak.lock();
    auto running = weakSession.lock();
    if (!self || !running || self->session(id) != running) return;
    if (!running->shouldStopForBufferHealth(self->ports_.main.uptime()) &&
        running->diagnostics().callbacks != 0)
      self->record(id).retryBudget = {};
  });
}

void SessionOrchestra::teardown(const std::string& id) {
  host_.clearStalledWarning(id);
  auto* app = find(id);
  if (!app) return;
  // Whatever the support says now: a session made while it lasted is still
  // stopped and its app's audio restored.
  SessionRef running;
  if (auto* phase = std::get_if<AppSessionRecord::Running>(&app->phase))
    running = std::move(phase->session);
  setPhase(id, AppSessionRecord::Idle{});
  if (running) {
    auto dispose = disposer(id);
    worker(id).dispose([dispose, running]() mutable { dispose(std::move(running)); });
  }
}

void SessionOrchestra::release(const std::string& id) {
  if (auto* app = find(id)) {
    app->failed.reset();
    app->retryBudget = {};
  }
  teardown(id);
}

void SessionOrchestra::forgetFailure(const std::string& id) {
  if (auto* app = find(id)) app->failed.reset();
}

void SessionOrchestra::forgetFailures() {
  for (auto& [id, app] : apps_)
    app.failed.reset();
}

void SessionOrchestra::applyGains() {
  for (const auto& [id, app] : apps_) {
    if (const auto* running = std::get_if<AppSessionRecord::Running>(&app.phase)) {
      const AppMix mix = mixFor(host_.state().appSettings, id);
      running->session->setGain(mix.volume(), mix.muted());
    }
  }
}

std::function<void(SessionRef)> SessionOrchestra::disposer(const std::string& id) {
  std::weak_ptr<SessionOrchestra> weak = weak_from_this();
  // Runs on the worker.
  return [weak, id, hop = hop_](SessionRef session) {
    if (!session) return;
    session->stop();
    if (!session->cleanupFailed()) return;
    hop->post([weak, id] {
      if (auto self = weak.lock()) self->quarantine(id);
    });
  };
}

void SessionOrchestra::quarantine(const std::string& id) {
  record(id).quarantined = true;
  publishSets(id);
  forgetPendingStart(id);
  if (!host_.state().error)
    host_.setError(tr(
        "O macOS não confirmou a liberação de áudio. Reinicie o Tavuno se o problema persistir."));
}

void SessionOrchestra::recordFailure(const std::string& id, const SessionSignature& signature) {
  AppSessionRecord& app = record(id);
  app.failed = signature;
  if (!app.retryBudget.consume(signature, host_.state().desiredApps.count(id) > 0)) return;
  std::weak_ptr<SessionOrchestra> weak = weak_from_this();
  ports_.main.postAfter(AudioService::retryDelay, [weak, id, signature] {
    auto self = weak.lock();
    if (!self || !self->host_.state().desiredApps.count(id)) return;
    if (self->failedSignature(id) != signature) return;
    self->forgetFailure(id);
    self->host_.refresh();
  });
}

void SessionOrchestra::reportStalledStart(const ActiveApp& app) {
  if (auto* starting = std::get_if<AppSessionRecord::Starting>(&record(app.id).phase))
    starting->stalled = true;
  publishSets(app.id);
  host_.showStalledWarning(
      trf("O macOS ainda não concluiu a inicialização de áudio de %@. Se a espera persistir, reinicie o Tavuno.",
          app.name),
      app.id);
}

void SessionOrchestra::retry(const ActiveApp& app) {
  const std::string& id = app.id;
  if (!host_.state().desiredApps.count(id)) return;
  if (const auto* known = find(id); known && known->quarantined) return;
  if (auto* known = find(id)) {
    known->failed.reset();
    known->retryBudget = {};
  }
  const ServiceState& state = host_.state();
  auto route = AppRoute::output(mixFor(state.appSettings, id), app.ownOutputUID, state.devices,
                                state.defaultOutput);
  if (route) {
    start(app, *route, signatureFor(app, *route));
    return;
  }
  teardown(id);
  host_.setError(trf(
      "A saída escolhida para %@ está indisponível. O controle será retomado quando ela retornar.",
      app.name));
}

void SessionOrchestra::quit(double deadline) {
  // Every live session is stopped at once, each on its own app's worker
  // (idle while its session runs), and they are waited for together under
  // one deadline: against a server that does not answer a restore takes
  // seconds, and one after another they would hold the quit up for all of
  // them. A restore still running at the deadline finishes on its worker if
  // the process lives that long; what it did not put back is left to the
  // platform's sweep at the next start. Nothing is published: the service
  // is going.
  std::vector<std::pair<std::string, SessionRef>> live;
  for (auto& [id, app] : apps_)
    if (auto* running = std::get_if<AppSessionRecord::Running>(&app.phase))
      live.emplace_back(id, std::move(running->session));
  if (!live.empty()) {
    auto done = std::make_shared<Latch>(live.size());
    for (auto& [id, session] : live)
      worker(id).dispose([session = std::move(session), done] {
        session->stop();
        done->countDown();
      });
    ports_.main.await(*done, deadline);
  }
  // Then the workers are let go to finish what they hold on their own.
  apps_.clear();
}

}  // namespace tavuno
