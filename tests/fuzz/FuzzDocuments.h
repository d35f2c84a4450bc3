// Shared by the fuzz targets of the stored JSON lists.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "base/ports/DefaultsStore.h"

namespace tavuno::fuzz {

// Calls `use` with the input as it is, then with the input spliced into each
// valid `seed` (its first two bytes choose where and how much of the seed it
// replaces), so that even a short run reaches the decoding of every field.
template <class Use>
void eachDocument(const std::uint8_t* data, std::size_t size,
                  std::initializer_list<std::string_view> seeds, Use&& use) {
  use(Bytes(data, data + size));
  if (size < 2) return;
  for (std::string_view seed : seeds) {
    std::size_t at = data[0] % (seed.size() + 1);
    std::size_t end = std::min(seed.size(), at + data[1] % 16);
    Bytes document(seed.begin(), seed.begin() + static_cast<std::ptrdiff_t>(at));
    document.insert(document.end(), data + 2, data + size);
    document.insert(document.end(), seed.begin() + static_cast<std::ptrdiff_t>(end), seed.end());
    use(document);
  }
}

// What loads must save and load again to the same value.
template <class Load, class Save>
void checkRoundTrip(const char* key, const Bytes& document, Load&& load, Save&& save) {
  InMemoryDefaultsStore defaults;
  defaults.set(key, document);
  auto first = load(defaults);
  save(first, defaults);
  if (load(defaults) != first) __builtin_trap();
}

// A stored value that loads with something left out is kept, unchanged,
// under its backup key; one that loads whole leaves no backup.
template <class LoadState>
void checkKeptAside(const char* key, const char* backupKey, const Bytes& document,
                    LoadState&& loadState) {
  InMemoryDefaultsStore defaults;
  defaults.set(key, document);
  const auto loaded = loadState(defaults);
  if ((loaded.unreadable > 0) != defaults.contains(backupKey)) __builtin_trap();
  if (loaded.unreadable > 0 && defaults.data(backupKey) != document) __builtin_trap();
  if (defaults.data(key) != document) __builtin_trap();
}

}  // namespace tavuno::fuzz
