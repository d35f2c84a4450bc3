#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <QDBusConnection>

namespace tavuno {

// `tavuno` as the command-line client of the running app: parses a command
// (control/CommandLine.h), calls the matching method of com.tavuno.Tavuno1
// and prints what it answers. Returns the exit status: 0 done, 1 the
// command failed (the app's message on `err`), 2 a usage error, 3 Tavuno is
// not running (no session bus, or nobody holds the name).
class ControlClient {
 public:
  static constexpr int callTimeout = 10000;  // milliseconds

  explicit ControlClient(QDBusConnection bus) : bus_(std::move(bus)) {}

  int run(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);
  // Asks the running instance to show its window; false when none answered.
  bool showRunning();

 private:
  QDBusConnection bus_;
};

}  // namespace tavuno
