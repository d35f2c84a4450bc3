#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "automations/Calendar.h"
#include "base/Observers.h"
#include "base/ports/DefaultsStore.h"
#include "base/ports/MainQueue.h"
#include "base/ports/SerialQueue.h"
#include "base/ports/Uuid.h"
#include "base/ports/WallClock.h"
#include "base/text/TavunoLanguage.h"
#include "devices/AudioDevice.h"
#include "devices/DevicePolicy.h"
#include "engine/AppDiscovery.h"
#include "engine/AudioWorker.h"
#include "engine/IdentityPort.h"
#include "engine/MainHop.h"
#include "engine/SessionPolicy.h"
#include "engine/taps/TapPlatform.h"
#include "hal/Hal.h"
#include "service/AutomationRunner.h"
#include "service/DeviceDirector.h"
#include "service/InputMeterController.h"
#include "service/ProfileKeeper.h"
#include "service/PropertyListeners.h"
#include "service/ServiceState.h"
#include "service/SessionOrchestra.h"
#include "service/VolumeController.h"
#include "system/AudioNotificationManaging.h"
#include "system/MuteTarget.h"

namespace tavuno {

// A yes or no the system may change while the program runs: a fixed answer,
// or a question asked on the main thread each time it matters.
class Availability {
 public:
  Availability(bool fixed = true) : fixed_(fixed) {}
  template <class Query>
  requires std::is_invocable_r_v<bool, Query&> Availability(Query query)
      : query_(std::move(query)) {}

  bool now() const { return query_ ? query_() : fixed_; }

 private:
  bool fixed_ = true;
  std::function<bool()> query_;
};

// The outside world as the service sees it. A worker blocked in the audio
// server when the service goes finishes that build later, alone, and stops
// the session it made: `tap` and `workers` (and whatever `makeSession` uses)
// must outlive the service's workers; the application keeps them until the
// process ends. The main queue needs no such care (see AudioService).
struct ServicePorts {
  DefaultsStore& defaults;
  MainQueue& main;
  Hal& hal;
  SerialQueueFactory& workers;
  // Whether the system offers per-application capture now (the audio server
  // may come and go); asked at every refresh. Without it the per-app part of
  // the refresh is skipped and the process list is not listened to.
  Availability perAppAudioSupported = true;
  // Per-application audio: taps and aggregate devices, and who is running.
  // Without them no application is discovered or controlled.
  TapPlatform* tap = nullptr;
  IdentityPort* identity = nullptr;
  // The default input's level meter; without it the meter is unavailable.
  InputLevelPort* inputLevels = nullptr;
};

// Choices fixed at construction; the application uses the defaults.
struct ServiceOptions {
  bool startTimer = true;
  WallClock now = systemWallClock();
  bool allowVirtualDuplex = true;
  std::function<bool(const AudioDevice&)> deviceVisible = [](const AudioDevice&) { return true; };
  // The desktop's notifications; without one, device changes are not
  // announced and switching them on is refused.
  std::shared_ptr<AudioNotificationManaging> notifications;
  SessionFactory makeSession;  // empty: the real sessions over `ServicePorts::tap`
  // The local calendar the daily rules follow.
  std::function<Calendar()> calendar = [] { return Calendar::current(); };
};

// The one central object: holds what the screens show, keeps it in step with
// the system through the refresh cycle, and offers the operations the screens
// call. Main thread only. Made through create() because every timer and
// delayed callback holds it weakly.
//
// Quitting is destroying it, on the main thread, and never hangs whatever is
// in flight: its workers lose their way to the main thread (a start not yet
// begun never begins, a session built meanwhile is stopped by its worker),
// every live session is stopped, all of them at once on their workers and
// waited for together at most quitRestoreDeadline, and the workers are let
// go without waiting for anything more. The application closes the main
// queue first (see MainQueue); when the service goes first (a test, a headless tool), the
// queue stays open unless one of its workers is waiting in MainQueue::sync,
// which only closing the queue can end without a wait. Either way no worker
// touches the main queue after the destructor returns.
class AudioService : public std::enable_shared_from_this<AudioService>,
                     public MuteTarget,
                     private SessionHost,
                     private DeviceHost,
                     private VolumeHost,
                     private ProfileHost,
                     private AutomationHost {
 public:
  static constexpr double refreshInterval = 2.0;
  static constexpr double refreshDebounce = 0.05;
  // Shown at start when stored automations (rules, history) or per-app mix
  // entries could not be read: the readable ones were loaded, the stored
  // values kept under their backup keys.
  static constexpr const char* unreadableEntriesMessage = textKey(
      "Algumas automações ou ajustes por aplicativo salvos não puderam ser lidos. Eles foram guardados à parte nas configurações, e o restante foi carregado.");

  static std::shared_ptr<AudioService> create(ServicePorts ports, ServiceOptions options = {});
  ~AudioService();

  AudioService(const AudioService&) = delete;
  AudioService& operator=(const AudioService&) = delete;

  const ServiceState& state() const override { return state_; }
  [[nodiscard]] Observers<ServiceField>::Subscription observe(
      std::function<void(ServiceField)> callback) {
    return observers_.subscribe(std::move(callback));
  }

  // Re-reads the system and reconciles everything derived from it.
  void refresh() override;
  // A refresh 0.05 s after the last of a burst of calls.
  void scheduleAudioRefresh() override;

  // The one message shown to the user. Any assignment also forgets who owns a
  // stalled-start warning and which automation error it was.
  void setError(std::optional<std::string> message) override;
  // The latest failure or refusal of an operation (every one goes through
  // profileError), numbered: a caller tells by the number whether the
  // operation it ran left one. The error line may show another message by
  // the time the operation returns, or still an older one.
  struct OperationFailure {
    std::uint64_t serial = 0;
    std::string message;
  };
  const OperationFailure& lastFailure() const { return lastFailure_; }

  // Devices.
  // Makes `id` the system default input (or output). On failure shows
  // "Não foi possível alterar o dispositivo (erro %d).".
  bool setDefault(AudioObjectID id, bool input) override { return devices_->setDefault(id, input); }

  // Output volume and mute of the default output.
  bool setVolume(float value) override { return volume_->setVolume(value); }
  bool setMute(bool muted) override { return volume_->setMute(muted); }
  // The same for the default input: the failures name the microphone.
  bool setInputVolume(float value) override { return inputVolume_->setVolume(value); }
  bool setInputMute(bool muted) override { return inputVolume_->setMute(muted); }
  // Either mute, for the global shortcuts.
  bool muteAvailable(MuteSide side) const override {
    return side == MuteSide::input ? state_.inputMuteAvailable : state_.muteAvailable;
  }
  bool muted(MuteSide side) const override {
    return side == MuteSide::input ? state_.inputMuted : state_.muted;
  }
  bool setMute(MuteSide side, bool muted) override {
    return side == MuteSide::input ? setInputMute(muted) : setMute(muted);
  }
  // The default input's level meter (see InputMeterController): whether a
  // screen shows it, a test of a Bluetooth input the user starts or stops,
  // and the latest peak while metering (the meters' clock reads it).
  void setInputMeterShown(bool shown) { inputMeter_->setShown(shown); }
  void setInputMeterTesting(bool testing) { inputMeter_->setTesting(testing); }
  std::optional<float> inputPeak() { return inputMeter_->peak(); }

  // Device notifications: switching on asks the desktop first; only the
  // answer to the latest request counts, and switching off wins at once.
  void setNotificationsEnabled(bool enabled) { devices_->setNotificationsEnabled(enabled); }

  // Automatic switching and the preferred devices. The three setters are
  // what a screen calls: each persists and schedules the device policy.
  void setPreferredUID(std::string uid) { devices_->setPreferredUID(std::move(uid)); }
  void setPreferredInputUID(std::string uid) { devices_->setPreferredInputUID(std::move(uid)); }
  void setAutomatic(bool automatic) { devices_->setAutomatic(automatic); }
  void setPreferredOutput(const std::string& uid) { devices_->setPreferredOutput(uid); }
  void useBoth(const AudioDevice& device) { devices_->useBoth(device); }

  static constexpr double policyDelay = 1.5;
  // At most one write of the per-app mix and of the profiles in this many
  // seconds while they keep changing (a slider drag).
  static constexpr double settingsWriteInterval = 0.5;

  // Per-application mix and control.
  AppMix settings(const std::string& id) const { return mixFor(state_.appSettings, id); }
  void setAppMix(const ActiveApp& app, std::optional<float> volume, std::optional<bool> muted);
  void setAppOutput(const ActiveApp& app, std::optional<std::string> uid);
  void setAutomaticControl(bool automatic);
  void startApp(const ActiveApp& app);
  void stopApp(const std::string& id);
  void retryApp(const ActiveApp& app);

  static constexpr double startTimeout = 15.0;
  static constexpr double firstCallbackDelay = 4.0;
  static constexpr double healthCheckDelay = 10.0;
  static constexpr double watchdogStall = 6.0;
  static constexpr double retryDelay = 3.0;
  static constexpr std::uint32_t duplexPrefillFrames = 2048;
  // How long quitting waits, all told, for the sessions to give their apps'
  // audio back.
  static constexpr double quitRestoreDeadline = 1.0;

  // Profiles. A name is kept without the white space around it and holds at
  // most maxProfileNameLength characters; at most maxProfiles are kept (every
  // change of the active one re-encodes them all).
  static constexpr std::size_t maxProfiles = ProfileKeeper::maxProfiles;
  static constexpr std::size_t maxProfileNameLength = ProfileKeeper::maxProfileNameLength;
  bool applyProfile(const AudioProfile& profile) override { return profiles_->apply(profile); }
  ProfileOutcome saveProfile(const std::string& name) { return profiles_->save(name); }
  // Renames `profile`.
  ProfileOutcome updateProfile(const AudioProfile& profile, const std::string& name) {
    return profiles_->rename(profile, name);
  }
  ProfileOutcome deleteProfile(const AudioProfile& profile) { return profiles_->remove(profile); }
  void setActiveProfile(const Uuid& id) { profiles_->setActive(id); }

  // Automation rules, in the user's priority order.
  void addRule(const std::string& deviceUID, const Uuid& profileID) {
    automations_->addConnectionRule(deviceUID, profileID);
  }
  void addLaunchRule(const std::string& bundleID, const Uuid& profileID) {
    automations_->addLaunchRule(bundleID, profileID);
  }
  void addScheduledRule(std::int64_t hour, std::int64_t minute, const Uuid& profileID) {
    automations_->addScheduledRule(hour, minute, profileID);
  }
  void toggleRule(const Uuid& id) { automations_->toggle<ConnectionRule>(id); }
  void toggleLaunchRule(const Uuid& id) { automations_->toggle<AppLaunchRule>(id); }
  void toggleScheduledRule(const Uuid& id) { automations_->toggle<ScheduledRule>(id); }
  void moveRule(const Uuid& id, std::int64_t offset) {
    automations_->move<ConnectionRule>(id, offset);
  }
  void moveLaunchRule(const Uuid& id, std::int64_t offset) {
    automations_->move<AppLaunchRule>(id, offset);
  }
  void moveScheduledRule(const Uuid& id, std::int64_t offset) {
    automations_->move<ScheduledRule>(id, offset);
  }
  void deleteRule(const Uuid& id) { automations_->remove<ConnectionRule>(id); }
  void deleteLaunchRule(const Uuid& id) { automations_->remove<AppLaunchRule>(id); }
  void deleteScheduledRule(const Uuid& id) { automations_->remove<ScheduledRule>(id); }

  // The running session of an application, if any.
  SessionRef session(const std::string& id) const { return sessions_->session(id); }
  // The output peak of an application's running session (latest buffer,
  // after its gain), for the level meters; nothing without a session. A map
  // look-up and one atomic read: no lock, no hardware call.
  std::optional<float> outputPeak(const std::string& id) const;
  const SessionOrchestra& sessions() const { return *sessions_; }

 private:
  struct Private {};

 public:
  AudioService(Private, ServicePorts ports, ServiceOptions options);

 private:
  // Reads the inner workings in tests.
  friend struct ServiceProbe;

  // The deferred step, 1.5 s after the last request: the device policy (if
  // any request asked for it), then the automations.
  void schedulePolicy(bool applyDevices) override;

  void construct(bool startTimer);
  // Shows the translation of `key` (filled with `code` when given) and
  // remembers the key and code, so an automation can record what failed.
  // Callers pass keys marked with textKey().
  void profileError(const char* key, std::optional<std::int32_t> code = std::nullopt) override;
  // The output devices a process object uses; nothing when unreadable.
  std::optional<std::vector<AudioObjectID>> processOutputDevices(AudioObjectID process);
  // Keeps the active profile in step with what the system does now.
  void keepActiveProfileInStep() override { profiles_->followSystem(); }
  void devicesChanged(const std::set<std::string>& connected) override;

  // Refresh steps, in their order, besides the collaborators' own.
  void refreshApplicationSessions();
  // Notes where each discovered app's streams play by their own choice (ownOutputUID).
  void learnOwnOutputs(Discovery& discovery);
  void refreshRunningApps();

  void installSystemListeners();
  void followProcessList();
  void removeAllListeners();

  void runDeferredPolicy();

  // What the profiles ask of the service.
  void applyAppMix(AppMixMap mixes) override;
  // The stored profile list follows state_.profiles.
  void storeProfiles() override;
  void storeProfilesSoon() override { writeSoon(profilesWrite); }
  void forgetRulesFor(const Uuid& profileID) override { automations_->forgetProfile(profileID); }
  ErrorCause errorCause() const override { return {automationErrorKey_, automationErrorCode_}; }

  // Coalesced writes of what changes at every step of a drag (the per-app mix
  // and the active profile's snapshot, which re-encodes every profile): the
  // first change is written at once, later ones at most once every
  // settingsWriteInterval; quitting writes what is pending.
  enum PendingWrite : unsigned { profilesWrite = 1, appMixWrite = 2 };
  void writeSoon(PendingWrite what);
  void writePending();
  void openWriteWindow();
  unsigned pendingWrites_ = 0;
  WorkItemRef writeWindow_;

  void saveAppSettings();

  // What the sessions tell the service.
  void showStalledWarning(std::string message, const std::string& id) override;
  void clearStalledWarning(const std::string& id) override;
  void publishAppSet(ServiceField field, std::set<std::string> ServiceState::*member,
                     std::set<std::string> value) override {
    publish(field, member, std::move(value));
  }

  ServiceState& publishedState() override { return state_; }
  void notify(ServiceField field) override;

  ServicePorts ports_;
  ServiceOptions options_;
  std::shared_ptr<MainHop> hop_;  // the workers' way to the main thread
  ServiceState state_;
  Observers<ServiceField> observers_;

  OperationFailure lastFailure_;
  std::optional<std::string> stalledWarningOwner_;
  std::optional<std::string> automationErrorKey_;
  std::optional<std::int32_t> automationErrorCode_;

  // The collaborators, one idea each, composed here; the per-application
  // sessions are further down.
  std::shared_ptr<DeviceDirector> devices_;
  std::shared_ptr<VolumeController> volume_;
  std::shared_ptr<VolumeController> inputVolume_;
  std::unique_ptr<InputMeterController> inputMeter_;
  std::unique_ptr<ProfileKeeper> profiles_;
  std::unique_ptr<AutomationRunner> automations_;

  // The process list's listener, present while per-app audio is supported.
  PropertyListeners processListeners_;
  bool systemListenersInstalled_ = false;
  bool perAppAudioSupported_ = false;  // as of the last refresh
  WorkItemRef pending_;
  bool devicePolicyNeeded_ = false;

  // The per-application sessions.
  std::shared_ptr<SessionOrchestra> sessions_;
  // App id -> the output its streams play to by their own choice (learnOwnOutputs).
  std::map<std::string, std::string> ownOutputs_;
  std::optional<AudioObjectID> lastRefreshDefaultOutput_;
  bool controlPreferencesReplaced_ = false;

  WorkItemRef refreshWork_;
  WorkItemRef timer_;
  std::uint64_t refreshCount_ = 0;
};

}  // namespace tavuno
