#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/ports/DefaultsStore.h"
#include "profiles/AudioProfile.h"

namespace tavuno {

// The saved profiles: one JSON array under "profiles". Stateless; the
// settings store is passed in.
struct ProfileStore {
  // Empty when nothing is stored or the stored value is not a readable
  // array of profiles; nothing is reported and nothing is written. See
  // decode() for profiles that share an id.
  static std::vector<AudioProfile> load(const DefaultsStore& defaults);
  // Replaces the stored list; when it cannot be encoded the stored data
  // stays as it was.
  static void save(const std::vector<AudioProfile>& profiles, DefaultsStore& defaults);

  // Stores and returns a single new profile (`fields` under a fresh id)
  // unless a readable, non-empty list is already stored. An unreadable
  // stored value is first kept under "profiles.corruptBackup"; a different
  // earlier backup there moves to the first free "profiles.corruptBackup.N"
  // (N = 1, 2, ...) so that no unreadable data is ever lost.
  static std::optional<AudioProfile> createDefaultIfNeeded(AudioProfile fields,
                                                           DefaultsStore& defaults);

  // The active profile at start: the stored id when a profile has it, else
  // the first profile's id, else none.
  static std::optional<Uuid> resolveActiveID(const std::vector<AudioProfile>& profiles,
                                             const std::optional<Uuid>& storedID);
  // The UUID stored under "activeProfileID"; none when absent or not a UUID.
  static std::optional<Uuid> loadActiveID(const DefaultsStore& defaults);
  static void saveActiveID(const Uuid& id, DefaultsStore& defaults);

  // Every profile, or nothing when one cannot be read. Profiles share no id:
  // of those stored with the same id the first keeps it and each other gets
  // a fresh one, the same at every decode of the same bytes (a name-based
  // UUID of the shared id and the copy's number) and never one stored.
  static std::optional<std::vector<AudioProfile>> decode(const Bytes& bytes);
  static std::optional<Bytes> encode(const std::vector<AudioProfile>& profiles);
};

}  // namespace tavuno
