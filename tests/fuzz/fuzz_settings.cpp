// The settings file decoder and the catalogue parser take whatever is on disk.
#include <cstdint>
#include <string_view>

#include "base/text/PoCatalog.h"
#include "platform/std/SettingsCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto settings = tavuno::decodeSettings(text)) {
    // What decodes must encode and decode to the same values.
    auto again = tavuno::decodeSettings(tavuno::encodeSettings(*settings));
    if (!again || again->size() != settings->size()) __builtin_trap();
  }
  (void)tavuno::PoCatalog::parse(text);
  (void)tavuno::decodeBase64(text);
  return 0;
}
