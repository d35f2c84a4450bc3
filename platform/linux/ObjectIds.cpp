#include "platform/linux/ObjectIds.h"

namespace tavuno {

AudioObjectID ObjectIds::idFor(const std::string& key) {
  auto [it, inserted] = ids_.try_emplace(key, next_);
  if (inserted) ++next_;
  return it->second;
}

}  // namespace tavuno
