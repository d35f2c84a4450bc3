// A client of the server that publishes a stream node whose Props lie about their own layout
// (array elements far larger than a float, volumes that are not numbers): Tavuno reads other
// clients' nodes all the time and must come through with its mirror working.
#include <gtest/gtest.h>
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "linux/stack/AudioStack.h"
#include "platform/linux/PipeWireGraph.h"
#include "platform/linux/StreamProps.h"

namespace tavuno {
namespace {

using test::AudioStack;
using test::waitUntil;

constexpr const char* kHostileName = "tavuno-test-hostile";

// Pod bytes as a client may send them: an object of type Props holding one channelVolumes
// array whose children declare `childSize` bytes each.
std::vector<std::uint8_t> volumesPod(std::uint32_t childSize, const std::vector<float>& values) {
  auto put = [](std::vector<std::uint8_t>& out, std::uint32_t word) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&word);
    out.insert(out.end(), bytes, bytes + 4);
  };
  std::vector<std::uint8_t> elements;
  for (float v : values) {
    std::vector<std::uint8_t> element(childSize, 0x41);
    std::memcpy(element.data(), &v, std::min<std::size_t>(sizeof v, childSize));
    elements.insert(elements.end(), element.begin(), element.end());
  }
  const std::uint32_t arraySize = 8 + static_cast<std::uint32_t>(elements.size());
  const std::uint32_t padded = (arraySize + 7) & ~7u;
  std::vector<std::uint8_t> pod;
  put(pod, 8 + 8 + 8 + padded);  // object body: type, id; then the prop: key, flags, value
  put(pod, SPA_TYPE_Object);
  put(pod, SPA_TYPE_OBJECT_Props);
  put(pod, SPA_PARAM_Props);
  put(pod, SPA_PROP_channelVolumes);
  put(pod, 0);
  put(pod, arraySize);
  put(pod, SPA_TYPE_Array);
  put(pod, childSize);
  put(pod, SPA_TYPE_Float);
  pod.insert(pod.end(), elements.begin(), elements.end());
  pod.resize(8 + 8 + 8 + 8 + padded, 0);
  return pod;
}

// Helper mode: the binary run with TAVUNO_HOSTILE_NODE_READY=<file> publishes the node, writes
// the file once the server has it and waits to be killed.
const bool hostileMode = [] {
  const char* ready = std::getenv("TAVUNO_HOSTILE_NODE_READY");
  if (!ready) return false;
  pw_init(nullptr, nullptr);
  pw_main_loop* loop = pw_main_loop_new(nullptr);
  static const pw_filter_events events = {PW_VERSION_FILTER_EVENTS};
  pw_filter* filter = pw_filter_new_simple(
      pw_main_loop_get_loop(loop), kHostileName,
      pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                        PW_KEY_MEDIA_CLASS, "Stream/Output/Audio", PW_KEY_NODE_NAME, kHostileName,
                        PW_KEY_APP_PROCESS_ID, std::to_string(::getpid()).c_str(), nullptr),
      &events, nullptr);
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // The lies first, then an honest report: once the mirror shows the honest one it has read
  // every lie before it.
  static const std::vector<std::vector<std::uint8_t>> pods = {
      volumesPod(1024, {0.25f, 0.25f}),
      volumesPod(2, {0.25f}),
      volumesPod(4, {inf, 0.5f}),
      volumesPod(4, {nan, nan}),
      volumesPod(4, std::vector<float>(200, 0.5f)),
      volumesPod(4, {0.5f, 0.5f})};
  std::vector<const spa_pod*> params;
  for (const auto& pod : pods)
    params.push_back(reinterpret_cast<const spa_pod*>(pod.data()));
  if (pw_filter_connect(filter, PW_FILTER_FLAG_NONE, nullptr, 0) < 0) std::_Exit(3);
  pw_filter_update_params(filter, nullptr, params.data(),
                          static_cast<std::uint32_t>(params.size()));
  std::ofstream(ready) << "ready";
  pw_main_loop_run(loop);
  std::_Exit(0);
}();

TEST(HostileNodeTest, PropsThatLieAboutTheirLayoutLeaveTheMirrorWorking) {
  AudioStack& stack =
      AudioStack::shared({.devices = AudioStack::Devices::session, .privateHome = true});
  if (!stack.problem().empty()) {
    if (std::getenv("TAVUNO_REQUIRE_AUDIO_SERVER")) FAIL() << stack.problem();
    GTEST_SKIP() << stack.problem();
  }
  PipeWireGraphSource graphs;
  std::string error;
  auto graph = graphs.current(error);
  ASSERT_TRUE(graph) << error;

  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = 0;
  const std::string ready = stack.root() + "/hostile-ready";
  const pid_t hostile =
      stack.spawn({self, "--gtest_filter=-*"}, {{"TAVUNO_HOSTILE_NODE_READY", ready}});
  // The hostile process's volume reports are followed, as a session follows its app's.
  const auto watch =
      graph->watch([](const PipeWireGraph::View&, const std::vector<std::uint32_t>*) {}, {hostile});
  ASSERT_TRUE(waitUntil([&] { return std::ifstream(ready).good(); }, 10));

  auto honest = [](const PipeWireGraph::View& v) {
    for (const auto& [id, node] : v.nodes)
      if (node.name == kHostileName && node.volumesKnown && node.volumes.size() == 2 &&
          node.volumes[0] == 0.5f && node.volumes[1] == 0.5f)
        return true;
    return false;
  };
  EXPECT_TRUE(graph->waitUntil(honest, 10)) << "the node's last, honest Props were not read";
  for (const auto& [id, node] : graph->view()->nodes) {
    if (node.name != kHostileName) continue;
    for (float v : node.volumes)
      EXPECT_TRUE(std::isfinite(v) && v >= 0.0f && v <= loudestStreamVolume) << v;
  }
  EXPECT_TRUE(graph->answers()) << "the mirror's thread stopped answering";
  graph->unwatch(watch);
  stack.stop(hostile);
}

}  // namespace
}  // namespace tavuno
