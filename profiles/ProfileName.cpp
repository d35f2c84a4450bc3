#include "profiles/ProfileName.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <limits>

namespace tavuno {

namespace {

// ICU walks strings with 32-bit offsets.
constexpr std::size_t kLongest = std::numeric_limits<std::int32_t>::max();

// The first character of `name` when it is well-formed UTF-8, and its length.
UChar32 first(std::string_view name, std::int32_t& length) {
  std::int32_t at = 0;
  UChar32 c;
  U8_NEXT(name.data(), at, static_cast<std::int32_t>(name.size()), c);
  length = at;
  return c;
}

UChar32 last(std::string_view name, std::int32_t& length) {
  std::int32_t at = static_cast<std::int32_t>(name.size());
  UChar32 c;
  U8_PREV(name.data(), 0, at, c);
  length = static_cast<std::int32_t>(name.size()) - at;
  return c;
}

}  // namespace

std::optional<std::size_t> profileNameLength(std::string_view name) {
  if (name.size() >= kLongest) return std::nullopt;
  const auto size = static_cast<std::int32_t>(name.size());
  std::size_t characters = 0;
  for (std::int32_t at = 0; at < size; ++characters) {
    UChar32 c;
    U8_NEXT(name.data(), at, size, c);
    if (c < 0) return std::nullopt;  // malformed, overlong, a surrogate or past U+10FFFF
  }
  return characters;
}

// White space is Unicode's White_Space property; a malformed byte is never white space, so it
// stays in the name whatever stands next to it.
std::string trimmedProfileName(std::string_view name) {
  if (name.size() >= kLongest) return std::string(name);
  std::int32_t length = 0;
  while (!name.empty()) {
    const UChar32 c = first(name, length);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    name.remove_prefix(static_cast<std::size_t>(length));
  }
  while (!name.empty()) {
    const UChar32 c = last(name, length);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    name.remove_suffix(static_cast<std::size_t>(length));
  }
  return std::string(name);
}

}  // namespace tavuno
