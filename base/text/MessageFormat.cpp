#include "base/text/MessageFormat.h"

#include <cctype>

namespace tavuno {

std::string FormatArg::text() const {
  if (auto* number = std::get_if<std::int64_t>(&value_)) return std::to_string(*number);
  return std::get<std::string>(value_);
}

namespace {

// Matches a conversion after '%' at `pos`: an optional "N$" position then
// "d", "lld" or "@". Returns the length consumed (0 when not a placeholder).
std::size_t matchPlaceholder(std::string_view format, std::size_t pos, std::size_t& position) {
  std::size_t cursor = pos;
  position = 0;
  std::size_t digits = 0;
  while (cursor < format.size() && std::isdigit(static_cast<unsigned char>(format[cursor]))) {
    if (digits < 4) position = position * 10 + static_cast<std::size_t>(format[cursor] - '0');
    ++digits;
    ++cursor;
  }
  if (digits > 0) {
    if (digits > 3 || position == 0 || cursor >= format.size() || format[cursor] != '$') return 0;
    ++cursor;
  }
  for (std::string_view conversion : {"lld", "d", "@"}) {
    if (format.substr(cursor, conversion.size()) == conversion)
      return cursor + conversion.size() - pos;
  }
  return 0;
}

}  // namespace

std::string formatMessage(std::string_view format, std::span<const FormatArg> args,
                          std::string_view /*locale*/) {
  std::string out;
  out.reserve(format.size() + 16);
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out.push_back(c);
      continue;
    }
    if (format[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    std::size_t position = 0;
    std::size_t length = matchPlaceholder(format, i + 1, position);
    if (length == 0) {
      out.push_back(c);
      continue;
    }
    std::size_t index = position > 0 ? position - 1 : next++;
    if (index < args.size()) {
      out += args[index].text();
    } else {
      out.append(format.substr(i, length + 1));
    }
    i += length;
  }
  return out;
}

}  // namespace tavuno
