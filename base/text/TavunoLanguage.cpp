#include "base/text/TavunoLanguage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>

#include "base/ports/DefaultsStore.h"
#include "base/text/PoCatalog.h"

namespace tavuno {

namespace {

std::mutex environmentMutex;
std::shared_ptr<const LanguageEnvironment> environment;

}  // namespace

std::string TavunoLanguage::resolve(std::string_view preference,
                                    const std::vector<std::string>& preferred) {
  if (preference == "pt" || preference == "en") return std::string(preference);
  if (preference != "system") return "en";
  if (preferred.empty()) return "en";
  std::string first = preferred.front();
  std::transform(first.begin(), first.end(), first.begin(),
                 [](unsigned char c) { return c == '_' ? '-' : std::tolower(c); });
  if (first == "pt" || first.starts_with("pt-")) return "pt";
  return "en";
}

std::string TavunoLanguage::current() {
  auto env = installed();
  std::optional<std::string> preference;
  std::vector<std::string> preferred;
  if (env) {
    if (env->storedPreference) preference = env->storedPreference();
    if (env->preferredLanguages) preferred = env->preferredLanguages();
  }
  return resolve(preference.value_or("system"), preferred);
}

std::string TavunoLanguage::text(std::string_view key) {
  auto env = installed();
  if (!env || !env->lookup) return std::string(key);
  return env->lookup(current(), key).value_or(std::string(key));
}

void TavunoLanguage::install(std::shared_ptr<const LanguageEnvironment> newEnvironment) {
  std::lock_guard lock(environmentMutex);
  environment = std::move(newEnvironment);
}

std::shared_ptr<const LanguageEnvironment> TavunoLanguage::installed() {
  std::lock_guard lock(environmentMutex);
  return environment;
}

std::function<std::optional<std::string>()> preferenceFrom(const DefaultsStore& defaults) {
  return [&defaults] { return defaults.string(TavunoLanguage::preferenceKey); };
}

std::vector<std::string> posixPreferredLanguages() {
  std::vector<std::string> result;
  auto usable = [](std::string_view value) {
    return !value.empty() && value != "C" && value != "POSIX" && !value.starts_with("C.");
  };
  if (const char* list = std::getenv("LANGUAGE")) {
    std::string_view rest(list);
    while (!rest.empty()) {
      auto colon = rest.find(':');
      auto item = rest.substr(0, colon);
      if (usable(item)) result.emplace_back(item);
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !usable(value)) continue;
    std::string locale(value);
    // "pt_BR.UTF-8@euro" names the language pt_BR.
    locale = locale.substr(0, locale.find_first_of(".@"));
    result.push_back(locale);
    break;
  }
  return result;
}

std::function<std::optional<std::string>(const std::string&, std::string_view)> catalogDirectory(
    std::string directory) {
  struct Cache {
    std::mutex mutex;
    std::map<std::string, std::optional<PoCatalog>> tables;
  };
  auto cache = std::make_shared<Cache>();
  return [cache, directory = std::move(directory)](
             const std::string& code, std::string_view key) -> std::optional<std::string> {
    std::lock_guard lock(cache->mutex);
    auto it = cache->tables.find(code);
    if (it == cache->tables.end())
      it = cache->tables.emplace(code, PoCatalog::load(directory + "/" + code + ".po")).first;
    if (!it->second) return std::nullopt;
    return it->second->lookup(key);
  };
}

}  // namespace tavuno
