#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavuno {

// A profile name as typed, without the white space and line breaks around
// it: every character with the Unicode White_Space property (spaces of every
// width, tabs, line and paragraph separators, NEL). Characters that only look
// empty without being white space (U+200B, U+FEFF) stay. Bytes that are not
// well-formed UTF-8 are never taken for white space and are kept as they are.
std::string trimmedProfileName(std::string_view name);

// The number of characters (Unicode code points) in a name; none when it is
// not well-formed UTF-8 (an overlong form, a surrogate, a cut sequence),
// which the settings file cannot hold.
std::optional<std::size_t> profileNameLength(std::string_view name);

}  // namespace tavuno
