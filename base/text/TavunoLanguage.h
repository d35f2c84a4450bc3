#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text/MessageFormat.h"

namespace tavuno {

class DefaultsStore;

// Where the language comes from: the stored preference, the system's
// preferred languages, and the per-language string tables.
struct LanguageEnvironment {
  // The "languagePreference" setting; nothing when absent or not a string.
  std::function<std::optional<std::string>()> storedPreference;
  // The user's preferred languages in order ("pt-BR", "en_US", ...).
  std::function<std::vector<std::string>()> preferredLanguages;
  // The translation of `key` in the table of language `code`; nothing when
  // the table or the key is missing.
  std::function<std::optional<std::string>(const std::string& code, std::string_view key)> lookup;
};

// Turns the language choice into "pt" or "en" and looks up translations.
// Nothing is cached: each call reads the preference again, so a change takes
// effect at the next lookup. Safe to call from any thread.
class TavunoLanguage {
 public:
  static constexpr const char* preferenceKey = "languagePreference";  // key::languagePreference

  static std::string resolve(std::string_view preference,
                             const std::vector<std::string>& preferred);
  static std::string current();
  static std::string text(std::string_view key);

  // Installs the process-wide environment; without one, the language follows
  // an empty system list (English) and every text is its key.
  static void install(std::shared_ptr<const LanguageEnvironment> environment);
  static std::shared_ptr<const LanguageEnvironment> installed();
};

// Reads the preference from a settings store.
std::function<std::optional<std::string>()> preferenceFrom(const DefaultsStore& defaults);
// The preferred languages of a POSIX environment: LANGUAGE (colon list), then
// LC_ALL, LC_MESSAGES, LANG; "C" and "POSIX" count as none.
std::vector<std::string> posixPreferredLanguages();
// Looks tables up as `<directory>/<code>.po`, each read once and kept.
std::function<std::optional<std::string>(const std::string&, std::string_view)> catalogDirectory(
    std::string directory);

// A message looked up in the current language.
inline std::string tr(std::string_view key) {
  return TavunoLanguage::text(key);
}

// A message looked up, then filled in the locale of the current language.
template <class... Args>
std::string trf(std::string_view key, Args&&... args) {
  return formatMessage(TavunoLanguage::text(key), {FormatArg(std::forward<Args>(args))...},
                       TavunoLanguage::current());
}

// Marks a text that is stored untranslated and looked up only when shown.
constexpr const char* textKey(const char* key) {
  return key;
}

}  // namespace tavuno
