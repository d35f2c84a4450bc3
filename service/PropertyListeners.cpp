#include "service/PropertyListeners.h"

namespace tavuno {

void PropertyListeners::add(AudioObjectID object, const PropertyAddress& address,
                            std::function<void()> changed) {
  ListenerToken token = 0;
  OSStatus result = hal_.addPropertyListener(
      object, address,
      [changed = std::move(changed)](std::uint32_t, const PropertyAddress*) { changed(); }, token);
  if (result == status::noError) listeners_.push_back(Listener{object, address, token});
}

void PropertyListeners::clear() {
  for (const auto& listener : listeners_)
    hal_.removePropertyListener(listener.object, listener.address, listener.token);
  listeners_.clear();
}

}  // namespace tavuno
