#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace tavuno::control {

// What a mute argument asks for: "on", "off" or "toggle".
enum class MuteChange { on, off, toggle };

// How a command ended, as the command line reports it: 0 done, 1 failed, 2
// a usage error (an argument the command does not take).
enum class ControlStatus { done = 0, failed = 1, badArgument = 2 };

// The outcome of one command run against the service.
struct ControlResult {
  ControlStatus status = ControlStatus::done;
  // Why it failed, in the current language; empty when done.
  std::string message;
  // What the command answers: a number, a bool or a report object; null
  // when it answers nothing.
  nlohmann::json value;

  static ControlResult done(nlohmann::json value = nullptr) {
    return {ControlStatus::done, {}, std::move(value)};
  }
  static ControlResult failed(std::string message) {
    return {ControlStatus::failed, std::move(message), nullptr};
  }
  static ControlResult badArgument(std::string message) {
    return {ControlStatus::badArgument, std::move(message), nullptr};
  }
  bool ok() const { return status == ControlStatus::done; }
};

}  // namespace tavuno::control
