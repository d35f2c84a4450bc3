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

// The volume and mute of the default output: reading them into the state,
// writing them (each channel scaled so the balance between them stays), and
// listening to the output's controls so a change made elsewhere shows soon.
class VolumeController : public std::enable_shared_from_this<VolumeController> {
 public:
  // `ports` and `host` outlive the controller.
  VolumeController(VolumeHost& host, const ServicePorts& ports);

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

  VolumeHost& host_;
  const ServicePorts& ports_;
  // The default output's volume controls (elements) and each one's value.
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
