#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/Observers.h"
#include "base/ports/DefaultsStore.h"
#include "system/GlobalShortcutRegistering.h"
#include "system/ShortcutKey.h"

namespace tavuno {

enum class ShortcutField { enabled, key, message };

// Owns the global mute shortcut: whether it is on, which letter it uses, and
// the last registration problem. Both choices survive restarts in the
// settings store ("globalShortcutEnabled", "shortcutKey"). Main thread only;
// `defaults` and `backend` must outlive the controller.
class GlobalShortcutController {
 public:
  // Reads the letter (absent or unknown gives m) and, when the shortcut was
  // left on, registers it again; a failure then switches the stored setting
  // off and leaves the reason in message(). A combination the back end loses
  // later is handled the same way.
  GlobalShortcutController(DefaultsStore& defaults, GlobalShortcutRegistering& backend,
                           std::function<void()> action);

  ~GlobalShortcutController();

  GlobalShortcutController(const GlobalShortcutController&) = delete;
  GlobalShortcutController& operator=(const GlobalShortcutController&) = delete;

  bool enabled() const { return enabled_; }
  ShortcutKey key() const { return key_; }
  // Already in the current language.
  const std::optional<std::string>& message() const { return message_; }

  [[nodiscard]] Observers<ShortcutField>::Subscription observe(
      std::function<void(ShortcutField)> callback) {
    return observers_.subscribe(std::move(callback));
  }

  // Registers or releases the combination and stores the outcome (a refused
  // registration stores false).
  void setEnabled(bool on);
  // Moves the shortcut to another letter. While on, a letter that cannot be
  // registered leaves the old one registered and selected; if even that
  // fails, the shortcut is switched off.
  void setKey(ShortcutKey newKey);

 private:
  void setEnabledState(bool on);
  void revoked(const SystemError& error);
  template <class T>
  void publish(ShortcutField field, T& member, T value);

  DefaultsStore& defaults_;
  GlobalShortcutRegistering& backend_;
  std::function<void()> action_;
  Observers<ShortcutField> observers_;

  bool enabled_ = false;
  ShortcutKey key_ = ShortcutKey::m;
  std::optional<std::string> message_;
};

}  // namespace tavuno
