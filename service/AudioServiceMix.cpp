// The per-application mix, output choice and the automatic-control switch.
#include <cmath>

#include "service/AudioService.h"

namespace tavuno {

namespace {

bool inCall(const std::vector<ActiveApp>& activeApps, const std::string& id) {
  for (const auto& app : activeApps)
    if (app.id == id) return app.inputActive;
  return false;
}

}  // namespace

void AudioService::saveAppSettings() {
  writeSoon(appMixWrite);
}

void AudioService::setAppMix(const ActiveApp& app, std::optional<float> volume,
                             std::optional<bool> muted) {
  if (inCall(state_.activeApps, app.id)) return;
  const AppMix mix = settings(app.id).adjusted(volume, muted);
  AppMixMap next = state_.appSettings;
  next[app.id] = mix;
  publish(ServiceField::appSettings, &ServiceState::appSettings, std::move(next));
  saveAppSettings();
  profiles_->followSystem();
  if (auto running = session(app.id)) running->setGain(mix.volume(), mix.muted());
}

void AudioService::setAppOutput(const ActiveApp& app, std::optional<std::string> uid) {
  if (inCall(state_.activeApps, app.id)) return;
  AppMixMap next = state_.appSettings;
  next[app.id] = settings(app.id).routedTo(std::move(uid));
  publish(ServiceField::appSettings, &ServiceState::appSettings, std::move(next));
  saveAppSettings();
  profiles_->followSystem();
  sessions_->forgetFailure(app.id);
  if (state_.desiredApps.count(app.id)) refresh();
}

void AudioService::setAutomaticControl(bool automatic) {
  AppControlPreferences preferences = state_.controlPreferences;
  preferences.automatic = automatic;
  preferences.save(ports_.defaults);
  publish(ServiceField::controlPreferences, &ServiceState::controlPreferences,
          std::move(preferences));
  refresh();
}

void AudioService::refreshRunningApps() {
  if (!ports_.identity) return;
  publish(ServiceField::runningApps, &ServiceState::runningApps, listRunningApps(*ports_.identity));
}

}  // namespace tavuno
