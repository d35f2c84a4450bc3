#include "platform/std/SettingsCodec.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavuno {

using nlohmann::json;

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Kept content is written back with nlohmann's dump, which recurses once per
// level: deeper content would exhaust the stack, so a document holding any is
// not read (and the file is set aside whole). This version writes the records
// of its lists in place, a few levels below the entry (a profile's mix: 7).
constexpr std::size_t deepestKept = 256;

bool deeperThan(const json& value, std::size_t limit) {
  std::vector<std::pair<const json*, std::size_t>> stack{{&value, 1}};
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    if (!node->is_structured()) continue;
    if (depth > limit) return true;
    for (const auto& child : *node)
      stack.emplace_back(&child, depth + 1);
  }
  return false;
}

// The compact text the record lists are stored as (the same dump as
// dumpJson()), for bytes read from a nested value.
std::string compactText(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The array or object that `bytes` are the compact text of, exactly as
// compactText() writes it: such bytes are written in place, so a person can
// read and edit them, and read back byte for byte. Anything else (an opaque
// value such as the window's geometry, JSON with other spacing or key order,
// a scalar, text nested too deep to write) is nothing here and stays base64.
std::optional<json> nestedForm(const Bytes& bytes) {
  // Every JSON text starts with one of these, spacing aside: most opaque
  // values are turned away without a parse.
  if (bytes.empty() || (bytes.front() != '[' && bytes.front() != '{')) return std::nullopt;
  try {
    json value = json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
    if (!value.is_structured() || deeperThan(value, deepestKept)) return std::nullopt;
    const std::string text = value.dump(-1, ' ', false, json::error_handler_t::strict);
    // Compared as bytes: char is signed, and UTF-8 past ASCII would differ.
    if (text.size() != bytes.size() || std::memcmp(text.data(), bytes.data(), text.size()) != 0)
      return std::nullopt;
    return value;
  } catch (...) {
    return std::nullopt;
  }
}

json encodeValue(const DefaultsValue& value) {
  return std::visit(
      [](const auto& v) -> json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) return {{"string", v}};
        if constexpr (std::is_same_v<T, bool>) return {{"bool", v}};
        if constexpr (std::is_same_v<T, std::int64_t>) return {{"integer", v}};
        if constexpr (std::is_same_v<T, double>) {
          // JSON has no infinities or NaN: those are written as text.
          if (std::isnan(v)) return {{"double", "nan"}};
          if (std::isinf(v)) return {{"double", v > 0 ? "inf" : "-inf"}};
          return {{"double", v}};
        }
        if constexpr (std::is_same_v<T, Bytes>) {
          if (auto nested = nestedForm(v)) return {{"data", std::move(*nested)}};
          return {{"data", encodeBase64(v)}};
        }
        if constexpr (std::is_same_v<T, StringMap>) return {{"dictionary", json(v)}};
      },
      value);
}

// `olderForm` is set for bytes this version writes in place but the entry
// holds as base64, as Tavuno wrote every list before.
std::optional<DefaultsValue> decodeValue(const json& entry, bool& olderForm) {
  if (!entry.is_object() || entry.size() != 1) return std::nullopt;
  // Copied out: items() yields proxies that die with their iterator.
  auto only = entry.begin();
  const std::string kind = only.key();
  const json& v = only.value();
  if (kind == "string" && v.is_string()) return v.get<std::string>();
  if (kind == "bool" && v.is_boolean()) return v.get<bool>();
  if (kind == "integer" && v.is_number_unsigned()) {
    // An unsigned number past the 64-bit signed range does not fit the kind:
    // unreadable, never wrapped around to a negative one.
    const auto unsignedValue = v.get<std::uint64_t>();
    if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return std::nullopt;
    return static_cast<std::int64_t>(unsignedValue);
  }
  if (kind == "integer" && v.is_number_integer()) return v.get<std::int64_t>();
  if (kind == "double" && v.is_number()) return v.get<double>();
  if (kind == "double" && v.is_string()) {
    const auto& text = v.get_ref<const std::string&>();
    if (text == "nan") return std::numeric_limits<double>::quiet_NaN();
    if (text == "inf") return std::numeric_limits<double>::infinity();
    if (text == "-inf") return -std::numeric_limits<double>::infinity();
  }
  if (kind == "data" && v.is_string()) {
    auto bytes = decodeBase64(v.get_ref<const std::string&>());
    if (!bytes) return std::nullopt;
    olderForm = nestedForm(*bytes).has_value();
    return std::move(*bytes);
  }
  if (kind == "data" && v.is_structured()) {
    // Too deep to dump: the document is then set aside whole (see below).
    if (deeperThan(v, deepestKept)) return std::nullopt;
    const std::string text = compactText(v);
    return Bytes(text.begin(), text.end());
  }
  if (kind == "dictionary" && v.is_object()) {
    StringMap map;
    for (const auto& [key, item] : v.items()) {
      if (!item.is_string()) return std::nullopt;
      map.emplace(key, item.get<std::string>());
    }
    return map;
  }
  return std::nullopt;
}

// Compact JSON text of a parsed value. Parsed text is UTF-8 already; replace
// rather than throw all the same.
std::string dumpKept(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string encodeBase64(const Bytes& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t chunk = std::uint32_t(bytes[i]) << 16;
    if (i + 1 < bytes.size()) chunk |= std::uint32_t(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) chunk |= bytes[i + 2];
    out.push_back(alphabet[chunk >> 18 & 63]);
    out.push_back(alphabet[chunk >> 12 & 63]);
    out.push_back(i + 1 < bytes.size() ? alphabet[chunk >> 6 & 63] : '=');
    out.push_back(i + 2 < bytes.size() ? alphabet[chunk & 63] : '=');
  }
  return out;
}

std::optional<Bytes> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    int v[4];
    int padding = 0;
    for (int k = 0; k < 4; ++k) {
      char c = text[i + k];
      bool last = i + 4 == text.size();
      if (c == '=' && last && k >= 2 && (k == 3 || text[i + 3] == '=')) {
        v[k] = 0;
        ++padding;
      } else if ((v[k] = base64Value(c)) < 0 || padding > 0) {
        return std::nullopt;
      }
    }
    std::uint32_t chunk = std::uint32_t(v[0]) << 18 | std::uint32_t(v[1]) << 12 |
                          std::uint32_t(v[2]) << 6 | std::uint32_t(v[3]);
    out.push_back(static_cast<std::uint8_t>(chunk >> 16));
    if (padding < 2) out.push_back(static_cast<std::uint8_t>(chunk >> 8));
    if (padding < 1) out.push_back(static_cast<std::uint8_t>(chunk));
  }
  return out;
}

std::string encodeSettings(const SettingsDocument& document) {
  json entries = json::object();
  for (const auto& [key, value] : document.values)
    entries[key] = encodeValue(value);
  json file = json::object();
  // What this version cannot read goes back as it came, unless a value took its key.
  for (const auto& [key, text] : document.unreadable) {
    if (entries.contains(key)) continue;
    json kept = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!kept.is_discarded()) entries[key] = std::move(kept);
  }
  for (const auto& [key, text] : document.otherMembers) {
    if (key == "version" || key == "values") continue;
    json kept = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!kept.is_discarded()) file[key] = std::move(kept);
  }
  file["version"] = settingsFormatVersion;
  file["values"] = std::move(entries);
  // Invalid UTF-8 in a stored string is replaced rather than failing the write.
  return file.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string encodeSettings(const std::map<std::string, DefaultsValue>& values) {
  SettingsDocument document;
  document.values = values;
  return encodeSettings(document);
}

std::optional<SettingsDocument> decodeSettingsDocument(std::string_view text) {
  json file = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!file.is_object()) return std::nullopt;
  auto values = file.find("values");
  if (values == file.end() || !values->is_object()) return std::nullopt;
  SettingsDocument document;
  for (auto it = file.begin(); it != file.end(); ++it) {
    if (it.key() == "values") continue;
    if (it.key() == "version") {
      const json& version = it.value();
      const bool known =
          version.is_number_unsigned()
              ? version.get<std::uint64_t>() <= std::uint64_t(settingsFormatVersion)
              : version.is_number_integer() && version.get<std::int64_t>() <= settingsFormatVersion;
      document.newerVersion = !known;
      continue;
    }
    if (deeperThan(it.value(), deepestKept)) return std::nullopt;
    document.otherMembers.emplace(it.key(), dumpKept(it.value()));
  }
  for (auto it = values->begin(); it != values->end(); ++it) {
    bool olderForm = false;
    if (auto value = decodeValue(it.value(), olderForm)) {
      document.values.emplace(it.key(), std::move(*value));
      if (olderForm) ++document.olderForm;
    } else if (deeperThan(it.value(), deepestKept)) {
      return std::nullopt;
    } else {
      document.unreadable.emplace(it.key(), dumpKept(it.value()));
    }
  }
  return document;
}

std::optional<std::map<std::string, DefaultsValue>> decodeSettings(std::string_view text) {
  auto document = decodeSettingsDocument(text);
  if (!document) return std::nullopt;
  return std::move(document->values);
}

}  // namespace tavuno
