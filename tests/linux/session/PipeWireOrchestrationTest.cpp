// The orchestration's watchdog, retries and quarantine driving real PipeWire sessions. The
// service runs on virtual time and manual workers (the simulated Hal stands for the control
// plane, its process objects for real players); the sessions talk to a private server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "linux/stack/AudioStack.h"
#include "platform/linux/PipeWireSession.h"
#include "platform/sim/SimIdentity.h"
#include "service/AudioService.h"
#include "support/SimPlatform.h"
#include "tests/linux/session/SessionTestPlane.h"

namespace tavuno {
namespace {

using test::AudioStack;
using test::waitUntil;

class PipeWireOrchestrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AudioStack& s =
        AudioStack::shared({.devices = AudioStack::Devices::session, .privateHome = true});
    if (!s.problem().empty()) {
      if (std::getenv("TAVUNO_REQUIRE_AUDIO_SERVER")) FAIL() << s.problem();
      GTEST_SKIP() << s.problem();
    }
    stack = &s;
    journal = std::make_unique<SteerJournal>(
        s.root() + "/journal-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    speakers = platform.hal.addDevice(
        {.uid = "builtin_speakers", .transport = transport::builtIn, .outputStreams = 1});
    platform.hal.setDefaultOutput(speakers);
    plane.outputs = {{speakers, "builtin_speakers"}};
    sessionPorts.emplace(PipeWireSessionPorts{plane, graphs, *journal});
  }
  void TearDown() override {
    service.reset();
    platform.workers.runAll();
    if (player) stack->stop(player);
  }
  // A real player, known to the service as org.example.<app>.
  void play(const std::string& app) {
    player = stack->playLoop(app);
    identity.addRunning(
        {.pid = player, .bundleIdentifier = "org.example." + app, .localizedName = app});
    process = platform.hal.addProcess(
        {.pid = player, .runningOutput = true, .outputDevices = {speakers}});
    plane.pids[process] = player;
  }
  void startService() {
    ServicePorts ports = platform.ports();
    ports.identity = &identity;
    service = AudioService::create(ports,
                                   {.startTimer = false, .makeSession = [this](bool) -> SessionRef {
                                      return std::make_shared<PipeWireSession>(*sessionPorts);
                                    }});
    platform.workers.runAll();
    platform.main.runPending();
  }
  std::shared_ptr<PipeWireSession> running(const std::string& id) {
    return std::dynamic_pointer_cast<PipeWireSession>(service->session(id));
  }

  AudioStack* stack = nullptr;
  test::SimPlatform platform;
  SimIdentity identity;
  test::SessionTestPlane plane;
  PipeWireGraphSource graphs;
  std::unique_ptr<SteerJournal> journal;
  std::optional<PipeWireSessionPorts> sessionPorts;
  std::shared_ptr<AudioService> service;
  AudioObjectID speakers = 0;
  AudioObjectID process = 0;
  pid_t player = 0;
};

// A tap destroyed from outside breaks the session; the next refresh's watchdog tears it down
// and the retry three seconds later starts a new one that takes the app again.
TEST_F(PipeWireOrchestrationTest, ADestroyedTapIsRestarted) {
  play("Watched");
  startService();
  const std::string id = "org.example.Watched";
  auto first = running(id);
  ASSERT_TRUE(first) << service->state().error.value_or("");
  ASSERT_EQ(stack->sinkOf(player), first->tapName());

  stack->run({"pw-cli", "destroy", std::to_string(first->tapNode())});
  ASSERT_TRUE(waitUntil([&] { return first->shouldStopForBufferHealth(0); }, 10));
  service->refresh();
  platform.workers.runAll();
  EXPECT_FALSE(service->session(id));
  EXPECT_TRUE(service->state().error.has_value());
  EXPECT_FALSE(first->cleanupFailed());

  platform.main.advance(AudioService::retryDelay);
  platform.workers.runAll();
  platform.main.runPending();
  auto second = running(id);
  ASSERT_TRUE(second);
  EXPECT_NE(second, first);
  EXPECT_TRUE(waitUntil([&] { return stack->sinkOf(player) == second->tapName(); }, 10));
}

// A stream that cannot be put back (something keeps steering it into the tap) fails the
// cleanup: the app is quarantined with the message, and is not started again.
TEST_F(PipeWireOrchestrationTest, AFailedRestoreQuarantines) {
  sessionPorts->afterTargetWrite = [this](std::uint32_t node, int, bool restoring) {
    if (!restoring) return;
    std::string error;
    for (const auto& r : journal->load()) {
      if (r.node != node) continue;
      auto graph = graphs.current(error);
      // After the session's own write has come back, so that this one is the last.
      graph->waitUntil([&](const auto& v) { return !v.target(node, "target.object"); }, 5);
      graph->setTarget(node, "target.object", r.tap);
      graph->waitUntil([&](const auto& v) { return v.target(node, "target.object") == r.tap; }, 5);
    }
  };
  play("Stuck");
  startService();
  const std::string id = "org.example.Stuck";
  ASSERT_TRUE(running(id));
  service->stopApp(id);
  platform.workers.runAll();
  platform.main.runPending();
  EXPECT_EQ(service->state().quarantinedApps, std::set<std::string>{id});
  EXPECT_EQ(
      service->state().error,
      tr("O macOS não confirmou a liberação de áudio. Reinicie o Tavuno se o problema persistir."));
  service->startApp(service->state().activeApps.at(0));
  platform.workers.runAll();
  EXPECT_FALSE(service->session(id));
}

// The server restarts under a running session (the app, like a browser, reconnects in the same
// process): the broken session is caught by the watchdog, the retry starts a new one on a new
// connection, and the app is heard at its gain again. The server comes back with the same sinks.
TEST_F(PipeWireOrchestrationTest, ServerRestartRecoversAtTheSameGain) {
  // A player that plays again whenever its stream ends, always as the shell's pid.
  player = stack->spawn(
      {"sh", "-c",
       "while :; do PULSE_PROP=\"application.id=org.example.Again application.process.id=$$\" "
       "paplay --client-name=Again " +
           stack->tone() + "; sleep 0.2; done"});
  ASSERT_TRUE(waitUntil([&] { return !stack->sinkOf(player).empty(); }, 20));
  identity.addRunning(
      {.pid = player, .bundleIdentifier = "org.example.Again", .localizedName = "Again"});
  process =
      platform.hal.addProcess({.pid = player, .runningOutput = true, .outputDevices = {speakers}});
  plane.pids[process] = player;
  ServicePorts ports = platform.ports();
  ports.identity = &identity;
  service =
      AudioService::create(ports, {.startTimer = false, .makeSession = [this](bool) -> SessionRef {
                                     return std::make_shared<PipeWireSession>(*sessionPorts);
                                   }});
  service->setAppMix(service->state().activeApps.at(0), 0.5f, std::nullopt);
  platform.workers.runAll();
  platform.main.runPending();
  const std::string id = "org.example.Again";
  auto first = running(id);
  ASSERT_TRUE(first);
  EXPECT_NEAR(stack->settledRms("builtin_speakers", 0.3536 * 0.5), 0.3536 * 0.5, 0.01);

  const auto restarted = std::chrono::steady_clock::now();
  ASSERT_EQ(stack->restart(SIGKILL), std::nullopt);
  ASSERT_TRUE(waitUntil([&] { return first->shouldStopForBufferHealth(0); }, 10));
  service->refresh();  // the watchdog
  platform.workers.runAll();
  EXPECT_FALSE(first->cleanupFailed());
  platform.main.advance(AudioService::retryDelay);
  platform.workers.runAll();
  platform.main.runPending();
  auto second = running(id);
  ASSERT_TRUE(second) << service->state().error.value_or("");
  EXPECT_TRUE(waitUntil([&] { return stack->sinkOf(player) == second->tapName(); }, 10));
  EXPECT_NEAR(stack->settledRms("builtin_speakers", 0.3536 * 0.5), 0.3536 * 0.5, 0.01);
  std::printf(
      "heard at its gain again %.1f s after the restart (watchdog and retry on virtual time)\n",
      std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count());
}

}  // namespace
}  // namespace tavuno
