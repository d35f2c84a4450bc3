#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "base/Observers.h"
#include "base/ports/DefaultsStore.h"
#include "system/GlobalShortcutRegistering.h"
#include "system/ShortcutId.h"
#include "system/ShortcutKey.h"

namespace tavuno {

enum class ShortcutField { enabled, key, message };

// What changed, and of which shortcut.
struct ShortcutChange {
  ShortcutId shortcut;
  ShortcutField field;
  bool operator==(const ShortcutChange&) const = default;
};

// Owns the global shortcuts (muting the output, muting the microphone): for
// each, whether it is on, which letter it uses, and its last registration
// problem. The choices survive restarts in the settings store, under each
// shortcut's own keys (ShortcutTraits); a shortcut whose keys are absent is
// off. Two shortcuts that are on never share a letter: choosing the letter of
// one that is on, or switching on with it, is refused with a message naming
// that one (a shortcut that is off keeps its letter from nobody).
// Main thread only; `defaults` and `backend` must outlive the controller.
class GlobalShortcutController {
 public:
  using Actions = std::map<ShortcutId, std::function<void()>>;

  // Reads each shortcut's letter (absent or unknown gives its default, or
  // the first letter no shortcut before it has) and, when one was left on,
  // registers it again, in the order of allShortcutIds; a failure then
  // switches that stored setting off and leaves the reason in message(). A
  // combination the back end loses later is handled the same way. A
  // shortcut left out of `actions` does nothing when pressed.
  GlobalShortcutController(DefaultsStore& defaults, GlobalShortcutRegistering& backend,
                           Actions actions);

  ~GlobalShortcutController();

  GlobalShortcutController(const GlobalShortcutController&) = delete;
  GlobalShortcutController& operator=(const GlobalShortcutController&) = delete;

  bool enabled(ShortcutId id) const { return slot(id).enabled; }
  ShortcutKey key(ShortcutId id) const { return slot(id).key; }
  // Already in the current language.
  const std::optional<std::string>& message(ShortcutId id) const { return slot(id).message; }

  [[nodiscard]] Observers<ShortcutChange>::Subscription observe(
      std::function<void(ShortcutChange)> callback) {
    return observers_.subscribe(std::move(callback));
  }

  // Registers or releases the combination and stores the outcome (a refused
  // registration stores false).
  void setEnabled(ShortcutId id, bool on);
  // Moves the shortcut to another letter. While on, a letter that cannot be
  // registered leaves the old one registered and selected; if even that
  // fails, the shortcut is switched off.
  void setKey(ShortcutId id, ShortcutKey newKey);

 private:
  struct Slot {
    std::function<void()> action;
    bool enabled = false;
    ShortcutKey key = ShortcutKey::m;
    std::optional<std::string> message;
  };

  Slot& slot(ShortcutId id) { return slots_[indexOf(id)]; }
  const Slot& slot(ShortcutId id) const { return slots_[indexOf(id)]; }
  // The other shortcut that is on with `key`, if any.
  std::optional<ShortcutId> holderOf(ShortcutKey key, ShortcutId except) const;
  void setEnabledState(ShortcutId id, bool on);
  void setMessage(ShortcutId id, std::optional<std::string> message);
  void revoked(ShortcutId id, const SystemError& error);
  template <class T>
  void publish(ShortcutId id, ShortcutField field, T& member, T value);

  DefaultsStore& defaults_;
  GlobalShortcutRegistering& backend_;
  Observers<ShortcutChange> observers_;
  std::array<Slot, allShortcutIds.size()> slots_;
};

}  // namespace tavuno
