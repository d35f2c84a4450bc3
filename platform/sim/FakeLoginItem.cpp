#include "platform/sim/FakeLoginItem.h"

namespace tavuno {

SystemResult FakeLoginItem::registerItem() {
  ++registerCalls;
  if (registerFailure) return *registerFailure;
  status_ = statusAfterRegister;
  return SystemResult::success();
}

SystemResult FakeLoginItem::unregister() {
  ++unregisterCalls;
  if (unregisterFailure) return *unregisterFailure;
  status_ = LoginItemStatus::notRegistered;
  return SystemResult::success();
}

}  // namespace tavuno
