#include "support/SimPlatform.h"

#include "base/text/TavunoLanguage.h"

namespace tavuno::test {

ScopedLanguage::ScopedLanguage(std::shared_ptr<const LanguageEnvironment> environment)
    : previous_(TavunoLanguage::installed()) {
  TavunoLanguage::install(std::move(environment));
}

ScopedLanguage::~ScopedLanguage() {
  TavunoLanguage::install(previous_);
}

std::shared_ptr<const LanguageEnvironment> englishCatalog() {
  auto environment = std::make_shared<LanguageEnvironment>();
  environment->storedPreference = [] { return std::optional<std::string>("en"); };
  environment->preferredLanguages = [] { return std::vector<std::string>{}; };
  environment->lookup = catalogDirectory(std::string(TAVUNO_SOURCE_DIR) + "/resources/lang");
  return environment;
}

std::shared_ptr<const LanguageEnvironment> portugueseCatalog() {
  auto environment = std::make_shared<LanguageEnvironment>(*englishCatalog());
  environment->storedPreference = [] { return std::optional<std::string>("pt"); };
  return environment;
}

}  // namespace tavuno::test
