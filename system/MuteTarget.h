#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tavuno {

// What the global mute shortcut acts on: the output's mute control and the
// one message shown to the user. The service implements it.
class MuteTarget {
 public:
  virtual ~MuteTarget() = default;

  virtual bool muteAvailable() const = 0;
  virtual bool muted() const = 0;
  // Reports its own failure through setError.
  virtual bool setMute(bool mute) = 0;
  virtual void setError(std::optional<std::string> message) = 0;
};

// Flips the output's mute, or, when the output has no mute control, says so
// through the target's error message.
void toggleOutputMute(MuteTarget& target);

// The shortcut's action: toggleOutputMute on `target` while it exists,
// nothing once it is gone. Run on the main thread.
std::function<void()> muteShortcutAction(std::weak_ptr<MuteTarget> target);

}  // namespace tavuno
