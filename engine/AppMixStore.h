#pragma once

#include <cstddef>

#include "base/ports/DefaultsStore.h"
#include "engine/AppMix.h"

namespace tavuno {

// The whole per-app mix, stored as one JSON object under "appMix".
struct AppMixStore {
  struct Loaded {
    AppMixMap mixes;
    // Stored entries left out because they could not be read (1 for a stored
    // value that is not a JSON object at all); kept under the backup key.
    std::size_t unreadable = 0;
  };

  // Every entry that can be read; empty when nothing is stored. When an
  // entry cannot be read (or the stored value is not a readable object, or
  // not data), the stored value is first kept, unchanged, under
  // "appMix.corruptBackup" (an earlier, different backup moving to the first
  // free "appMix.corruptBackup.N"); the stored value itself stays until the
  // next save, and no save removes the backup.
  static AppMixMap load(DefaultsStore& defaults) { return loadState(defaults).mixes; }
  static Loaded loadState(DefaultsStore& defaults);
  // Replaces the stored map, leaving out any entry JSON cannot hold (an id
  // or UID that is not UTF-8); when it cannot be encoded nothing is written.
  static void save(const AppMixMap& mixes, DefaultsStore& defaults);

  // The whole map, or nothing when any entry cannot be read.
  static std::optional<AppMixMap> decode(const Bytes& bytes);
  static std::optional<Bytes> encode(const AppMixMap& mixes);
};

}  // namespace tavuno
