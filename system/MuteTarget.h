#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tavuno {

// Which default device's mute a shortcut flips.
enum class MuteSide { output, input };

// What the global mute shortcuts act on: the mute controls of the default
// output and input, and the one message shown to the user. The service
// implements it.
class MuteTarget {
 public:
  virtual ~MuteTarget() = default;

  virtual bool muteAvailable(MuteSide side) const = 0;
  virtual bool muted(MuteSide side) const = 0;
  // Reports its own failure through setError.
  virtual bool setMute(MuteSide side, bool mute) = 0;
  virtual void setError(std::optional<std::string> message) = 0;
};

// Flips the mute of `side`, or, when that device has no mute control, says
// so through the target's error message.
void toggleMute(MuteTarget& target, MuteSide side);

// A shortcut's action: toggleMute of `side` on `target` while it exists,
// nothing once it is gone. Run on the main thread.
std::function<void()> muteShortcutAction(std::weak_ptr<MuteTarget> target, MuteSide side);

}  // namespace tavuno
