// The real platform under a server restart, a hotplug storm, hostile data
// and idleness.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <set>
#include <thread>

#include "linux/server/LinuxServiceFixture.h"
#include "linux/stack/PulseClient.h"
#include "support/ServiceProbe.h"

namespace tavuno::test {
namespace {

using Server = AudioStack;

TEST_F(LinuxServiceTest, AServerRestartKeepsIdsAndAnnouncesNoDeviceChange) {
  notifications->autoAnswer = true;
  makeService();
  service->setNotificationsEnabled(true);
  ASSERT_TRUE(pumpUntil([&] { return service->state().notificationsEnabled; }, 10.0));
  const std::vector<AudioDevice> before = service->state().devices;
  const std::uint64_t connections = mirror->connections();

  ASSERT_EQ(server().restart(), std::nullopt);
  const double back = main.uptime();
  bool devicesChanged = false;
  auto watch = [&](const std::function<bool()>& condition) {
    return [&, condition] {
      devicesChanged |= service->state().devices != before;
      return condition();
    };
  };
  ASSERT_TRUE(pumpUntil(watch([&] { return mirror->connections() > connections; }), 20.0));
  server().pactl({"set-sink-volume", Server::speakers, "40%"});
  EXPECT_TRUE(
      pumpUntil(watch([&] { return std::fabs(service->state().volume - 0.4f) < 0.01f; }), 10.0));
  const double current = main.uptime() - back;
  EXPECT_LT(current, 3.0);
  RecordProperty("seconds_until_current", std::to_string(current));
  pump(0.5);
  EXPECT_FALSE(devicesChanged);
  EXPECT_EQ(service->state().devices, before) << "same ids and UIDs";
  EXPECT_TRUE(notifications->posted().empty());
  EXPECT_TRUE(ServiceProbe::pendingConnections(*service).empty());
}

TEST_F(LinuxServiceTest, AHotplugStormIsFollowedAtABoundedRefreshRate) {
  makeService();
  const std::vector<AudioDevice> before = service->state().devices;
  PulseClient client(server().pulseServer());
  ASSERT_TRUE(client.connected());

  // 100 loads or unloads a second for 5 s, from another thread.
  std::atomic<bool> done{false};
  std::atomic<int> operations{0};
  std::thread storm([&] {
    std::vector<std::uint32_t> loaded;
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < 500; ++i) {
      next += std::chrono::milliseconds(10);
      if (i % 2 == 0 || loaded.empty()) {
        if (auto module =
                client.loadModule("module-null-sink", "sink_name=storm_" + std::to_string(i) +
                                                          " sink_properties=device.bus=usb"))
          loaded.push_back(*module);
      } else {
        client.unloadModule(loaded.back());
        loaded.pop_back();
      }
      ++operations;
      std::this_thread::sleep_until(next);
    }
    for (std::uint32_t module : loaded)
      client.unloadModule(module);
    done = true;
  });
  const std::uint64_t refreshes = ServiceProbe::refreshCount(*service);
  const double start = main.uptime();
  pumpUntil([&] { return done.load(); }, 30.0);
  const double seconds = main.uptime() - start;
  const double rate =
      static_cast<double>(ServiceProbe::refreshCount(*service) - refreshes) / seconds;
  storm.join();
  RecordProperty("refreshes_per_second", std::to_string(rate));
  RecordProperty("operations_per_second", std::to_string(operations / seconds));
  EXPECT_LE(rate, 20.0);

  // Settled: exactly the devices there were, under the same ids.
  EXPECT_TRUE(pumpUntil([&] { return service->state().devices == before; }, 10.0));
}

TEST_F(LinuxServiceTest, HostileServerDataGivesSensibleValues) {
  makeService();
  auto badName =
      server().loadNullSink("bad_name", "device.description='Caixa\xff\xfe " +
                                            std::string(60000, 'x') + "' device.bus=usb");
  // 64 channels asked for.
  auto wide = server().pactl({"load-module", "module-null-sink", "sink_name=wide", "channels=64",
                              "sink_properties=device.bus=usb"});
  ASSERT_TRUE(badName && wide);
  ASSERT_TRUE(pumpUntil([&] { return idOf("bad_name") && idOf("wide"); }, 10.0));

  for (const auto& device : service->state().devices) {
    if (device.uid != "bad_name") continue;
    EXPECT_LE(device.name.size(), PropertyTable::maxNameBytes);
    EXPECT_TRUE(device.name.starts_with("Caixa\xEF\xBF\xBD\xEF\xBF\xBD xxx"));
  }
  // The server keeps at most 32 channels; all of them take the volume.
  ASSERT_TRUE(service->setDefault(idOf("wide"), false));
  EXPECT_EQ(ServiceProbe::outputChannelCount(*service, idOf("wide")), 32u);
  ASSERT_TRUE(service->setVolume(0.5f));
  EXPECT_TRUE(pumpUntil(
      [&] {
        const std::string volume = server().pactl({"get-sink-volume", "wide"}).value_or("");
        return std::count(volume.begin(), volume.end(), '%') == 32 &&
               volume.find("100%") == std::string::npos;
      },
      10.0));

  // A description the protocol cannot carry makes every sink query fail for
  // every client: the mirror keeps retrying without a crash, shows no
  // devices once the grace period is over, and recovers with the same ids.
  const std::vector<AudioDevice> before = service->state().devices;
  auto huge = server().loadNullSink("huge", "device.description='" + std::string(70000, 'x') + "'");
  ASSERT_TRUE(huge);
  EXPECT_TRUE(pumpUntil([&] { return service->state().devices.empty(); }, 20.0));
  ASSERT_TRUE(server().unloadModule(*huge));
  EXPECT_TRUE(pumpUntil([&] { return service->state().devices == before; }, 20.0));

  // A fresh server for the tests that follow: only the standard devices.
  ASSERT_EQ(server().restart(), std::nullopt);
}

// The mirror thread sleeps while the server is quiet.
TEST_F(LinuxServiceTest, TheMirrorDoesNotWakeWhileNothingChanges) {
  makeService();
  // Devices used by earlier tests (or by the server's warm-up) suspend a few seconds after
  // their last stream: wait until every sink and source has.
  ASSERT_TRUE(pumpUntil(
      [&] {
        const std::string devices =
            server().pactl({"list", "short", "sinks"}).value_or("RUNNING") +
            server().pactl({"list", "short", "sources"}).value_or("RUNNING");
        return devices.find("RUNNING") == std::string::npos &&
               devices.find("IDLE") == std::string::npos;
      },
      15.0));
  pump(0.5);
  auto switches = [&] {
    std::ifstream in("/proc/self/task/" + std::to_string(mirror->threadId()) + "/status");
    std::string line;
    long total = 0;
    while (std::getline(in, line))
      if (line.find("ctxt_switches:") != std::string::npos)
        total += std::stol(line.substr(line.find(':') + 1));
    return total;
  };
  const long before = switches();
  const std::uint64_t publications = mirror->hub().publications();
  pump(10.0);  // the service's own 2 s refresh keeps running meanwhile
  EXPECT_EQ(mirror->hub().publications(), publications);
  RecordProperty("mirror_context_switches_in_10s", std::to_string(switches() - before));
  EXPECT_EQ(switches() - before, 0) << "context switches of the mirror thread in 10 s";
}

}  // namespace
}  // namespace tavuno::test
