#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/ports/DefaultsStore.h"

namespace tavuno {

// The settings file's JSON form. Each value is an object naming its kind:
//   {"version": 1, "values": {"automatic": {"bool": true},
//                              "profiles": {"data": [{"id": "...", ...}]},
//                              "windowGeometry": {"data": "<base64>"}, ...}}
//
// Data that is the compact JSON text of an array or an object (every list of
// records: profiles, rules, the per-app mix, the history) is written as that
// array or object in place, so that a person can read and fix it; reading it
// gives back its compact text. Other data is base64 text. Both read back to the
// bytes that were stored. Earlier versions wrote all data as base64: that is
// still read, and counted in SettingsDocument::olderForm.
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
  // Values held in a form this version reads but no longer writes (records
  // as base64): writing the document again puts them in place.
  std::size_t olderForm = 0;

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

// Strict base64 (RFC 4648, padded), for data that is not JSON text: nothing
// for text with any other character or a wrong length.
std::string encodeBase64(const Bytes& bytes);
std::optional<Bytes> decodeBase64(std::string_view text);

}  // namespace tavuno
