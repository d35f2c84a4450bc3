#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tavuno {

// A gettext catalogue (.po) read into memory: msgid (the Portuguese text) to
// msgstr. Entries with an empty msgstr, fuzzy entries and the header are left
// out, so their lookup falls back to the key.
class PoCatalog {
 public:
  // Parses catalogue text; malformed input gives nothing rather than a partial
  // table.
  static std::optional<PoCatalog> parse(std::string_view text);
  static std::optional<PoCatalog> load(const std::string& path);

  std::optional<std::string> lookup(std::string_view key) const;
  std::size_t size() const { return entries_.size(); }
  const std::unordered_map<std::string, std::string>& entries() const { return entries_; }

 private:
  std::unordered_map<std::string, std::string> entries_;
};

}  // namespace tavuno
