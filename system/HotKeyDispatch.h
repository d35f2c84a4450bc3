#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "base/ports/MainQueue.h"
#include "system/ShortcutId.h"

namespace tavuno {

// What a hot-key press names: a four-character signature and a number.
struct HotKeyIdentifier {
  std::uint32_t signature = 0;
  std::uint32_t id = 0;
  bool operator==(const HotKeyIdentifier&) const = default;
};

// Tavuno's hot keys: signature 'TAVN' and the shortcut's own id, with
// Control, Option and Command held (0x1000 | 0x0800 | 0x0100).
inline constexpr std::uint32_t tavunoHotKeySignature = 0x5441564E;  // 'TAVN'
inline constexpr std::uint32_t tavunoHotKeyModifiers = 0x1900;

// What a press of `shortcut` carries.
HotKeyIdentifier hotKeyIdentifier(ShortcutId shortcut);

enum class HotKeyDisposition {
  handled,
  passedOn,  // not ours: the event system gives it to the next handler
};

// The part of a hot-key back end that answers presses, whatever the platform.
// The back end arms a shortcut with its action after a successful
// registration and disarms it when it lets the combination go; its event
// callback hands every press to handle(). handle() may run on any thread the
// event system uses; the actions always run on the main queue.
class HotKeyDispatch {
 public:
  explicit HotKeyDispatch(MainQueue& main) : main_(main) {}

  HotKeyDispatch(const HotKeyDispatch&) = delete;
  HotKeyDispatch& operator=(const HotKeyDispatch&) = delete;

  void arm(ShortcutId shortcut, std::function<void()> action);
  void disarm(ShortcutId shortcut);
  bool armed(ShortcutId shortcut) const;

  // `press` is nothing when the event carried no readable identifier. A
  // press of one of Tavuno's hot keys while it is armed posts its action and
  // is handled; anything else is passed on.
  HotKeyDisposition handle(const std::optional<HotKeyIdentifier>& press);

 private:
  MainQueue& main_;
  mutable std::mutex mutex_;
  // By ShortcutId; empty while disarmed.
  std::array<std::function<void()>, allShortcutIds.size()> actions_;
};

}  // namespace tavuno
