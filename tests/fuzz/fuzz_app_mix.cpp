// The stored per-app mix: any bytes load as the valid entries among them, the stored value kept
// aside when any is left out.
#include "base/SettingsKeys.h"
#include "engine/AppMixStore.h"
#include "tests/fuzz/FuzzDocuments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavuno;
  fuzz::eachDocument(
      data, size, {R"({"org.a":{"volume":0.5,"muted":true,"outputUID":"usb"},"pid:7":{}})"},
      [](const Bytes& document) {
        fuzz::checkKeptAside(key::appMix, key::appMixBackup, document,
                             [](DefaultsStore& d) { return AppMixStore::loadState(d); });
        fuzz::checkRoundTrip(
            key::appMix, document, [](DefaultsStore& d) { return AppMixStore::load(d); },
            [](const AppMixMap& mixes, DefaultsStore& d) { AppMixStore::save(mixes, d); });
      });
  return 0;
}
