#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace tavuno::test {

// Polls `condition` until it holds or `seconds` have passed; true when it held. The condition is
// asked once more after the deadline, so a wait that slept past it still sees a late success.
// Never a fixed sleep: it returns as soon as the condition is met. (A test that needs Qt's event
// loop turned while it waits uses processEventsUntil, tests/ui/QtWait.h.)
inline bool waitUntil(const std::function<bool()>& condition, double seconds,
                      std::chrono::milliseconds poll = std::chrono::milliseconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(poll);
  }
}

}  // namespace tavuno::test
