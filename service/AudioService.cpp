#include "service/AudioService.h"

#include <algorithm>

#include "base/text/TavunoLanguage.h"
#include "engine/AppMixStore.h"

namespace tavuno {

std::shared_ptr<AudioService> AudioService::create(ServicePorts ports, ServiceOptions options) {
  bool startTimer = options.startTimer;
  auto service = std::make_shared<AudioService>(Private{}, ports, std::move(options));
  service->construct(startTimer);
  return service;
}

AudioService::AudioService(Private, ServicePorts ports, ServiceOptions options)
    : ports_(ports),
      options_(std::move(options)),
      hop_(std::make_shared<MainHop>(ports.main)),
      devices_(std::make_shared<DeviceDirector>(static_cast<DeviceHost&>(*this), ports_, options_)),
      volume_(std::make_shared<VolumeController>(static_cast<VolumeHost&>(*this), ports_)),
      inputVolume_(std::make_shared<VolumeController>(static_cast<VolumeHost&>(*this), ports_,
                                                      VolumeSide::input)),
      inputMeter_(std::make_unique<InputMeterController>(static_cast<ServiceHost&>(*this),
                                                         ports_.main, ports_.inputLevels)),
      profiles_(std::make_unique<ProfileKeeper>(static_cast<ProfileHost&>(*this), ports_)),
      automations_(std::make_unique<AutomationRunner>(static_cast<AutomationHost&>(*this), ports_,
                                                      options_)),
      processListeners_(ports_.hal),
      sessions_(std::make_shared<SessionOrchestra>(static_cast<SessionHost&>(*this), ports_,
                                                   options_, hop_)) {}

AudioService::~AudioService() {
  // Never waits on a worker. First the workers lose their way to the main
  // thread: a start not begun never begins, a session built meanwhile is
  // discarded (stopped) by its worker.
  hop_->close();
  if (timer_) timer_->cancel();
  if (refreshWork_) refreshWork_->cancel();
  if (pending_) pending_->cancel();
  // What a drag changed last is still to be stored.
  if (writeWindow_) writeWindow_->cancel();
  writePending();
  removeAllListeners();
  ports_.hal.setDeferredWriteFailureHandler({});
  // Every live session gives its app's audio back, then the workers are let
  // go to finish what they hold on their own.
  sessions_->quit(quitRestoreDeadline);
}

void AudioService::notify(ServiceField field) {
  observers_.notify(field);
  // The meter follows the default input, and a device's transport decides
  // whether it may meter it unasked.
  if (inputMeter_ && (field == ServiceField::defaultInput || field == ServiceField::devices))
    inputMeter_->follow();
}

void AudioService::construct(bool startTimer) {
  auto& defaults = ports_.defaults;
  std::weak_ptr<AudioService> weak = weak_from_this();
  ports_.hal.setDeferredWriteFailureHandler(
      [weak](AudioObjectID, const PropertyAddress& address, OSStatus status) {
        if (auto self = weak.lock()) self->devices_->showDeferredWriteFailure(address, status);
      });
  auto control = AppControlPreferences::loadState(defaults);
  state_.controlPreferences = std::move(control.preferences);
  controlPreferencesReplaced_ = control.replaced;
  const auto storedActiveID = profiles_->load();
  // Each list loads what it can read and keeps the stored value under its
  // backup key when something could not be.
  std::size_t unreadable = automations_->load();
  auto mixes = AppMixStore::loadState(defaults);
  unreadable += mixes.unreadable;
  state_.appSettings = std::move(mixes.mixes);
  devices_->load();

  refresh();

  profiles_->restoreActive(storedActiveID);
  if (controlPreferencesReplaced_ && !state_.error)
    setError(tr(AppControlPreferences::fallbackMessage));
  if (unreadable > 0 && !state_.error) setError(tr(unreadableEntriesMessage));

  installSystemListeners();
  schedulePolicy(true);
  if (startTimer) {
    timer_ = ports_.main.repeatEvery(refreshInterval, [weak] {
      if (auto self = weak.lock()) self->refresh();
    });
  }
}

void AudioService::setError(std::optional<std::string> message) {
  state_.error = std::move(message);
  stalledWarningOwner_.reset();
  automationErrorKey_.reset();
  automationErrorCode_.reset();
  observers_.notify(ServiceField::error);
}

void AudioService::profileError(const char* key, std::optional<std::int32_t> code) {
  setError(code ? trf(key, *code) : tr(key));
  lastFailure_ = {lastFailure_.serial + 1, *state_.error};
  automationErrorKey_ = key;
  automationErrorCode_ = code;
}

void AudioService::scheduleAudioRefresh() {
  if (refreshWork_) refreshWork_->cancel();
  std::weak_ptr<AudioService> weak = weak_from_this();
  refreshWork_ = ports_.main.postAfter(refreshDebounce, [weak] {
    if (auto self = weak.lock()) self->refresh();
  });
}

void AudioService::refresh() {
  ++refreshCount_;
  devices_->refresh();
  volume_->refresh();
  inputVolume_->refresh();
  profiles_->ensureDefault();
  refreshApplicationSessions();
  refreshRunningApps();
  automations_->detectLaunches();
  devices_->detectTopologyChange();
  profiles_->observeSystemAudio();
  automations_->captureDueSchedules();
}

}  // namespace tavuno
