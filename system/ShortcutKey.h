#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavuno {

// The letter of the global mute shortcut, pressed with Control, Option and
// Command. Identified by its raw value ("m", "v", "s"), which is what the
// settings store keeps.
enum class ShortcutKey { m, v, s };

// Every key, in the order the settings screen offers them.
inline constexpr std::array<ShortcutKey, 3> allShortcutKeys{ShortcutKey::m, ShortcutKey::v,
                                                            ShortcutKey::s};

std::string_view rawValue(ShortcutKey key);
// The key whose raw value is `raw`; nothing for any other text.
std::optional<ShortcutKey> shortcutKeyFromRaw(std::string_view raw);

}  // namespace tavuno
