// The stored scheduled rules: any bytes load as the valid rules among them, the stored value kept
// aside when any is left out, and no stored hour or minute can upset the schedule queue.
#include "automations/AutomationStores.h"
#include "automations/ScheduleQueue.h"
#include "base/SettingsKeys.h"
#include "tests/fuzz/FuzzDocuments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavuno;
  fuzz::eachDocument(
      data, size,
      {R"([{"id":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d","hour":8,"minute":30,)"
       R"("profileID":"11111111-2222-4333-8444-555555555555","enabled":true}])"},
      [](const Bytes& document) {
        fuzz::checkKeptAside(key::scheduledRules, key::scheduledRulesBackup, document,
                             [](DefaultsStore& d) { return ScheduledRuleStore(d).loadState(); });
        fuzz::checkRoundTrip(
            key::scheduledRules, document,
            [](DefaultsStore& d) { return ScheduledRuleStore(d).load(); },
            [](const std::vector<ScheduledRule>& r, DefaultsStore& d) {
              ScheduledRuleStore(d).save(r);
            });
        InMemoryDefaultsStore defaults;
        defaults.set(key::scheduledRules, document);
        auto rules = ScheduledRuleStore(defaults).load();
        std::set<Uuid> profiles;
        for (const auto& rule : rules)
          profiles.insert(rule.profileID);
        static const Calendar calendar = Calendar::named("Europe/Berlin").value_or(Calendar());
        ScheduleQueue queue;
        const WallTime start{std::chrono::seconds(1717389000)};
        (void)queue.capture(rules, start, calendar, {}, profiles);
        (void)queue.take();
        (void)queue.capture(rules, start + std::chrono::hours(30), calendar, {}, profiles);
      });
  return 0;
}
