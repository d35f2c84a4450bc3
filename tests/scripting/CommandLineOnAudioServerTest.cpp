// The tavuno executable against the app on the Linux platform, on a private
// audio server and a private session bus: commands reach the server, and what
// changes on the server shows in the status.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>

#include "app/TavunoApp.h"
#include "app/control/ControlService.h"
#include "linux/stack/AudioStack.h"
#include "platform/linux/LinuxBackEnd.h"
#include "scripting/TavunoRun.h"
#include "ui/AppFixture.h"
#include "ui/QtWait.h"

namespace tavuno {
namespace {

using Server = test::AudioStack;

std::string onServer(Server& server, const std::vector<std::string>& arguments) {
  return server.pactl(arguments).value_or("");
}

TEST(CommandLineOnAudioServer, CommandsReachTheServerAndTheStatusFollowsIt) {
  Server server;
  if (auto failure = server.start()) {
    const char* required = std::getenv("TAVUNO_REQUIRE_AUDIO_SERVER");
    if (required && std::string(required) == "1") FAIL() << "no private audio server: " << *failure;
    GTEST_SKIP() << "no private audio server: " << *failure;
  }
  std::string why;
  auto bus = test::PrivateBus::start(why);  // after the server, which sets the process's own bus
  ASSERT_TRUE(bus) << why;

  AppOptions options;
  options.background = true;
  auto settings = std::make_unique<InMemoryDefaultsStore>();
  settings->set("languagePreference", std::string("en"));
  options.settings = std::move(settings);
  options.tray = [] { return std::make_unique<test::FakeTray>(); };
  options.desktop = TavunoApp::simulatedDesktop();
  options.platform = [&server](DefaultsStore& defaults, MainQueue& main) {
    // Devices, volume and mute; no per-app audio.
    auto audio = std::make_shared<LinuxBackEnd>(
        main, LinuxBackEndOptions{
                  .server = server.pulseServer(), .syncTimeout = 5, .silentServerTimeout = 5});
    Platform platform;
    platform.ports.emplace(ServicePorts{defaults, main, audio->hal(), audio->workers()});
    platform.owner = audio;
    return platform;
  };
  auto app = std::make_unique<TavunoApp>(std::move(options));
  auto& service = *app->service();
  ASSERT_TRUE(test::processEventsUntil([&] { return service.state().devices.size() == 5; }, 10));
  ControlService control(bus->connect());
  ASSERT_EQ(control.publish(), ControlService::Claim::claimed);
  control.attach(app->service(), [] {});

  auto run = test::runTavuno(*bus, {"output", Server::usbDac});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(test::processEventsUntil(
      [&] { return onServer(server, {"get-default-sink"}).starts_with(Server::usbDac); }, 5));
  run = test::runTavuno(*bus, {"volume", "30"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(test::processEventsUntil(
      [&] {
        return onServer(server, {"get-sink-volume", Server::usbDac}).find(" 30%") !=
               std::string::npos;
      },
      5));

  // Changed on the server, outside Tavuno.
  onServer(server, {"set-sink-mute", Server::usbDac, "1"});
  ASSERT_TRUE(test::processEventsUntil([&] { return service.state().muted; }, 5));
  run = test::runTavuno(*bus, {"status", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  const auto status = nlohmann::json::parse(run.out.toStdString(), nullptr, false);
  EXPECT_EQ(status["defaultOutput"]["uid"], Server::usbDac);
  EXPECT_EQ(status["volume"], 30);
  EXPECT_EQ(status["muted"], true);

  run = test::runTavuno(*bus, {"mute", "off"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(test::processEventsUntil(
      [&] {
        return onServer(server, {"get-sink-mute", Server::usbDac}).find("no") != std::string::npos;
      },
      5));

  // A profile saved from the server's state, renamed, and deleted while
  // active: the default profile is applied on the server instead.
  run = test::runTavuno(*bus, {"profile", "save", "Desk"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  ASSERT_FALSE(service.state().profiles.empty());
  EXPECT_EQ(service.state().profiles.back().outputUID, Server::usbDac);
  run = test::runTavuno(*bus, {"profile", "rename", "Desk", "Desk 2"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(service.state().profiles.back().name, "Desk 2");
  run = test::runTavuno(*bus, {"profile", "delete", "Desk 2"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  run = test::runTavuno(*bus, {"profile", "list", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  const auto list = nlohmann::json::parse(run.out.toStdString(), nullptr, false);
  ASSERT_TRUE(list["profiles"].is_array());
  ASSERT_EQ(list["profiles"].size(), 1u);
  EXPECT_EQ(list["profiles"][0]["name"], "Default profile");
  EXPECT_EQ(list["profiles"][0]["active"], true);
  EXPECT_TRUE(onServer(server, {"get-default-sink"}).starts_with(Server::usbDac))
      << "the default profile followed the output chosen before";

  // The microphone: chosen and set by the command line, read back from the server, changed
  // there, and put back by a profile that keeps it.
  const std::string mic = Server::headsetMic;
  auto micIs = [&](const char* volume, const char* mute) {
    return onServer(server, {"get-source-volume", mic}).find(volume) != std::string::npos &&
           onServer(server, {"get-source-mute", mic}).find(mute) != std::string::npos;
  };
  run = test::runTavuno(*bus, {"input", "BT Headset Mic"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  ASSERT_TRUE(test::processEventsUntil(
      [&] { return onServer(server, {"get-default-source"}).starts_with(mic); }, 5));
  run = test::runTavuno(*bus, {"input-volume", "50"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  run = test::runTavuno(*bus, {"input-mute", "on"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(test::processEventsUntil([&] { return micIs(" 50%", "yes"); }, 5));
  run = test::runTavuno(*bus, {"profile", "save", "Call"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  // Another profile active, so that what follows changes that one, not "Call".
  run = test::runTavuno(*bus, {"profile", "apply", "Default profile"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  onServer(server, {"set-source-volume", mic, "20%"});
  onServer(server, {"set-source-mute", mic, "0"});
  ASSERT_TRUE(test::processEventsUntil(
      [&] {
        return !service.state().inputMuted && std::fabs(service.state().inputVolume - 0.2f) < 0.01f;
      },
      5))
      << "the change made on the server is seen";
  run = test::runTavuno(*bus, {"profile", "apply", "Call"});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(test::processEventsUntil([&] { return micIs(" 50%", "yes"); }, 5))
      << "the profile puts the microphone back";
  run = test::runTavuno(*bus, {"status", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  const auto after = nlohmann::json::parse(run.out.toStdString(), nullptr, false);
  EXPECT_EQ(after["inputVolume"], 50);
  EXPECT_EQ(after["inputMuted"], true);
}

}  // namespace
}  // namespace tavuno
