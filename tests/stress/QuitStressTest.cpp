// Quitting while a session start is in flight on a real worker thread: the
// service's destruction returns, and every session that was built is stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <vector>

#include "platform/sim/SimHal.h"
#include "platform/sim/SimIdentity.h"
#include "platform/std/ThreadMainQueue.h"
#include "platform/std/ThreadSerialQueue.h"
#include "service/AudioService.h"

namespace tavuno {
namespace {

using namespace std::chrono_literals;

// Long enough for a slow sanitizer build; reached only when quitting hangs.
constexpr auto deadline = 30s;

// What the sessions and the test share, from any thread. Sessions hold it
// strongly: a worker finishing after the test has returned touches nothing
// of the test's own.
struct Board {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<bool> stopped;  // per session, in the order they were made
  bool lateWorkerInSync = false;
  std::function<void()> onLateBuild;  // on the late app's worker, inside the factory

  bool waitFor(const std::function<bool()>& done) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, deadline, done);
  }
  bool allStopped(std::size_t count) {
    return stopped.size() == count &&
           std::find(stopped.begin(), stopped.end(), false) == stopped.end();
  }
};

class QuitSession : public ManagedAudioSession {
 public:
  QuitSession(std::shared_ptr<Board> board, std::size_t index)
      : board_(std::move(board)), index_(index) {}
  SessionDiagnostics diagnostics() const override { return {1, 0, 0}; }
  bool cleanupFailed() const override { return false; }
  std::optional<SessionFailure> start(const std::vector<AudioObjectID>&,
                                      const AudioDevice&) override {
    return std::nullopt;
  }
  void stop() override {
    {
      std::lock_guard lock(board_->mutex);
      board_->stopped[index_] = true;
    }
    board_->changed.notify_all();
  }
  void setGain(float, bool) override {}
  bool shouldStopForBufferHealth(double) override { return false; }

 private:
  std::shared_ptr<Board> board_;
  std::size_t index_;
};

// Marks the worker thread that builds the late app's session.
thread_local bool lateWorker = false;

// Tells the board when the late app's worker waits for the main thread.
class WatchedMainQueue : public ThreadMainQueue {
 public:
  explicit WatchedMainQueue(std::shared_ptr<Board> board) : board_(std::move(board)) {}
  void sync(std::function<void()> work) override {
    if (lateWorker) {
      {
        std::lock_guard lock(board_->mutex);
        board_->lateWorkerInSync = true;
      }
      board_->changed.notify_all();
    }
    ThreadMainQueue::sync(std::move(work));
  }

 private:
  std::shared_ptr<Board> board_;
};

// "org.live" gets a running session; once it has, "org.late" starts playing
// and its start reaches the board's onLateBuild inside the session factory.
class QuitTest : public ::testing::Test {
 protected:
  std::shared_ptr<Board> board = std::make_shared<Board>();
  WatchedMainQueue main{board};
  ThreadSerialQueueFactory workers;
  SimHal hal{main};
  SimIdentity identity;
  InMemoryDefaultsStore defaults;
  std::shared_ptr<AudioService> service;
  Observers<ServiceField>::Subscription subscription;

  void startBoth() {
    const std::string automatic = R"({"automatic":true})";
    defaults.set("appControlPreferences", Bytes(automatic.begin(), automatic.end()));
    hal.setDefaultOutput(hal.addDevice({.uid = "out", .outputStreams = 1}));
    identity.addRunning({.pid = 100, .bundleIdentifier = "org.live", .localizedName = "Live"});
    identity.addRunning({.pid = 101, .bundleIdentifier = "org.late", .localizedName = "Late"});
    hal.addProcess({.pid = 100, .runningOutput = true});
    ServicePorts ports{defaults, main, hal, workers};
    ports.identity = &identity;
    service = AudioService::create(
        ports, {.startTimer = false, .makeSession = [board = board](bool) -> SessionRef {
                  std::size_t index;
                  {
                    std::lock_guard lock(board->mutex);
                    index = board->stopped.size();
                    board->stopped.push_back(false);
                  }
                  auto session = std::make_shared<QuitSession>(board, index);
                  if (index == 1) {
                    lateWorker = true;
                    board->onLateBuild();
                  }
                  return session;
                }});
    subscription = service->observe([this](ServiceField field) {
      if (field != ServiceField::controlledApps ||
          !service->state().controlledApps.count("org.live"))
        return;
      subscription.reset();
      main.post([this] {
        hal.addProcess({.pid = 101, .runningOutput = true});
        service->refresh();
      });
    });
  }

  // Serves the main queue on its own thread until it stops or closes; a hang
  // fails the run at the deadline instead of blocking the suite forever.
  void runMainLoop() {
    auto loop = std::async(std::launch::async, [this] { main.run(); });
    if (loop.wait_for(deadline) != std::future_status::ready) {
      std::fprintf(stderr, "quitting hung: the main loop never ended\n");
      std::abort();
    }
  }

  bool liveStopped() {
    std::lock_guard lock(board->mutex);
    return !board->stopped.empty() && board->stopped[0];
  }
};

TEST_F(QuitTest, WhileAStartIsBlockedInTheSessionFactory) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  board->onLateBuild = [this, &release, released] {
    main.post([this, &release] {
      service.reset();  // returns although the worker stays blocked
      EXPECT_TRUE(liveStopped()) << "the running session is stopped before the service is gone";
      release.set_value();
      main.stop();
    });
    released.wait();
  };
  main.post([this] { startBoth(); });
  runMainLoop();
  EXPECT_TRUE(board->waitFor([&] { return board->allStopped(2); }))
      << "the session built after the service went was not stopped";
}

class QuitWhileWaitingTest : public QuitTest, public ::testing::WithParamInterface<bool> {};

TEST_P(QuitWhileWaitingTest, WhileAWorkerWaitsForTheMainThread) {
  const bool applicationClosesFirst = GetParam();
  board->onLateBuild = [this, applicationClosesFirst] {
    // Runs once the worker, back from the factory, waits in sync() to hand
    // its session over.
    main.post([this, applicationClosesFirst] {
      ASSERT_TRUE(board->waitFor([&] { return board->lateWorkerInSync; }));
      if (applicationClosesFirst) main.close();
      service.reset();
      EXPECT_TRUE(liveStopped());
      main.stop();
    });
  };
  main.post([this] { startBoth(); });
  runMainLoop();
  EXPECT_TRUE(board->waitFor([&] { return board->allStopped(2); }))
      << "the session handed over after the close was not discarded";
}

INSTANTIATE_TEST_SUITE_P(Quit, QuitWhileWaitingTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "ApplicationClosesTheQueueFirst"
                                             : "ServiceGoesFirst";
                         });

}  // namespace
}  // namespace tavuno
