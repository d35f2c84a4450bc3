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
    ShortcutKey key = ShortcutKey::m;  // for registerKey
    bool operator==(const Call&) const = default;
  };

  explicit FakeGlobalShortcut(MainQueue& main) : dispatch_(main) {}

  SystemResult registerKey(ShortcutKey key, std::function<void()> action) override;
  void unregister() override;
  void setRevokedHandler(std::function<void(SystemError)> handler) override {
    revoked_ = std::move(handler);
  }

  // The desktop withdraws the registered combination with `status`.
  void revoke(std::int32_t status);

  // Another program holds `key`: registering it fails with `status`.
  void takeKey(ShortcutKey key, std::int32_t status) { taken_[key] = status; }
  void releaseKey(ShortcutKey key) { taken_.erase(key); }
  // The next registration fails with `status`, whatever the key.
  void failNext(std::int32_t status) { failures_.push_back(status); }

  const std::optional<ShortcutKey>& registeredKey() const { return registered_; }
  const std::vector<Call>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }

  // A press as the event system would deliver it; nothing for an event
  // without a readable identifier.
  HotKeyDisposition press(const std::optional<HotKeyIdentifier>& identifier) {
    return dispatch_.handle(identifier);
  }
  // A press of the registered combination.
  HotKeyDisposition pressRegistered() {
    return press(HotKeyIdentifier{tavunoHotKeySignature, tavunoHotKeyID});
  }

 private:
  HotKeyDispatch dispatch_;
  std::map<ShortcutKey, std::int32_t> taken_;
  std::deque<std::int32_t> failures_;
  std::optional<ShortcutKey> registered_;
  std::vector<Call> calls_;
  std::function<void(SystemError)> revoked_;
};

}  // namespace tavuno
