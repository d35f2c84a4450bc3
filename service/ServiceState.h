#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "automations/AutomationRecord.h"
#include "automations/AutomationRules.h"
#include "base/ports/Uuid.h"
#include "devices/AudioDevice.h"
#include "engine/ActiveApp.h"
#include "engine/AppControlPreferences.h"
#include "engine/AppMix.h"
#include "profiles/AudioProfile.h"

namespace tavuno {

// The published fields of AudioService, each named so observers can tell
// which one changed.
enum class ServiceField {
  devices,
  defaultInput,
  defaultOutput,
  volume,
  volumeAvailable,
  muted,
  muteAvailable,
  inputVolume,
  inputVolumeAvailable,
  inputMuted,
  inputMuteAvailable,
  inputMeter,
  error,
  notificationsEnabled,
  profiles,
  activeProfileID,
  rules,
  launchRules,
  scheduledRules,
  automationHistory,
  runningApps,
  activeApps,
  appSettings,
  controlledApps,
  passthroughApps,
  startingApps,
  stalledStarts,
  quarantinedApps,
  desiredApps,
  controlPreferences,
  preferredUID,
  preferredInputUID,
  automatic,
};

// Where the default input's level meter stands.
enum class InputMeterStatus {
  off,           // no screen shows it, or there is no default input
  live,          // metering the default input
  awaitingTest,  // a Bluetooth input: not metered until the user asks
  testing,       // a Bluetooth input metered because the user asked
  unavailable,   // the meter could not start, or stopped working
};

// What every screen shows. Written only by AudioService, on the main thread.
struct ServiceState {
  std::vector<AudioDevice> devices;
  AudioObjectID defaultInput = 0;
  AudioObjectID defaultOutput = 0;
  float volume = 0;
  bool volumeAvailable = false;
  bool muted = false;
  bool muteAvailable = false;
  // The default input's, read and written as the output's are.
  float inputVolume = 0;
  bool inputVolumeAvailable = false;
  bool inputMuted = false;
  bool inputMuteAvailable = false;
  InputMeterStatus inputMeter = InputMeterStatus::off;
  std::optional<std::string> error;
  bool notificationsEnabled = false;
  std::vector<AudioProfile> profiles;
  std::optional<Uuid> activeProfileID;
  std::vector<ConnectionRule> rules;
  std::vector<AppLaunchRule> launchRules;
  std::vector<ScheduledRule> scheduledRules;
  std::vector<AutomationRecord> automationHistory;
  std::vector<RunningApp> runningApps;
  std::vector<ActiveApp> activeApps;
  AppMixMap appSettings;
  std::set<std::string> controlledApps;
  std::set<std::string> passthroughApps;
  std::set<std::string> startingApps;
  std::set<std::string> stalledStarts;
  std::set<std::string> quarantinedApps;
  std::set<std::string> desiredApps;
  AppControlPreferences controlPreferences;
  std::string preferredUID;
  std::string preferredInputUID;
  bool automatic = false;
};

}  // namespace tavuno
