#include "profiles/ProfileStore.h"

#include <nlohmann/json.hpp>

#include "base/JsonFields.h"
#include "base/SettingsKeys.h"

namespace tavuno {

using nlohmann::json;

namespace {

// Puts `unreadable` under the backup key, first moving a different value
// already there to the first free numbered key.
void keepBackup(DefaultsValue unreadable, DefaultsStore& defaults) {
  const std::string backupKey = key::profilesBackup;
  if (auto earlier = defaults.value(backupKey); earlier && *earlier != unreadable) {
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

}  // namespace

std::vector<AudioProfile> ProfileStore::load(const DefaultsStore& defaults) {
  auto bytes = defaults.data(key::profiles);
  if (!bytes) return {};
  return decode(*bytes).value_or(std::vector<AudioProfile>{});
}

void ProfileStore::save(const std::vector<AudioProfile>& profiles, DefaultsStore& defaults) {
  if (auto bytes = encode(profiles)) defaults.set(key::profiles, std::move(*bytes));
}

std::optional<AudioProfile> ProfileStore::createDefaultIfNeeded(
    std::string name, std::string inputUID, std::string outputUID, std::optional<float> volume,
    std::optional<AppMixMap> appMix, std::optional<bool> outputMuted, DefaultsStore& defaults) {
  if (auto stored = defaults.value(key::profiles)) {
    // A value of another kind than data is as unreadable as bad bytes and
    // is kept the same way rather than overwritten.
    const auto* bytes = std::get_if<Bytes>(&*stored);
    auto profiles = bytes ? decode(*bytes) : std::nullopt;
    if (profiles && !profiles->empty()) return std::nullopt;
    if (!profiles) keepBackup(std::move(*stored), defaults);
  }
  AudioProfile profile{Uuid::random(), std::move(name),   std::move(inputUID), std::move(outputUID),
                       volume,         std::move(appMix), outputMuted};
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
  return profiles;
}

std::optional<Bytes> ProfileStore::encode(const std::vector<AudioProfile>& profiles) {
  json array = json::array();
  for (const auto& profile : profiles)
    array.push_back(profile.toJson());
  return dumpJson(array);
}

}  // namespace tavuno
