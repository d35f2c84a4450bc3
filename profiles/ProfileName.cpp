#include "profiles/ProfileName.h"

#include <algorithm>
#include <iterator>

namespace tavuno {

namespace {

// The UTF-8 form of every White_Space character. Each begins with a lead
// byte, so a match at either end of a name is always a whole character,
// whatever bytes stand next to it.
constexpr std::string_view whiteSpace[] = {
    "\t",           "\n",           "\v",           "\f",           "\r",           " ",
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
    "\xE3\x80\x80",
};

// The length of the white space character `name` starts (or ends) with; 0
// when there is none.
std::size_t leading(std::string_view name) {
  auto found = std::find_if(std::begin(whiteSpace), std::end(whiteSpace),
                            [&](std::string_view space) { return name.starts_with(space); });
  return found == std::end(whiteSpace) ? 0 : found->size();
}

std::size_t trailing(std::string_view name) {
  auto found = std::find_if(std::begin(whiteSpace), std::end(whiteSpace),
                            [&](std::string_view space) { return name.ends_with(space); });
  return found == std::end(whiteSpace) ? 0 : found->size();
}

// The length of the well-formed UTF-8 sequence `text` starts with; 0 when
// it starts with none.
std::size_t sequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const auto continuation = [&](std::size_t i) {
    return i < text.size() && (byte(i) & 0xC0) == 0x80;
  };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead < 0xC2) return 0;  // a continuation byte, or an overlong two-byte form
  if (lead < 0xE0) return continuation(1) ? 2 : 0;
  if (lead < 0xF0) {
    if (!continuation(1) || !continuation(2)) return 0;
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;   // overlong
    if (lead == 0xED && byte(1) >= 0xA0) return 0;  // a surrogate
    return 3;
  }
  if (lead > 0xF4 || !continuation(1) || !continuation(2) || !continuation(3)) return 0;
  if (lead == 0xF0 && byte(1) < 0x90) return 0;   // overlong
  if (lead == 0xF4 && byte(1) >= 0x90) return 0;  // past U+10FFFF
  return 4;
}

}  // namespace

std::optional<std::size_t> profileNameLength(std::string_view name) {
  std::size_t characters = 0;
  while (!name.empty()) {
    const std::size_t n = sequenceLength(name);
    if (n == 0) return std::nullopt;
    name.remove_prefix(n);
    ++characters;
  }
  return characters;
}

std::string trimmedProfileName(std::string_view name) {
  while (std::size_t n = leading(name))
    name.remove_prefix(n);
  while (std::size_t n = trailing(name))
    name.remove_suffix(n);
  return std::string(name);
}

}  // namespace tavuno
