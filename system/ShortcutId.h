#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "system/ShortcutKey.h"

namespace tavuno {

// The global shortcuts Tavuno offers. Each has its own switch, letter and
// registration; two of them never share a letter.
enum class ShortcutId { muteOutput, muteInput };

// Every shortcut, in the order they are registered at launch and shown.
inline constexpr std::array<ShortcutId, 2> allShortcutIds{ShortcutId::muteOutput,
                                                          ShortcutId::muteInput};

// A shortcut's place in allShortcutIds, which tables of every shortcut are
// indexed by.
constexpr std::size_t indexOf(ShortcutId id) {
  return static_cast<std::size_t>(id);
}
static_assert(indexOf(allShortcutIds[0]) == 0 && indexOf(allShortcutIds[1]) == 1);

// What stays the same for a shortcut wherever it is registered.
struct ShortcutTraits {
  // "mute-output": its name in the desktop's list of an application's
  // shortcuts, which keeps the user's choice of trigger under it.
  std::string_view name;
  // The id of its HotKeyIdentifier (the signature is Tavuno's).
  std::uint32_t hotKeyID;
  // Its settings: whether it is on, and the raw value of its letter.
  const char* enabledSetting;
  const char* keySetting;
  // The letter it has while none is stored (another shortcut's letter makes
  // it take the first free one).
  ShortcutKey defaultKey;
  // textKey()s: what it does, as the desktop lists it, and the refusal a
  // letter it holds gives another shortcut.
  const char* description;
  const char* heldMessage;
};

const ShortcutTraits& traitsOf(ShortcutId id);

}  // namespace tavuno
