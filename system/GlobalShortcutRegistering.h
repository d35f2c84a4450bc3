#pragma once

#include <cstdint>
#include <functional>

#include "system/ShortcutId.h"
#include "system/ShortcutKey.h"
#include "system/SystemResult.h"

namespace tavuno {

// A system-wide hot-key service that holds one combination per shortcut.
class GlobalShortcutRegistering {
 public:
  virtual ~GlobalShortcutRegistering() = default;

  // Takes the combination of `key` for `shortcut`, replacing any earlier one
  // of that shortcut, and runs `action` on the main queue each time it is
  // pressed. Fails with the platform's status when the combination cannot
  // be taken (described by shortcutRegistrationError); nothing is registered
  // for `shortcut` then. The other shortcuts keep theirs; the caller never
  // gives two of them the same key.
  virtual SystemResult registerKey(ShortcutId shortcut, ShortcutKey key,
                                   std::function<void()> action) = 0;
  // Releases the combination of `shortcut`, if any, and forgets its action.
  virtual void unregister(ShortcutId shortcut) = 0;
  // A back end whose desktop may withdraw a registered combination later
  // calls `handler` on the main queue with the shortcut and the reason;
  // nothing is registered for that shortcut then. An empty handler removes
  // it. A back end whose registrations last until released never calls it.
  virtual void setRevokedHandler(std::function<void(ShortcutId, SystemError)> /*handler*/) {}
};

// The error of a registration refused with `status`, described in the
// current language.
SystemError shortcutRegistrationError(std::int32_t status);

}  // namespace tavuno
