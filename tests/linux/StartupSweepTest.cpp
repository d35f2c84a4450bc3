// The start-up sweep against a server that accepts its connection and never answers (as one
// whose processes are stopped does): the app is not held up, and no session is handed out
// before the sweep is over.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <string>

#include "platform/linux/LinuxSessionFactory.h"
#include "support/TempDir.h"
#include "tests/linux/session/SessionTestPlane.h"

namespace tavuno {
namespace {

using Clock = std::chrono::steady_clock;

// Sets an environment variable (nothing: unsets it) for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (previous_)
      ::setenv(name_, previous_->c_str(), 1);
    else
      ::unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

// A socket at `path`, listening and never accepting: a client's connection goes through and
// its requests are never answered.
class SilentServer {
 public:
  explicit SilentServer(std::string path) : path_(std::move(path)) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    listening_ = fd_ >= 0 &&
                 ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(fd_, 8) == 0;
  }
  ~SilentServer() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  bool listening() const { return listening_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool listening_ = false;
};

// A PulseAudio server (no PipeWire) that never answers: the sweep waits out its connection's
// deadline, while a session made without waiting for it would be handed out at once.
TEST(StartupSweep, DoesNotHoldTheCallerUpAndSessionsWaitForIt) {
  test::TempDir runtime, journal;
  const std::string pulse = (runtime.path() / "pulse-native").string();
  ScopedEnv pipewireDir("PIPEWIRE_RUNTIME_DIR", runtime.path().string());
  ScopedEnv pipewireRemote("PIPEWIRE_REMOTE", std::nullopt);
  ScopedEnv pulseServer("PULSE_SERVER", "unix:" + pulse);
  SilentServer server(pulse);
  ASSERT_TRUE(server.listening());
  test::SessionTestPlane plane;
  plane.pipewire = false;
  LinuxSessionFactory sessions(plane, journal.path().string());

  std::atomic<bool> swept{false};
  const auto asked = Clock::now();
  sessions.sweepInBackground([&](int) { swept = true; });
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - asked).count(), 0.5)
      << "the sweep ran on the caller's thread";

  // A worker asking for a session meanwhile gets it only once the sweep is over.
  auto handedOut = std::async(std::launch::async, [&] {
    auto session = sessions.factory()(false);
    return session && swept.load();
  });
  ASSERT_EQ(handedOut.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_TRUE(handedOut.get()) << "a session was handed out before the sweep was done";
}

}  // namespace
}  // namespace tavuno
