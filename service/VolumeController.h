#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "service/PropertyListeners.h"
#include "service/ServiceHost.h"

namespace tavuno {

struct ServicePorts;

// What the volume controller asks of the service besides the state.
class VolumeHost : public virtual ServiceHost {
 public:
  // A refresh soon, after a burst of changes.
  virtual void scheduleAudioRefresh() = 0;
  // The system now sounds as the user set it: the active profile follows.
  virtual void keepActiveProfileInStep() = 0;

 protected:
  ~VolumeHost() = default;
};

// Which default device a volume controller follows, on which scope, where
// it publishes what it reads and how its failures are worded.
struct VolumeSide {
  std::uint32_t scope;
  AudioObjectID ServiceState::*device;
  ServiceField volumeField, volumeAvailableField, mutedField, muteAvailableField;
  float ServiceState::*volume;
  bool ServiceState::*volumeAvailable;
  bool ServiceState::*muted;
  bool ServiceState::*muteAvailable;
  // textKey()s, filled with the failure's code.
  const char* channelsError;
  const char* muteError;

  static const VolumeSide output;
  static const VolumeSide input;
};

// The volume and mute of the default output (or input): reading them into
// the state, writing them (each channel scaled so the balance between them
// stays), and listening to the device's controls so a change made elsewhere
// shows soon.
class VolumeController : public std::enable_shared_from_this<VolumeController> {
 public:
  // `ports` and `host` outlive the controller.
  VolumeController(VolumeHost& host, const ServicePorts& ports,
                   const VolumeSide& side = VolumeSide::output);

  // Re-reads the volume, follows the output's controls with listeners, and
  // re-reads the mute; run after the defaults are read.
  void refresh();
  bool setVolume(float value);
  bool setMute(bool muted);
  void stopListening() { listeners_.clear(); }
  std::size_t listenerCount() const { return listeners_.size(); }

 private:
  friend struct ServiceProbe;

  void refreshVolume();
  void updateListeners();
  void refreshMute();

  AudioObjectID device() const { return host_.state().*side_.device; }

  VolumeHost& host_;
  const ServicePorts& ports_;
  const VolumeSide& side_;
  // The device's volume controls (elements) and each one's value.
  std::vector<std::uint32_t> volumeElements_;
  std::vector<float> channelVolumes_;
  // Each channel over the loudest at the last audible volume, so raising
  // the volume from silence restores the balance.
  std::vector<float> lastAudibleRatios_;
  AudioObjectID volumeDevice_ = 0;
  PropertyListeners listeners_;
  AudioObjectID listenerOutput_ = 0;
  std::vector<std::uint32_t> listenerElements_;
};

}  // namespace tavuno
