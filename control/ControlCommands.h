#pragma once

#include <functional>
#include <memory>
#include <string>

#include "control/CommandLine.h"
#include "control/ControlResult.h"
#include "service/AudioService.h"

namespace tavuno::control {

// The commands of `tavuno` and of the D-Bus interface, run in the app on the
// main thread. Each goes through the operation a screen would call, so
// profiles, automations and the error line see it; what only a script can
// ask for (a name that matches nothing, a control the output lacks) fails
// here with a message and leaves the service alone.
//
// Devices are named by UID or exact name, applications by id or exact name
// (only those playing now: the mixer's rows), profiles by id or exact name.
// A name two of them share is refused rather than guessed.
class ControlCommands {
 public:
  explicit ControlCommands(std::weak_ptr<AudioService> service) : service_(std::move(service)) {}

  ControlResult status() const;
  ControlResult profiles() const;

  // Answer the volume (0-100) or the mute state after the change; of the
  // default output, or of the default input (the microphone).
  enum class Side { output, input };
  ControlResult volume(Side side = Side::output) const;
  ControlResult setVolume(int percent, Side side = Side::output);
  ControlResult adjustVolume(int delta, Side side = Side::output);
  ControlResult setMute(MuteChange change, Side side = Side::output);

  ControlResult setDefaultDevice(const std::string& device, bool input);

  ControlResult setAppVolume(const std::string& app, int percent);
  ControlResult setAppMute(const std::string& app, MuteChange change);
  // An empty `device` follows the system default output.
  ControlResult setAppOutput(const std::string& app, const std::string& device);

  // Automatic switching to the preferred devices; answers whether it is on.
  ControlResult setAutoSwitch(MuteChange change);
  // Makes `device` (an output) the preferred output, as the Devices screen does.
  ControlResult preferOutput(const std::string& device);

  // Runs any command but quit, which is the caller's to carry out.
  ControlResult run(const ControlRequest& request);

  // A failed command answers with the message its own operation left (or a
  // plain one), never an older one the error line still shows. A name too
  // long or one profile too many is a bad argument.
  ControlResult applyProfile(const std::string& profile);
  // Answers {"id", "name"} of the saved profile.
  ControlResult saveProfile(const std::string& name);
  // Through the operations the profiles screen calls, with their refusals
  // (the last profile is kept; deleting the active one first applies another).
  ControlResult deleteProfile(const std::string& profile);
  ControlResult renameProfile(const std::string& profile, const std::string& name);

 private:
  std::shared_ptr<AudioService> service() const { return service_.lock(); }
  // The profile a command names (by name or id), found in the running service, handed to
  // `operation`; the not-running and not-found answers otherwise.
  ControlResult onProfile(
      const std::string& name,
      const std::function<ControlResult(AudioService&, const AudioProfile&)>& operation);

  std::weak_ptr<AudioService> service_;
};

}  // namespace tavuno::control
