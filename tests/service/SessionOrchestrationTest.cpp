#include <gtest/gtest.h>

#include "engine/AppControlPreferences.h"
#include "hal/HalReaders.h"
#include "platform/sim/SimIdentity.h"
#include "profiles/ProfileStore.h"
#include "service/AudioService.h"
#include "support/FakeSession.h"
#include "support/ServiceProbe.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

class OrchestrationTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
  test::ScopedLanguage language{test::englishCatalog()};
  SimIdentity identity;
  test::FakeSessionFactory sessions;
  AudioObjectID speakers = 0, player = 0;
  std::shared_ptr<AudioService> service;
  Availability perAppAudio = true;
  bool canMakeSessions = true;

  void SetUp() override {
    speakers = platform.hal.addDevice(
        {.uid = "speakers", .transport = transport::builtIn, .outputStreams = 1});
    platform.hal.setDefaultOutput(speakers);
    identity.addRunning({.pid = 10, .bundleIdentifier = "org.player", .localizedName = "Player"});
    player =
        platform.hal.addProcess({.pid = 10, .runningOutput = true, .outputDevices = {speakers}});
  }
  void make(bool automatic = true, bool allowVirtualDuplex = true) {
    platform.defaults.set("appControlPreferences",
                          json(automatic ? std::string(R"({"automatic":true})")
                                         : std::string(R"({"automatic":false})")));
    ServicePorts ports = platform.ports();
    ports.identity = &identity;
    ports.perAppAudioSupported = perAppAudio;
    service = AudioService::create(
        ports, {.startTimer = false,
                .allowVirtualDuplex = allowVirtualDuplex,
                .makeSession = canMakeSessions ? sessions.factory() : SessionFactory{}});
  }
  void chooseOutput(const std::string& uid) {
    platform.defaults.set(
        "appMix", json(R"({"org.player":{"volume":1,"muted":false,"outputUID":")" + uid + "\"}}"));
  }
  static void failStart(test::FakeSession& s) { s.startFailure = tapFailure("Criar captura", -50); }
  static tavuno::Bytes json(const std::string& text) { return {text.begin(), text.end()}; }
  void drainWorkers() { platform.workers.runAll(); }
  const ActiveApp& app() { return service->state().activeApps.at(0); }
  bool controlled() { return service->state().controlledApps.count("org.player") > 0; }
};

TEST_F(OrchestrationTest, APlayingAppIsStartedOnItsWorkerWithItsGain) {
  platform.defaults.set("appMix", json(R"({"org.player":{"volume":0.25,"muted":false}})"));
  make();
  EXPECT_EQ(service->state().desiredApps, (std::set<std::string>{"org.player"}));
  EXPECT_TRUE(service->state().startingApps.count("org.player"));
  EXPECT_TRUE(sessions.made.empty()) << "nothing is built on the main thread";
  ASSERT_EQ(platform.workers.queues().size(), 1u);
  EXPECT_TRUE(platform.workers.queues()[0]->label().starts_with("com.tavuno.audio.lifecycle."));

  drainWorkers();
  ASSERT_EQ(sessions.made.size(), 1u);
  auto& session = *sessions.made[0];
  EXPECT_EQ(session.startedProcesses, std::vector<AudioObjectID>{player});
  EXPECT_EQ(session.startedOutput.uid, "speakers");
  EXPECT_FLOAT_EQ(session.gain, 0.25f);
  EXPECT_TRUE(controlled());
  EXPECT_TRUE(service->state().startingApps.empty());

  service->setAppMix(app(), 0.5f, true);
  EXPECT_FLOAT_EQ(session.gain, 0.5f);
  EXPECT_TRUE(session.muted);

  service->refresh();
  drainWorkers();
  EXPECT_EQ(sessions.made.size(), 1u) << "an unchanged signature keeps its session";
}

TEST_F(OrchestrationTest, RefreshesDuringAStartWithAnUnchangedCandidateLeaveItAlone) {
  make();
  service->refresh();
  service->refresh();
  EXPECT_EQ(platform.workers.queues()[0]->pendingCount(), 1u) << "one start queued, not three";
  drainWorkers();
  EXPECT_EQ(sessions.made.size(), 1u);
  EXPECT_TRUE(controlled());
}

TEST_F(OrchestrationTest, WithoutAWayToMakeSessionsPlayingAppsAreLeftAlone) {
  canMakeSessions = false;
  make();
  platform.workers.runAll();
  EXPECT_FALSE(service->state().error);
  EXPECT_TRUE(service->state().desiredApps.empty());
}

TEST_F(OrchestrationTest, PerAppSupportIsAskedAgainAtEveryRefresh) {
  bool supported = false;
  perAppAudio = [&] { return supported; };
  const PropertyAddress processList = globalAddress(selector::processObjectList);
  make();
  EXPECT_TRUE(service->state().activeApps.empty());
  EXPECT_EQ(platform.hal.listenerCount(kAudioObjectSystemObject, processList), 0u);
  service->startApp({"org.player", "Player", {player}});
  EXPECT_EQ(service->state().error, "Per-app control is not supported by this audio server.");

  supported = true;
  service->refresh();
  drainWorkers();
  EXPECT_EQ(platform.hal.listenerCount(kAudioObjectSystemObject, processList), 1u);
  EXPECT_TRUE(controlled());

  supported = false;
  service->refresh();
  EXPECT_EQ(platform.hal.listenerCount(kAudioObjectSystemObject, processList), 0u);
  EXPECT_TRUE(controlled()) << "sessions are left as they are";
  service->stopApp("org.player");
  drainWorkers();
  EXPECT_EQ(sessions.made.at(0)->stopCalls, 1) << "a session made earlier is still stopped";
}

TEST_F(OrchestrationTest, IdsThatAreNotUtf8NeitherThrowNorKeepOtherSettingsFromBeingSaved) {
  platform.hal.setDefaultInput(platform.hal.addDevice({.uid = "mic", .inputStreams = 1}));
  make();
  const ActiveApp odd{"org.\xff", "Odd", {}};
  service->setAppMix(odd, 0.3f, true);
  service->setAppOutput(odd, std::string("usb\xfe"));
  service->setAppMix(app(), 0.5f, std::nullopt);
  service->saveProfile("Noite");
  ASSERT_TRUE(service->applyProfile(service->state().profiles.back()));

  auto restarted = platform.makeService({.startTimer = false});
  EXPECT_FLOAT_EQ(restarted->settings("org.player").volume(), 0.5f);
  EXPECT_FALSE(restarted->state().appSettings.count(odd.id));
  EXPECT_EQ(restarted->state().profiles.size(), 2u);
}

TEST_F(OrchestrationTest, AStaleStartIsRefusedAndItsSessionStopped) {
  make();
  service->stopApp("org.player");  // leaves the desired set while the start is queued
  drainWorkers();
  EXPECT_TRUE(sessions.made.empty()) << "shouldStart said no";

  service->startApp(app());
  // The app's processes change while the start runs: a new candidate.
  platform.hal.addProcess({.pid = 10, .runningOutput = true, .outputDevices = {speakers}});
  service->refresh();
  drainWorkers();
  ASSERT_EQ(sessions.made.size(), 1u) << "the first start was abandoned before it ran";
  EXPECT_EQ(sessions.made[0]->startedProcesses.size(), 2u);
  EXPECT_TRUE(controlled());

  // A completion arriving after the app left is refused and stopped.
  platform.hal.addProcess({.pid = 10, .runningOutput = true});
  service->refresh();
  auto& queue = *platform.workers.queues()[0];
  ASSERT_TRUE(queue.runOne());  // stop of the old session
  EXPECT_EQ(sessions.made[0]->stopCalls, 1);
  sessions.next = [this](test::FakeSession&) { service->stopApp("org.player"); };
  queue.runAll();
  ASSERT_EQ(sessions.made.size(), 2u);
  EXPECT_EQ(sessions.made[1]->stopCalls, 1) << "discarded on the worker";
  EXPECT_FALSE(controlled());
}

TEST_F(OrchestrationTest, QuittingDiscardsAStartTheClosedQueueCannotAcceptAndStopsLiveSessions) {
  identity.addRunning({.pid = 11, .bundleIdentifier = "org.radio", .localizedName = "Radio"});
  platform.hal.addProcess({.pid = 11, .runningOutput = true, .outputDevices = {speakers}});
  make();
  ASSERT_EQ(platform.workers.queues().size(), 2u);
  platform.workers.queues()[0]->runAll();  // org.player: started and running
  ASSERT_TRUE(controlled());
  // The application quits while org.radio's session is being built.
  sessions.next = [this](test::FakeSession&) { platform.main.close(); };
  platform.workers.queues()[1]->runAll();
  ASSERT_EQ(sessions.made.size(), 2u);
  EXPECT_EQ(sessions.made[1]->stopCalls, 1) << "built after the close: discarded on its worker";
  EXPECT_FALSE(service->state().controlledApps.count("org.radio"));

  auto running = sessions.made[0];
  EXPECT_EQ(running->stopCalls, 0);
  platform.main.whileAwaiting = [this] { drainWorkers(); };
  service.reset();
  EXPECT_EQ(running->stopCalls, 1) << "stopped while the service goes, not left for later";
  drainWorkers();
  EXPECT_EQ(running->stopCalls, 1);
}

// Quitting with three controlled apps whose restores take, on virtual time, the seconds given
// per app (their workers in start order); the workers run while the service waits.
class QuitRestoreTest : public OrchestrationTest {
 protected:
  void SetUp() override {
    OrchestrationTest::SetUp();
    for (auto [pid, id] : {std::pair{11, "org.radio"}, std::pair{12, "org.tv"}}) {
      identity.addRunning({.pid = pid, .bundleIdentifier = id, .localizedName = id});
      platform.hal.addProcess({.pid = pid, .runningOutput = true, .outputDevices = {speakers}});
    }
    make();
    drainWorkers();
    ASSERT_EQ(service->state().controlledApps.size(), 3u);
    ASSERT_EQ(platform.workers.queues().size(), 3u);
  }
  // How long quitting took.
  double quit(std::vector<double> restoreSeconds) {
    const double asked = platform.main.uptime();
    bool first = true;
    platform.main.whileAwaiting = [this, restoreSeconds, asked, &first] {
      if (first) {
        first = false;
        // Every restore was handed to its worker before the wait began: none ran on the
        // main thread, none waits behind another.
        for (const auto& queue : platform.workers.queues())
          EXPECT_EQ(queue->pendingCount(), 1u);
        for (const auto& session : sessions.made)
          EXPECT_EQ(session->stopCalls, 0);
      }
      for (std::size_t i = 0; i < restoreSeconds.size(); ++i)
        if (platform.main.uptime() - asked >= restoreSeconds[i] - 1e-9)
          platform.workers.queues()[i]->runAll();
    };
    service.reset();
    platform.main.whileAwaiting = nullptr;
    return platform.main.uptime() - asked;
  }
  std::vector<int> stops() {
    std::vector<int> calls;
    for (const auto& session : sessions.made)
      calls.push_back(session->stopCalls);
    return calls;
  }
};

TEST_F(QuitRestoreTest, RestoresRunTogetherAndTheQuitLastsAsLongAsTheSlowest) {
  EXPECT_NEAR(quit({0.2, 0.4, 0.3}), 0.4, AudioService::quitRestoreDeadline / 50)
      << "not their sum, nor the whole deadline";
  EXPECT_EQ(stops(), (std::vector<int>{1, 1, 1}));
}

TEST_F(QuitRestoreTest, RestoresThatStallAreLeftToTheirWorkersAtTheDeadline) {
  const double never = 1e9;
  EXPECT_NEAR(quit({0.3, 3.5, never}), AudioService::quitRestoreDeadline, 1e-6);
  EXPECT_EQ(stops(), (std::vector<int>{1, 0, 0})) << "the late ones are still running";
  // They finish on their own once the service is gone, touching nothing of it.
  drainWorkers();
  platform.main.advance(10);
  EXPECT_EQ(stops(), (std::vector<int>{1, 1, 1}));
}

TEST_F(OrchestrationTest, FailuresAreRetriedTwicePerSignatureThenLeftFailed) {
  sessions.next = [](test::FakeSession& s) { s.startFailure = tapFailure("Criar captura", -50); };
  make();
  drainWorkers();
  EXPECT_EQ(service->state().error, "Could not control Player: Create tap: Core Audio -50");
  for (int i = 0; i < 5; ++i) {
    platform.main.advance(3.0);
    drainWorkers();
  }
  EXPECT_EQ(sessions.made.size(), 3u);
  service->refresh();
  drainWorkers();
  EXPECT_EQ(sessions.made.size(), 3u) << "the failed signature blocks further starts";

  sessions.next = nullptr;
  service->retryApp(app());
  drainWorkers();
  EXPECT_TRUE(controlled());
}

TEST_F(OrchestrationTest, ASessionProvenHealthyEarnsItsRetriesBack) {
  sessions.next = failStart;
  make();
  drainWorkers();  // one retry of this signature spent
  sessions.next = nullptr;
  platform.main.advance(3.0);
  drainWorkers();
  ASSERT_TRUE(controlled());
  platform.main.advance(10.0);  // the health check finds it sound

  sessions.next = failStart;
  sessions.made.back()->unhealthy = true;
  service->refresh();
  for (int i = 0; i < 4; ++i) {
    platform.main.advance(3.0);
    drainWorkers();
  }
  EXPECT_EQ(sessions.made.size(), 4u) << "two retries after the stream failed, not one";
}

TEST_F(OrchestrationTest, BadBufferHealthStopsAStreamWhoseCallbacksStillRun) {
  make();
  drainWorkers();
  service->refresh();
  sessions.made[0]->callbacks = 2;
  sessions.made[0]->unhealthy = true;
  service->refresh();
  EXPECT_FALSE(controlled());
  EXPECT_NE(service->state().error->find("stopped"), std::string::npos);
  EXPECT_TRUE(service->sessions().failedSignature("org.player"));
}

TEST_F(OrchestrationTest, RecordingAppsArePassedThroughUntilTheyStop) {
  make();
  drainWorkers();
  ASSERT_TRUE(controlled());
  AudioObjectID mic = platform.hal.addProcess({.pid = 10, .runningInput = true});
  service->refresh();
  drainWorkers();
  EXPECT_FALSE(controlled());
  EXPECT_TRUE(service->state().passthroughApps.count("org.player"));
  EXPECT_EQ(sessions.made[0]->stopCalls, 1);
  service->setAppMix(app(), 0.1f, std::nullopt);
  EXPECT_FALSE(platform.defaults.contains("appMix")) << "no changes during a call";

  platform.hal.removeProcess(mic);
  service->refresh();
  drainWorkers();
  EXPECT_TRUE(controlled());
  EXPECT_TRUE(service->state().passthroughApps.empty());
  EXPECT_EQ(sessions.made.size(), 2u);
}

TEST_F(OrchestrationTest, AChosenOutputThatGoesAwayIsWaitedFor) {
  AudioObjectID usb = platform.hal.addDevice({.uid = "usb", .outputStreams = 1});
  make();
  drainWorkers();
  service->setAppOutput(app(), "usb");
  drainWorkers();
  ASSERT_EQ(sessions.made.size(), 2u);
  EXPECT_EQ(sessions.made[1]->startedOutput.uid, "usb");

  platform.hal.removeDevice(usb);
  service->refresh();
  drainWorkers();
  EXPECT_FALSE(controlled()) << "no fallback to the default output";
  platform.hal.addDevice({.uid = "usb", .outputStreams = 1});
  service->refresh();
  drainWorkers();
  EXPECT_TRUE(controlled());
  EXPECT_EQ(sessions.made.back()->startedOutput.uid, "usb");

  service->setAppOutput(app(), "");
  drainWorkers();
  EXPECT_EQ(sessions.made.back()->startedOutput.uid, "speakers");
}

// An app that plays to a device of its own choice keeps it while nothing is chosen for it in
// Tavuno; the system default chosen in Tavuno, or another device, wins over it.
TEST_F(OrchestrationTest, AnAppKeepsTheOutputItChoseItselfUntilOneIsChosenInTavuno) {
  AudioObjectID usb = platform.hal.addDevice({.uid = "usb", .outputStreams = 1});
  platform.hal.setProcessDevices(player, {usb});
  make();
  drainWorkers();
  ASSERT_EQ(sessions.made.size(), 1u);
  EXPECT_EQ(sessions.made[0]->startedOutput.uid, "usb") << "not moved to the default";
  EXPECT_EQ(app().ownOutputUID, "usb");
  // While its streams are Tavuno's they play to no device of their own; the choice stays.
  platform.hal.setProcessDevices(player, {});
  service->refresh();
  drainWorkers();
  EXPECT_EQ(sessions.made.size(), 1u);
  EXPECT_EQ(app().ownOutputUID, "usb");

  service->setAppOutput(app(), std::nullopt);  // "Padrão do sistema"
  drainWorkers();
  EXPECT_EQ(sessions.made.back()->startedOutput.uid, "speakers");
  service->setAppOutput(app(), "usb");
  drainWorkers();
  EXPECT_EQ(sessions.made.back()->startedOutput.uid, "usb");
}

// An app seen while the server still links its streams (they play, on no device yet) is taken
// once they are placed, on the output they went to; streams never placed go to the default
// after a second.
TEST_F(OrchestrationTest, StreamsOnTheirWayToADeviceAreTakenWhereTheyArrive) {
  AudioObjectID usb = platform.hal.addDevice({.uid = "usb", .outputStreams = 1});
  platform.hal.setProcessDevices(player, {});
  make();
  drainWorkers();
  EXPECT_TRUE(sessions.made.empty());
  platform.hal.setProcessDevices(player, {usb});
  platform.main.advance(0.1);
  drainWorkers();
  ASSERT_EQ(sessions.made.size(), 1u);
  EXPECT_EQ(sessions.made[0]->startedOutput.uid, "usb") << "not taken to the default";

  service->stopApp("org.player");
  drainWorkers();
  platform.hal.setProcessDevices(player, {});
  service->startApp(app());  // the user's own start does not wait
  drainWorkers();
  EXPECT_EQ(sessions.made.size(), 2u);
  service->stopApp("org.player");
  drainWorkers();
  platform.defaults.set("appControlPreferences", json(R"({"automatic":true})"));
  make();
  platform.main.advance(0.5);
  drainWorkers();
  EXPECT_EQ(sessions.made.size(), 2u) << "still waiting for the streams";
  platform.main.advance(1.0);
  drainWorkers();
  ASSERT_EQ(sessions.made.size(), 3u);
  EXPECT_EQ(sessions.made.back()->startedOutput.uid, "speakers");
}

// An app on the default output follows the default; one seen elsewhere just after the default
// changed is on its way there, not on an output of its own.
TEST_F(OrchestrationTest, AnAppOnTheDefaultOutputHasNoOutputOfItsOwn) {
  AudioObjectID usb = platform.hal.addDevice({.uid = "usb", .outputStreams = 1});
  make(false);
  EXPECT_EQ(app().ownOutputUID, std::nullopt);
  platform.hal.setDefaultOutput(usb);
  service->refresh();
  EXPECT_EQ(app().ownOutputUID, std::nullopt) << "the streams follow the new default";
  platform.hal.setProcessDevices(player, {usb});
  service->refresh();
  EXPECT_EQ(app().ownOutputUID, std::nullopt);
}

TEST_F(OrchestrationTest, RetryingWhileTheChosenOutputIsGoneExplainsAndStartsNothing) {
  chooseOutput("usb");
  make();
  ASSERT_TRUE(service->state().desiredApps.count("org.player"));
  service->retryApp(app());
  EXPECT_EQ(service->state().error,
            "The output chosen for Player is unavailable. Control will resume when it returns.");
  EXPECT_FALSE(service->sessions().hasPendingStart("org.player"));
  drainWorkers();
  EXPECT_TRUE(sessions.made.empty());
}

TEST_F(OrchestrationTest, ACleanupFailureQuarantinesTheAppForGood) {
  sessions.next = [](test::FakeSession& s) {
    s.startFailure = tapFailure("Criar captura", -1);
    s.failCleanup = true;
  };
  make();
  drainWorkers();
  platform.main.runPending();
  EXPECT_TRUE(service->state().quarantinedApps.count("org.player"));
  EXPECT_EQ(sessions.made[0]->stopCalls, 1);
  EXPECT_NE(service->state().error->find("did not confirm"), std::string::npos)
      << "the quarantine ran before the completion, which was then refused";
  platform.main.advance(10.0);
  service->refresh();
  service->retryApp(app());
  drainWorkers();
  EXPECT_EQ(sessions.made.size(), 1u);
}

TEST_F(OrchestrationTest, StalledStartsAndDeadStreamsAreReported) {
  make();
  platform.main.advance(15.0);
  EXPECT_TRUE(service->state().stalledStarts.count("org.player"));
  EXPECT_TRUE(service->state().startingApps.empty());
  EXPECT_EQ(ServiceProbe::stalledWarningOwner(*service), "org.player");
  ASSERT_TRUE(service->state().error);

  sessions.next = [](test::FakeSession& s) { s.callbacks = 0; };
  drainWorkers();
  EXPECT_FALSE(service->state().error) << "the stalled warning goes with its start";
  EXPECT_TRUE(controlled());
  platform.main.advance(4.0);
  EXPECT_FALSE(controlled()) << "no callback 4 s after the start";
  EXPECT_NE(service->state().error->find("did not start"), std::string::npos);

  // The retry 3 s later gives a session whose callbacks then freeze.
  sessions.next = nullptr;
  platform.main.advance(3.0);
  drainWorkers();
  ASSERT_TRUE(controlled());
  service->setError(std::nullopt);
  service->refresh();
  platform.main.advance(5.9);
  service->refresh();
  EXPECT_TRUE(controlled());
  platform.main.advance(0.1);
  service->refresh();
  EXPECT_FALSE(controlled()) << "six seconds without progress";
  EXPECT_NE(service->state().error->find("stopped"), std::string::npos);
}

TEST_F(OrchestrationTest, ManualControlFollowsStartAndStopApp) {
  make(false);
  EXPECT_TRUE(service->state().desiredApps.empty());
  service->startApp(app());
  drainWorkers();
  EXPECT_TRUE(controlled());
  service->stopApp("org.player");
  drainWorkers();
  service->refresh();
  drainWorkers();
  EXPECT_FALSE(controlled());
  auto stored = platform.defaults.data("appControlPreferences");
  ASSERT_TRUE(stored);
  auto json = std::string(stored->begin(), stored->end());
  EXPECT_NE(json.find("\"excluded\":[\"org.player\"]"), std::string::npos) << json;

  // An id switched on stays desired while its app is silent.
  service->startApp(app());
  platform.hal.removeProcess(player);
  service->refresh();
  EXPECT_TRUE(service->state().desiredApps.count("org.player"));
  EXPECT_FALSE(controlled());
}

TEST_F(OrchestrationTest, TheAutomaticSwitchIsStoredAndFollowedAtOnce) {
  make(false);
  service->setAutomaticControl(true);
  EXPECT_TRUE(AppControlPreferences::loadState(platform.defaults).preferences.automatic);
  drainWorkers();
  EXPECT_TRUE(controlled());

  service->setAutomaticControl(false);
  EXPECT_FALSE(AppControlPreferences::loadState(platform.defaults).preferences.automatic);
  EXPECT_TRUE(service->state().desiredApps.empty());
  drainWorkers();
  EXPECT_FALSE(controlled());
  EXPECT_EQ(sessions.made[0]->stopCalls, 1);
}

TEST_F(OrchestrationTest, WithoutPerAppAudioNothingIsDiscoveredOrStarted) {
  ServicePorts ports = platform.ports();
  ports.identity = &identity;
  ports.perAppAudioSupported = false;
  service = AudioService::create(ports, {.startTimer = false, .makeSession = sessions.factory()});
  EXPECT_TRUE(service->state().activeApps.empty());
  EXPECT_EQ(service->state().runningApps.size(), 1u) << "only the per-app step is skipped";
  EXPECT_EQ(platform.hal.listenerCount(kAudioObjectSystemObject,
                                       globalAddress(selector::processObjectList)),
            0u);

  service->startApp({.id = "org.player", .name = "Player", .processes = {player}});
  EXPECT_EQ(service->state().error, "Per-app control is not supported by this audio server.");
  drainWorkers();
  EXPECT_TRUE(sessions.made.empty());
}

TEST_F(OrchestrationTest, ApplyingAProfileRegainsLiveSessionsAndForgetsFailures) {
  platform.hal.addDevice({.uid = "mic", .inputStreams = 1});
  const AudioProfile quiet{Uuid::random(), "Quieto",
                           "mic",          "speakers",
                           std::nullopt,   AppMixMap{{"org.player", AppMix(0.3, true)}}};
  ProfileStore::save({quiet}, platform.defaults);
  make();
  drainWorkers();
  ASSERT_TRUE(service->applyProfile(quiet));
  EXPECT_FLOAT_EQ(sessions.made[0]->gain, 0.3f) << "the live session has the profile's mix";
  EXPECT_TRUE(sessions.made[0]->muted);

  sessions.made[0]->unhealthy = true;
  service->refresh();
  ASSERT_TRUE(service->sessions().failedSignature("org.player"));
  ASSERT_TRUE(service->applyProfile(quiet));
  EXPECT_FALSE(service->sessions().failedSignature("org.player"));
  drainWorkers();
  EXPECT_TRUE(controlled()) << "started again by the apply, not after the retry delay";
}

TEST_F(OrchestrationTest, VirtualOutputsWithAnInputGetTheDuplexSession) {
  platform.hal.addDevice({.uid = "loop",
                          .transport = transport::virtualDevice,
                          .inputStreams = 1,
                          .outputStreams = 1});
  make();
  drainWorkers();
  service->setAppOutput(app(), "loop");
  drainWorkers();
  ASSERT_EQ(sessions.made.size(), 2u);
  EXPECT_FALSE(sessions.made[0]->duplex);
  EXPECT_TRUE(sessions.made[1]->duplex);
}

TEST_F(OrchestrationTest, WithoutVirtualDuplexAVirtualOutputGetsTheStandardSession) {
  platform.hal.addDevice({.uid = "loop",
                          .transport = transport::virtualDevice,
                          .inputStreams = 1,
                          .outputStreams = 1});
  chooseOutput("loop");
  make(true, false);
  drainWorkers();
  ASSERT_EQ(sessions.made.size(), 1u);
  EXPECT_EQ(sessions.made[0]->startedOutput.uid, "loop");
  EXPECT_FALSE(sessions.made[0]->duplex);
}

}  // namespace
}  // namespace tavuno
