#include "platform/sim/FakeGlobalShortcut.h"

namespace tavuno {

SystemResult FakeGlobalShortcut::registerKey(ShortcutId shortcut, ShortcutKey key,
                                             std::function<void()> action) {
  calls_.push_back({Call::Kind::registerKey, shortcut, key});
  // Like a real service: the shortcut's earlier combination is let go first.
  registered_.erase(shortcut);
  dispatch_.disarm(shortcut);
  std::optional<std::int32_t> status;
  if (!failures_.empty()) {
    status = failures_.front();
    failures_.pop_front();
  } else if (auto it = taken_.find(key); it != taken_.end()) {
    status = it->second;
  }
  if (status) return shortcutRegistrationError(*status);
  registered_[shortcut] = key;
  dispatch_.arm(shortcut, std::move(action));
  return SystemResult::success();
}

void FakeGlobalShortcut::unregister(ShortcutId shortcut) {
  calls_.push_back({Call::Kind::unregister, shortcut});
  registered_.erase(shortcut);
  dispatch_.disarm(shortcut);
}

void FakeGlobalShortcut::revoke(ShortcutId shortcut, std::int32_t status) {
  registered_.erase(shortcut);
  dispatch_.disarm(shortcut);
  if (revoked_) revoked_(shortcut, shortcutRegistrationError(status));
}

std::optional<ShortcutKey> FakeGlobalShortcut::registeredKey(ShortcutId shortcut) const {
  auto found = registered_.find(shortcut);
  if (found == registered_.end()) return std::nullopt;
  return found->second;
}

}  // namespace tavuno
