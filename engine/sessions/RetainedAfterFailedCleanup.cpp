#include "engine/sessions/RetainedAfterFailedCleanup.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace tavuno {

namespace {

struct Entry {
  const void* object;
  const char* what;
};

struct Registry {
  std::mutex mutex;
  std::vector<Entry> entries;
};

// Never destroyed: the entries must stay reachable until the process ends, after every static
// destructor (the leak checker runs last).
Registry& registry() {
  static Registry* instance = new Registry;
  return *instance;
}

}  // namespace

void RetainedAfterFailedCleanup::keep(const void* object, const char* what) {
  if (object == nullptr) return;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.entries.push_back({object, what});
}

bool RetainedAfterFailedCleanup::contains(const void* object) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return std::any_of(r.entries.begin(), r.entries.end(),
                     [object](const Entry& e) { return e.object == object; });
}

std::size_t RetainedAfterFailedCleanup::count() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.entries.size();
}

}  // namespace tavuno
