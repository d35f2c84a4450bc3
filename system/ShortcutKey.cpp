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

}  // namespace tavuno
