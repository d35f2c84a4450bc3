#pragma once

#include <memory>
#include <set>
#include <string>

#include "devices/AudioDevice.h"
#include "hal/Hal.h"
#include "service/PropertyListeners.h"
#include "service/ServiceHost.h"
#include "system/NotificationRequests.h"

namespace tavuno {

struct ServicePorts;
struct ServiceOptions;

// What the device director asks of the service besides the state.
class DeviceHost : public virtual ServiceHost {
 public:
  // A refresh soon, after a burst of changes.
  virtual void scheduleAudioRefresh() = 0;
  // The deferred step: the device policy when `applyDevices`, then the
  // automations.
  virtual void schedulePolicy(bool applyDevices) = 0;
  // The system now sounds as the user set it: the active profile follows.
  virtual void keepActiveProfileInStep() = 0;
  // The set of devices changed since the last look; `connected` holds the
  // ones that were not there.
  virtual void devicesChanged(const std::set<std::string>& connected) = 0;

 protected:
  ~DeviceHost() = default;
};

// The system's devices and its default input and output: listing them,
// writing the defaults, the preferred devices and automatic switching to
// them, and the announcements of devices that come and go.
class DeviceDirector : public std::enable_shared_from_this<DeviceDirector> {
 public:
  // `ports`, `options` and `host` outlive the director.
  DeviceDirector(DeviceHost& host, const ServicePorts& ports, const ServiceOptions& options);

  // Reads the stored preferences and the notification switch into the state.
  void load();
  // Re-reads the visible devices and the two defaults.
  void refresh();
  // Compares the devices with the last look: announces what came and went
  // and, when the set changed, tells the host. Nothing for the first look.
  void detectTopologyChange();
  // Listens to the device list and the defaults.
  void startListening();
  void stopListening() { listeners_.clear(); }
  std::size_t listenerCount() const { return listeners_.size(); }

  // On failure shows "Não foi possível alterar o dispositivo (erro %d).".
  bool setDefault(AudioObjectID id, bool input);
  // A write the audio server refused after it had been taken: explained in
  // the words of one that fails at once, and the hardware read again.
  void showDeferredWriteFailure(const PropertyAddress& address, OSStatus status);

  void setNotificationsEnabled(bool enabled);
  // Each persists the preferences and schedules the device policy.
  void setPreferredUID(std::string uid);
  void setPreferredInputUID(std::string uid);
  void setAutomatic(bool automatic);
  // The preferred output, and its headset's input along with it.
  void setPreferredOutput(const std::string& uid);
  // Prefers `device` both ways and makes it both defaults.
  void useBoth(const AudioDevice& device);
  // Automatic switching: the preferred devices become the defaults.
  void applyPolicy();

 private:
  friend struct ServiceProbe;

  void persistPreferences();

  DeviceHost& host_;
  const ServicePorts& ports_;
  const ServiceOptions& options_;
  PropertyListeners listeners_;
  std::string lastTopology_;
  std::set<std::string> lastUIDs_;
  NotificationRequests notificationRequests_;
};

}  // namespace tavuno
