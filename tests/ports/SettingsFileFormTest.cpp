// The settings file as a person reads it: lists of records written in place,
// opaque data as base64, and the files earlier versions wrote (every list as
// base64) read whole and rewritten in today's form.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "automations/AutomationStores.h"
#include "base/SettingsKeys.h"
#include "engine/AppMixStore.h"
#include "platform/sim/SimMainQueue.h"
#include "platform/std/FileDefaultsStore.h"
#include "platform/std/SettingsCodec.h"
#include "support/TempDir.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::slurp;
using test::TempDir;

Bytes bytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

std::string base64(const std::string& text) {
  return encodeBase64(bytes(text));
}

void write(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

json onDisk(const fs::path& file) {
  return json::parse(slurp(file));
}

const std::string historyRecord =
    R"({"date":1,"id":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d","profileName":"Casa",)"
    R"("succeeded":true,"trigger":"Dispositivo"})";
// The window's geometry as Qt saves it: binary, never JSON.
const Bytes geometry{0x01, 0xd9, 0xd0, 0xcb, 0x00, 0x03, 0x00, 0x00, '[', '{', 0xff, 0x00};

struct FormRow {
  const char* proves;
  Bytes stored;
  bool inPlace;
};

TEST(SettingsCodec, ListsAreWrittenInPlaceAndEveryOtherDataAsBase64) {
  const FormRow rows[] = {
      {"an object of records", bytes(R"({"org.a":{"muted":true,"volume":0.5}})"), true},
      {"an array of records, UTF-8 and null inside",
       bytes(R"([{"id":"x","name":"Sala de estar ç"},1,null,1.0,-0.0])"), true},
      {"empty lists", bytes("[]"), true},
      {"an empty object", bytes("{}"), true},
      {"other spacing would not read back the same", bytes("[1, 2]"), false},
      {"nor would keys out of order", bytes(R"({"b":1,"a":2})"), false},
      {"nor a key given twice", bytes(R"({"a":1,"a":1})"), false},
      {"nor a number in another notation", bytes("[1e2]"), false},
      {"nor a trailing line break", bytes("[1]\n"), false},
      {"a JSON scalar is not a list", bytes("5"), false},
      {"a JSON string would read as base64", bytes(R"("YWJj")"), false},
      {"binary data", geometry, false},
      {"text that is not JSON", bytes("[damaged"), false},
      {"a NUL after the list", Bytes{'[', ']', 0}, false},
      {"a string that is not UTF-8", Bytes{'[', '"', 0xff, '"', ']'}, false},
      {"nested deeper than the file keeps", bytes(std::string(300, '[') + std::string(300, ']')),
       false},
      {"nothing at all", Bytes{}, false},
  };
  for (const auto& row : rows) {
    const std::string text = encodeSettings({{"v", DefaultsValue(row.stored)}});
    const json data = json::parse(text)["values"]["v"]["data"];
    EXPECT_EQ(data.is_structured(), row.inPlace) << row.proves;
    EXPECT_EQ(data.is_string(), !row.inPlace) << row.proves;
    auto document = decodeSettingsDocument(text);
    ASSERT_TRUE(document) << row.proves;
    EXPECT_EQ(document->values, (std::map<std::string, DefaultsValue>{{"v", row.stored}}))
        << row.proves << ": read back byte for byte";
    EXPECT_EQ(document->olderForm, 0u) << row.proves;
  }
}

// What a person types into the file: spacing, keys in any order, a key given twice.
TEST(FileDefaultsStore, AListEditedByHandIsReadAsItsRecordsAndNotRewritten) {
  TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  const std::string edited = R"({
  "version": 1,
  "values": {
    "appMix": {"data": {
      "org.b": {"volume": 0.25, "muted": true},
      "org.a": {"volume": 1, "volume": 0.75}
    }},
    "automationHistory": {"data": [ )" +
                             historyRecord + R"( ]}
  }
})";
  write(file, edited);
  SimMainQueue writer;
  {
    FileDefaultsStore store(file, writer);
    EXPECT_EQ(store.data(key::appMix),
              bytes(R"({"org.a":{"volume":0.75},"org.b":{"muted":true,"volume":0.25}})"))
        << "the compact text the stores write";
    EXPECT_EQ(AppMixStore::load(store),
              (AppMixMap{{"org.a", AppMix(0.75, false)}, {"org.b", AppMix(0.25, true)}}));
    EXPECT_EQ(AutomationHistoryStore(store).load().size(), 1u);
    EXPECT_EQ(store.message(), "");
    writer.advance(5);
    EXPECT_EQ(store.replacements(), 0u) << "a file in this form is left as the person wrote it";
  }
  EXPECT_EQ(slurp(file), edited);
}

// A settings file as the version before this one wrote it: every list as base64.
std::string earlierVersionsFile() {
  const std::string mix = R"({"org.a":{"muted":false,"volume":0.5}})";
  return R"({"version":1,"values":{)"
         R"("appMix":{"data":")" +
         base64(mix) + R"("},"appMix.corruptBackup":{"data":")" + base64("[1]") +
         R"("},"automationHistory":{"data":")" + base64("[" + historyRecord + "]") +
         R"("},"connectionRules":{"data":")" + base64("[]") + R"("},"windowGeometry":{"data":")" +
         encodeBase64(geometry) +
         R"("},"automatic":{"bool":true},"preferredOutputUID":{"string":"usb"},)"
         R"("n":{"integer":3},"x":{"double":"inf"},)"
         R"("scheduleLastFired":{"dictionary":{"A":"1-2026-12-8"}}}})";
}

TEST(FileDefaultsStore, AnEarlierVersionsFileLoadsWholeAndIsRewrittenWithItsListsInPlace) {
  TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  const std::string earlier = earlierVersionsFile();
  write(file, earlier);
  const auto expected = decodeSettings(earlier);
  ASSERT_TRUE(expected);
  EXPECT_EQ(expected->size(), 10u);
  EXPECT_EQ(decodeSettingsDocument(earlier)->olderForm, 4u) << "the geometry is not a list";

  SimMainQueue writer;
  {
    FileDefaultsStore store(file, writer);
    for (const auto& [key, value] : *expected)
      EXPECT_EQ(store.value(key), value) << key;
    EXPECT_EQ(store.message(), "");
    EXPECT_EQ(slurp(file), earlier) << "rewritten on the writer, never on the loading thread";
    writer.advance(FileDefaultsStore::quietSeconds);
    EXPECT_EQ(store.replacements(), 1u) << "rewritten once without any change";
  }
  const json rewritten = onDisk(file);
  const json& values = rewritten["values"];
  EXPECT_EQ(values["appMix"]["data"], json::parse(R"({"org.a":{"muted":false,"volume":0.5}})"));
  EXPECT_EQ(values["appMix.corruptBackup"]["data"], json::array({1}));
  EXPECT_EQ(values["automationHistory"]["data"][0]["profileName"], "Casa");
  EXPECT_EQ(values["connectionRules"]["data"], json::array());
  EXPECT_EQ(values["windowGeometry"]["data"], encodeBase64(geometry));
  EXPECT_EQ(decodeSettings(slurp(file)), expected) << "every value as it was";

  // The rewritten file is in today's form: opening it again writes nothing.
  const std::string once = slurp(file);
  {
    FileDefaultsStore store(file, writer);
    writer.advance(5);
    EXPECT_EQ(store.replacements(), 0u);
  }
  EXPECT_EQ(slurp(file), once);

  // The same content that also tells of a newer version is read, never rewritten.
  std::string newer = earlier;
  newer.replace(newer.find(R"("version":1)"), 11, R"("version":2)");
  write(file, newer);
  {
    FileDefaultsStore store(file, writer);
    EXPECT_EQ(store.value(key::appMix), expected->at(key::appMix));
    writer.advance(5);
    EXPECT_FALSE(store.pending());
  }
  EXPECT_EQ(slurp(file), newer);
}

// An earlier file with damage of every kind beside today's form: the lists load every element
// they can read, what cannot be read stays in the file, and the rewrite loses nothing.
TEST(FileDefaultsStore, ADamagedMixedFileLosesNothingReadable) {
  TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  const std::string mix = R"({"org.a":{"volume":0.5},"org.b":{"muted":"no"},"org.c":{}})";
  const std::string history = "[" + historyRecord + R"(,{"id":"x"}])";
  write(file, R"({"version":1,"values":{)"
              R"("appMix":{"data":")" +
                  base64(mix) + R"("},"automationHistory":{"data":)" + history +
                  R"(},"connectionRules":{"data":"not base64!"},)"
                  R"("appLaunchRules":{"data":")" +
                  base64("[{\"broken\"") +
                  R"("},"scheduledRules":{"data":[],"extra":1},"automatic":{"bool":true}}})");
  SimMainQueue writer;
  {
    FileDefaultsStore store(file, writer);
    EXPECT_EQ(store.keptUnreadable(), 2u) << "the bad base64 and the entry of two kinds";
    const auto mixes = AppMixStore::loadState(store);
    EXPECT_EQ(mixes.mixes, (AppMixMap{{"org.a", AppMix(0.5, false)}, {"org.c", AppMix()}}));
    EXPECT_EQ(mixes.unreadable, 1u);
    EXPECT_EQ(store.data(key::appMixBackup), bytes(mix));
    const auto records = AutomationHistoryStore(store).loadState();
    EXPECT_EQ(records.elements.size(), 1u);
    EXPECT_EQ(records.unreadable, 1u);
    EXPECT_EQ(store.data(key::automationHistoryBackup), bytes(history));
    EXPECT_TRUE(AppLaunchRuleStore(store).load().empty());
    EXPECT_EQ(store.data(key::appLaunchRulesBackup), bytes("[{\"broken\""));
    EXPECT_TRUE(AutomationStore(store).load().empty());
    writer.advance(1);
  }
  const auto document = decodeSettingsDocument(slurp(file));
  ASSERT_TRUE(document);
  EXPECT_EQ(document->values.at(key::appMix), DefaultsValue(bytes(mix)))
      << "the stored value stays until the next save";
  EXPECT_EQ(document->values.at(key::appMixBackup), DefaultsValue(bytes(mix)));
  EXPECT_EQ(document->values.at(key::automationHistoryBackup), DefaultsValue(bytes(history)));
  EXPECT_EQ(document->values.at(key::appLaunchRules), DefaultsValue(bytes("[{\"broken\"")));
  EXPECT_EQ(document->values.at(key::automatic), DefaultsValue(true));
  EXPECT_EQ(document->unreadable, (std::map<std::string, std::string>{
                                      {key::connectionRules, R"({"data":"not base64!"})"},
                                      {key::scheduledRules, R"({"data":[],"extra":1})"}}));
  const json values = onDisk(file)["values"];
  EXPECT_TRUE(values[key::appMix]["data"].is_object());
  EXPECT_TRUE(values[key::automationHistoryBackup]["data"].is_array());
  EXPECT_TRUE(values[key::appLaunchRules]["data"].is_string()) << "not JSON: still base64";
}

}  // namespace
}  // namespace tavuno
