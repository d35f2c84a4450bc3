#include "platform/linux/StreamProps.h"

#include <spa/param/props.h>
#include <spa/pod/iter.h>

#include <cmath>
#include <cstring>

namespace tavuno {

namespace {

// The floats of a channelVolumes array. Its element type and size are the sender's word: an
// array of Float claiming 1024-byte elements must not be read as floats.
std::vector<float> channelVolumes(const spa_pod* value) {
  if (!spa_pod_is_array(value)) return {};
  const auto* array = reinterpret_cast<const spa_pod_array*>(value);
  if (array->body.child.type != SPA_TYPE_Float || array->body.child.size != sizeof(float))
    return {};
  const std::size_t count = SPA_POD_ARRAY_N_VALUES(array);
  if (count == 0 || count > maxStreamChannels) return {};
  std::vector<float> volumes(count);
  std::memcpy(volumes.data(), SPA_POD_ARRAY_VALUES(array), count * sizeof(float));
  for (float v : volumes)
    if (!std::isfinite(v) || v < 0.0f || v > loudestStreamVolume) return {};
  return volumes;
}

}  // namespace

StreamProps parseStreamProps(const spa_pod* param) {
  StreamProps props;
  if (param == nullptr || !spa_pod_is_object_type(param, SPA_TYPE_OBJECT_Props)) return props;
  if (const spa_pod_prop* volumes = spa_pod_find_prop(param, nullptr, SPA_PROP_channelVolumes))
    props.volumes = channelVolumes(&volumes->value);
  // Checked here rather than by spa_pod_get_bool, which prints a warning for every bad pod.
  if (const spa_pod_prop* mute = spa_pod_find_prop(param, nullptr, SPA_PROP_mute);
      mute && spa_pod_is_bool(&mute->value))
    props.muted = SPA_POD_VALUE(spa_pod_bool, &mute->value) != 0;
  return props;
}

}  // namespace tavuno
