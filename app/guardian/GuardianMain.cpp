// tavuno-guardian: started by Tavuno at its first PulseAudio tap, with one end of a socket
// pair as its standard input. When Tavuno dies the input reaches end of file, and the guardian
// gives the applications back their outputs and unloads Tavuno's null sinks (PulseGuardian.h).
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "base/text/Integer.h"
#include "platform/linux/PulseGuardian.h"

int main(int argc, char** argv) {
  tavuno::GuardianOwner owner;
  std::string journal;
  bool ok = argc == 6 && std::string(argv[1]) == "--owner" && std::string(argv[4]) == "--journal";
  const auto pid = ok ? tavuno::parseInteger<std::int32_t>(argv[2]) : std::nullopt;
  const auto start = ok ? tavuno::parseInteger<std::uint64_t>(argv[3]) : std::nullopt;
  ok = ok && pid && *pid > 0 && start;
  if (!ok) {
    std::fprintf(stderr,
                 "usage: tavuno-guardian --owner PID START --journal DIR\n"
                 "Started by Tavuno; not meant to be run by hand.\n");
    return 2;
  }
  owner.pid = *pid;
  owner.start = *start;
  journal = argv[5];
  // Nothing else of Tavuno's is held here (a lock file kept open would outlive Tavuno).
  ::close_range(3, ~0U, 0);
  // No terminal's signals: the guardian ends when its input does.
  ::signal(SIGHUP, SIG_IGN);
  ::signal(SIGINT, SIG_IGN);
  ::signal(SIGPIPE, SIG_IGN);
  return tavuno::runPulseGuardian(STDIN_FILENO, owner, journal);
}
