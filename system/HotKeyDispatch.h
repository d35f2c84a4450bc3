#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "base/ports/MainQueue.h"

namespace tavuno {

// What a hot-key press names: a four-character signature and a number.
struct HotKeyIdentifier {
  std::uint32_t signature = 0;
  std::uint32_t id = 0;
};

// Tavuno's one hot key: signature 'TAVN', id 1, with Control, Option and
// Command held (0x1000 | 0x0800 | 0x0100).
inline constexpr std::uint32_t tavunoHotKeySignature = 0x5441564E;  // 'TAVN'
inline constexpr std::uint32_t tavunoHotKeyID = 1;
inline constexpr std::uint32_t tavunoHotKeyModifiers = 0x1900;

enum class HotKeyDisposition {
  handled,
  passedOn,  // not ours: the event system gives it to the next handler
};

// The part of a hot-key back end that answers presses, whatever the platform.
// The back end arms it with the action after a successful registration and
// disarms it when it lets the combination go; its event callback hands every
// press to handle(). handle() may run on any thread the event system uses;
// the action always runs on the main queue.
class HotKeyDispatch {
 public:
  explicit HotKeyDispatch(MainQueue& main) : main_(main) {}

  HotKeyDispatch(const HotKeyDispatch&) = delete;
  HotKeyDispatch& operator=(const HotKeyDispatch&) = delete;

  void arm(std::function<void()> action);
  void disarm();
  bool armed() const;

  // `press` is nothing when the event carried no readable identifier. A
  // press of Tavuno's hot key while armed posts the action and is handled;
  // anything else is passed on.
  HotKeyDisposition handle(const std::optional<HotKeyIdentifier>& press);

 private:
  MainQueue& main_;
  mutable std::mutex mutex_;
  std::function<void()> action_;  // empty while disarmed
};

}  // namespace tavuno
