#include "platform/linux/PulseConversions.h"

#include <algorithm>
#include <cstring>

namespace tavuno {

namespace {

std::string text(const char* value) {
  return value ? std::string(value) : std::string();
}

}  // namespace

Proplist toProplist(const pa_proplist* properties) {
  Proplist out;
  if (!properties) return out;
  void* state = nullptr;
  while (const char* key = pa_proplist_iterate(properties, &state)) {
    const void* data = nullptr;
    size_t size = 0;
    if (pa_proplist_get(properties, key, &data, &size) != 0 || !data) continue;
    const char* bytes = static_cast<const char*>(data);
    out[key] = std::string(bytes, strnlen(bytes, size));
  }
  return out;
}

ServerInfo toServerInfo(const pa_server_info& info) {
  return ServerInfo{text(info.server_name), text(info.default_sink_name),
                    text(info.default_source_name)};
}

namespace {

// One value per channel of the map; a volume with fewer channels than the
// map (never seen, but not excluded) gives the map's count, padded.
std::vector<std::uint32_t> channelVolumes(const pa_channel_map& map, const pa_cvolume& volume) {
  const unsigned channels = std::min<unsigned>(map.channels, PA_CHANNELS_MAX);
  const unsigned known = std::min<unsigned>(volume.channels, PA_CHANNELS_MAX);
  std::vector<std::uint32_t> values(channels, known > 0 ? volume.values[0] : kVolumeNorm);
  for (unsigned c = 0; c < channels && c < known; ++c)
    values[c] = volume.values[c];
  return values;
}

}  // namespace

ServerSink toSink(const pa_sink_info& info) {
  ServerSink sink;
  sink.index = info.index;
  sink.name = text(info.name);
  sink.description = text(info.description);
  sink.card = info.card;
  sink.volume = channelVolumes(info.channel_map, info.volume);
  sink.mute = info.mute != 0;
  sink.rate = info.sample_spec.rate;
  sink.properties = toProplist(info.proplist);
  return sink;
}

ServerSource toSource(const pa_source_info& info) {
  ServerSource source;
  source.index = info.index;
  source.name = text(info.name);
  source.description = text(info.description);
  source.card = info.card;
  source.monitorOfSink = info.monitor_of_sink;
  source.channels = info.channel_map.channels;
  source.volume = channelVolumes(info.channel_map, info.volume);
  source.mute = info.mute != 0;
  source.properties = toProplist(info.proplist);
  return source;
}

ServerStream toStream(const pa_sink_input_info& info) {
  return ServerStream{info.index, info.client, info.sink, info.corked != 0,
                      toProplist(info.proplist)};
}

ServerStream toStream(const pa_source_output_info& info) {
  return ServerStream{info.index, info.client, info.source, info.corked != 0,
                      toProplist(info.proplist)};
}

ServerClient toClient(const pa_client_info& info) {
  return ServerClient{info.index, toProplist(info.proplist)};
}

ServerCard toCard(const pa_card_info& info) {
  ServerCard card;
  card.index = info.index;
  card.name = text(info.name);
  if (info.active_profile2 && info.active_profile2->name)
    card.activeProfile = info.active_profile2->name;
  card.properties = toProplist(info.proplist);
  return card;
}

}  // namespace tavuno
