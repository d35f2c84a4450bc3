#include "base/text/PoCatalog.h"

#include <fstream>
#include <sstream>

namespace tavuno {

namespace {

// Reads one C-style quoted string starting at `line[pos]` == '"'. Returns
// false on a missing closing quote or an unknown escape.
bool readQuoted(std::string_view line, std::size_t pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  for (std::size_t i = pos + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      for (std::size_t rest = i + 1; rest < line.size(); ++rest)
        if (line[rest] != ' ' && line[rest] != '\t' && line[rest] != '\r') return false;
      return true;
    }
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (++i >= line.size()) return false;
    switch (line[i]) {
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case '"':
        out.push_back('"');
        break;
      case '\\':
        out.push_back('\\');
        break;
      default:
        return false;
    }
  }
  return false;
}

std::string_view trimmed(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
    line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
    line.remove_suffix(1);
  return line;
}

}  // namespace

std::optional<PoCatalog> PoCatalog::parse(std::string_view text) {
  PoCatalog catalog;
  enum class Field { none, id, str } field = Field::none;
  std::string id, str;
  bool fuzzy = false, haveEntry = false;

  auto finish = [&] {
    if (haveEntry && !id.empty() && !str.empty() && !fuzzy) catalog.entries_[id] = str;
    id.clear();
    str.clear();
    fuzzy = false;
    haveEntry = false;
    field = Field::none;
  };

  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trimmed(text.substr(start, end - start));
    start = end + 1;

    if (line.empty()) continue;
    if (line.starts_with("#")) {
      if (line.starts_with("#,") && line.find("fuzzy") != std::string_view::npos) {
        if (haveEntry) finish();
        fuzzy = true;
      }
      continue;
    }
    if (line.starts_with("msgid ")) {
      bool keepFuzzy = fuzzy && !haveEntry;
      if (haveEntry) finish();
      fuzzy = keepFuzzy;
      haveEntry = true;
      field = Field::id;
      if (!readQuoted(line, line.find('"'), id)) return std::nullopt;
    } else if (line.starts_with("msgstr ")) {
      if (field != Field::id) return std::nullopt;
      field = Field::str;
      if (!readQuoted(line, line.find('"'), str)) return std::nullopt;
    } else if (line.front() == '"') {
      std::string& target = field == Field::id ? id : str;
      if (field == Field::none || !readQuoted(line, 0, target)) return std::nullopt;
    } else if (line.starts_with("msgctxt")) {
      // Contexts and plural forms are not used by Tavuno; such entries are skipped.
      if (haveEntry) finish();
      fuzzy = true;
    } else if (line.starts_with("msgid_plural") || line.starts_with("msgstr[")) {
      fuzzy = true;
      field = Field::none;
    } else {
      return std::nullopt;
    }
  }
  finish();
  return catalog;
}

std::optional<PoCatalog> PoCatalog::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return parse(buffer.str());
}

std::optional<std::string> PoCatalog::lookup(std::string_view key) const {
  auto it = entries_.find(std::string(key));
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

}  // namespace tavuno
