// Applications producing audio, found through the Hal's process objects on
// the real server.
#include <unistd.h>

#include "linux/server/LinuxServiceFixture.h"
#include "platform/linux/ProcessProperties.h"

namespace tavuno::test {
namespace {

using Server = PrivateAudioServer;

// Names a pid by what its streams and clients declare: enough to follow the
// Hal's process objects into discovery (desktop files are identity's part).
class DeclaredIdentity : public IdentityPort {
 public:
  explicit DeclaredIdentity(ProcessPropertiesSource properties)
      : properties_(std::move(properties)) {}
  std::vector<RunningApplication> runningApplications() override { return {}; }
  std::optional<RunningApplication> runningApplication(std::int32_t pid) override {
    RunningApplication app{pid, std::nullopt, std::nullopt, std::nullopt};
    for (const auto& list : properties_(pid)) {
      if (!app.bundleIdentifier && list.count("application.id"))
        app.bundleIdentifier = list.at("application.id");
      if (!app.localizedName && list.count("application.name"))
        app.localizedName = list.at("application.name");
    }
    if (!app.bundleIdentifier) return std::nullopt;
    return app;
  }
  std::optional<BundleInfo> openBundle(const std::string&) override { return std::nullopt; }
  std::optional<std::string> executablePath(std::int32_t) override { return std::nullopt; }
  std::int32_t ownPid() override { return getpid(); }

 private:
  ProcessPropertiesSource properties_;
};

TEST_F(LinuxServiceTest, APlayingApplicationIsDiscoveredWithItsOutput) {
  DeclaredIdentity identity(processPropertiesSource(mirror->hub()));
  ServiceOptions options;
  options.startTimer = false;
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
  ASSERT_TRUE(pumpUntil([&] { return found() != nullptr; }, 2.0));
  EXPECT_EQ(found()->name, "Player");
  EXPECT_EQ(found()->nativeOutputIDs, std::vector<AudioObjectID>{idOf(Server::usbDac)});
  ASSERT_EQ(found()->processes.size(), 1u);

  server().stopPlayer(*pid);
  EXPECT_TRUE(pumpUntil([&] { return found() == nullptr; }, 2.0));
  service.reset();
}

}  // namespace
}  // namespace tavuno::test
