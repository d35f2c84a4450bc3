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

}  // namespace

std::string trimmedProfileName(std::string_view name) {
  while (std::size_t n = leading(name))
    name.remove_prefix(n);
  while (std::size_t n = trailing(name))
    name.remove_suffix(n);
  return std::string(name);
}

}  // namespace tavuno
