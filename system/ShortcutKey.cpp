#include "system/ShortcutKey.h"

namespace tavuno {

std::string_view rawValue(ShortcutKey key) {
  switch (key) {
    case ShortcutKey::m:
      return "m";
    case ShortcutKey::v:
      return "v";
    case ShortcutKey::s:
      return "s";
  }
  return "m";
}

std::optional<ShortcutKey> shortcutKeyFromRaw(std::string_view raw) {
  for (ShortcutKey key : allShortcutKeys)
    if (rawValue(key) == raw) return key;
  return std::nullopt;
}

std::uint16_t virtualKeyCode(ShortcutKey key) {
  switch (key) {
    case ShortcutKey::m:
      return 0x2E;
    case ShortcutKey::v:
      return 0x09;
    case ShortcutKey::s:
      return 0x01;
  }
  return 0x2E;
}

std::string label(ShortcutKey key) {
  std::string text = "⌃⌥⌘";
  text += static_cast<char>(rawValue(key)[0] - 'a' + 'A');
  return text;
}

}  // namespace tavuno
