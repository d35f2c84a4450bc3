#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "hal/Hal.h"

namespace tavuno {

// A set of property listeners registered together and removed together;
// removed at the latest when the set goes. Main thread only.
class PropertyListeners {
 public:
  explicit PropertyListeners(Hal& hal) : hal_(hal) {}
  ~PropertyListeners() { clear(); }
  PropertyListeners(const PropertyListeners&) = delete;
  PropertyListeners& operator=(const PropertyListeners&) = delete;

  // Calls `changed` at each change of the property. A registration that
  // fails is dropped: the periodic refresh still catches up.
  void add(AudioObjectID object, const PropertyAddress& address, std::function<void()> changed);
  void clear();
  std::size_t size() const { return listeners_.size(); }

 private:
  struct Listener {
    AudioObjectID object;
    PropertyAddress address;
    ListenerToken token;
  };
  Hal& hal_;
  std::vector<Listener> listeners_;
};

}  // namespace tavuno
