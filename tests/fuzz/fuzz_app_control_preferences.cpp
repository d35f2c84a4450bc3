// The stored control preferences: any bytes load as valid preferences or as
// the manual fallback with the bytes kept in the backup.
#include "base/SettingsKeys.h"
#include "engine/AppControlPreferences.h"
#include "tests/fuzz/FuzzDocuments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavuno;
  fuzz::eachDocument(data, size,
                     {R"({"automatic":false,"enabled":["org.a","pid:3"],"excluded":["org.b"]})"},
                     [](const Bytes& document) {
                       InMemoryDefaultsStore defaults;
                       defaults.set(key::appControlPreferences, document);
                       auto loaded = AppControlPreferences::loadState(defaults);
                       if (loaded.replaced != defaults.contains(key::appControlPreferencesBackup))
                         __builtin_trap();
                       loaded.preferences.save(defaults);
                       auto again = AppControlPreferences::loadState(defaults);
                       if (again.replaced || again.preferences != loaded.preferences)
                         __builtin_trap();
                     });
  return 0;
}
