#pragma once

#include <cstddef>

namespace tavuno {

// Memory an audio callback may still reach because the platform failed to remove the callback:
// a session whose cleanup failed hands its kernel state, ring and render context here instead
// of freeing them. They stay allocated for the life of the process, reachable from this
// registry, so the leak checker sees them as kept on purpose rather than lost, and tests can
// ask for them. Any thread except real-time ones (it locks and allocates).
class RetainedAfterFailedCleanup {
 public:
  // `what` is a static description ("tdsp_state", ...) for debugging.
  static void keep(const void* object, const char* what);
  static bool contains(const void* object);
  static std::size_t count();
};

}  // namespace tavuno
