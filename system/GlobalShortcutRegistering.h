#pragma once

#include <cstdint>
#include <functional>

#include "system/ShortcutKey.h"
#include "system/SystemResult.h"

namespace tavuno {

// A system-wide hot-key service that holds at most one combination.
class GlobalShortcutRegistering {
 public:
  virtual ~GlobalShortcutRegistering() = default;

  // Takes the combination of `key`, replacing any earlier one, and runs
  // `action` on the main queue each time it is pressed. Fails with the
  // platform's status when the combination cannot be taken (described by
  // shortcutRegistrationError); nothing is registered then.
  virtual SystemResult registerKey(ShortcutKey key, std::function<void()> action) = 0;
  // Releases the combination, if any, and forgets the action.
  virtual void unregister() = 0;
  // A back end whose desktop may withdraw a registered combination later
  // calls `handler` on the main queue with the reason; nothing is registered
  // then. An empty handler removes it. A back end whose registrations last
  // until released never calls it.
  virtual void setRevokedHandler(std::function<void(SystemError)> /*handler*/) {}
};

// The error of a registration refused with `status`, described in the
// current language.
SystemError shortcutRegistrationError(std::int32_t status);

}  // namespace tavuno
