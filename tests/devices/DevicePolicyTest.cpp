#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/ports/DefaultsStore.h"
#include "devices/DevicePolicy.h"
#include "devices/HeadsetPair.h"
#include "devices/VolumePolicy.h"

namespace tavuno {
namespace {

AudioDevice device(AudioObjectID id, std::string uid, bool input, bool output,
                   std::uint32_t transportType = transport::usb) {
  return AudioDevice{id,           uid, uid, input, output, transportType == transport::builtIn,
                     transportType};
}

struct PairRow {
  const char* proves;
  AudioDevice output;
  std::vector<AudioDevice> devices;
  std::optional<std::string> expected;
};

TEST(HeadsetPair, PairsOnlyUnambiguousBluetoothStems) {
  const auto blue = transport::bluetooth, le = transport::bluetoothLE;
  const auto out = device(1, "AA-BB:output", false, true, blue);
  const auto in = device(2, "aa-bb:INPUT", true, false, le);
  const PairRow rows[] = {
      {"a Bluetooth output with its own input pairs with itself",
       device(1, "combo", true, true, blue),
       {},
       "combo"},
      {"stems match whatever the letter case", out, {out, in}, "aa-bb:INPUT"},
      {"two candidate inputs are ambiguous",
       out,
       {out, in, device(3, "AA-BB:input", true, false, blue)},
       std::nullopt},
      {"two candidate outputs are ambiguous",
       out,
       {out, in, device(3, "aa-bb:Output", false, true, blue)},
       std::nullopt},
      {"a non-Bluetooth input with the same stem does not count",
       out,
       {out, device(2, "aa-bb:input", true, false, transport::usb)},
       std::nullopt},
      {"a non-Bluetooth output never pairs",
       device(1, "AA-BB:output", false, true),
       {in},
       std::nullopt},
      {"a UID without suffix has no identity",
       device(1, "AA-BB", false, true, blue),
       {device(2, "AA-BB", true, false, blue)},
       std::nullopt},
      {"an empty stem has no identity",
       device(1, ":output", false, true, blue),
       {device(1, ":output", false, true, blue), device(2, ":input", true, false, blue)},
       std::nullopt},
      {"an input-only device is not an output",
       device(2, "aa-bb:input", true, false, blue),
       {},
       std::nullopt},
  };
  for (const auto& row : rows)
    EXPECT_EQ(HeadsetPair::inputUID(row.output, row.devices), row.expected) << row.proves;
}

TEST(DevicePolicy, TargetPrefersThePreferredThenTheBuiltInDevice) {
  const auto speakers = device(1, "speakers", false, true, transport::builtIn);
  const auto hdmi = device(2, "hdmi", false, true, transport::builtIn);
  const auto usb = device(3, "usb", true, true);
  const std::vector<AudioDevice> all{speakers, hdmi, usb};
  auto target = [&](std::vector<AudioDevice> devices, std::optional<std::string> preferred,
                    bool automatic, std::optional<AudioObjectID> current) {
    auto found = DevicePolicy::target(devices, preferred, automatic, Direction::output, current);
    return found ? found->uid : std::string("none");
  };
  EXPECT_EQ(target(all, "usb", true, 1), "usb");
  EXPECT_EQ(target(all, "usb", false, 1), "none");
  EXPECT_EQ(target(all, "", true, 1), "none");
  EXPECT_EQ(target(all, std::nullopt, true, 1), "none");
  EXPECT_EQ(target({speakers, hdmi}, "usb", true, 2), "hdmi") << "a built-in current default stays";
  EXPECT_EQ(target({speakers, hdmi}, "usb", true, 9), "speakers");
  EXPECT_EQ(target({usb}, "gone", true, 3), "none");
  EXPECT_EQ(DevicePolicy::target(all, "usb", true, Direction::input, 1)->uid, "usb");
  EXPECT_FALSE(DevicePolicy::target(all, "speakers", true, Direction::input, 1));
}

struct ScaleRow {
  const char* proves;
  std::vector<float> current;
  float target;
  std::vector<float> fallback;
  std::vector<float> expected;
};

TEST(VolumePolicy, ScalesKeepingTheBalance) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const ScaleRow rows[] = {
      {"balance kept", {0.8f, 0.4f}, 0.5f, {}, {0.5f, 0.25f}},
      {"silent channels take the remembered balance", {0, 0}, 0.6f, {1.0f, 0.5f}, {0.6f, 0.3f}},
      {"a remembered balance of another size is ignored", {0, 0}, 0.6f, {1.0f}, {0.6f, 0.6f}},
      {"never audible gives equal channels", {0, 0}, 0.6f, {}, {0.6f, 0.6f}},
      {"above 1 is clamped", {0.8f, 0.4f}, 1.7f, {}, {1.0f, 0.5f}},
      {"NaN target writes zeros", {0.8f, 0.4f}, nan, {}, {0, 0}},
      {"infinite target writes zeros", {0.8f, 0.4f}, inf, {}, {0, 0}},
      {"a NaN channel is written as silence", {0.8f, nan}, 0.5f, {}, {0.5f, 0}},
      {"no channels", {}, 0.5f, {}, {}},
  };
  for (const auto& row : rows) {
    auto result = VolumePolicy::scaled(row.current, row.target, row.fallback);
    ASSERT_EQ(result.size(), row.expected.size()) << row.proves;
    for (std::size_t i = 0; i < result.size(); ++i)
      EXPECT_FLOAT_EQ(result[i], row.expected[i]) << row.proves;
  }
}

TEST(DevicePreferences, LegacyKeyIsAFallbackThatIsNeverWritten) {
  InMemoryDefaultsStore defaults;
  defaults.set("preferredUID", std::string("old"));
  auto loaded = DevicePreferences::load(defaults);
  EXPECT_EQ(loaded, (DevicePreferences{"old", "old", false}));

  defaults.set("preferredInputUID", std::string("mic"));
  defaults.set("automatic", true);
  loaded = DevicePreferences::load(defaults);
  EXPECT_EQ(loaded, (DevicePreferences{"mic", "old", true}));

  InMemoryDefaultsStore fresh;
  DevicePreferences{"in", "out", true}.save(fresh);
  EXPECT_EQ(fresh.all().size(), 3u);
  EXPECT_FALSE(fresh.contains("preferredUID"));
  EXPECT_EQ(DevicePreferences::load(fresh), (DevicePreferences{"in", "out", true}));
}

TEST(DeviceTopology, SortedEntriesWithDirections) {
  EXPECT_EQ(deviceTopology({device(1, "b", true, false), device(2, "a", false, true)}),
            "a:false:true|b:true:false");
  EXPECT_EQ(deviceTopology({}), "");
}

}  // namespace
}  // namespace tavuno
