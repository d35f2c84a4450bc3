#include "base/StoredBackup.h"

namespace tavuno {

void keepUnreadable(DefaultsValue unreadable, const std::string& backupKey,
                    DefaultsStore& defaults) {
  auto earlier = defaults.value(backupKey);
  if (earlier && *earlier == unreadable) return;
  if (earlier) {
    for (unsigned n = 1;; ++n) {
      std::string numbered = backupKey + "." + std::to_string(n);
      if (!defaults.contains(numbered)) {
        defaults.set(numbered, std::move(*earlier));
        break;
      }
    }
  }
  defaults.set(backupKey, std::move(unreadable));
}

}  // namespace tavuno
