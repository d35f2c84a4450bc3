#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/ports/DefaultsStore.h"

namespace tavuno {

// The settings file's JSON form. Each value is an object naming its kind:
//   {"version": 1, "values": {"automatic": {"bool": true},
//                              "profiles": {"data": "<base64>"}, ...}}
//
// The version this program writes. A file of a higher version (or whose
// version is not an integer) was written by a newer Tavuno: what this version
// can read is read, and the store never writes over it.
inline constexpr std::int64_t settingsFormatVersion = 1;

// A decoded settings file, with what this version cannot read kept so that it
// can be written back unchanged.
struct SettingsDocument {
  std::map<std::string, DefaultsValue> values;
  // Entries of "values" this version cannot read (a kind it does not know, a
  // value that does not fit its kind, such as an integer beyond 64 bits), as
  // compact JSON text of the whole entry.
  std::map<std::string, std::string> unreadable;
  // Top-level members other than "version" and "values", as compact JSON text.
  std::map<std::string, std::string> otherMembers;
  // "version" is there and is not an integer of at most settingsFormatVersion.
  bool newerVersion = false;

  friend bool operator==(const SettingsDocument&, const SettingsDocument&) = default;
};

// Writes settingsFormatVersion, the values, then every unreadable entry and
// other member whose key is not taken by a value, unchanged.
std::string encodeSettings(const SettingsDocument& document);
std::string encodeSettings(const std::map<std::string, DefaultsValue>& values);
// Nothing when the text is not a settings document at all (not JSON, not an
// object, "values" missing or not an object, or content to keep nested more
// than 256 levels deep), so that a damaged file is kept whole rather than
// partly read and later overwritten. One entry that cannot be read spoils
// nothing else: it is kept in `unreadable`.
std::optional<SettingsDocument> decodeSettingsDocument(std::string_view text);
// The readable values of decodeSettingsDocument().
std::optional<std::map<std::string, DefaultsValue>> decodeSettings(std::string_view text);

std::string encodeBase64(const Bytes& bytes);
std::optional<Bytes> decodeBase64(std::string_view text);

}  // namespace tavuno
