// The stored automation history: any bytes load as at most 50 valid records,
// newest first, or none.
#include "automations/AutomationStores.h"
#include "base/SettingsKeys.h"
#include "tests/fuzz/FuzzDocuments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavuno;
  fuzz::eachDocument(data, size,
                     {R"([{"id":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d","date":733000000.125,)"
                      R"("profileName":"Casa","trigger":"Horário","succeeded":false,"detail":"x",)"
                      R"("detailKey":"k","detailCode":-50}])"},
                     [](const Bytes& document) {
                       fuzz::checkKeptAside(
                           key::automationHistory, key::automationHistoryBackup, document,
                           [](DefaultsStore& d) { return AutomationHistoryStore(d).loadState(); });
                       fuzz::checkRoundTrip(
                           key::automationHistory, document,
                           [](DefaultsStore& d) { return AutomationHistoryStore(d).load(); },
                           [](const std::vector<AutomationRecord>& r, DefaultsStore& d) {
                             AutomationHistoryStore(d).save(r);
                           });
                       InMemoryDefaultsStore defaults;
                       defaults.set(key::automationHistory, document);
                       auto records = AutomationHistoryStore(defaults).load();
                       if (records.size() > AutomationHistory::limit) __builtin_trap();
                       for (std::size_t i = 1; i < records.size(); ++i)
                         if (records[i - 1].date < records[i].date) __builtin_trap();
                     });
  return 0;
}
