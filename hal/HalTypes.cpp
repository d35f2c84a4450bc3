#include "hal/HalTypes.h"

namespace tavuno {

std::string fourCCText(std::uint32_t code) {
  std::string text(4, '?');
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>(code >> (24 - 8 * i) & 0xFF);
    if (c >= 0x20 && c < 0x7F) text[static_cast<std::size_t>(i)] = c;
  }
  return text;
}

}  // namespace tavuno
