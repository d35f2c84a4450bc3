#include "engine/AppMixStore.h"

#include <nlohmann/json.hpp>

#include "base/JsonFields.h"
#include "base/SettingsKeys.h"

namespace tavuno {

AppMixMap AppMixStore::load(const DefaultsStore& defaults) {
  auto bytes = defaults.data(key::appMix);
  if (!bytes) return {};
  return decode(*bytes).value_or(AppMixMap{});
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
