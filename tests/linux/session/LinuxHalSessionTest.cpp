// The orchestration on the real platform, in real time: the service on the Linux Hal (the
// mirror of the private PipeWire server), its sessions made over the mirror's snapshot, its
// refresh timer, watchdog and retries running on a real main queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "linux/stack/AudioStack.h"
#include "platform/linux/LinuxBackEnd.h"
#include "platform/linux/PipeWireSession.h"
#include "platform/std/ThreadMainQueue.h"
#include "platform/std/ThreadSerialQueue.h"
#include "service/AudioService.h"

namespace tavuno {
namespace {

using test::AudioStack;
using Clock = std::chrono::steady_clock;

class LinuxHalSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AudioStack& s =
        AudioStack::shared({.devices = AudioStack::Devices::session, .privateHome = true});
    if (!s.problem().empty()) {
      if (std::getenv("TAVUNO_REQUIRE_AUDIO_SERVER")) FAIL() << s.problem();
      GTEST_SKIP() << s.problem();
    }
    stack = &s;
    // The players are shells running paplay: installed applications name them by the
    // application.id their streams declare.
    const std::string data = s.root() + "/data";
    std::filesystem::create_directories(data + "/applications");
    for (const char* app : {"HalWatched", "HalStuck", "HalAgain"})
      std::ofstream(data + "/applications/org.example." + app + ".desktop")
          << "[Desktop Entry]\nType=Application\nName=" << app << "\nExec=" << app << "\n";
    backEnd = std::make_unique<LinuxBackEnd>(
        main, LinuxBackEndOptions{.syncTimeout = 10,
                                  .silentServerTimeout = 10,
                                  .desktopDirs = std::vector<std::string>{data}});
    ASSERT_TRUE(backEnd->synced());
    journal = std::make_unique<SteerJournal>(
        s.root() + "/journal-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    sessionPorts.emplace(PipeWireSessionPorts{backEnd->plane(), graphs, *journal});
  }
  void TearDown() override {
    if (service) {
      for (const auto& app : service->state().activeApps)
        service->stopApp(app.id);
      pumpUntil([&] { return service->state().controlledApps.empty(); }, 20);
    }
    service.reset();
    // A worker the service let go may still be finishing a start on this fixture's graph and
    // journal: every session it made must be gone before they are.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!allSessionsGone()) {
      if (Clock::now() >= deadline) {
        std::fprintf(stderr, "a session outlived its test by a minute\n");
        std::abort();
      }
      // A start's answer still queued for the main thread holds its session until served.
      pumpUntil([] { return false; }, 0.01);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    backEnd.reset();
    if (player) stack->stop(player);
  }

  void makeService() {
    ServiceOptions options;
    options.makeSession = [this](bool) -> SessionRef {
      auto session = std::make_shared<PipeWireSession>(*sessionPorts);
      std::lock_guard lock(madeMutex);
      made.push_back(session);
      return session;
    };
    service = AudioService::create({.defaults = defaults,
                                    .main = main,
                                    .hal = backEnd->hal(),
                                    .workers = workers,
                                    .perAppAudioSupported = backEnd->serverConnected(),
                                    .identity = &backEnd->identity()},
                                   std::move(options));
  }
  // Serves the main queue until `condition` holds or `seconds` pass.
  bool pumpUntil(const std::function<bool()>& condition, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      if (condition()) return true;
      if (Clock::now() >= deadline) return false;
      main.postAfter(0.01, [this] { main.stop(); });
      main.run();
    }
  }
  bool allSessionsGone() {
    std::lock_guard lock(madeMutex);
    return std::all_of(made.begin(), made.end(), [](const auto& s) { return s.expired(); });
  }
  std::shared_ptr<PipeWireSession> running(const std::string& id) {
    return std::dynamic_pointer_cast<PipeWireSession>(service->session(id));
  }
  // Waits for a session of `id` other than `before` with the player's stream in its tap.
  std::shared_ptr<PipeWireSession> tapped(const std::string& id,
                                          const std::shared_ptr<PipeWireSession>& before,
                                          double seconds) {
    std::shared_ptr<PipeWireSession> now;
    pumpUntil(
        [&] {
          now = running(id);
          return now && now != before && stack->sinkOf(player) == now->tapName();
        },
        seconds);
    return now && now != before && stack->sinkOf(player) == now->tapName() ? now : nullptr;
  }

  AudioStack* stack = nullptr;
  ThreadMainQueue main;
  InMemoryDefaultsStore defaults;
  ThreadSerialQueueFactory workers;
  std::unique_ptr<LinuxBackEnd> backEnd;
  PipeWireGraphSource graphs;
  std::unique_ptr<SteerJournal> journal;
  std::optional<PipeWireSessionPorts> sessionPorts;
  std::mutex madeMutex;
  std::vector<std::weak_ptr<PipeWireSession>> made;  // any worker thread
  std::shared_ptr<AudioService> service;
  pid_t player = 0;
};

// The tap is a sink on the server but never a device of the Hal; destroyed from outside, the
// session is caught by the watchdog and the retry starts a new one that takes the app again.
TEST_F(LinuxHalSessionTest, TheTapIsNoDeviceAndADestroyedOneIsReplaced) {
  player = stack->playLoop("HalWatched");
  makeService();
  const std::string id = "org.example.HalWatched";
  auto first = tapped(id, nullptr, 20);
  ASSERT_TRUE(first) << service->state().error.value_or("");
  ASSERT_TRUE(pumpUntil(
      [&] {
        for (const auto& [index, sink] : backEnd->hub().snapshot()->state.sinks)
          if (sink.name == first->tapName()) return true;
        return false;
      },
      10));
  std::vector<std::string> uids;
  for (const auto& device : service->state().devices)
    uids.push_back(device.uid);
  EXPECT_EQ(uids, (std::vector<std::string>{"builtin_speakers", "usb_dac"}));

  stack->run({"pw-cli", "destroy", std::to_string(first->tapNode())});
  EXPECT_TRUE(tapped(id, first, 30)) << service->state().error.value_or("");
  EXPECT_FALSE(first->cleanupFailed());
}

// A stream that cannot be put back (something keeps steering it into the tap) fails the
// cleanup: the app is quarantined with the message.
TEST_F(LinuxHalSessionTest, AFailedRestoreQuarantines) {
  sessionPorts->afterTargetWrite = [this](std::uint32_t node, int, bool restoring) {
    if (!restoring) return;
    std::string error;
    auto graph = graphs.current(error);
    for (const auto& r : journal->load()) {
      if (r.node != node) continue;
      graph->waitUntil([&](const auto& v) { return !v.target(node, "target.object"); }, 5);
      graph->setTarget(node, "target.object", r.tap);
      graph->waitUntil([&](const auto& v) { return v.target(node, "target.object") == r.tap; }, 5);
    }
  };
  player = stack->playLoop("HalStuck");
  makeService();
  const std::string id = "org.example.HalStuck";
  ASSERT_TRUE(tapped(id, nullptr, 20)) << service->state().error.value_or("");
  // A first start that failed on a loaded machine and was retried leaves its message on the
  // line, and the quarantine does not replace a message already shown: start from a clear line.
  if (const auto& earlier = service->state().error)
    std::printf("error line before the stop: %s\n", earlier->c_str());
  service->setError(std::nullopt);
  service->stopApp(id);
  EXPECT_TRUE(pumpUntil([&] { return service->state().quarantinedApps.count(id) == 1; }, 20));
  EXPECT_EQ(
      service->state().error,
      tr("O macOS não confirmou a liberação de áudio. Reinicie o Tavuno se o problema persistir."));
}

// The server restarts under a running session (the player reconnects in the same process): the
// app is heard at its gain again within 15 s, watchdog and retry in real time.
TEST_F(LinuxHalSessionTest, AfterAServerRestartTheAppIsHeardAtItsGainWithin15s) {
  player = stack->spawn(
      {"sh", "-c",
       "while :; do PULSE_PROP=\"application.id=org.example.HalAgain application.process.id=$$\" "
       "paplay --client-name=HalAgain " +
           stack->tone() + "; sleep 0.2; done"});
  ASSERT_TRUE(pumpUntil([&] { return !stack->sinkOf(player).empty(); }, 20));
  makeService();
  const std::string id = "org.example.HalAgain";
  ASSERT_TRUE(pumpUntil([&] { return !service->state().activeApps.empty(); }, 20));
  service->setAppMix(service->state().activeApps.at(0), 0.5f, std::nullopt);
  auto heardAtHalf = [&] {
    return std::fabs(stack->level("builtin_speakers").rms - 0.3536 * 0.5) < 0.01;
  };
  auto first = tapped(id, nullptr, 20);
  ASSERT_TRUE(first) << service->state().error.value_or("");
  ASSERT_TRUE(pumpUntil(heardAtHalf, 10));

  const auto restarted = Clock::now();
  ASSERT_EQ(stack->restart(SIGKILL), std::nullopt);
  auto second = tapped(id, first, 30);
  ASSERT_TRUE(second) << service->state().error.value_or("");
  EXPECT_TRUE(pumpUntil(heardAtHalf, 15));
  const double seconds = std::chrono::duration<double>(Clock::now() - restarted).count();
  EXPECT_LT(seconds, 15.0);
  std::printf("heard at its gain again %.1f s after the server restart\n", seconds);
}

}  // namespace
}  // namespace tavuno
