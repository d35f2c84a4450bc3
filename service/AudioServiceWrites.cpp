// The settings writes that follow a drag (the per-app mix and the profiles),
// and what the profiles ask of the service.
#include "engine/AppMixStore.h"
#include "profiles/ProfileStore.h"
#include "service/AudioService.h"

namespace tavuno {

void AudioService::applyAppMix(AppMixMap mixes) {
  publish(ServiceField::appSettings, &ServiceState::appSettings, std::move(mixes));
  saveAppSettings();
  sessions_->applyGains();
  sessions_->forgetFailures();
}

void AudioService::storeProfiles() {
  pendingWrites_ &= ~unsigned{profilesWrite};
  ProfileStore::save(state_.profiles, ports_.defaults);
}

void AudioService::writeSoon(PendingWrite what) {
  pendingWrites_ |= what;
  if (writeWindow_) return;  // the end of the window writes it
  writePending();
  openWriteWindow();
}

void AudioService::openWriteWindow() {
  // Changes until the window ends are written together then, and a new
  // window opens; a window that ends with nothing to write closes, and the
  // next change is written at once.
  std::weak_ptr<AudioService> weak = weak_from_this();
  writeWindow_ = ports_.main.postAfter(settingsWriteInterval, [weak] {
    auto self = weak.lock();
    if (!self) return;
    self->writeWindow_.reset();
    if (!self->pendingWrites_) return;
    self->writePending();
    self->openWriteWindow();
  });
}

void AudioService::writePending() {
  const unsigned pending = pendingWrites_;
  pendingWrites_ = 0;
  if (pending & appMixWrite) AppMixStore::save(state_.appSettings, ports_.defaults);
  if (pending & profilesWrite) ProfileStore::save(state_.profiles, ports_.defaults);
}

}  // namespace tavuno
