#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavuno {

// The catalogues shipped inside the program (resources/lang/<code>.po, built
// in as Qt resources), so the texts never depend on where it is installed.
// The translation of `key` in the table of `code`; nothing when the table or
// the key is missing. Each table is parsed once. Thread-safe.
std::optional<std::string> embeddedCatalogLookup(const std::string& code, std::string_view key);

}  // namespace tavuno
