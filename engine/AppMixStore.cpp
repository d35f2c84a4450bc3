#include "engine/AppMixStore.h"

#include <nlohmann/json.hpp>

#include "base/JsonFields.h"
#include "base/SettingsKeys.h"
#include "base/StoredBackup.h"

namespace tavuno {

AppMixStore::Loaded AppMixStore::loadState(DefaultsStore& defaults) {
  auto stored = defaults.value(key::appMix);
  if (!stored) return {};
  Loaded loaded;
  const auto* bytes = std::get_if<Bytes>(&*stored);
  if (auto value = bytes ? parseJson(*bytes) : std::nullopt)
    loaded.mixes = readableAppMixes(*value, loaded.unreadable);
  else
    loaded.unreadable = 1;
  if (loaded.unreadable > 0) keepUnreadable(std::move(*stored), key::appMixBackup, defaults);
  return loaded;
}

void AppMixStore::save(const AppMixMap& mixes, DefaultsStore& defaults) {
  if (auto bytes = encode(mixes)) defaults.set(key::appMix, std::move(*bytes));
}

std::optional<AppMixMap> AppMixStore::decode(const Bytes& bytes) {
  auto value = parseJson(bytes);
  if (!value) return std::nullopt;
  return appMixMapFromJson(*value);
}

std::optional<Bytes> AppMixStore::encode(const AppMixMap& mixes) {
  return dumpJson(appMixMapToJson(mixes));
}

}  // namespace tavuno
