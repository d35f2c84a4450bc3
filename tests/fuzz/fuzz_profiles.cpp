// The stored profiles: any bytes load as valid profiles or none, and making
// the default profile keeps unreadable bytes.
#include "base/SettingsKeys.h"
#include "profiles/ProfileStore.h"
#include "tests/fuzz/FuzzDocuments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavuno;
  fuzz::eachDocument(
      data, size,
      {R"([{"id":"6f1c2a9e-0b4d-4c3e-9a8f-1d2e3f4a5b6c","name":"Casa","inputUID":"mic",)"
       R"("outputUID":"spk","volume":0.5,"appMix":{"org.a":{"volume":1}},"outputMuted":true}])"},
      [](const Bytes& document) {
        fuzz::checkRoundTrip(
            key::profiles, document, [](DefaultsStore& d) { return ProfileStore::load(d); },
            [](const std::vector<AudioProfile>& p, DefaultsStore& d) { ProfileStore::save(p, d); });

        InMemoryDefaultsStore defaults;
        defaults.set(key::profiles, document);
        const bool readable = ProfileStore::decode(document).has_value();
        auto made = ProfileStore::createDefaultIfNeeded(
            {.name = "p", .volume = 1.0f, .appMix = AppMixMap{}, .outputMuted = false}, defaults);
        if (!readable && defaults.data(key::profilesBackup) != document) __builtin_trap();
        if (made && ProfileStore::load(defaults) != std::vector<AudioProfile>{*made})
          __builtin_trap();
      });
  return 0;
}
