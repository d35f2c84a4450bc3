// A stream node's Props come from whichever client owns the stream.
#include <spa/pod/pod.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/linux/StreamProps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // As the protocol hands a param over: a pod whose declared size fits the message. It is
  // copied into memory of exactly that size, so any read past it is caught.
  if (size < sizeof(spa_pod)) return 0;
  spa_pod header;
  std::memcpy(&header, data, sizeof header);
  const std::size_t declared = SPA_POD_SIZE(&header);
  if (declared > size) return 0;
  std::unique_ptr<std::uint8_t[]> pod(new std::uint8_t[declared]);  // aligned for any type
  std::memcpy(pod.get(), data, declared);
  const tavuno::StreamProps props =
      tavuno::parseStreamProps(reinterpret_cast<const spa_pod*>(pod.get()));
  if (props.volumes.size() > tavuno::maxStreamChannels) __builtin_trap();
  for (float v : props.volumes)
    if (!std::isfinite(v) || v < 0.0f || v > tavuno::loudestStreamVolume) __builtin_trap();
  return 0;
}
