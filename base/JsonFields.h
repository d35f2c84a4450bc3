#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "base/ports/DefaultsStore.h"
#include "base/ports/Uuid.h"

namespace tavuno {

// UTF-8 JSON bytes to a value; nothing when the bytes are not JSON. Never
// throws.
std::optional<nlohmann::json> parseJson(const Bytes& bytes);
// A value to compact UTF-8 JSON bytes; nothing when it cannot be encoded (a
// string that is not UTF-8, a number that is not finite). Never throws.
std::optional<Bytes> dumpJson(const nlohmann::json& value);

// Reads the fields of one JSON object the way the stored records expect:
// a required key must be present, not null and of its kind; an optional key
// may be absent or null (both read as nothing) but is otherwise of its kind.
// The first violation marks the whole object unreadable (`ok()` false); the
// readers then return empty values that the caller throws away.
class JsonFields {
 public:
  explicit JsonFields(const nlohmann::json& object);

  bool ok() const { return ok_; }
  void fail() { ok_ = false; }

  std::string string(const char* key);
  bool boolean(const char* key);
  // An integer, or a number with an integral value, in the 64-bit range.
  std::int64_t integer(const char* key);
  // Any finite number.
  double number(const char* key);
  // A UUID in its 36-character text form, either letter case.
  Uuid uuid(const char* key);

  std::optional<std::string> optionalString(const char* key);
  std::optional<bool> optionalBoolean(const char* key);
  std::optional<std::int64_t> optionalInteger(const char* key);
  std::optional<double> optionalNumber(const char* key);
  // The value under `key`, or nullptr when absent or null.
  const nlohmann::json* optionalValue(const char* key);

 private:
  const nlohmann::json* required(const char* key);

  const nlohmann::json* object_;
  bool ok_;
};

}  // namespace tavuno
