// Orchestration of the per-application sessions: which applications are
// controlled, starting and stopping their sessions on their workers, the
// watchdog, retries and quarantine.
#include "base/text/TavunoLanguage.h"
#include "engine/AppRoute.h"
#include "engine/sessions/DuplexProcessTap.h"
#include "engine/sessions/ProcessTap.h"
#include "service/AudioService.h"

namespace tavuno {

SessionRef AudioService::session(const std::string& id) const {
  auto it = tapSessions_.find(id);
  return it == tapSessions_.end() ? nullptr : it->second;
}

std::optional<float> AudioService::outputPeak(const std::string& id) const {
  auto it = tapSessions_.find(id);
  if (it == tapSessions_.end() || !it->second) return std::nullopt;
  return it->second->outputPeak();
}

const std::optional<SessionSignature> AudioService::failedSignature(const std::string& id) const {
  auto it = failedSignatures_.find(id);
  if (it == failedSignatures_.end()) return std::nullopt;
  return it->second;
}

SessionFactory AudioService::sessionFactory() const {
  if (options_.makeSession) return options_.makeSession;
  TapPlatform* tap = ports_.tap;
  SerialQueueFactory& queues = ports_.workers;
  std::shared_ptr<MainHop> hop = hop_;
  auto standardCleanup = options_.standardCleanupResult;
  auto duplexCleanup = options_.duplexCleanupResult;
  auto captureRate = options_.virtualCaptureRateOverride;
  return [=, &queues](bool duplex) -> SessionRef {
    if (!tap) return nullptr;
    SessionPorts sessionPorts{*tap, queues, [hop] { return hop->uptime(); }};
    if (duplex)
      return std::make_shared<DuplexProcessTap>(sessionPorts, duplexCleanup, captureRate,
                                                duplexPrefillFrames);
    return std::make_shared<ProcessTap>(sessionPorts, standardCleanup);
  };
}

std::optional<SessionSignature> AudioService::signatureFor(const ActiveApp& app,
                                                           const AudioDevice& route) const {
  return SessionSignature{app.processes, route.uid, options_.sessionDeviceID(route)};
}

AudioWorker& AudioService::worker(const std::string& id) {
  auto& slot = audioWorkers_[id];
  if (!slot) slot = std::make_unique<AudioWorker>(ports_.main, hop_, ports_.workers);
  return *slot;
}

void AudioService::clearStalledWarning(const std::string& id) {
  if (stalledWarningOwner_ == id) setError(std::nullopt);
}

void AudioService::forgetPendingStart(const std::string& id) {
  pendingStarts_.erase(id);
  publishSet(ServiceField::startingApps, &ServiceState::startingApps, id, false);
  publishSet(ServiceField::stalledStarts, &ServiceState::stalledStarts, id, false);
  clearStalledWarning(id);
}

void AudioService::learnOwnOutputs(Discovery& discovery) {
  // A refresh that saw the default output change may catch an app's streams on their way to
  // the new default: where they are then says nothing of their own choice.
  const bool defaultSettled =
      !lastRefreshDefaultOutput_ || state_.defaultOutput == *lastRefreshDefaultOutput_;
  lastRefreshDefaultOutput_ = state_.defaultOutput;
  std::erase_if(ownOutputs_, [&](const auto& entry) { return !discovery.apps.count(entry.first); });
  for (auto& [id, app] : discovery.apps) {
    // Where its streams play is the app's own choice only while Tavuno does not hold them.
    const bool held = sessionSignatures_.count(id) || pendingStarts_.count(id);
    if (!held && defaultSettled && app.nativeOutputIDs && !app.nativeOutputIDs->empty()) {
      const AudioDevice* device = nullptr;
      if (app.nativeOutputIDs->size() == 1)
        for (const auto& d : state_.devices)
          if (d.output && d.id == app.nativeOutputIDs->front()) device = &d;
      if (device && device->id != state_.defaultOutput)
        ownOutputs_[id] = device->uid;
      else
        ownOutputs_.erase(id);
    }
    if (auto own = ownOutputs_.find(id); own != ownOutputs_.end()) app.ownOutputUID = own->second;
  }
  for (auto& app : discovery.sorted)
    app.ownOutputUID = discovery.apps[app.id].ownOutputUID;
}

void AudioService::refreshApplicationSessions() {
  if (const bool supported = ports_.perAppAudioSupported.now();
      supported != perAppAudioSupported_) {
    perAppAudioSupported_ = supported;
    // Until construction installs the listeners, installSystemListeners()
    // picks the value up itself.
    if (systemListenersInstalled_) followProcessList();
  }
  // Without a way to make sessions every playing app would only fail to start.
  if (!perAppAudioSupported_ || !ports_.identity || !(ports_.tap || options_.makeSession)) return;
  Discovery discovery =
      discoverActiveApps(ports_.hal, *ports_.identity,
                         [this](AudioObjectID process) { return processOutputDevices(process); });
  learnOwnOutputs(discovery);
  publish(ServiceField::activeApps, &ServiceState::activeApps, discovery.sorted);

  std::set<std::string> discovered;
  for (const auto& [id, app] : discovery.apps)
    discovered.insert(id);
  std::set<std::string> desired = state_.controlPreferences.desiredApps(discovered);
  for (const auto& id : std::set<std::string>(state_.desiredApps)) {
    if (desired.count(id)) continue;
    failedSignatures_.erase(id);
    retryBudgets_.erase(id);
    teardownApp(id);
  }
  publish(ServiceField::desiredApps, &ServiceState::desiredApps, desired);

  for (const auto& id : desired) {
    if (state_.quarantinedApps.count(id)) continue;
    reconcileApp(id, discovery);
  }
}

bool AudioService::watchdogFailed(const std::string& id) {
  auto session = tapSessions_.find(id);
  auto signature = sessionSignatures_.find(id);
  if (session == tapSessions_.end() || signature == sessionSignatures_.end()) return false;
  StreamWatchdog& watchdog = watchdogs_[id];
  const double now = ports_.main.uptime();
  bool failed = session->second->shouldStopForBufferHealth(now);
  if (!failed) {
    const std::uint32_t callbacks = session->second->diagnostics().callbacks;
    if (!watchdog.lastCallbacks || *watchdog.lastCallbacks != callbacks) {
      watchdog = StreamWatchdog{callbacks, now};
    } else if (now - watchdog.lastProgress >= watchdogStall) {
      failed = true;
    }
  }
  if (!failed) return false;
  const SessionSignature running = signature->second;
  teardownApp(id);
  recordFailure(id, running);
  setError(tr(
      "O fluxo de áudio parou ou o formato do dispositivo mudou. Tentando recuperar a conexão."));
  return true;
}

void AudioService::reconcileApp(const std::string& id, const Discovery& discovery) {
  watchdogFailed(id);

  auto found = discovery.apps.find(id);
  const ActiveApp* app = found == discovery.apps.end() ? nullptr : &found->second;
  auto route = AppRoute::output(settings(id), app ? app->ownOutputUID : std::nullopt,
                                state_.devices, state_.defaultOutput);
  std::optional<SessionSignature> candidate;
  if (app && route) candidate = signatureFor(*app, *route);

  if (app && app->inputActive) {
    if (!state_.passthroughApps.count(id)) {
      teardownApp(id);
      publishSet(ServiceField::passthroughApps, &ServiceState::passthroughApps, id, true);
    }
    return;
  }
  publishSet(ServiceField::passthroughApps, &ServiceState::passthroughApps, id, false);

  if (auto pending = pendingStarts_.find(id); pending != pendingStarts_.end()) {
    if (candidate && pending->second.second == *candidate) return;
    forgetPendingStart(id);
  }
  if (!candidate) failedSignatures_.erase(id);

  auto current = sessionSignatures_.find(id);
  auto failed = failedSignatures_.find(id);
  switch (SessionPolicy::action(
      true, candidate,
      current == sessionSignatures_.end() ? std::nullopt : std::optional(current->second),
      failed == failedSignatures_.end() ? std::nullopt : std::optional(failed->second))) {
    case SessionAction::keep:
    case SessionAction::idle:
      break;
    case SessionAction::start:
      startSession(*app, *route, *candidate);
      break;
    case SessionAction::teardown:
      teardownApp(id);
      break;
  }
}

void AudioService::startSession(const ActiveApp& app, const AudioDevice& output,
                                const SessionSignature& signature) {
  const std::string id = app.id;
  if (!ports_.perAppAudioSupported.now()) {
    setError(tr("Requer macOS 14.2 ou posterior."));
    return;
  }
  if (state_.quarantinedApps.count(id)) return;
  teardownApp(id);
  AudioWorker& appWorker = worker(id);
  const Uuid token = Uuid::random();
  pendingStarts_[id] = {token, signature};
  publishSet(ServiceField::startingApps, &ServiceState::startingApps, id, true);

  const AppMix mix = settings(id);
  const bool duplex =
      options_.allowVirtualDuplex && output.input && output.transport == transport::virtualDevice;
  std::weak_ptr<AudioService> weak = weak_from_this();
  auto dispose = sessionDisposer(id);
  SessionFactory factory = sessionFactory();
  const std::vector<AudioObjectID> processes = app.processes;

  AudioWorker::Job job;
  // Runs on the worker: touches nothing of the service.
  job.work = [factory, duplex, mix, processes, output, dispose]() -> SessionResult {
    SessionRef session = factory(duplex);
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
    auto pending = self->pendingStarts_.find(id);
    return pending != self->pendingStarts_.end() && pending->second.first == token &&
           self->state_.desiredApps.count(id) && !self->state_.quarantinedApps.count(id);
  };
  job.timeout = startTimeout;
  job.onTimeout = [weak, id, token, app] {
    auto self = weak.lock();
    if (!self) return;
    auto pending = self->pendingStarts_.find(id);
    if (pending != self->pendingStarts_.end() && pending->second.first == token &&
        self->state_.desiredApps.count(id))
      self->reportStalledStart(app);
  };
  job.completion = [weak, id, token, app, signature](SessionResult result) {
    auto self = weak.lock();
    return self && self->completeStart(id, token, app, signature, std::move(result));
  };
  job.discard = dispose;
  appWorker.run(std::move(job));
}

bool AudioService::completeStart(const std::string& id, const Uuid& token, const ActiveApp& app,
                                 const SessionSignature& signature, SessionResult result) {
  auto pending = pendingStarts_.find(id);
  if (pending == pendingStarts_.end() || pending->second.first != token ||
      !state_.desiredApps.count(id))
    return false;
  forgetPendingStart(id);
  if (auto* failure = std::get_if<SessionFailure>(&result)) {
    recordFailure(id, signature);
    setError(trf("Não foi possível controlar %@: %@", app.name, failure->errorDescription()));
    return true;
  }
  SessionRef session = std::get<SessionRef>(result);
  const AppMix mix = settings(id);
  session->setGain(mix.volume(), mix.muted());
  tapSessions_[id] = session;
  sessionSignatures_[id] = signature;
  failedSignatures_.erase(id);
  publishSet(ServiceField::controlledApps, &ServiceState::controlledApps, id, true);
  scheduleSessionChecks(id, app, signature, session);
  return true;
}

void AudioService::scheduleSessionChecks(const std::string& id, const ActiveApp& app,
                                         const SessionSignature& signature,
                                         const SessionRef& session) {
  std::weak_ptr<AudioService> weak = weak_from_this();
  std::weak_ptr<ManagedAudioSession> weakSession = session;
  ports_.main.postAfter(firstCallbackDelay, [weak, weakSession, id, app, signature] {
    auto self = weak.lock();
    auto running = weakSession.lock();
    if (!self || !running || self->session(id) != running) return;
    if (running->diagnostics().callbacks != 0) return;
    self->teardownApp(id);
    self->recordFailure(id, signature);
    self->setError(trf(
        "O fluxo de áudio de %@ não iniciou. Verifique a permissão de áudio do sistema e a compatibilidade da saída.",
        app.name));
  });
  ports_.main.postAfter(healthCheckDelay, [weak, weakSession, id] {
    auto self = weak.lock();
    auto running = weakSession.lock();
    if (!self || !running || self->session(id) != running) return;
    if (!running->shouldStopForBufferHealth(self->ports_.main.uptime()) &&
        running->diagnostics().callbacks != 0)
      self->retryBudgets_.erase(id);
  });
}

void AudioService::teardownApp(const std::string& id) {
  publishSet(ServiceField::passthroughApps, &ServiceState::passthroughApps, id, false);
  forgetPendingStart(id);
  // Whatever the support says now: a session made while it lasted is still
  // stopped and its app's audio restored.
  if (auto it = tapSessions_.find(id); it != tapSessions_.end()) {
    SessionRef running = std::move(it->second);
    tapSessions_.erase(it);
    auto dispose = sessionDisposer(id);
    worker(id).dispose([dispose, running]() mutable { dispose(std::move(running)); });
  }
  sessionSignatures_.erase(id);
  watchdogs_.erase(id);
  publishSet(ServiceField::controlledApps, &ServiceState::controlledApps, id, false);
}

std::function<void(SessionRef)> AudioService::sessionDisposer(const std::string& id) {
  std::weak_ptr<AudioService> weak = weak_from_this();
  // Runs on the worker.
  return [weak, id, hop = hop_](SessionRef session) {
    if (!session) return;
    session->stop();
    if (!session->cleanupFailed()) return;
    hop->post([weak, id] {
      if (auto self = weak.lock()) self->quarantineAfterCleanupFailure(id);
    });
  };
}

void AudioService::quarantineAfterCleanupFailure(const std::string& id) {
  publishSet(ServiceField::quarantinedApps, &ServiceState::quarantinedApps, id, true);
  forgetPendingStart(id);
  if (!state_.error)
    setError(tr(
        "O macOS não confirmou a liberação de áudio. Reinicie o Tavuno se o problema persistir."));
}

void AudioService::recordFailure(const std::string& id, const SessionSignature& signature) {
  failedSignatures_[id] = signature;
  SessionRetryBudget& budget = retryBudgets_[id];
  if (!budget.consume(signature, state_.desiredApps.count(id) > 0)) return;
  std::weak_ptr<AudioService> weak = weak_from_this();
  ports_.main.postAfter(retryDelay, [weak, id, signature] {
    auto self = weak.lock();
    if (!self || !self->state_.desiredApps.count(id)) return;
    auto failed = self->failedSignatures_.find(id);
    if (failed == self->failedSignatures_.end() || failed->second != signature) return;
    self->failedSignatures_.erase(failed);
    self->refresh();
  });
}

void AudioService::reportStalledStart(const ActiveApp& app) {
  publishSet(ServiceField::startingApps, &ServiceState::startingApps, app.id, false);
  publishSet(ServiceField::stalledStarts, &ServiceState::stalledStarts, app.id, true);
  setError(trf(
      "O macOS ainda não concluiu a inicialização de áudio de %@. Se a espera persistir, reinicie o Tavuno.",
      app.name));
  stalledWarningOwner_ = app.id;
}

void AudioService::retryApp(const ActiveApp& app) {
  const std::string& id = app.id;
  if (!state_.desiredApps.count(id) || state_.quarantinedApps.count(id)) return;
  failedSignatures_.erase(id);
  retryBudgets_.erase(id);
  auto route =
      AppRoute::output(settings(id), app.ownOutputUID, state_.devices, state_.defaultOutput);
  if (route) {
    startSession(app, *route, *signatureFor(app, *route));
    return;
  }
  teardownApp(id);
  setError(trf(
      "A saída escolhida para %@ está indisponível. O controle será retomado quando ela retornar.",
      app.name));
}

void AudioService::startApp(const ActiveApp& app) {
  AppControlPreferences preferences = state_.controlPreferences;
  preferences.enable(app.id);
  preferences.save(ports_.defaults);
  publish(ServiceField::controlPreferences, &ServiceState::controlPreferences,
          std::move(preferences));
  publishSet(ServiceField::desiredApps, &ServiceState::desiredApps, app.id, true);
  retryApp(app);
}

void AudioService::stopApp(const std::string& id) {
  AppControlPreferences preferences = state_.controlPreferences;
  preferences.exclude(id);
  preferences.save(ports_.defaults);
  publish(ServiceField::controlPreferences, &ServiceState::controlPreferences,
          std::move(preferences));
  publishSet(ServiceField::desiredApps, &ServiceState::desiredApps, id, false);
  failedSignatures_.erase(id);
  retryBudgets_.erase(id);
  teardownApp(id);
}

}  // namespace tavuno
