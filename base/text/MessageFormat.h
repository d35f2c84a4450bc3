#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace tavuno {

// One argument of a formatted message: an integer (for %d and %lld) or a text
// (for %@).
class FormatArg {
 public:
  FormatArg(int value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(long value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(long long value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(unsigned value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(std::string value) : value_(std::move(value)) {}
  FormatArg(std::string_view value) : value_(std::string(value)) {}
  FormatArg(const char* value) : value_(std::string(value)) {}

  std::string text() const;

 private:
  std::variant<std::int64_t, std::string> value_;
};

// Fills %d, %lld and %@ (and their positional forms %1$d, %2$@, ...) from
// `args`; %% is a literal percent. The format may come from a translation
// catalogue, so it is never trusted: a placeholder without an argument stays as
// written, an argument of another kind is shown in its own form, and any
// other %-sequence is copied unchanged. `locale` is "pt" or "en"; integers are
// written as plain digits in both.
std::string formatMessage(std::string_view format, std::span<const FormatArg> args,
                          std::string_view locale);

inline std::string formatMessage(std::string_view format, std::initializer_list<FormatArg> args,
                                 std::string_view locale) {
  return formatMessage(format, std::span<const FormatArg>(args.begin(), args.size()), locale);
}

}  // namespace tavuno
