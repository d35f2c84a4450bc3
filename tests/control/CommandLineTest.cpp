#include <gtest/gtest.h>

#include "control/CommandLine.h"
#include "control/ReportText.h"
#include "support/SimPlatform.h"

namespace tavuno::control {
namespace {

std::optional<ControlRequest> parse(std::vector<std::string> words) {
  return parseCommand(words).request;
}

TEST(CommandLine, EachFormOfTheGrammarGivesItsRequest) {
  struct Row {
    std::vector<std::string> words;
    ControlRequest expected;
  };
  const Row rows[] = {
      {{"status"}, {.command = Command::status}},
      {{"--json", "status"}, {.command = Command::status, .json = true}},
      {{"mute"}, {.command = Command::mute, .mute = MuteChange::toggle}},
      {{"mute", "off"}, {.command = Command::mute, .mute = MuteChange::off}},
      {{"volume"}, {.command = Command::volume}},
      {{"volume", "0"}, {.command = Command::setVolume, .number = 0}},
      {{"volume", "100%"}, {.command = Command::setVolume, .number = 100}},
      {{"volume", "+5"}, {.command = Command::adjustVolume, .number = 5}},
      {{"volume", "-100"}, {.command = Command::adjustVolume, .number = -100}},
      // The microphone's: the same commands, on the default input.
      {{"input-mute"}, {.command = Command::mute, .mute = MuteChange::toggle, .input = true}},
      {{"input-mute", "on"}, {.command = Command::mute, .mute = MuteChange::on, .input = true}},
      {{"input-volume"}, {.command = Command::volume, .input = true}},
      {{"input-volume", "50"}, {.command = Command::setVolume, .input = true, .number = 50}},
      {{"input-volume", "-5"}, {.command = Command::adjustVolume, .input = true, .number = -5}},
      {{"output", "Built-in Speakers"},
       {.command = Command::output, .target = "Built-in Speakers"}},
      {{"input", "usb-mic"}, {.command = Command::input, .target = "usb-mic"}},
      {{"app", "volume", "Player", "40"},
       {.command = Command::appVolume, .number = 40, .target = "Player"}},
      {{"app", "mute", "Player"}, {.command = Command::appMute, .target = "Player"}},
      {{"app", "mute", "Player", "on"},
       {.command = Command::appMute, .mute = MuteChange::on, .target = "Player"}},
      {{"app", "output", "Player", "default"}, {.command = Command::appOutput, .target = "Player"}},
      {{"app", "output", "Player", "usb"},
       {.command = Command::appOutput, .target = "Player", .device = "usb"}},
      {{"auto-switch"}, {.command = Command::autoSwitch, .mute = MuteChange::toggle}},
      {{"auto-switch", "on"}, {.command = Command::autoSwitch, .mute = MuteChange::on}},
      {{"prefer", "USB DAC"}, {.command = Command::prefer, .target = "USB DAC"}},
      {{"profile", "list", "--json"}, {.command = Command::profileList, .json = true}},
      {{"profile", "apply", "Home office"},
       {.command = Command::profileApply, .target = "Home office"}},
      {{"profile", "save", ""}, {.command = Command::profileSave}},
      {{"profile", "delete", "Home office"},
       {.command = Command::profileDelete, .target = "Home office"}},
      {{"profile", "rename", "Home office", "Office"},
       {.command = Command::profileRename, .target = "Home office", .name = "Office"}},
      {{"quit"}, {.command = Command::quit}},
      // Qt's own options and their values are Qt's: passed over.
      {{"-platform", "offscreen", "status"}, {.command = Command::status}},
      {{"volume", "--display", ":1", "40", "-style=fusion", "-reverse"},
       {.command = Command::setVolume, .number = 40}},
  };
  for (const auto& row : rows) {
    auto request = parse(row.words);
    ASSERT_TRUE(request) << row.words[0] << ": " << parseCommand(row.words).error;
    EXPECT_EQ(*request, row.expected) << row.words.size() << " words from " << row.words[0];
  }
}

TEST(CommandLine, WhatTheGrammarDoesNotTakeIsAUsageErrorWithAMessage) {
  test::ScopedLanguage language{test::englishCatalog()};
  const std::vector<std::vector<std::string>> rows = {
      {"volume", "abc"},
      {"volume", "150"},
      {"volume", "-"},
      {"volume", "+"},
      {"volume", "50.5"},
      {"volume", "1e2"},
      {"volume", "+101"},
      {"volume", " 5"},
      {"volume", "0x10"},
      {"volume", "+-0"},
      {"volume", "-+5"},
      {"volume", "0075"},
      {"volume", "5%%"},
      {"volume", "99999999999999999999"},
      {"volume", "5", "6"},
      {"app", "volume", "P", "-1"},
      {"app", "volume", "P"},
      {"mute", "yes"},
      {"input-mute", "yes"},
      {"input-mute", "on", "off"},
      {"input-volume", "101"},
      {"input-volume", "5", "6"},
      {"input-volume", "--json"},
      {"app", "mute", "P", "1"},
      {"output"},
      {"prefer"},
      {"prefer", "a", "b"},
      {"auto-switch", "yes"},
      {"auto-switch", "on", "off"},
      {"status", "now"},
      {"quit", "now"},
      {"mute", "--json"},
      {"status", "--verbose"},
      {"app"},
      {"app", "pan", "P"},
      {"profile"},
      {"profile", "delete"},
      {"profile", "delete", "x", "y"},
      {"profile", "rename", "x"},
      {"profile", "remove", "x"},
      {"-platform"},
      {"profile", "apply"},
      {"play"},
      {},
  };
  for (const auto& words : rows) {
    const auto parsed = parseCommand(words);
    EXPECT_FALSE(parsed.request) << (words.empty() ? "(none)" : words.back());
    EXPECT_FALSE(parsed.error.empty());
  }
  EXPECT_EQ(parseCommand({"volume", "150"}).error, "Invalid volume: 150 (use 0 to 100, +N or -N).");
}

TEST(CommandLine, OnlyArgumentsThatAreNotOptionsMakeACommand) {
  EXPECT_FALSE(namesCommand({}));
  EXPECT_FALSE(namesCommand({"--background", "--demo"}));
  EXPECT_TRUE(namesCommand({"--json", "status"}));
  // Qt's options that take a value: the value is no command.
  EXPECT_FALSE(namesCommand({"-platform", "xcb"}));
  EXPECT_FALSE(namesCommand({"-display", ":1", "--background"}));
  EXPECT_FALSE(
      namesCommand({"--platform", "offscreen", "-style", "fusion", "-geometry", "640x480"}));
  EXPECT_TRUE(namesCommand({"-platform", "xcb", "mute"}));
  EXPECT_TRUE(namesCommand({"-platform=xcb", "mute"})) << "a value after = is the option's own";

  EXPECT_EQ(withoutQtOptions({"-display", ":1", "--demo", "-reverse", "-qmljsdebugger=port:1",
                              "-qwindowtitle", "T", "--background"}),
            (std::vector<std::string>{"--demo", "--background"}));
  EXPECT_EQ(withoutQtOptions({"--unknown", "x"}), (std::vector<std::string>{"--unknown", "x"}))
      << "an option Qt does not read stays, to be refused";
}

TEST(CommandLine, OutputIsTheReportAsJsonOrTextTheVolumeOrNothing) {
  test::ScopedLanguage language{test::englishCatalog()};
  const nlohmann::json status = {
      {"defaultOutput", {{"uid", "spk"}, {"name", "Speakers"}}},
      {"defaultInput", nullptr},
      {"volume", 40},
      {"muted", nullptr},
      {"inputVolume", 65},
      {"inputMuted", true},
      {"devices", {{{"uid", "spk"}, {"name", "Speakers"}, {"input", false}, {"output", true}}}},
      {"apps",
       {{{"id", "org.player"},
         {"name", "Player"},
         {"volume", 80},
         {"muted", true},
         {"output", "spk"},
         {"state", "controlled"}}}},
      {"activeProfile", nullptr}};
  const auto json = commandOutput({.command = Command::status, .json = true}, status);
  EXPECT_EQ(nlohmann::json::parse(json), status);
  EXPECT_EQ(json.find('\n'), json.size() - 1) << "one line";

  const auto text = commandOutput({.command = Command::status}, status);
  for (const char* expected :
       {"Default output: Speakers", "Default input: none", "Volume: 40%", "Muted: no control",
        "Microphone volume: 65%", "Microphone muted: yes",
        "Player (org.player): 80%, muted, "
        "output: Speakers, controlled"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;

  EXPECT_EQ(commandOutput({.command = Command::volume}, 40), "40\n");
  EXPECT_EQ(commandOutput({.command = Command::setVolume}, 40), "");

  // A report of another shape (another version of the app) prints what it can.
  for (const auto& odd : {nlohmann::json(nullptr), nlohmann::json(3),
                          nlohmann::json{{"apps", 7}, {"devices", {1, "x"}}}}) {
    EXPECT_NO_THROW(statusText(odd));
    EXPECT_NO_THROW(profilesText(odd));
  }
}

}  // namespace
}  // namespace tavuno::control
