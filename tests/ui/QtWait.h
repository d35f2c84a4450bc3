#pragma once

#include <chrono>
#include <functional>

#include <QCoreApplication>
#include <QThread>

namespace tavuno::test {

// Runs the event loop until `done` holds or `seconds` have passed; true when
// it held. Never a fixed sleep: it returns as soon as the condition is met.
// For a condition that Qt's event loop makes true (a D-Bus answer, a window
// shown); one that needs no loop turned waits with waitUntil
// (support/Deadline.h).
inline bool processEventsUntil(const std::function<bool()>& done, double seconds = 5.0) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::yieldCurrentThread();
  }
  return true;
}

}  // namespace tavuno::test
