#pragma once

#include "base/ports/DefaultsStore.h"
#include "engine/AppMix.h"

namespace tavuno {

// The whole per-app mix, stored as one JSON object under "appMix".
struct AppMixStore {
  // Empty when nothing is stored or the stored value is not a readable map;
  // nothing is reported and nothing is written.
  static AppMixMap load(const DefaultsStore& defaults);
  // Replaces the stored map, leaving out any entry JSON cannot hold (an id
  // or UID that is not UTF-8); when it cannot be encoded nothing is written.
  static void save(const AppMixMap& mixes, DefaultsStore& defaults);

  static std::optional<AppMixMap> decode(const Bytes& bytes);
  static std::optional<Bytes> encode(const AppMixMap& mixes);
};

}  // namespace tavuno
