#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "automations/AutomationStores.h"
#include "base/SettingsKeys.h"

namespace tavuno {
namespace {

using namespace std::chrono_literals;

const char* const idText = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
const char* const profileText = "11111111-2222-4333-8444-555555555555";

Bytes bytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

nlohmann::json stored(const DefaultsStore& defaults, const char* key) {
  auto data = *defaults.data(key);
  return nlohmann::json::parse(data.begin(), data.end());
}

std::string record(const std::string& date, const std::string& extra = "") {
  return std::string(R"({"id":")") + idText + R"(","date":)" + date +
         R"(,"profileName":"Casa","trigger":"Dispositivo","succeeded":true)" + extra + "}";
}

struct HistoryRow {
  const char* proves;
  std::string json;
  std::size_t count;
};

TEST(AutomationHistoryStore, ReadsEveryReadableRecord) {
  const HistoryRow rows[] = {
      {"integer and fractional dates", "[" + record("0") + "," + record("7.25e8") + "]", 2},
      {"null details read as absent",
       "[" + record("1", R"(,"detail":null,"detailKey":null,"detailCode":null)") + "]", 1},
      {"a failure with every detail",
       "[" + record("1", R"(,"detail":"x","detailKey":"k","detailCode":-50)") + "]", 1},
      {"one record lacking its trigger spoils only itself",
       "[" + record("1") + R"(,{"id":")" + idText +
           R"(","date":2,"profileName":"p","succeeded":false}])",
       1},
      {"a code beyond 32 bits", "[" + record("1", R"(,"detailCode":2147483648)") + "]", 0},
      {"a date no clock can hold", "[" + record("1e300") + "]", 0},
      {"a date just past what the clock holds", "[" + record("8.5e9") + "]", 0},
      {"not an array", record("1"), 0},
  };
  for (const auto& row : rows) {
    InMemoryDefaultsStore defaults;
    defaults.set(key::automationHistory, bytes(row.json));
    EXPECT_EQ(AutomationHistoryStore(defaults).load().size(), row.count) << row.proves;
  }
}

TEST(AutomationHistoryStore, WritesDatesSinceTheReferenceDateAndLeavesAbsentDetailsOut) {
  InMemoryDefaultsStore defaults;
  AutomationHistoryStore store(defaults);
  // 2001-01-02 00:00:00.25 UTC.
  const WallTime date = WallTime(std::chrono::sys_seconds(978307200s + 86400s)) + 250ms;
  const AutomationRecord ok{Uuid::random(), date, "Casa", AutomationTrigger::schedule, true};
  AutomationRecord failed = ok;
  failed.id = Uuid::random();
  failed.succeeded = false;
  failed.detail = "Could not change the device (error -50).";
  failed.detailKey = "Não foi possível alterar o dispositivo (erro %d).";
  failed.detailCode = -50;
  store.save({ok, failed});

  auto json = stored(defaults, key::automationHistory);
  EXPECT_EQ(json[0]["date"].get<double>(), 86400.25);
  EXPECT_EQ(json[0]["id"], ok.id.text());
  EXPECT_FALSE(json[0].contains("detail") || json[0].contains("detailKey") ||
               json[0].contains("detailCode"));
  EXPECT_EQ(store.load(), (std::vector<AutomationRecord>{ok, failed}));
}

TEST(AutomationHistory, KeepsTheNewestInAStableOrder) {
  std::vector<AutomationRecord> records;
  for (int i = 0; i < 70; ++i)
    records.push_back({Uuid::random(), WallTime(std::chrono::seconds(i)), std::to_string(i)});
  InMemoryDefaultsStore defaults;
  AutomationHistoryStore store(defaults);
  // Stored unlimited, as an older or edited file could hold it.
  nlohmann::json array = nlohmann::json::array();
  for (const auto& r : records)
    array.push_back(r.toJson());
  defaults.set(key::automationHistory, bytes(array.dump()));
  auto loaded = store.load();
  ASSERT_EQ(loaded.size(), 50u);
  EXPECT_EQ(loaded.front().profileName, "69");
  EXPECT_EQ(loaded.back().profileName, "20");

  AutomationRecord same = loaded.front();
  same.id = Uuid::random();
  same.profileName = "new";
  loaded.insert(loaded.begin(), same);
  store.save(loaded);
  auto saved = store.load();
  ASSERT_EQ(saved.size(), 50u);
  EXPECT_EQ(saved[0].profileName, "new") << "a new record with an equal date stays in front";
  EXPECT_EQ(saved[1].profileName, "69");
  EXPECT_EQ(saved.back().profileName, "21");
}

TEST(RuleStores, RoundTripAndRejectWhatCannotBeRead) {
  InMemoryDefaultsStore defaults;
  const Uuid profile = *Uuid::parse(profileText);
  const std::vector<ConnectionRule> connections{{Uuid::random(), "usb", profile, true},
                                                {Uuid::random(), "usb", profile, false, "USB DAC"}};
  const std::vector<AppLaunchRule> launches{{Uuid::random(), "org.app", profile, true}};
  const std::vector<ScheduledRule> schedules{{Uuid::random(), 8, 30, profile, true}};
  AutomationStore(defaults).save(connections);
  AppLaunchRuleStore(defaults).save(launches);
  ScheduledRuleStore(defaults).save(schedules);
  EXPECT_EQ(AutomationStore(defaults).load(), connections);
  EXPECT_EQ(AppLaunchRuleStore(defaults).load(), launches);
  EXPECT_EQ(ScheduledRuleStore(defaults).load(), schedules);
  EXPECT_FALSE(stored(defaults, key::connectionRules)[0].contains("deviceName"))
      << "unnamed, as before";
  auto json = stored(defaults, key::scheduledRules);
  EXPECT_TRUE(json[0]["hour"].is_number_integer());
  EXPECT_EQ(json[0]["profileID"], profileText) << "UUIDs are written upper-case";

  const std::string ids =
      std::string(R"({"id":")") + idText + R"(","profileID":")" + profileText + R"(",)";
  const std::string rule = ids + R"("enabled":true,)";
  struct Row {
    const char* proves;
    std::string json;
    std::size_t count;
  } rows[] = {
      {"an integral number is an hour", "[" + rule + R"("hour":8.0,"minute":0}])", 1},
      {"an hour of 24 is kept as stored", "[" + rule + R"("hour":24,"minute":60}])", 1},
      {"a fractional hour", "[" + rule + R"("hour":8.5,"minute":0}])", 0},
      {"a minute beyond 64 bits", "[" + rule + R"("hour":8,"minute":9223372036854775808}])", 0},
      {"a missing minute", "[" + rule + R"("hour":8}])", 0},
      {"enabled as a string", "[" + ids + R"("enabled":"yes","hour":1,"minute":1}])", 0},
  };
  for (const auto& row : rows) {
    defaults.set(key::scheduledRules, bytes(row.json));
    EXPECT_EQ(ScheduledRuleStore(defaults).load().size(), row.count) << row.proves;
  }
}

// One rule that cannot be read used to empty the whole list, and the next save wrote the empty
// list over the good rules. Now each list loads what it can read, keeps the stored value under
// its backup key, and a later save keeps that backup.
TEST(RuleStores, OneUnreadableRuleKeepsTheOthersAndTheStoredListIsBackedUp) {
  const std::string ids = std::string(R"("profileID":")") + profileText + R"(","enabled":true)";
  auto rule = [&](const std::string& id, const std::string& fields) {
    return R"({"id":")" + id + R"(",)" + fields + "," + ids + "}";
  };
  const std::string a = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
  const std::string b = "1a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
  struct Row {
    const char* key;
    const char* backup;
    std::string stored;
    std::function<StoredList<Uuid>(DefaultsStore&)> load;
    std::function<void(DefaultsStore&)> saveWhatLoaded;
  };
  auto idsOf = [](const auto& loaded) {
    StoredList<Uuid> result{{}, loaded.unreadable};
    for (const auto& element : loaded.elements)
      result.elements.push_back(element.id);
    return result;
  };
  const Row rows[] = {
      {key::connectionRules, key::connectionRulesBackup,
       "[" + rule(a, R"("deviceUID":"usb")") + "," + rule(a, R"("deviceUID":7)") + "," +
           rule(b, R"("deviceUID":"hdmi")") + "]",
       [&](DefaultsStore& d) { return idsOf(AutomationStore(d).loadState()); },
       [](DefaultsStore& d) { AutomationStore(d).save(AutomationStore(d).load()); }},
      {key::appLaunchRules, key::appLaunchRulesBackup,
       "[" + rule(a, R"("bundleID":"org.a")") + ",{\"future\":true}," +
           rule(b, R"("bundleID":"org.b")") + "]",
       [&](DefaultsStore& d) { return idsOf(AppLaunchRuleStore(d).loadState()); },
       [](DefaultsStore& d) { AppLaunchRuleStore(d).save(AppLaunchRuleStore(d).load()); }},
      {key::scheduledRules, key::scheduledRulesBackup,
       "[" + rule(a, R"("hour":8,"minute":0)") + "," + rule(b, R"("hour":8.5,"minute":0)") + "," +
           rule(b, R"("hour":9,"minute":30)") + "]",
       [&](DefaultsStore& d) { return idsOf(ScheduledRuleStore(d).loadState()); },
       [](DefaultsStore& d) { ScheduledRuleStore(d).save(ScheduledRuleStore(d).load()); }},
  };
  for (const auto& row : rows) {
    InMemoryDefaultsStore defaults;
    defaults.set(row.key, bytes(row.stored));
    auto loaded = row.load(defaults);
    EXPECT_EQ(loaded.elements, (std::vector<Uuid>{*Uuid::parse(a), *Uuid::parse(b)})) << row.key;
    EXPECT_EQ(loaded.unreadable, 1u) << row.key;
    EXPECT_EQ(defaults.data(row.backup), bytes(row.stored)) << row.key;
    EXPECT_EQ(defaults.data(row.key), bytes(row.stored)) << "nothing is written until a save";

    row.saveWhatLoaded(defaults);
    EXPECT_EQ(stored(defaults, row.key).size(), 2u) << row.key;
    EXPECT_EQ(defaults.data(row.backup), bytes(row.stored)) << "a save keeps the backup";
    EXPECT_EQ(row.load(defaults).unreadable, 0u) << row.key;
    EXPECT_EQ(defaults.data(row.backup), bytes(row.stored)) << "a clean load keeps it too";
    EXPECT_EQ(defaults.all().size(), 2u) << "no second copy";
  }
}

TEST(RuleStores, AnUnreadableListIsBackedUpWholeAndEarlierBackupsAreNeverLost) {
  InMemoryDefaultsStore defaults;
  const std::string backup = key::connectionRulesBackup;
  defaults.set(key::connectionRules, bytes("not json"));
  EXPECT_EQ(AutomationStore(defaults).loadState().unreadable, 1u);
  EXPECT_TRUE(AutomationStore(defaults).load().empty());
  EXPECT_FALSE(defaults.contains(backup + ".1")) << "the same value again needs no second copy";
  defaults.set(key::connectionRules, std::string("a string, not data"));
  EXPECT_TRUE(AutomationStore(defaults).load().empty());
  EXPECT_EQ(defaults.data(backup + ".1"), bytes("not json"));
  EXPECT_EQ(defaults.string(backup), "a string, not data");
  defaults.set(key::connectionRules, bytes(R"({"not":"an array"})"));
  EXPECT_TRUE(AutomationStore(defaults).load().empty());
  EXPECT_EQ(defaults.string(backup + ".2"), "a string, not data");
  EXPECT_EQ(defaults.data(backup), bytes(R"({"not":"an array"})"));

  InMemoryDefaultsStore clean;
  clean.set(key::connectionRules, bytes("[]"));
  EXPECT_EQ(AutomationStore(clean).loadState().unreadable, 0u);
  EXPECT_EQ(clean.all().size(), 1u) << "an empty list is not unreadable";
}

}  // namespace
}  // namespace tavuno
