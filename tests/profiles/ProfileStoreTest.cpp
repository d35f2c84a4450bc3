#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "base/SettingsKeys.h"
#include "profiles/ProfileStore.h"

namespace tavuno {
namespace {

const char* const idText = "6f1c2a9e-0b4d-4c3e-9a8f-1d2e3f4a5b6c";

Bytes bytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

std::string text(const Bytes& data) {
  return std::string(data.begin(), data.end());
}

// One stored profile with the required keys and `extra` spliced in.
std::string storedProfile(const std::string& extra = "") {
  return std::string(R"([{"id":")") + idText +
         R"(","name":"Casa","inputUID":"mic","outputUID":"spk")" + extra + "}]";
}

struct DecodeRow {
  const char* proves;
  std::string json;
  bool readable;
};

TEST(ProfileStore, EitherReadsEveryProfileOrNone) {
  const DecodeRow rows[] = {
      {"the required keys alone", storedProfile(), true},
      {"null optional keys", storedProfile(R"(,"volume":null,"appMix":null,"outputMuted":null)"),
       true},
      {"all seven fields", storedProfile(R"(,"volume":0.5,"appMix":{"a":{}},"outputMuted":true)"),
       true},
      {"the input's level and mute", storedProfile(R"(,"inputVolume":0.4,"inputMuted":false)"),
       true},
      {"an input mute that is not a bool", storedProfile(R"(,"inputMuted":"yes")"), false},
      {"an input volume beyond the float range", storedProfile(R"(,"inputVolume":-1e300)"), false},
      {"lacking outputUID", std::string(R"([{"id":")") + idText + R"(","name":"n","inputUID":""}])",
       false},
      {"an id that is not a UUID", R"([{"id":"1","name":"n","inputUID":"","outputUID":""}])",
       false},
      {"a volume beyond the float range", storedProfile(R"(,"volume":1e300)"), false},
      {"a bad mix inside", storedProfile(R"(,"appMix":{"a":{"muted":"no"}})"), false},
      {"an object instead of an array", R"({"profiles":[]})", false},
  };
  for (const auto& row : rows) {
    InMemoryDefaultsStore defaults;
    defaults.set(key::profiles, bytes(row.json));
    EXPECT_EQ(ProfileStore::load(defaults).size(), row.readable ? 1u : 0u) << row.proves;
  }
}

TEST(ProfileStore, RoundTripsWithAbsentFieldsLeftOutAndUpperCaseIds) {
  InMemoryDefaultsStore defaults;
  defaults.set(key::profiles, bytes(storedProfile()));
  auto profiles = ProfileStore::load(defaults);
  ASSERT_EQ(profiles.size(), 1u);
  EXPECT_EQ(profiles[0].id, *Uuid::parse(idText)) << "a lower-case id reads";
  EXPECT_FALSE(profiles[0].volume || profiles[0].appMix || profiles[0].outputMuted);

  ProfileStore::save(profiles, defaults);
  auto written = nlohmann::json::parse(text(*defaults.data(key::profiles)));
  EXPECT_EQ(written[0]["id"], Uuid::parse(idText)->text());
  EXPECT_FALSE(written[0].contains("volume") || written[0].contains("appMix") ||
               written[0].contains("outputMuted") || written[0].contains("inputVolume") ||
               written[0].contains("inputMuted"));

  profiles[0].volume = 0.3f;
  profiles[0].appMix = AppMixMap{{"a", AppMix(0.7, true, "usb")}};
  profiles[0].outputMuted = false;
  profiles[0].inputVolume = 0.65f;
  profiles[0].inputMuted = true;
  profiles.push_back(profiles[0]);
  profiles[1].id = Uuid::random();
  profiles[1].appMix = AppMixMap{};
  ProfileStore::save(profiles, defaults);
  EXPECT_EQ(ProfileStore::load(defaults), profiles) << "an empty map stays distinct from none";

  auto unencodable = profiles;
  unencodable[0].volume = std::numeric_limits<float>::quiet_NaN();
  ProfileStore::save(unencodable, defaults);
  EXPECT_EQ(ProfileStore::load(defaults), profiles) << "a failed encoding keeps the stored data";
}

TEST(ProfileStore, CreatesTheDefaultProfileOnlyWhenNoneIsReadable) {
  auto create = [](DefaultsStore& defaults) {
    return ProfileStore::createDefaultIfNeeded(
        {.name = "Perfil padrão", .inputUID = "mic", .volume = 0.5f, .appMix = AppMixMap{}},
        defaults);
  };
  InMemoryDefaultsStore none;
  auto made = create(none);
  ASSERT_TRUE(made);
  EXPECT_EQ(ProfileStore::load(none), std::vector<AudioProfile>{*made});
  EXPECT_FALSE(create(none)) << "a stored non-empty list is kept";
  EXPECT_FALSE(none.contains(key::profilesBackup));

  InMemoryDefaultsStore empty;
  empty.set(key::profiles, bytes("[]"));
  EXPECT_TRUE(create(empty));
  EXPECT_FALSE(empty.contains(key::profilesBackup)) << "an empty list is not corrupt";

  InMemoryDefaultsStore corrupt;
  const std::string lacking = R"([{"id":")" + std::string(idText) + R"(","name":"n"}])";
  corrupt.set(key::profiles, bytes(lacking));
  EXPECT_TRUE(ProfileStore::load(corrupt).empty());
  EXPECT_TRUE(create(corrupt));
  EXPECT_EQ(corrupt.data(key::profilesBackup), bytes(lacking));
  EXPECT_EQ(ProfileStore::load(corrupt).size(), 1u);
}

TEST(ProfileStore, NeverLosesAnEarlierBackup) {
  InMemoryDefaultsStore defaults;
  auto corruptAndCreate = [&](DefaultsValue stored) {
    defaults.set(key::profiles, std::move(stored));
    return ProfileStore::createDefaultIfNeeded({.name = "p"}, defaults);
  };
  const std::string backup = key::profilesBackup;
  ASSERT_TRUE(corruptAndCreate(bytes("first")));
  ASSERT_TRUE(corruptAndCreate(bytes("first")));
  EXPECT_FALSE(defaults.contains(backup + ".1")) << "the same bytes again need no second copy";
  ASSERT_TRUE(corruptAndCreate(bytes("second")));
  ASSERT_TRUE(corruptAndCreate(std::string("third, not even data")));
  EXPECT_EQ(defaults.data(backup + ".1"), bytes("first"));
  EXPECT_EQ(defaults.data(backup + ".2"), bytes("second"));
  EXPECT_EQ(defaults.string(backup), "third, not even data");
}

// Profiles stored with the same id used to load as they were, and deleting one removed all of
// them. The first keeps its id; each other gets a fresh one, the same at every load.
TEST(ProfileStore, ProfilesSharingAnIdGetFreshOnesAfterTheFirst) {
  const std::string other = "e621e1f8-c36c-495a-93fc-0c247a3e6e5f";
  auto entry = [](const std::string& id, const std::string& name) {
    return R"({"id":")" + id + R"(","name":")" + name + R"(","inputUID":"","outputUID":""})";
  };
  InMemoryDefaultsStore defaults;
  defaults.set(key::profiles, bytes("[" + entry(idText, "Casa") + "," + entry(idText, "Mesa") +
                                    "," + entry(other, "Rua") + "," + entry(idText, "Noite") + "," +
                                    entry(other, "Carro") + "]"));
  auto profiles = ProfileStore::load(defaults);
  ASSERT_EQ(profiles.size(), 5u);
  EXPECT_EQ(profiles[0].id, *Uuid::parse(idText)) << "the first keeps its id";
  EXPECT_EQ(profiles[2].id, *Uuid::parse(other));
  EXPECT_EQ(profileIDs(profiles).size(), 5u) << "no two share an id";
  std::vector<std::string> names;
  for (const auto& profile : profiles)
    names.push_back(profile.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Casa", "Mesa", "Rua", "Noite", "Carro"}));
  EXPECT_EQ(ProfileStore::load(defaults), profiles) << "the same ids at every load";

  // A delete (the service's: a save of the list without the chosen one) removes only it.
  auto withoutMesa = profiles;
  withoutMesa.erase(withoutMesa.begin() + 1);
  ProfileStore::save(withoutMesa, defaults);
  EXPECT_EQ(ProfileStore::load(defaults), withoutMesa);

  // A fresh id is never one that another stored profile has.
  const Uuid first = *Uuid::parse(idText);
  const Uuid derived = profiles[1].id;
  defaults.set(key::profiles, bytes("[" + entry(idText, "a") + "," + entry(idText, "b") + "," +
                                    entry(derived.text(), "c") + "]"));
  auto clash = ProfileStore::load(defaults);
  ASSERT_EQ(clash.size(), 3u);
  EXPECT_EQ(clash[0].id, first);
  EXPECT_EQ(clash[2].id, derived) << "a stored id is kept";
  EXPECT_EQ(profileIDs(clash).size(), 3u);
}

TEST(ProfileStore, ResolvesTheActiveProfile) {
  AudioProfile a{Uuid::random(), "a", "", ""}, b{Uuid::random(), "b", "", ""};
  InMemoryDefaultsStore defaults;
  defaults.set(key::activeProfileID, std::string("not a uuid"));
  EXPECT_EQ(ProfileStore::loadActiveID(defaults), std::nullopt);
  EXPECT_EQ(ProfileStore::resolveActiveID({a, b}, b.id), b.id);
  EXPECT_EQ(ProfileStore::resolveActiveID({a, b}, Uuid::random()), a.id) << "a stale id";
  EXPECT_EQ(ProfileStore::resolveActiveID({}, b.id), std::nullopt);
}

}  // namespace
}  // namespace tavuno
