#include "platform/sim/FakeGlobalShortcut.h"

namespace tavuno {

SystemResult FakeGlobalShortcut::registerKey(ShortcutKey key, std::function<void()> action) {
  calls_.push_back({Call::Kind::registerKey, key});
  // Like a real service: the earlier combination is let go first.
  registered_.reset();
  dispatch_.disarm();
  std::optional<std::int32_t> status;
  if (!failures_.empty()) {
    status = failures_.front();
    failures_.pop_front();
  } else if (auto it = taken_.find(key); it != taken_.end()) {
    status = it->second;
  }
  if (status) return shortcutRegistrationError(*status);
  registered_ = key;
  dispatch_.arm(std::move(action));
  return SystemResult::success();
}

void FakeGlobalShortcut::unregister() {
  calls_.push_back({Call::Kind::unregister});
  registered_.reset();
  dispatch_.disarm();
}

void FakeGlobalShortcut::revoke(std::int32_t status) {
  registered_.reset();
  dispatch_.disarm();
  if (revoked_) revoked_(shortcutRegistrationError(status));
}

}  // namespace tavuno
