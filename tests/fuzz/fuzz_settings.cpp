// The settings file decoder and the catalogue parser take whatever is on disk.
#include <cstdint>
#include <string_view>

#include "base/text/PoCatalog.h"
#include "platform/std/SettingsCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto document = tavuno::decodeSettingsDocument(text)) {
    // What decodes must encode and decode to the same values, and what could
    // not be read (entries, members) must come back unchanged, as this
    // version's document.
    auto again = tavuno::decodeSettingsDocument(tavuno::encodeSettings(*document));
    if (!again || again->values.size() != document->values.size() ||
        again->unreadable != document->unreadable ||
        again->otherMembers != document->otherMembers || again->newerVersion)
      __builtin_trap();
    // Data, in place or base64, comes back byte for byte, and in the form
    // this version writes.
    if (again->olderForm != 0) __builtin_trap();
    for (const auto& [key, value] : document->values) {
      if (!std::holds_alternative<tavuno::Bytes>(value)) continue;
      auto it = again->values.find(key);
      if (it == again->values.end() || it->second != value) __builtin_trap();
    }
    auto values = tavuno::decodeSettings(tavuno::encodeSettings(document->values));
    if (!values || values->size() != document->values.size()) __builtin_trap();
  }
  // The input as data a store saved: whether it is written in place (JSON
  // text) or as base64, it reads back unchanged.
  const tavuno::Bytes bytes(data, data + size);
  auto stored =
      tavuno::decodeSettings(tavuno::encodeSettings({{"v", tavuno::DefaultsValue(bytes)}}));
  if (!stored || stored->size() != 1 || stored->begin()->second != tavuno::DefaultsValue(bytes))
    __builtin_trap();
  (void)tavuno::PoCatalog::parse(text);
  (void)tavuno::decodeBase64(text);
  return 0;
}
