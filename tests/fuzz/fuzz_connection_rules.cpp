// The stored connection rules: any bytes load as the valid rules among them, the stored value kept
// aside when any is left out.
#include "automations/AutomationStores.h"
#include "base/SettingsKeys.h"
#include "tests/fuzz/FuzzDocuments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavuno;
  fuzz::eachDocument(data, size,
                     {R"([{"id":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d","deviceUID":"usb",)"
                      R"("profileID":"11111111-2222-4333-8444-555555555555","enabled":true}])"},
                     [](const Bytes& document) {
                       fuzz::checkKeptAside(
                           key::connectionRules, key::connectionRulesBackup, document,
                           [](DefaultsStore& d) { return AutomationStore(d).loadState(); });
                       fuzz::checkRoundTrip(
                           key::connectionRules, document,
                           [](DefaultsStore& d) { return AutomationStore(d).load(); },
                           [](const std::vector<ConnectionRule>& r, DefaultsStore& d) {
                             AutomationStore(d).save(r);
                           });
                     });
  return 0;
}
