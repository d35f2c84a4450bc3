#include "system/HotKeyDispatch.h"

namespace tavuno {

HotKeyIdentifier hotKeyIdentifier(ShortcutId shortcut) {
  return {tavunoHotKeySignature, traitsOf(shortcut).hotKeyID};
}

void HotKeyDispatch::arm(ShortcutId shortcut, std::function<void()> action) {
  std::lock_guard lock(mutex_);
  actions_[indexOf(shortcut)] = std::move(action);
}

void HotKeyDispatch::disarm(ShortcutId shortcut) {
  std::lock_guard lock(mutex_);
  actions_[indexOf(shortcut)] = nullptr;
}

bool HotKeyDispatch::armed(ShortcutId shortcut) const {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(actions_[indexOf(shortcut)]);
}

HotKeyDisposition HotKeyDispatch::handle(const std::optional<HotKeyIdentifier>& press) {
  if (!press) return HotKeyDisposition::passedOn;
  std::function<void()> action;
  for (ShortcutId shortcut : allShortcutIds) {
    if (*press != hotKeyIdentifier(shortcut)) continue;
    std::lock_guard lock(mutex_);
    action = actions_[indexOf(shortcut)];
  }
  if (!action) return HotKeyDisposition::passedOn;
  // Posted, never run here: the event thread must not touch the service.
  main_.post(std::move(action));
  return HotKeyDisposition::handled;
}

}  // namespace tavuno
