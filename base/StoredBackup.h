#pragma once

#include <string>

#include "base/ports/DefaultsStore.h"

namespace tavuno {

// Keeps a stored value that could not be read, unchanged, under `backupKey`
// (by convention "<key>.corruptBackup"), so that no later save of the key
// loses it. A different value already there first moves to the first free
// "<backupKey>.N" (N = 1, 2, ...); the same value again needs no second copy.
// The key itself is left as it is: its next save replaces it, the backup
// stays.
void keepUnreadable(DefaultsValue unreadable, const std::string& backupKey,
                    DefaultsStore& defaults);

}  // namespace tavuno
