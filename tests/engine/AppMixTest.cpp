#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "base/SettingsKeys.h"
#include "engine/AppMix.h"
#include "engine/AppMixStore.h"
#include "engine/AppRoute.h"

namespace tavuno {
namespace {

Bytes bytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

std::optional<AppMixMap> decode(const std::string& text) {
  return AppMixStore::decode(bytes(text));
}

TEST(AppMix, ConstructionKeepsTheVolumeFiniteAndInRange) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(AppMix(1.7, false).volume(), 1.0f);
  EXPECT_EQ(AppMix(-0.2, false).volume(), 0.0f);
  EXPECT_EQ(AppMix(std::nan(""), false).volume(), 1.0f);
  EXPECT_EQ(AppMix(0.5, true, "").outputUID(), std::nullopt) << "an empty UID is no choice";

  const AppMix current(0.4, true, "usb");
  EXPECT_EQ(current.adjusted(1.5f, std::nullopt), AppMix(1.0, true, "usb"));
  EXPECT_EQ(current.adjusted(inf, false), AppMix(0.4, false, "usb")) << "non-finite keeps";
  EXPECT_EQ(current.adjusted(std::nullopt, std::nullopt), current);
  EXPECT_EQ(current.routedTo(""), AppMix(0.4, true, std::nullopt, true))
      << "routing to no device is the choice of the system default";
  EXPECT_FALSE(AppMix(0.4, true, "usb", true).followsDefault()) << "a device wins";
  EXPECT_EQ(current.routedTo("hdmi"), AppMix(0.4, true, "hdmi"));
}

struct MapRow {
  const char* proves;
  const char* json;
  std::optional<AppMixMap> expected;
};

TEST(AppMixStore, DecodesTheStoredMapOrNothing) {
  const MapRow rows[] = {
      {"missing keys take the default mix", R"({"a":{}})", AppMixMap{{"a", AppMix()}}},
      {"null counts as missing", R"({"a":{"volume":null,"muted":null,"outputUID":null}})",
       AppMixMap{{"a", AppMix()}}},
      {"a stored volume above 1 reads as 1 and an empty UID as none",
       R"({"a":{"volume":1.7,"muted":true,"outputUID":""}})", AppMixMap{{"a", AppMix(1, true)}}},
      {"a number beyond the float range clamps", R"({"a":{"volume":1e300}})",
       AppMixMap{{"a", AppMix()}}},
      {"an integer volume is a number", R"({"a":{"volume":0,"outputUID":"usb"}})",
       AppMixMap{{"a", AppMix(0, false, "usb")}}},
      {"a volume of the wrong kind spoils the map", R"({"a":{},"b":{"volume":"1"}})", std::nullopt},
      {"mute must be a boolean", R"({"a":{"muted":1}})", std::nullopt},
      {"the map must be an object", R"([{"volume":1}])", std::nullopt},
      {"truncated JSON", R"({"a":{"volume":)", std::nullopt},
  };
  for (const auto& row : rows)
    EXPECT_EQ(decode(row.json), row.expected) << row.proves;
}

TEST(AppMixStore, RoundTripsAndIgnoresWhatItCannotUse) {
  InMemoryDefaultsStore defaults;
  const AppMixMap mixes{{"org.a", AppMix(0.3, false)}, {"pid:42", AppMix(0.75, true, "usb")}};
  AppMixStore::save(mixes, defaults);
  EXPECT_EQ(AppMixStore::load(defaults), mixes);

  defaults.set(key::appMix, std::string("{}"));
  EXPECT_TRUE(AppMixStore::load(defaults).empty()) << "a string is not data";

  AppMixStore::save(
      {{"\xff", AppMix()}, {"org.a", AppMix(0.3, false, "usb\xfe")}, {"org.b", AppMix(0.5, true)}},
      defaults);
  EXPECT_EQ(AppMixStore::load(defaults), (AppMixMap{{"org.b", AppMix(0.5, true)}}))
      << "an id or UID that is not UTF-8 leaves out only its own entry";
}

// One entry that cannot be read used to empty the whole mix, and the next slider move saved the
// empty map over every other application's mix.
TEST(AppMixStore, LoadsEveryReadableEntryAndKeepsTheStoredMapUnderTheBackupKey) {
  InMemoryDefaultsStore defaults;
  const std::string stored = R"({"org.a":{"volume":0.5},"org.b":{"muted":"no"},"org.c":{}})";
  defaults.set(key::appMix, bytes(stored));
  auto loaded = AppMixStore::loadState(defaults);
  EXPECT_EQ(loaded.mixes, (AppMixMap{{"org.a", AppMix(0.5, false)}, {"org.c", AppMix()}}));
  EXPECT_EQ(loaded.unreadable, 1u);
  EXPECT_EQ(defaults.data(key::appMixBackup), bytes(stored));

  AppMixStore::save(loaded.mixes, defaults);
  EXPECT_EQ(AppMixStore::loadState(defaults).unreadable, 0u);
  EXPECT_EQ(defaults.data(key::appMixBackup), bytes(stored)) << "a save keeps the backup";
  EXPECT_EQ(defaults.all().size(), 2u);

  defaults.set(key::appMix, bytes("[1]"));
  EXPECT_TRUE(AppMixStore::load(defaults).empty());
  EXPECT_EQ(defaults.data(key::appMixBackup), bytes("[1]"));
  EXPECT_EQ(defaults.data(std::string(key::appMixBackup) + ".1"), bytes(stored))
      << "an earlier backup is never lost";
  EXPECT_EQ(decode(stored), std::nullopt) << "decode() still takes the whole map or nothing";
}

TEST(AppRoute, FollowsTheChoiceOrTheDefaultButNeverFallsBack) {
  const std::vector<AudioDevice> devices{{1, "mic", "Mic", true, false},
                                         {2, "spk", "Speakers", false, true},
                                         {3, "usb", "USB", true, true},
                                         {4, "usb", "USB twin", true, true}};
  auto route = [&](std::optional<std::string> uid, AudioObjectID defaultID) {
    auto device = AppRoute::output(uid, devices, defaultID);
    return device ? device->id : 0;
  };
  EXPECT_EQ(route("usb", 2), 3u) << "the first device with the UID";
  EXPECT_EQ(route(std::nullopt, 2), 2u);
  EXPECT_EQ(route("", 2), 2u) << "an empty UID follows the default";
  EXPECT_EQ(route("mic", 2), 0u) << "an input-only device is no route";
  EXPECT_EQ(route("gone", 2), 0u) << "an unplugged choice is no route, not the default";
  EXPECT_EQ(route(std::nullopt, 1), 0u) << "a default without output";

  // Without a choice in Tavuno the app keeps the output it chose itself.
  auto routeOwn = [&](const AppMix& mix, std::optional<std::string> own) {
    auto device = AppRoute::output(mix, own, devices, 2);
    return device ? device->id : 0;
  };
  EXPECT_EQ(routeOwn(AppMix(), "usb"), 3u) << "its own output";
  EXPECT_EQ(routeOwn(AppMix(), std::nullopt), 2u) << "none: the default";
  EXPECT_EQ(routeOwn(AppMix().routedTo(std::nullopt), "usb"), 2u)
      << "the system default chosen over its own";
  EXPECT_EQ(routeOwn(AppMix(1, false, "spk"), "usb"), 2u) << "a device chosen in Tavuno wins";
  EXPECT_EQ(routeOwn(AppMix(), "gone"), 2u) << "its own output unplugged: the default";
  EXPECT_EQ(AppRoute::shownOutput(AppMix(), "usb"), "usb");
  EXPECT_EQ(AppRoute::shownOutput(AppMix().routedTo(std::nullopt), "usb"), std::nullopt);
  EXPECT_EQ(AppRoute::shownOutput(AppMix(1, false, "spk"), "usb"), "spk");
}

TEST(AppMix, TheChoiceOfTheSystemDefaultIsStored) {
  const AppMix chosen = AppMix(0.5, false).routedTo(std::nullopt);
  EXPECT_EQ(AppMix::fromJson(chosen.toJson()), chosen);
  EXPECT_EQ(AppMix::fromJson(nlohmann::json::parse(R"({"volume":0.5,"muted":false})")),
            AppMix(0.5, false))
      << "an entry from before the choice existed is no choice";
  EXPECT_EQ(AppMix::fromJson(nlohmann::json::parse(R"({"followsDefault":"yes"})")), std::nullopt);
}

}  // namespace
}  // namespace tavuno
