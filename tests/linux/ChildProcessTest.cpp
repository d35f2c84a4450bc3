#include "support/ChildProcess.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/Deadline.h"

namespace tavuno {
namespace {

using test::ChildProcess;
using test::runToCompletion;
using test::waitUntil;

// Gone, or a zombie nobody has reaped yet: either way it runs no more.
bool ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() || text[close + 2] == 'Z';
}

TEST(ChildProcess, ARunGivesItsOutputErrorsAndStatusApartWithTheEnvironmentItWasGiven) {
  ::setenv("TAVUNO_CHILD_TEST", "inherited", 1);
  const auto done = runToCompletion(
      {"sh", "-c", "echo \"$TAVUNO_CHILD_TEST $TAVUNO_CHILD_EXTRA\"; echo oops >&2; exit 3"}, 10,
      {{"TAVUNO_CHILD_TEST", "replaced"}, {"TAVUNO_CHILD_EXTRA", "added"}});
  ::unsetenv("TAVUNO_CHILD_TEST");
  EXPECT_TRUE(done.finished);
  EXPECT_EQ(done.exitCode, 3);
  EXPECT_FALSE(done.succeeded());
  EXPECT_EQ(done.out, "replaced added\n");
  EXPECT_EQ(done.err, "oops\n");
  EXPECT_FALSE(test::outputOf({"false"}, 10)) << "a failed run has no output to trust";
  EXPECT_EQ(runToCompletion({"tavuno-no-such-program"}, 10).exitCode, 127);
}

// A run past its time is killed with everything it started, not only the shell.
TEST(ChildProcess, ARunPastItsTimeIsKilledWithItsGroup) {
  const auto done = runToCompletion({"sh", "-c", "sleep 30 & echo $!; wait"}, 0.5);
  EXPECT_FALSE(done.finished);
  ASSERT_FALSE(done.out.empty());
  const pid_t background = std::stoi(done.out);
  EXPECT_TRUE(waitUntil([&] { return ended(background); }, 5)) << "the background sleep lives on";
}

// A program that ignores SIGTERM is killed once the grace period is over, and the child it
// started goes with it; the "{fd}" pipe carries what it says.
TEST(ChildProcess, StopEscalatesToSigkillAndTakesTheGroup) {
  ChildProcess child({"sh", "-c", "trap '' TERM; sleep 30 & echo $! >&{fd}; wait"});
  ASSERT_TRUE(child.started());
  const auto line = child.readLine(10);
  ASSERT_TRUE(line);
  const pid_t background = std::stoi(*line);
  EXPECT_TRUE(child.running());
  EXPECT_EQ(child.stop(SIGTERM, 0.3), std::nullopt) << "it had to be killed";
  EXPECT_FALSE(child.started());
  EXPECT_TRUE(waitUntil([&] { return ended(background); }, 5));

  ChildProcess polite({"sleep", "30"});
  EXPECT_EQ(polite.stop(SIGTERM, 5), 128 + SIGTERM);
}

// A test process that dies without stopping its children (a crash, a timeout's kill) takes
// them with it.
TEST(ChildProcess, AChildDiesWithTheProcessThatStartedIt) {
  int pids[2];
  ASSERT_EQ(::pipe(pids), 0);
  const pid_t parent = ::fork();
  ASSERT_GE(parent, 0);
  if (parent == 0) {
    ChildProcess child({"sleep", "30"});
    const pid_t pid = child.pid();
    (void)!::write(pids[1], &pid, sizeof pid);
    ::_exit(0);  // no destructor: nothing stops it but the kernel
  }
  ::close(pids[1]);
  pid_t orphan = -1;
  ASSERT_EQ(::read(pids[0], &orphan, sizeof orphan), static_cast<ssize_t>(sizeof orphan));
  ::close(pids[0]);
  ASSERT_EQ(::waitpid(parent, nullptr, 0), parent);
  ASSERT_GT(orphan, 0);
  EXPECT_TRUE(waitUntil([&] { return ended(orphan); }, 5));
}

}  // namespace
}  // namespace tavuno
