#include <gtest/gtest.h>

#include "hal/HalTypes.h"
#include "support/SimPlatform.h"
#include "ui/model/DeviceCaptions.h"
#include "ui/model/PickerEntries.h"

namespace tavuno {
namespace {

const AudioDevice speakers{1, "spk", "Speakers", false, true, true, transport::builtIn};
const AudioDevice headset{2, "hs", "Headset", true, true, false, transport::bluetooth};
const AudioDevice loopback{3, "loop", "Loopback", true, true, false, transport::virtualDevice};
const AudioDevice mic{4, "mic", "Mic", true, false, false, transport::usb};

std::vector<std::string> labels(const Picker& picker) {
  std::vector<std::string> out;
  for (const auto& entry : picker.entries)
    out.push_back(entry.label);
  return out;
}

TEST(PickerEntries, AppOutputMarksDevicesASessionCannotPlayOn) {
  const std::vector<AudioDevice> devices{speakers, headset, loopback, mic};
  auto picker = appOutputPicker(devices, std::nullopt);
  EXPECT_EQ(labels(picker), (std::vector<std::string>{"Padrão do sistema", "Speakers",
                                                      "Headset — incompatível", "Loopback"}))
      << "an input is no output to offer";
  EXPECT_EQ(picker.selected, 0);
  EXPECT_FALSE(picker.entries[0].uid) << "the system default carries no UID";

  picker = appOutputPicker(devices, std::string("loop"));
  EXPECT_EQ(picker.selected, 3);
  EXPECT_EQ(appOutputPicker(devices, std::string()).selected, 0) << "empty means the default";
  EXPECT_EQ(appOutputPicker(devices, std::string("mic")).entries.back().label, "Saída desconectada")
      << "a stored input is no output either";
}

TEST(PickerEntries, AStoredChoiceThatIsGoneHasItsOwnEntry) {
  auto picker = appOutputPicker({speakers}, std::string("usb-dac"));
  ASSERT_EQ(picker.entries.size(), 3u);
  EXPECT_EQ(picker.entries[2].label, "Saída desconectada");
  EXPECT_EQ(picker.entries[2].uid, "usb-dac");
  EXPECT_EQ(picker.selected, 2);

  auto preferred = preferredDevicePicker({speakers, headset}, false, "gone");
  EXPECT_EQ(labels(preferred),
            (std::vector<std::string>{"Nenhum", "Speakers", "Headset", "Preferido desconectado"}));
  EXPECT_EQ(preferred.selected, 3);
  EXPECT_EQ(preferredDevicePicker({speakers, headset}, true, "").selected, 0);
  EXPECT_EQ(labels(preferredDevicePicker({speakers, headset}, true, "")),
            (std::vector<std::string>{"Nenhum", "Headset"}));
}

TEST(PickerEntries, TextsFollowTheCurrentLanguage) {
  test::ScopedLanguage english(test::englishCatalog());
  auto picker = appOutputPicker({headset}, std::string("gone"));
  EXPECT_EQ(labels(picker), (std::vector<std::string>{"System default", "Headset — incompatible",
                                                      "Output disconnected"}));
  EXPECT_EQ(deviceAccessibleText(headset, true, false), "Headset Input, select as default");
}

TEST(DeviceCaptions, UseBothNeedsThePreferredOutputToHaveAnInputToo) {
  ServiceState state;
  state.devices = {speakers, headset};
  EXPECT_FALSE(useBothCandidate(state)) << "no preference";
  state.preferredUID = "spk";
  EXPECT_FALSE(useBothCandidate(state)) << "output only";
  state.preferredUID = "hs";
  EXPECT_EQ(useBothCandidate(state), headset);
  state.preferredUID = "gone";
  EXPECT_FALSE(useBothCandidate(state)) << "disconnected";

  EXPECT_STREQ(deviceCaption(speakers, true), "Padrão");
  EXPECT_STREQ(deviceCaption(speakers, false), "Interno");
  EXPECT_STREQ(deviceCaption(headset, false), "Disponível");
}

}  // namespace
}  // namespace tavuno
