// The service's side of the per-application sessions: which applications
// are discovered and desired, and the operations a screen calls. The
// sessions themselves are the orchestra's.
#include "service/AudioService.h"

namespace tavuno {

std::optional<std::vector<AudioObjectID>> AudioService::processOutputDevices(
    AudioObjectID process) {
  const PropertyAddress address{selector::processDevices, scope::output, kElementMain};
  std::uint32_t size = 0;
  if (ports_.hal.getPropertyDataSize(process, address, size) != status::noError)
    return std::nullopt;
  // None (reported as none): streams that play on no device, which the server is still placing.
  if (size == 0) return std::vector<AudioObjectID>{};
  if (size % sizeof(AudioObjectID) != 0) return std::nullopt;
  std::vector<AudioObjectID> ids(size / sizeof(AudioObjectID));
  std::uint32_t read = size;
  if (ports_.hal.getPropertyData(process, address, read, ids.data()) != status::noError)
    return std::nullopt;
  if (read != size) return std::nullopt;
  return ids;
}

std::optional<float> AudioService::outputPeak(const std::string& id) const {
  SessionRef running = sessions_->session(id);
  if (!running) return std::nullopt;
  return running->outputPeak();
}

void AudioService::showStalledWarning(std::string message, const std::string& id) {
  setError(std::move(message));
  stalledWarningOwner_ = id;
}

void AudioService::clearStalledWarning(const std::string& id) {
  if (stalledWarningOwner_ == id) setError(std::nullopt);
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
    const bool held = sessions_->holds(id);
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
  for (const auto& id : std::set<std::string>(state_.desiredApps))
    if (!desired.count(id)) sessions_->release(id);
  publish(ServiceField::desiredApps, &ServiceState::desiredApps, desired);

  for (const auto& id : desired)
    sessions_->reconcile(id, discovery);
}

void AudioService::retryApp(const ActiveApp& app) {
  sessions_->retry(app);
}

void AudioService::startApp(const ActiveApp& app) {
  AppControlPreferences preferences = state_.controlPreferences;
  preferences.enable(app.id);
  preferences.save(ports_.defaults);
  publish(ServiceField::controlPreferences, &ServiceState::controlPreferences,
          std::move(preferences));
  std::set<std::string> desired = state_.desiredApps;
  desired.insert(app.id);
  publish(ServiceField::desiredApps, &ServiceState::desiredApps, std::move(desired));
  sessions_->retry(app);
}

void AudioService::stopApp(const std::string& id) {
  AppControlPreferences preferences = state_.controlPreferences;
  preferences.exclude(id);
  preferences.save(ports_.defaults);
  publish(ServiceField::controlPreferences, &ServiceState::controlPreferences,
          std::move(preferences));
  std::set<std::string> desired = state_.desiredApps;
  desired.erase(id);
  publish(ServiceField::desiredApps, &ServiceState::desiredApps, std::move(desired));
  sessions_->release(id);
}

}  // namespace tavuno
