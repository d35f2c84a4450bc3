#include <gtest/gtest.h>

#include "control/ControlCommands.h"
#include "control/StatusReport.h"
#include "platform/sim/SimIdentity.h"
#include "support/FakeSession.h"
#include "support/SimPlatform.h"

namespace tavuno::control {
namespace {

// Speakers with a master volume and mute, a USB headset (input and output,
// no controls), a second output sharing the speakers' name, a microphone at
// 0.7 with a mute; a player and a caller (in a call) playing.
class ControlCommandsTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
  test::ScopedLanguage language{test::englishCatalog()};
  SimIdentity identity;
  test::FakeSessionFactory sessions;
  AudioObjectID speakers = 0, headset = 0, twin = 0, mic = 0;
  std::shared_ptr<AudioService> service;
  std::unique_ptr<ControlCommands> commands;

  void SetUp() override {
    speakers = platform.hal.addDevice({.uid = "spk",
                                       .name = "Speakers",
                                       .outputStreams = 1,
                                       .masterVolume = SimControl{0.5f},
                                       .mute = SimControl{0}});
    headset = platform.hal.addDevice(
        {.uid = "hs", .name = "Headset", .inputStreams = 1, .outputStreams = 1});
    twin = platform.hal.addDevice({.uid = "twin", .name = "Twin", .outputStreams = 1});
    platform.hal.addDevice({.uid = "twin2", .name = "Twin", .outputStreams = 1});
    mic = platform.hal.addDevice({.uid = "mic",
                                  .name = "Mic",
                                  .inputStreams = 1,
                                  .inputMasterVolume = SimControl{0.7f},
                                  .inputMute = SimControl{0}});
    platform.hal.setDefaultOutput(speakers);
    platform.hal.setDefaultInput(mic);
    identity.addRunning({.pid = 10, .bundleIdentifier = "org.player", .localizedName = "Player"});
    identity.addRunning({.pid = 11, .bundleIdentifier = "org.call", .localizedName = "Caller"});
    platform.hal.addProcess({.pid = 10, .runningOutput = true, .outputDevices = {speakers}});
    platform.hal.addProcess(
        {.pid = 11, .runningOutput = true, .runningInput = true, .outputDevices = {speakers}});
    ServicePorts ports = platform.ports();
    ports.identity = &identity;
    service = AudioService::create(ports, {.startTimer = false, .makeSession = sessions.factory()});
    platform.workers.runAll();
    commands = std::make_unique<ControlCommands>(service);
  }
  static void expectFailed(const ControlResult& result, const std::string& message) {
    EXPECT_EQ(result.status, ControlStatus::failed);
    EXPECT_EQ(result.message, message);
  }
};

TEST_F(ControlCommandsTest, DevicesAreNamedByUidOrExactNameOnTheirSide) {
  EXPECT_TRUE(commands->setDefaultDevice("Headset", false).ok());
  EXPECT_EQ(platform.hal.defaultOutput(), headset);
  EXPECT_TRUE(commands->setDefaultDevice("spk", false).ok());
  EXPECT_EQ(platform.hal.defaultOutput(), speakers);
  EXPECT_TRUE(commands->setDefaultDevice("hs", true).ok());
  EXPECT_EQ(platform.hal.defaultInput(), headset);

  platform.hal.clearWrites();
  expectFailed(commands->setDefaultDevice("Mic", false), "No output device is called Mic.");
  expectFailed(commands->setDefaultDevice("headset", false), "No output device is called headset.");
  expectFailed(commands->setDefaultDevice("Twin", false),
               "More than one device is called Twin; use its UID.");
  EXPECT_TRUE(platform.hal.writes().empty()) << "a name that matches nothing changes nothing";
  EXPECT_TRUE(commands->setDefaultDevice("twin", false).ok()) << "a UID is never ambiguous";
  EXPECT_EQ(platform.hal.defaultOutput(), twin);
}

TEST_F(ControlCommandsTest, SwitchingAndThePreferredOutputGoThroughTheDevicesOperations) {
  const auto on = commands->setAutoSwitch(MuteChange::on);
  ASSERT_TRUE(on.ok());
  EXPECT_EQ(on.value, true);
  EXPECT_TRUE(service->state().automatic);
  EXPECT_EQ(commands->setAutoSwitch(MuteChange::toggle).value, false);
  EXPECT_FALSE(service->state().automatic);

  EXPECT_TRUE(commands->preferOutput("Headset").ok());
  EXPECT_EQ(service->state().preferredUID, "hs");
  EXPECT_TRUE(commands->preferOutput("spk").ok());
  EXPECT_EQ(service->state().preferredUID, "spk");
  expectFailed(commands->preferOutput("Mic"), "No output device is called Mic.");
  expectFailed(commands->preferOutput("Twin"), "More than one device is called Twin; use its UID.");
  EXPECT_EQ(service->state().preferredUID, "spk") << "a refused name changes nothing";
}

TEST_F(ControlCommandsTest, EveryParsedCommandButQuitRunsItsOperation) {
  auto run = [&](std::vector<std::string> words) {
    auto parsed = parseCommand(words);
    EXPECT_TRUE(parsed.request) << parsed.error;
    return parsed.request ? commands->run(*parsed.request) : ControlResult{};
  };
  EXPECT_EQ(run({"volume", "30"}).value, 30);
  EXPECT_EQ(run({"volume", "-10"}).value, 20);
  EXPECT_EQ(run({"volume"}).value, 20);
  EXPECT_EQ(run({"mute", "on"}).value, true);
  EXPECT_TRUE(run({"output", "Headset"}).ok());
  EXPECT_EQ(platform.hal.defaultOutput(), headset);
  EXPECT_TRUE(run({"app", "volume", "Player", "40"}).ok());
  EXPECT_EQ(service->settings("org.player").volume(), 0.4f);
  EXPECT_EQ(run({"auto-switch", "on"}).value, true);
  EXPECT_TRUE(run({"prefer", "spk"}).ok());
  EXPECT_EQ(service->state().preferredUID, "spk");
  EXPECT_TRUE(run({"profile", "save", "Night"}).ok());
  EXPECT_TRUE(run({"profile", "rename", "Night", "Late"}).ok());
  EXPECT_EQ(run({"profile", "list"}).value["profiles"].size(), 2u);
  EXPECT_FALSE(run({"quit"}).ok()) << "quitting is the caller's to do";
}

TEST_F(ControlCommandsTest, AFailedWriteAnswersWithTheServicesMessage) {
  platform.hal.injectFault({.operation = SimHal::Operation::set,
                            .selector = selector::defaultOutputDevice,
                            .status = -50});
  const auto result = commands->setDefaultDevice("Headset", false);
  expectFailed(result, "Could not change the device (error -50).");
  EXPECT_EQ(service->state().error, result.message) << "the error line shows it too";
}

TEST_F(ControlCommandsTest, VolumeAndMuteOfTheDefaultOutput) {
  EXPECT_EQ(commands->volume().value, 50);
  EXPECT_EQ(commands->setVolume(30).value, 30);
  EXPECT_FLOAT_EQ(*platform.hal.volume(speakers, 0), 0.3f);
  EXPECT_EQ(commands->adjustVolume(-45).value, 0) << "kept within 0-100";
  EXPECT_EQ(commands->adjustVolume(7).value, 7);
  EXPECT_EQ(commands->setVolume(101).status, ControlStatus::badArgument);

  EXPECT_EQ(commands->setMute(MuteChange::toggle).value, true);
  EXPECT_EQ(platform.hal.muted(speakers), true);
  EXPECT_EQ(commands->setMute(MuteChange::on).value, true);
  EXPECT_EQ(commands->setMute(MuteChange::toggle).value, false);

  // The headset has neither control: refused before anything is written.
  ASSERT_TRUE(commands->setDefaultDevice("Headset", false).ok());
  platform.hal.clearWrites();
  expectFailed(commands->volume(), "The current device offers no volume control.");
  expectFailed(commands->adjustVolume(5), "The current device offers no volume control.");
  expectFailed(commands->setMute(MuteChange::toggle), "The current output has no mute control.");
  EXPECT_TRUE(platform.hal.writes().empty());
  const auto status = commands->status().value;
  EXPECT_TRUE(status["volume"].is_null());
  EXPECT_TRUE(status["muted"].is_null());
}

TEST_F(ControlCommandsTest, AppsAreNamedByIdOrNameAndChangedThroughTheMix) {
  EXPECT_EQ(commands->setAppVolume("Player", 25).value, 25);
  EXPECT_FLOAT_EQ(service->settings("org.player").volume(), 0.25f);
  ASSERT_FALSE(sessions.made.empty());
  EXPECT_FLOAT_EQ(sessions.made[0]->gain, 0.25f) << "the running session follows at once";
  EXPECT_EQ(commands->setAppMute("org.player", MuteChange::toggle).value, true);
  EXPECT_TRUE(service->settings("org.player").muted());

  EXPECT_TRUE(commands->setAppOutput("Player", "Headset").ok());
  EXPECT_EQ(service->settings("org.player").outputUID(), "hs");
  EXPECT_TRUE(commands->setAppOutput("Player", "").ok());
  EXPECT_EQ(service->settings("org.player").outputUID(), std::nullopt) << "follows the system";
  expectFailed(commands->setAppOutput("Player", "Mic"), "No output device is called Mic.");

  expectFailed(commands->setAppVolume("Radio", 10), "No app playing audio is called Radio.");
  expectFailed(commands->setAppVolume("Caller", 10), "In a call: use the main volume.");
  EXPECT_FALSE(service->state().appSettings.count("org.call")) << "nothing stored for a call";
  EXPECT_EQ(commands->setAppVolume("Player", 101).status, ControlStatus::badArgument);

  platform.workers.runAll();  // the session rebuilt on its new route
  std::map<std::string, nlohmann::json> apps;
  const auto status = commands->status().value;
  for (const auto& app : status["apps"])
    apps[app["id"]] = app;
  ASSERT_EQ(apps.size(), 2u);
  EXPECT_EQ(apps["org.player"]["state"], "controlled");
  EXPECT_EQ(apps["org.player"]["volume"], 25);
  EXPECT_EQ(apps["org.player"]["muted"], true);
  EXPECT_EQ(apps["org.call"]["state"], "inCall");
}

TEST_F(ControlCommandsTest, ProfilesAreAppliedByNameOrIdAndSavedThroughTheService) {
  const auto saved = commands->saveProfile("  Quiet ");
  ASSERT_TRUE(saved.ok());
  EXPECT_EQ(saved.value["name"], "Quiet");
  const std::string quiet = saved.value["id"];
  ASSERT_TRUE(commands->saveProfile("Loud").ok());
  ASSERT_TRUE(commands->saveProfile("Loud").ok());

  expectFailed(commands->saveProfile("   "), "Enter a name for the profile.");
  expectFailed(commands->applyProfile("Loud"), "More than one profile is called Loud; use its id.");
  expectFailed(commands->applyProfile("Nope"), "No profile is called Nope.");

  std::string lower = quiet;
  for (auto& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(commands->applyProfile(lower).ok());
  EXPECT_EQ(commands->status().value["activeProfile"]["id"], quiet);
  const auto list = commands->profiles().value["profiles"];
  ASSERT_EQ(list.size(), 4u) << "the default profile and three saved";
  EXPECT_EQ(list[1]["active"], true);
  EXPECT_EQ(list[2]["active"], false);
}

TEST_F(ControlCommandsTest, AFailedCommandAnswersWithItsOwnFailureNotWhatTheErrorLineShows) {
  service->setError("An older message");
  // The mute write fails, and the refresh after it finds the player's stream
  // stalled, which puts the watchdog's message on the error line.
  ASSERT_FALSE(sessions.made.empty());
  sessions.made[0]->unhealthy = true;
  platform.hal.injectFault(
      {.operation = SimHal::Operation::set, .selector = selector::mute, .status = -50});
  expectFailed(commands->setMute(MuteChange::on), "Could not change mute (error -50).");
  EXPECT_EQ(service->state().error,
            "The audio stream stopped or the device format changed. Trying to recover the "
            "connection.");
}

TEST_F(ControlCommandsTest, ProfilesAreRenamedAndDeletedThroughTheServiceWithItsRefusals) {
  ASSERT_TRUE(commands->saveProfile("Quiet").ok());
  EXPECT_TRUE(commands->renameProfile("Quiet", " Calm ").ok());
  EXPECT_EQ(service->state().profiles.back().name, "Calm");
  expectFailed(commands->renameProfile("Quiet", "Other"), "No profile is called Quiet.");
  expectFailed(commands->renameProfile("Calm", "  "), "Enter a name for the profile.");

  // Over a limit: a bad argument, as a number out of range is.
  const std::string tooLong(AudioService::maxProfileNameLength + 1, 'n');
  auto result = commands->renameProfile("Calm", tooLong);
  EXPECT_EQ(result.status, ControlStatus::badArgument);
  EXPECT_EQ(result.message, "Use at most 200 characters in the profile name.");
  EXPECT_EQ(commands->saveProfile(tooLong).status, ControlStatus::badArgument);
  while (service->state().profiles.size() < AudioService::maxProfiles)
    ASSERT_TRUE(commands->saveProfile("P").ok());
  result = commands->saveProfile("One more");
  EXPECT_EQ(result.status, ControlStatus::badArgument);
  EXPECT_EQ(result.message, "Delete a profile before saving another: the limit is 200 profiles.");
  EXPECT_EQ(service->state().profiles.size(), AudioService::maxProfiles);

  const std::string calm = service->state().profiles[1].id.text();
  EXPECT_TRUE(commands->deleteProfile(calm).ok()) << "by id too";
  expectFailed(commands->deleteProfile("Calm"), "No profile is called Calm.");
  expectFailed(commands->deleteProfile("P"), "More than one profile is called P; use its id.");
  while (service->state().profiles.size() > 1)
    ASSERT_TRUE(commands->deleteProfile(service->state().profiles.back().id.text()).ok());
  expectFailed(commands->deleteProfile("Default profile"), "Keep at least one profile.");
}

// What the D-Bus properties give: the report's scalars, with the missing
// values where the report has null.
TEST_F(ControlCommandsTest, VolumeAndMuteOfTheDefaultInput) {
  using Side = ControlCommands::Side;
  auto run = [&](std::vector<std::string> words) {
    return commands->run(*parseCommand(words).request);
  };
  EXPECT_EQ(run({"input-volume"}).value, 70);
  EXPECT_EQ(run({"input-volume", "50"}).value, 50);
  EXPECT_FLOAT_EQ(*platform.hal.volume(mic, 0, scope::input), 0.5f);
  EXPECT_EQ(run({"input-volume", "+60"}).value, 100) << "kept within 0-100";
  EXPECT_EQ(run({"input-mute"}).value, true);
  EXPECT_EQ(platform.hal.muted(mic, scope::input), true);
  EXPECT_EQ(run({"input-mute", "off"}).value, false);
  EXPECT_FLOAT_EQ(*platform.hal.volume(speakers, 0), 0.5f) << "the output is untouched";
  EXPECT_EQ(platform.hal.muted(speakers), false);
  const auto status = commands->status().value;
  EXPECT_EQ(status["inputVolume"], 100);
  EXPECT_EQ(status["inputMuted"], false);

  // The headset's microphone has neither control: refused, nothing written.
  ASSERT_TRUE(commands->setDefaultDevice("Headset", true).ok());
  platform.hal.clearWrites();
  expectFailed(commands->volume(Side::input), "The current microphone offers no volume control.");
  expectFailed(commands->setVolume(20, Side::input),
               "The current microphone offers no volume control.");
  expectFailed(commands->setMute(MuteChange::on, Side::input),
               "The current microphone offers no mute control.");
  EXPECT_TRUE(platform.hal.writes().empty());
  EXPECT_TRUE(commands->status().value["inputVolume"].is_null());
  EXPECT_TRUE(commands->status().value["inputMuted"].is_null());
}

TEST_F(ControlCommandsTest, PropertiesAreTheReportsScalarsAndNullIsTheMissingValue) {
  ASSERT_TRUE(commands->setMute(MuteChange::on).ok());
  auto properties = statusProperties(commands->status().value);
  EXPECT_EQ(properties, (StatusProperties{.volume = 50,
                                          .muted = true,
                                          .inputVolume = 70,
                                          .inputMuted = false,
                                          .defaultOutput = "spk",
                                          .defaultInput = "mic",
                                          .activeProfile = "Default profile"}));

  // The headset has neither control; hidden or absent devices are no UID.
  ASSERT_TRUE(commands->setDefaultDevice("Headset", false).ok());
  properties = statusProperties(commands->status().value);
  EXPECT_EQ(properties.volume, -1);
  EXPECT_FALSE(properties.muted);
  EXPECT_EQ(properties.defaultOutput, "hs");

  auto report = commands->status().value;
  report["defaultInput"] = nullptr;
  report["activeProfile"] = nullptr;
  properties = statusProperties(report);
  EXPECT_EQ(properties.defaultInput, "");
  EXPECT_EQ(properties.activeProfile, "");
  EXPECT_EQ(statusProperties(nullptr), StatusProperties{}) << "no report: all missing";
}

TEST_F(ControlCommandsTest, AServiceThatIsGoneFailsEveryCommand) {
  service.reset();
  expectFailed(commands->status(), "Tavuno is not running.");
  expectFailed(commands->setMute(MuteChange::on), "Tavuno is not running.");
}

}  // namespace
}  // namespace tavuno::control
