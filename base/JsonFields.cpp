#include "base/JsonFields.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

namespace tavuno {

using nlohmann::json;

namespace {

std::optional<std::int64_t> integerValue(const json& value) {
  if (value.is_number_unsigned()) {
    auto unsignedValue = value.get<std::uint64_t>();
    if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return std::nullopt;
    return static_cast<std::int64_t>(unsignedValue);
  }
  if (value.is_number_integer()) return value.get<std::int64_t>();
  if (value.is_number_float()) {
    double d = value.get<double>();
    // 2^63 is the first double past the range; the cast below is defined
    // only inside it.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(d) || d != std::trunc(d) || d < -limit || d >= limit) return std::nullopt;
    return static_cast<std::int64_t>(d);
  }
  return std::nullopt;
}

std::optional<double> numberValue(const json& value) {
  if (!value.is_number()) return std::nullopt;
  double d = value.get<double>();
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

bool hasNonFiniteNumber(const json& value) {
  std::vector<const json*> stack{&value};
  while (!stack.empty()) {
    const json* node = stack.back();
    stack.pop_back();
    if (node->is_number_float() && !std::isfinite(node->get<double>())) return true;
    if (node->is_structured())
      for (const auto& child : *node)
        stack.push_back(&child);
  }
  return false;
}

}  // namespace

std::optional<json> parseJson(const Bytes& bytes) {
  try {
    auto value = json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return std::nullopt;
    return value;
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<Bytes> dumpJson(const json& value) {
  try {
    // dump() would write a non-finite number as null, which reads back as
    // something else.
    if (hasNonFiniteNumber(value)) return std::nullopt;
    // Strict: a string that is not UTF-8 fails instead of being mangled.
    std::string text = value.dump(-1, ' ', false, json::error_handler_t::strict);
    return Bytes(text.begin(), text.end());
  } catch (...) {
    return std::nullopt;
  }
}

JsonFields::JsonFields(const json& object) : object_(&object), ok_(object.is_object()) {}

const json* JsonFields::required(const char* key) {
  const json* value = optionalValue(key);
  if (!value) ok_ = false;
  return value;
}

const json* JsonFields::optionalValue(const char* key) {
  if (!ok_) return nullptr;
  auto it = object_->find(key);
  if (it == object_->end() || it->is_null()) return nullptr;
  return &*it;
}

std::string JsonFields::string(const char* key) {
  const json* value = required(key);
  if (!value) return {};
  if (!value->is_string()) {
    ok_ = false;
    return {};
  }
  return value->get<std::string>();
}

bool JsonFields::boolean(const char* key) {
  const json* value = required(key);
  if (!value) return false;
  if (!value->is_boolean()) {
    ok_ = false;
    return false;
  }
  return value->get<bool>();
}

std::int64_t JsonFields::integer(const char* key) {
  const json* value = required(key);
  if (!value) return 0;
  auto result = integerValue(*value);
  if (!result) ok_ = false;
  return result.value_or(0);
}

double JsonFields::number(const char* key) {
  const json* value = required(key);
  if (!value) return 0;
  auto result = numberValue(*value);
  if (!result) ok_ = false;
  return result.value_or(0);
}

Uuid JsonFields::uuid(const char* key) {
  const json* value = required(key);
  if (!value) return {};
  std::optional<Uuid> parsed;
  if (value->is_string()) parsed = Uuid::parse(value->get_ref<const std::string&>());
  if (!parsed) ok_ = false;
  return parsed.value_or(Uuid{});
}

std::optional<std::string> JsonFields::optionalString(const char* key) {
  const json* value = optionalValue(key);
  if (!value) return std::nullopt;
  if (!value->is_string()) {
    ok_ = false;
    return std::nullopt;
  }
  return value->get<std::string>();
}

std::optional<bool> JsonFields::optionalBoolean(const char* key) {
  const json* value = optionalValue(key);
  if (!value) return std::nullopt;
  if (!value->is_boolean()) {
    ok_ = false;
    return std::nullopt;
  }
  return value->get<bool>();
}

std::optional<std::int64_t> JsonFields::optionalInteger(const char* key) {
  const json* value = optionalValue(key);
  if (!value) return std::nullopt;
  auto result = integerValue(*value);
  if (!result) ok_ = false;
  return result;
}

std::optional<double> JsonFields::optionalNumber(const char* key) {
  const json* value = optionalValue(key);
  if (!value) return std::nullopt;
  auto result = numberValue(*value);
  if (!result) ok_ = false;
  return result;
}

}  // namespace tavuno
