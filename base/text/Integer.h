#pragma once

#include <charconv>
#include <concepts>
#include <optional>
#include <string_view>
#include <system_error>

namespace tavuno {

// A decimal integer that is the whole of `text`, as another process, a file or the command line
// writes it: digits, after a '-' only for a signed T. White space, a '+', anything after the
// digits or a value outside T's range is a failure, never a clamp or a wrap ("-1" for an
// unsigned T fails). Leading zeros are digits like any other.
template <std::integral T>
requires(!std::same_as<T, bool>) std::optional<T> parseInteger(std::string_view text) {
  T value{};
  const char* const last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

// The same for a C string from a C API, where a null pointer stands for a value not given.
template <std::integral T>
requires(!std::same_as<T, bool>) std::optional<T> parseInteger(const char* text) {
  if (!text) return std::nullopt;
  return parseInteger<T>(std::string_view(text));
}

}  // namespace tavuno
