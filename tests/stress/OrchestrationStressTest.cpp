// Many applications starting, failing, changing outputs and disappearing
// while their sessions are built and stopped on real worker threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <random>

#include "platform/sim/SimHal.h"
#include "platform/sim/SimIdentity.h"
#include "platform/std/ThreadMainQueue.h"
#include "platform/std/ThreadSerialQueue.h"
#include "service/AudioService.h"

namespace tavuno {
namespace {

constexpr int appCount = 6;

// Counts live sessions per application from any thread.
struct Ledger {
  std::mutex mutex;
  std::map<AudioObjectID, int> appOfProcess;  // written on the main thread, read by workers
  std::array<std::atomic<int>, appCount> live{};
  std::atomic<int> overlaps{0};
  std::atomic<int> built{0};
  std::atomic<bool> failStarts{false};

  int appOf(const std::vector<AudioObjectID>& processes) {
    std::lock_guard lock(mutex);
    auto it = appOfProcess.find(processes.empty() ? 0 : processes[0]);
    return it == appOfProcess.end() ? -1 : it->second;
  }
};

class StressSession : public ManagedAudioSession {
 public:
  explicit StressSession(Ledger& ledger) : ledger_(ledger) {}
  ~StressSession() override { stop(); }

  SessionDiagnostics diagnostics() const override { return {++callbacks_, 0, 0}; }
  bool cleanupFailed() const override { return false; }
  std::optional<SessionFailure> start(const std::vector<AudioObjectID>& processes,
                                      const AudioDevice&) override {
    app_ = ledger_.appOf(processes);
    if (app_ < 0) return SessionFailure::unsupported("unknown app");
    if (ledger_.live[app_].fetch_add(1) != 0) ledger_.overlaps.fetch_add(1);
    ++ledger_.built;
    running_ = true;
    if (ledger_.failStarts.load()) {
      stop();
      return tapFailure("Criar captura", -1);
    }
    return std::nullopt;
  }
  void stop() override {
    if (running_.exchange(false)) ledger_.live[app_].fetch_sub(1);
  }
  void setGain(float, bool) override {}
  bool shouldStopForBufferHealth(double) override { return false; }

 private:
  Ledger& ledger_;
  int app_ = -1;
  std::atomic<bool> running_{false};
  mutable std::atomic<std::uint32_t> callbacks_{0};
};

TEST(OrchestrationStress, NeverTwoSessionsForOneAppAndNoneLeftBehind) {
  ThreadMainQueue main;
  ThreadSerialQueueFactory workers;
  SimHal hal(main);
  SimIdentity identity;
  InMemoryDefaultsStore defaults;
  Ledger ledger;
  defaults.set("appControlPreferences", Bytes{'{', '"', 'a', 'u', 't', 'o', 'm', 'a', 't', 'i', 'c',
                                              '"', ':', 't', 'r', 'u', 'e', '}'});
  std::shared_ptr<AudioService> service;
  std::vector<AudioObjectID> outputs;
  std::array<std::vector<AudioObjectID>, appCount> processes;
  std::mt19937 random(1234);
  int refreshes = 0;
  const int totalRefreshes = 3000;
  WorkItemRef churn;

  main.post([&] {
    for (int i = 0; i < 3; ++i)
      outputs.push_back(hal.addDevice({.uid = "out" + std::to_string(i), .outputStreams = 1}));
    hal.setDefaultOutput(outputs[0]);
    for (int a = 0; a < appCount; ++a)
      identity.addRunning({.pid = 100 + a,
                           .bundleIdentifier = "app" + std::to_string(a),
                           .localizedName = "App " + std::to_string(a)});
    ServicePorts ports{defaults, main, hal, workers};
    ports.identity = &identity;
    service = AudioService::create(ports, {.startTimer = false, .makeSession = [&ledger](bool) {
                                             return std::make_shared<StressSession>(ledger);
                                           }});

    churn = main.repeatEvery(0.0005, [&] {
      const int a = static_cast<int>(random() % appCount);
      switch (random() % 6) {
        case 0:  // the app starts playing (another process)
        case 1: {
          AudioObjectID p = hal.addProcess({.pid = 100 + a, .runningOutput = true});
          processes[a].push_back(p);
          std::lock_guard lock(ledger.mutex);
          ledger.appOfProcess[p] = a;
          break;
        }
        case 2:  // the app stops
          for (AudioObjectID p : processes[a])
            hal.removeProcess(p);
          processes[a].clear();
          break;
        case 3: {  // the app moves to another output
          const auto& apps = service->state().activeApps;
          auto it = std::find_if(apps.begin(), apps.end(), [&](const ActiveApp& x) {
            return x.id == "app" + std::to_string(a);
          });
          if (it != apps.end())
            service->setAppOutput(*it, "out" + std::to_string(random() % outputs.size()));
          break;
        }
        case 4:
          ledger.failStarts = random() % 3 == 0;
          break;
        default:
          break;
      }
      service->refresh();
      if (++refreshes == totalRefreshes) {
        churn->cancel();
        // Everyone stops; the next refreshes tear every session down.
        for (auto& list : processes) {
          for (AudioObjectID p : list)
            hal.removeProcess(p);
          list.clear();
        }
        service->refresh();
        // Workers still answering shouldStart and completions need the main
        // loop: it stops only once they have long been idle.
        main.postAfter(0.5, [&] {
          service->refresh();
          main.postAfter(0.5, [&] { main.stop(); });
        });
      }
    });
  });
  main.run();

  EXPECT_EQ(refreshes, totalRefreshes);
  EXPECT_GT(ledger.built.load(), 10);
  EXPECT_EQ(ledger.overlaps.load(), 0) << "two sessions of one app were alive at once";
  EXPECT_TRUE(service->state().controlledApps.empty());
  // Destroying the service joins its workers after their queued stops ran.
  service.reset();
  int live = 0;
  for (auto& count : ledger.live)
    live += count.load();
  EXPECT_EQ(live, 0) << "a session was left running for an app no longer desired";
}

}  // namespace
}  // namespace tavuno
