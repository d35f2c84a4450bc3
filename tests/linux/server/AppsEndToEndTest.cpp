// Applications producing audio, found through the Hal's process objects on
// the real server and named by the Linux identity.
#include <filesystem>
#include <fstream>

#include "linux/server/LinuxServiceFixture.h"
#include "platform/linux/DesktopIndex.h"
#include "platform/linux/LinuxIdentity.h"
#include "platform/linux/ProcessProperties.h"

namespace tavuno::test {
namespace {

using Server = AudioStack;

TEST_F(LinuxServiceTest, APlayingApplicationIsDiscoveredWithItsOutput) {
  // The player's declared application.id names an installed desktop file.
  const std::string data = server().root() + "/data";
  std::filesystem::create_directories(data + "/applications");
  std::ofstream(data + "/applications/org.example.Player.desktop")
      << "[Desktop Entry]\nType=Application\nName=Player\nName[pt_BR]=Tocador\nExec=player\n";
  DesktopIndex desktop({data});
  LinuxIdentity identity(desktop, {.serverProperties = processPropertiesSource(mirror->hub()),
                                   .language = [] { return std::string("pt"); }});
  ServiceOptions options;
  options.startTimer = false;
  options.makeSession = [](bool) { return SessionRef(); };  // never started: no worker runs
  service = AudioService::create(
      {.defaults = defaults, .main = main, .hal = *hal, .workers = workers, .identity = &identity},
      std::move(options));
  auto pid = server().play("org.example.Player", "Player", Server::usbDac);
  ASSERT_TRUE(pid);
  auto found = [&]() -> const ActiveApp* {
    for (const auto& app : service->state().activeApps)
      if (app.id == "org.example.Player") return &app;
    return nullptr;
  };
  ASSERT_TRUE(pumpUntil([&] { return found() != nullptr; }, 10.0));
  EXPECT_EQ(found()->name, "Tocador");
  EXPECT_EQ(found()->nativeOutputIDs, std::vector<AudioObjectID>{idOf(Server::usbDac)});
  ASSERT_EQ(found()->processes.size(), 1u);

  server().stopPlayer(*pid);
  EXPECT_TRUE(pumpUntil([&] { return found() == nullptr; }, 10.0));
  service.reset();
}

}  // namespace
}  // namespace tavuno::test
