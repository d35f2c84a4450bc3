// A PulseAudio module's arguments are whatever the client that loaded it gave.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/ModuleArguments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto pairs = tavuno::parseModuleArguments(text)) {
    if (pairs->size() > tavuno::maxModuleArgumentPairs) __builtin_trap();
    for (const auto& [key, value] : *pairs)
      if (key.empty() || key.size() + value.size() > size) __builtin_trap();
  }
  if (const auto owner = tavuno::tapOwnerOf(text))
    if (owner->pid <= 0 || owner->start == 0) __builtin_trap();
  return 0;
}
