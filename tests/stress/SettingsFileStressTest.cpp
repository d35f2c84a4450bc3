// The settings file under real threads and real crashes: changes from several
// threads while the writer thread replaces the file behind them, and a writer
// process killed at random moments, hundreds of times.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <barrier>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "platform/sim/SimMainQueue.h"
#include "platform/std/FileDefaultsStore.h"
#include "platform/std/SettingsCodec.h"
#include "support/TempDir.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<fs::path> entries(const fs::path& directory) {
  std::vector<fs::path> result;
  for (const auto& entry : fs::directory_iterator(directory))
    result.push_back(entry.path());
  return result;
}

TEST(SettingsFileStress, TheWriterThreadFollowsChangesFromEveryThread) {
  test::TempDir dir;
  const fs::path file = dir.path() / "settings.json";
  constexpr int threads = 3;
  constexpr std::int64_t steps = 3000;
  FileDefaultsStore store(file);
  std::barrier start(threads);
  std::vector<std::thread> changers;
  for (int t = 0; t < threads; ++t) {
    changers.emplace_back([&, t] {
      const std::string key = "key" + std::to_string(t);
      start.arrive_and_wait();
      for (std::int64_t step = 0; step < steps; ++step) {
        store.set(key, step);
        store.set("shared", Bytes(64 + step % 512, static_cast<std::uint8_t>(t)));
        if (store.integer(key) != step) ADD_FAILURE() << key << " lost step " << step;
        if (t == 0 && step % 1000 == 500) store.flush();
      }
    });
  }
  for (auto& changer : changers)
    changer.join();

  // The writer catches up by itself.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (store.pending() && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(store.pending());
  auto onDisk = decodeSettings(test::slurp(file));
  ASSERT_TRUE(onDisk);
  for (int t = 0; t < threads; ++t)
    EXPECT_EQ(std::get<std::int64_t>(onDisk->at("key" + std::to_string(t))), steps - 1);
  EXPECT_EQ(onDisk->at("shared"), *store.value("shared"));
  // Three flushes, the bursts the writer thread saw, and the catch-up.
  EXPECT_LE(store.replacements(), 20u);
}

// What the writer process stores at step n: sizes and bytes that differ from
// step to step, so that a file mixing two steps cannot pass for either.
Bytes payloadFor(std::int64_t n) {
  Bytes bytes(1000 + static_cast<std::size_t>(n * 7919 % 8000));
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(n * 31 + static_cast<std::int64_t>(i));
  return bytes;
}

bool holdsStep(const std::map<std::string, DefaultsValue>& values, std::int64_t n) {
  auto counter = values.find("counter");
  auto payload = values.find("payload");
  return counter != values.end() && counter->second == DefaultsValue(n) &&
         payload != values.end() && payload->second == DefaultsValue(payloadFor(n));
}

// The child: reports the step it loaded, then stores step after step, each
// made durable by flush() before it is reported. Never returns.
[[noreturn]] void writeSteps(const fs::path& file, int report) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  SimMainQueue writer;
  FileDefaultsStore store(file, writer);
  std::int64_t n = store.integer("counter").value_or(-1);
  for (;;) {
    if (::write(report, &n, sizeof n) != sizeof n) ::_exit(2);
    ++n;
    store.set("counter", n);
    store.set("payload", payloadFor(n));
    if (!store.flush()) ::_exit(3);
  }
}

// Kills and reaps the child however the test ends.
struct Child {
  pid_t pid = -1;
  ~Child() {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
};

// The next step the child reports; false when it died or went quiet.
bool nextReport(int fd, std::int64_t& step) {
  pollfd ready{fd, POLLIN, 0};
  if (::poll(&ready, 1, 10'000) != 1) return false;
  return ::read(fd, &step, sizeof step) == sizeof step;
}

// Memory-backed when the machine has it: a process crash does not need the
// disk flushes, and without their waits the kills land anywhere in a write.
fs::path fastTemporaryFolder() {
  std::error_code error;
  if (fs::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return fs::temp_directory_path();
}

TEST(SettingsFileStress, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
  test::TempDir dir(fastTemporaryFolder());
  const fs::path file = dir.path() / "settings.json";
  {
    SimMainQueue writer;
    FileDefaultsStore seed(file, writer);
    seed.set("counter", std::int64_t{0});
    seed.set("payload", payloadFor(0));
    seed.set("other", std::string("kept through every crash"));
    ASSERT_TRUE(seed.flush());
  }
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::int64_t onDisk = 0;
  for (int kill = 0; kill < 200; ++kill) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    Child child;
    child.pid = ::fork();
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
      ::close(fds[0]);
      writeSteps(file, fds[1]);
    }
    ::close(fds[1]);
    // The child reports the step it loaded, then each step it made durable.
    // It is killed after the parent has seen zero to two of those, and a
    // random instant more: somewhere in writing a later step.
    std::int64_t durable = -1;
    const int steps = static_cast<int>(random() % 3);
    for (int i = 0; i <= steps; ++i) {
      std::int64_t reported;
      ASSERT_TRUE(nextReport(fds[0], reported)) << "kill " << kill;
      ASSERT_EQ(reported, i == 0 ? onDisk : durable + 1) << "kill " << kill;
      durable = reported;
    }
    const auto until = Clock::now() + std::chrono::microseconds(random() % 400);
    while (Clock::now() < until) {
    }
    ::kill(child.pid, SIGKILL);
    ::waitpid(child.pid, nullptr, 0);
    child.pid = -1;
    // Reports the child wrote before it died, not read yet.
    for (std::int64_t reported; ::read(fds[0], &reported, sizeof reported) == sizeof reported;)
      durable = reported;
    ::close(fds[0]);

    auto values = decodeSettings(test::slurp(file));
    ASSERT_TRUE(values) << "kill " << kill << ": the file does not parse";
    ASSERT_TRUE(holdsStep(*values, durable) || holdsStep(*values, durable + 1))
        << "kill " << kill << ": neither step " << durable << " nor the next";
    ASSERT_EQ(values->at("other"), DefaultsValue(std::string("kept through every crash")));
    onDisk = std::get<std::int64_t>(values->at("counter"));
  }
  // A start clears what interrupted replacements left behind.
  SimMainQueue writer;
  FileDefaultsStore reopened(file, writer);
  EXPECT_EQ(reopened.integer("counter"), onDisk);
  EXPECT_EQ(entries(dir.path()), std::vector<fs::path>{file});
}

}  // namespace
}  // namespace tavuno
