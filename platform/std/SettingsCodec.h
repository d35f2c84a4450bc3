#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/ports/DefaultsStore.h"

namespace tavuno {

// The settings file's JSON form. Each value is an object naming its kind:
//   {"version": 1, "values": {"automatic": {"bool": true},
//                              "profiles": {"data": "<base64>"}, ...}}
std::string encodeSettings(const std::map<std::string, DefaultsValue>& values);
// Nothing when the text is not a well-formed settings document, so that a
// damaged file is kept whole rather than partly read and later overwritten.
std::optional<std::map<std::string, DefaultsValue>> decodeSettings(std::string_view text);

std::string encodeBase64(const Bytes& bytes);
std::optional<Bytes> decodeBase64(std::string_view text);

}  // namespace tavuno
