#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tavuno {

// The [Desktop Entry] group of a freedesktop desktop file, as far as an
// autostart entry needs it: its keys, with string escapes (\s \n \t \r \\)
// undone, and the program its Exec line runs.
class DesktopEntry {
 public:
  // Nothing when the text has no [Desktop Entry] group. Localised keys
  // (Name[pt]) and other groups are skipped; a repeated key keeps the last
  // value.
  static std::optional<DesktopEntry> parse(std::string_view text);

  std::optional<std::string> value(const std::string& key) const;
  // "true" or "false"; anything else gives nothing.
  std::optional<bool> boolean(const std::string& key) const;
  // The first word of Exec with its quoting undone; nothing when Exec is
  // missing, empty or badly quoted.
  std::optional<std::string> program() const;

  // `program` as the whole value of an Exec line, quoted where the desktop
  // entry rules ask for it and with its string escapes applied; nothing when
  // it holds a control character, which an Exec line cannot carry safely.
  static std::optional<std::string> execValue(std::string_view program);

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace tavuno
