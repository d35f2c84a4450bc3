#include "profiles/ProfileStore.h"

#include <nlohmann/json.hpp>
#include <set>

#include "base/JsonFields.h"
#include "base/SettingsKeys.h"
#include "base/StoredBackup.h"

namespace tavuno {

using nlohmann::json;

namespace {

// Gives every profile after the first with an id already used a fresh one,
// derived from that id and its place among the copies, so the same stored
// list gets the same ids at every load (an active profile or a rule chosen
// for a copy finds it again) and a delete removes only the one chosen. An id
// that another stored profile has is never given.
void giveDuplicatesFreshIDs(std::vector<AudioProfile>& profiles) {
  std::set<Uuid> taken = profileIDs(profiles);
  if (taken.size() == profiles.size()) return;
  std::set<Uuid> seen;
  for (auto& profile : profiles) {
    if (seen.insert(profile.id).second) continue;
    const Uuid copied = profile.id;
    for (unsigned n = 1;; ++n) {
      Uuid fresh = Uuid::named(copied, "duplicate profile " + std::to_string(n));
      if (taken.insert(fresh).second) {
        profile.id = fresh;
        break;
      }
    }
    seen.insert(profile.id);
  }
}

}  // namespace

std::vector<AudioProfile> ProfileStore::load(const DefaultsStore& defaults) {
  auto bytes = defaults.data(key::profiles);
  if (!bytes) return {};
  return decode(*bytes).value_or(std::vector<AudioProfile>{});
}

void ProfileStore::save(const std::vector<AudioProfile>& profiles, DefaultsStore& defaults) {
  if (auto bytes = encode(profiles)) defaults.set(key::profiles, std::move(*bytes));
}

std::optional<AudioProfile> ProfileStore::createDefaultIfNeeded(AudioProfile profile,
                                                                DefaultsStore& defaults) {
  if (auto stored = defaults.value(key::profiles)) {
    // A value of another kind than data is as unreadable as bad bytes and
    // is kept the same way rather than overwritten.
    const auto* bytes = std::get_if<Bytes>(&*stored);
    auto profiles = bytes ? decode(*bytes) : std::nullopt;
    if (profiles && !profiles->empty()) return std::nullopt;
    if (!profiles) keepUnreadable(std::move(*stored), key::profilesBackup, defaults);
  }
  profile.id = Uuid::random();
  save({profile}, defaults);
  return profile;
}

std::optional<Uuid> ProfileStore::resolveActiveID(const std::vector<AudioProfile>& profiles,
                                                  const std::optional<Uuid>& storedID) {
  if (profiles.empty()) return std::nullopt;
  for (const auto& profile : profiles)
    if (storedID && profile.id == *storedID) return profile.id;
  return profiles.front().id;
}

std::optional<Uuid> ProfileStore::loadActiveID(const DefaultsStore& defaults) {
  auto text = defaults.string(key::activeProfileID);
  if (!text) return std::nullopt;
  return Uuid::parse(*text);
}

void ProfileStore::saveActiveID(const Uuid& id, DefaultsStore& defaults) {
  defaults.set(key::activeProfileID, id.text());
}

std::optional<std::vector<AudioProfile>> ProfileStore::decode(const Bytes& bytes) {
  auto value = parseJson(bytes);
  if (!value || !value->is_array()) return std::nullopt;
  std::vector<AudioProfile> profiles;
  profiles.reserve(value->size());
  for (const auto& element : *value) {
    auto profile = AudioProfile::fromJson(element);
    if (!profile) return std::nullopt;
    profiles.push_back(std::move(*profile));
  }
  giveDuplicatesFreshIDs(profiles);
  return profiles;
}

std::optional<Bytes> ProfileStore::encode(const std::vector<AudioProfile>& profiles) {
  json array = json::array();
  for (const auto& profile : profiles)
    array.push_back(profile.toJson());
  return dumpJson(array);
}

}  // namespace tavuno
