#include "platform/std/DesktopEntry.h"

namespace tavuno {

namespace {

constexpr std::string_view group = "[Desktop Entry]";
// Characters that make an Exec argument need double quotes.
constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
// Characters escaped with a backslash inside double quotes.
constexpr std::string_view quotedEscapes = "\"`$\\";

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string unescapeString(std::string_view raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\' || i + 1 == raw.size()) {
      out.push_back(raw[i]);
      continue;
    }
    switch (char c = raw[++i]) {
      case 's':
        out.push_back(' ');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case '\\':
        out.push_back('\\');
        break;
      default:  // not a string escape: kept for the Exec quoting rules
        out.push_back('\\');
        out.push_back(c);
    }
  }
  return out;
}

// Undoes the "%%" of field codes; a lone field code stays as written.
std::string unescapePercent(std::string_view word) {
  std::string out;
  for (std::size_t i = 0; i < word.size(); ++i) {
    out.push_back(word[i]);
    if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == '%') ++i;
  }
  return out;
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::parse(std::string_view text) {
  DesktopEntry entry;
  bool seenGroup = false;
  bool inGroup = false;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trim(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == group;
      seenGroup = seenGroup || inGroup;
      continue;
    }
    const auto equals = line.find('=');
    if (!inGroup || equals == std::string_view::npos) continue;
    const std::string_view key = trim(line.substr(0, equals));
    if (key.empty() || key.find('[') != std::string_view::npos) continue;
    entry.values_[std::string(key)] = unescapeString(trim(line.substr(equals + 1)));
  }
  if (!seenGroup) return std::nullopt;
  return entry;
}

std::optional<std::string> DesktopEntry::value(const std::string& key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::optional<bool> DesktopEntry::boolean(const std::string& key) const {
  auto text = value(key);
  if (text == "true") return true;
  if (text == "false") return false;
  return std::nullopt;
}

std::optional<std::string> DesktopEntry::program() const {
  auto exec = value("Exec");
  if (!exec) return std::nullopt;
  std::string_view line = trim(*exec);
  if (line.empty()) return std::nullopt;
  if (line.front() != '"') {
    return unescapePercent(line.substr(0, line.find_first_of(" \t")));
  }
  std::string word;
  for (std::size_t i = 1; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      if (word.empty()) return std::nullopt;
      return unescapePercent(word);
    }
    if (c == '\\' && i + 1 < line.size() && quotedEscapes.find(line[i + 1]) != std::string::npos)
      ++i;
    word.push_back(line[i]);
  }
  return std::nullopt;  // no closing quote
}

std::optional<std::string> DesktopEntry::execValue(std::string_view program) {
  if (program.empty()) return std::nullopt;
  std::string word;
  for (char c : program) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
    if (c == '%') word.push_back('%');
    word.push_back(c);
  }
  if (word.find_first_of(reserved) != std::string::npos) {
    std::string quoted = "\"";
    for (char c : word) {
      if (quotedEscapes.find(c) != std::string_view::npos) quoted.push_back('\\');
      quoted.push_back(c);
    }
    quoted.push_back('"');
    word = std::move(quoted);
  }
  // The file's own string escaping comes last: every backslash is doubled.
  std::string value;
  for (char c : word) {
    if (c == '\\') value.push_back('\\');
    value.push_back(c);
  }
  return value;
}

}  // namespace tavuno
