#include <gtest/gtest.h>

#include <string>

#include "base/SettingsKeys.h"
#include "engine/AppControlPreferences.h"

namespace tavuno {
namespace {

Bytes bytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

struct LoadRow {
  const char* proves;
  std::optional<DefaultsValue> stored;
  AppControlPreferences expected;
  bool replaced;
};

TEST(AppControlPreferences, LoadsOrFallsBackToManualControl) {
  const LoadRow rows[] = {
      {"nothing stored gives automatic control", std::nullopt, {.automatic = true}, false},
      {"stored preferences load as they are",
       bytes(R"({"automatic":false,"enabled":["a","a"],"excluded":["b"]})"),
       {false, {"a"}, {"b"}},
       false},
      {"missing keys read as manual control with empty sets", bytes("{}"), {}, false},
      {"a string instead of data is unreadable", std::string(R"({"automatic":true})"), {}, true},
      {"undecodable bytes", bytes(R"({"automatic":true,"enabled":"a"})"), {}, true},
      {"a non-string id", bytes(R"({"enabled":[1]})"), {}, true},
      {"a bare array", bytes("[]"), {}, true},
  };
  for (const auto& row : rows) {
    InMemoryDefaultsStore defaults;
    if (row.stored) defaults.set(key::appControlPreferences, *row.stored);
    auto result = AppControlPreferences::loadState(defaults);
    EXPECT_EQ(result.preferences, row.expected) << row.proves;
    EXPECT_EQ(result.replaced, row.replaced) << row.proves;
    EXPECT_EQ(defaults.value(key::appControlPreferencesBackup),
              row.replaced ? row.stored : std::nullopt)
        << row.proves;
    EXPECT_EQ(defaults.value(key::appControlPreferences), row.stored)
        << row.proves << ": loading never rewrites the stored value";
  }
}

TEST(AppControlPreferences, KeepsTheFirstBackupAcrossStarts) {
  InMemoryDefaultsStore defaults;
  defaults.set(key::appControlPreferences, std::string("first"));
  EXPECT_TRUE(AppControlPreferences::loadState(defaults).replaced);
  defaults.set(key::appControlPreferences, std::int64_t{2});
  EXPECT_TRUE(AppControlPreferences::loadState(defaults).replaced);
  EXPECT_EQ(defaults.string(key::appControlPreferencesBackup), "first");
}

TEST(AppControlPreferences, StopAndStartAreStoredAndReadBack) {
  InMemoryDefaultsStore defaults;
  auto preferences = AppControlPreferences::loadState(defaults).preferences;
  preferences.automatic = false;
  preferences.enable("org.a");
  preferences.exclude("org.a");
  preferences.enable("org.b");
  preferences.save(defaults);

  auto loaded = AppControlPreferences::loadState(defaults);
  EXPECT_FALSE(loaded.replaced);
  EXPECT_EQ(loaded.preferences, (AppControlPreferences{false, {"org.b"}, {"org.a"}}));
  loaded.preferences.automatic = true;
  EXPECT_EQ(loaded.preferences.desiredApps({"org.a", "org.c"}),
            (std::set<std::string>{"org.a", "org.b", "org.c"}))
      << "automatic control ignores the switched-off set";
}

}  // namespace
}  // namespace tavuno
