#include "system/HotKeyDispatch.h"

namespace tavuno {

void HotKeyDispatch::arm(std::function<void()> action) {
  std::lock_guard lock(mutex_);
  action_ = std::move(action);
}

void HotKeyDispatch::disarm() {
  std::lock_guard lock(mutex_);
  action_ = nullptr;
}

bool HotKeyDispatch::armed() const {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(action_);
}

HotKeyDisposition HotKeyDispatch::handle(const std::optional<HotKeyIdentifier>& press) {
  if (!press || press->signature != tavunoHotKeySignature || press->id != tavunoHotKeyID)
    return HotKeyDisposition::passedOn;
  std::function<void()> action;
  {
    std::lock_guard lock(mutex_);
    action = action_;
  }
  if (!action) return HotKeyDisposition::passedOn;
  // Posted, never run here: the event thread must not touch the service.
  main_.post(std::move(action));
  return HotKeyDisposition::handled;
}

}  // namespace tavuno
