#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "system/GlobalShortcutRegistering.h"
#include "system/HotKeyDispatch.h"

namespace tavuno {

// A hot-key service in memory. Records every call, refuses combinations the
// test marks as taken, and turns simulated presses into actions on the main
// queue through the same dispatch rule as a real back end.
class FakeGlobalShortcut : public GlobalShortcutRegistering {
 public:
  struct Call {
    enum class Kind { registerKey, unregister };
    Kind kind;
    ShortcutId shortcut = ShortcutId::muteOutput;
    ShortcutKey key = ShortcutKey::m;  // for registerKey
    bool operator==(const Call&) const = default;
  };

  explicit FakeGlobalShortcut(MainQueue& main) : dispatch_(main) {}

  SystemResult registerKey(ShortcutId shortcut, ShortcutKey key,
                           std::function<void()> action) override;
  void unregister(ShortcutId shortcut) override;
  void setRevokedHandler(std::function<void(ShortcutId, SystemError)> handler) override {
    revoked_ = std::move(handler);
  }

  // The desktop withdraws the combination of `shortcut` with `status`.
  void revoke(ShortcutId shortcut, std::int32_t status);

  // Another program holds `key`: registering it fails with `status`.
  void takeKey(ShortcutKey key, std::int32_t status) { taken_[key] = status; }
  void releaseKey(ShortcutKey key) { taken_.erase(key); }
  // The next registration fails with `status`, whatever the key.
  void failNext(std::int32_t status) { failures_.push_back(status); }

  std::optional<ShortcutKey> registeredKey(ShortcutId shortcut) const;
  const std::vector<Call>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }

  // A press as the event system would deliver it; nothing for an event
  // without a readable identifier.
  HotKeyDisposition press(const std::optional<HotKeyIdentifier>& identifier) {
    return dispatch_.handle(identifier);
  }
  // A press of the combination registered for `shortcut`.
  HotKeyDisposition pressRegistered(ShortcutId shortcut) {
    return press(hotKeyIdentifier(shortcut));
  }

 private:
  HotKeyDispatch dispatch_;
  std::map<ShortcutKey, std::int32_t> taken_;
  std::deque<std::int32_t> failures_;
  std::map<ShortcutId, ShortcutKey> registered_;
  std::vector<Call> calls_;
  std::function<void(ShortcutId, SystemError)> revoked_;
};

}  // namespace tavuno
