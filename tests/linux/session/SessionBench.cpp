// Figures of the per-application path on a private PipeWire server, run by
// bench/linux/session-bench.sh (not by CI): the latency the tap adds against the direct path
// and pw-loopback in the same run, CPU per tapped application, and eight applications tapped
// while the machine is busy.
#include <gtest/gtest.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "linux/stack/AudioStack.h"
#include "platform/linux/PipeWireSession.h"
#include "tests/linux/session/SessionTestPlane.h"

namespace tavuno {
namespace {

using test::AudioStack;
using test::waitUntil;

// Two playback streams of this process that put a click at the same graph sample: the
// reference (left channel) straight to the default output, the application (right channel)
// wherever it is steered. On the output's monitor the distance between the clicks is what the
// application's path adds.
class ClickPair {
 public:
  explicit ClickPair(PipeWireGraph& graph) : graph_(graph) {
    graph_.withLoopLocked([&] {
      make(reference_, "bench.reference", 0, "1");
      make(app_, "bench.app", 1, std::to_string(::getpid()).c_str());
    });
  }
  ~ClickPair() {
    graph_.withLoopLocked([&] {
      for (Stream* s : {&reference_, &app_}) {
        spa_hook_remove(&s->listener);
        pw_stream_destroy(s->stream);
      }
    });
  }
  // Clicks `seconds` from now on the graph clock; false when the graph did not run.
  bool clickIn(double seconds) {
    if (!waitUntil([&] { return position_.load() != 0; }, 2)) return false;
    target_ = position_.load() + static_cast<std::uint64_t>(seconds * 48000);
    return true;
  }
  std::uint32_t appNode() const { return pw_stream_get_node_id(app_.stream); }

 private:
  struct Stream {
    ClickPair* owner = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    spa_io_position* position = nullptr;
    int channel = 0;
  };

  static void ioChanged(void* data, std::uint32_t id, void* area, std::uint32_t) {
    if (id == SPA_IO_Position)
      static_cast<Stream*>(data)->position = static_cast<spa_io_position*>(area);
  }
  static void process(void* data) {
    auto* s = static_cast<Stream*>(data);
    pw_buffer* b = pw_stream_dequeue_buffer(s->stream);
    if (!b) return;
    spa_data& d = b->buffer->datas[0];
    auto* out = static_cast<float*>(d.data);
    std::uint32_t frames =
        std::min<std::uint32_t>(d.maxsize / 8, b->requested ? b->requested : 1024);
    std::fill(out, out + 2 * frames, 0.0f);
    if (s->position) {
      const std::uint64_t now = s->position->clock.position;
      s->owner->position_ = now;
      const std::uint64_t target = s->owner->target_.load();
      if (target >= now && target < now + frames) out[2 * (target - now) + s->channel] = 0.9f;
    }
    d.chunk->offset = 0;
    d.chunk->size = frames * 8;
    d.chunk->stride = 8;
    pw_stream_queue_buffer(s->stream, b);
  }

  void make(Stream& s, const char* name, int channel, const char* pid) {
    s.owner = this;
    s.channel = channel;
    s.stream =
        pw_stream_new(graph_.core(), name,
                      pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY,
                                        "Playback", PW_KEY_NODE_NAME, name, PW_KEY_TARGET_OBJECT,
                                        "builtin_speakers", PW_KEY_APP_PROCESS_ID, pid, nullptr));
    static const pw_stream_events events = {
        .version = PW_VERSION_STREAM_EVENTS, .io_changed = ioChanged, .process = process};
    pw_stream_add_listener(s.stream, &s.listener, &events, &s);
    std::uint8_t buffer[512];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = 48000;
    info.channels = 2;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* format = spa_format_audio_raw_build(&b, SPA_PARAM_EnumFormat, &info);
    pw_stream_connect(
        s.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                     PW_STREAM_FLAG_RT_PROCESS),
        &format, 1);
  }

  PipeWireGraph& graph_;
  Stream reference_, app_;
  std::atomic<std::uint64_t> position_{0};
  std::atomic<std::uint64_t> target_{~std::uint64_t{0}};
};

// The application's click minus the reference's, in ms; NaN when either was not heard.
double clickDistance(AudioStack& stack, ClickPair& clicks) {
  std::vector<float> heard;
  std::thread recorder([&] { heard = stack.record("builtin_speakers", 1.2); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  if (!clicks.clickIn(0.4)) {
    recorder.join();
    return NAN;
  }
  recorder.join();
  long left = -1, right = -1;
  for (std::size_t i = 0; i + 1 < heard.size(); i += 2) {
    if (left < 0 && heard[i] > 0.5f) left = static_cast<long>(i / 2);
    if (right < 0 && heard[i + 1] > 0.5f) right = static_cast<long>(i / 2);
  }
  if (left < 0 || right < 0) return NAN;
  return double(right - left) / 48.0;
}

std::uint64_t cpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  const auto close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  std::uint64_t ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i >= 14) ticks += std::stoull(field);
  return ticks;
}

// Churn mode: the binary run with TAVUNO_VOLUME_CHURN set is another client that republishes
// its own stream's volume every millisecond, until it is killed.
const bool churnMode = [] {
  if (!std::getenv("TAVUNO_VOLUME_CHURN")) return false;
  pw_init(nullptr, nullptr);
  pw_main_loop* loop = pw_main_loop_new(nullptr);
  static const pw_stream_events events = {.version = PW_VERSION_STREAM_EVENTS};
  pw_stream* stream = pw_stream_new_simple(
      pw_main_loop_get_loop(loop), "churn",
      pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                        PW_KEY_NODE_NAME, "bench.churn", PW_KEY_NODE_AUTOCONNECT, "false", nullptr),
      &events, nullptr);
  std::uint8_t buffer[512];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  spa_audio_info_raw info{};
  info.format = SPA_AUDIO_FORMAT_F32;
  info.rate = 48000;
  info.channels = 2;
  const spa_pod* format = spa_format_audio_raw_build(&b, SPA_PARAM_EnumFormat, &info);
  pw_stream_connect(stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, PW_STREAM_FLAG_MAP_BUFFERS, &format, 1);
  static pw_stream* churned = stream;
  static int step = 0;
  spa_source* timer = pw_loop_add_timer(
      pw_main_loop_get_loop(loop),
      [](void*, std::uint64_t) {
        float volumes[2];
        volumes[0] = volumes[1] = (++step % 2) ? 0.5f : 0.6f;
        pw_stream_set_control(churned, SPA_PROP_channelVolumes, 2, volumes, 0);
      },
      nullptr);
  timespec interval{0, 1000000};
  pw_loop_update_timer(pw_main_loop_get_loop(loop), timer, &interval, &interval, false);
  pw_main_loop_run(loop);
  std::_Exit(0);
}();

class SessionBench : public ::testing::Test {
 protected:
  void SetUp() override {
    stack = &AudioStack::shared({.devices = AudioStack::Devices::session, .privateHome = true});
    if (!stack->problem().empty()) GTEST_SKIP() << stack->problem();
    journal = std::make_unique<SteerJournal>(stack->root() + "/bench-journal");
    std::string error;
    graph = graphs.current(error);
    ASSERT_TRUE(graph) << error;
  }
  void TearDown() override { forceQuantum(0); }
  void forceQuantum(int frames) {
    stack->run(
        {"pw-metadata", "-n", "settings", "0", "clock.force-quantum", std::to_string(frames)});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  AudioStack* stack = nullptr;
  test::SessionTestPlane plane;
  PipeWireGraphSource graphs;
  std::shared_ptr<PipeWireGraph> graph;
  std::unique_ptr<SteerJournal> journal;
};

TEST_F(SessionBench, DISABLED_AddedLatency) {
  for (int quantum : {256, 1024}) {
    forceQuantum(quantum);
    ClickPair clicks(*graph);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double direct = clickDistance(*stack, clicks);

    plane.pids[100] = ::getpid();
    PipeWireSession session(PipeWireSessionPorts{plane, graphs, *journal});
    ASSERT_EQ(session.start({100},
                            [] {
                              AudioDevice d;
                              d.id = 1;
                              d.output = true;
                              return d;
                            }()),
              std::nullopt);
    const auto steered = session.steeredNodes();
    ASSERT_NE(std::find(steered.begin(), steered.end(), clicks.appNode()), steered.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double tapped = clickDistance(*stack, clicks);
    session.stop();

    pid_t loop = stack->spawn({"pw-loopback", "-n", "bench-loop", "--capture-props",
                               "media.class=Audio/Sink node.name=bench.loop", "--playback-props",
                               "node.name=bench.loop.out target.object=builtin_speakers"});
    ASSERT_TRUE(
        graph->waitUntil([](const auto& v) { return v.nodeNamed("bench.loop") != nullptr; }, 3));
    const std::uint32_t app = clicks.appNode();
    graph->setTarget(app, "target.object", "bench.loop");
    const std::uint32_t loopNode = graph->view()->nodeNamed("bench.loop")->id;
    ASSERT_TRUE(graph->waitUntil([&](const auto& v) { return v.linked(app, loopNode); }, 3));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double looped = clickDistance(*stack, clicks);
    graph->setTarget(app, "target.object", std::nullopt);
    stack->stop(loop);
    std::printf(
        "quantum %4d (%.2f ms): direct %+.2f ms, tap %+.2f ms, pw-loopback %+.2f ms; tap - loopback %+.2f ms\n",
        quantum, quantum / 48.0, direct, tapped, looped, tapped - looped);
  }
}

TEST_F(SessionBench, DISABLED_CpuPerTappedApp) {
  forceQuantum(1024);
  const long hz = ::sysconf(_SC_CLK_TCK);
  const double seconds = 10;
  auto measure = [&] {
    std::vector<pid_t> pids = stack->serverPids();
    pids.push_back(::getpid());
    std::uint64_t before = 0, after = 0;
    for (pid_t p : pids)
      before += cpuTicks(p);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    for (pid_t p : pids)
      after += cpuTicks(p);
    return double(after - before) * 1000.0 / double(hz) / seconds;
  };
  const double idle = measure();
  pid_t player = stack->playLoop("BenchCpu");
  plane.pids[100] = player;
  const double untapped = measure();
  PipeWireSession session(PipeWireSessionPorts{plane, graphs, *journal});
  AudioDevice out;
  out.id = 1;
  out.output = true;
  ASSERT_EQ(session.start({100}, out), std::nullopt);
  const double tapped = measure();
  session.stop();
  stack->stop(player);
  std::printf(
      "CPU ms per s of audio at quantum 1024 (server processes + Tavuno): nothing playing %.1f, "
      "one app untapped %.1f, tapped %.1f (the tap adds %.1f)\n",
      idle, untapped, tapped, tapped - untapped);
}

TEST_F(SessionBench, DISABLED_EightAppsUnderLoad) {
  const char* wanted = std::getenv("TAVUNO_BENCH_SECONDS");
  const double seconds = wanted ? std::atof(wanted) : 60;
  std::vector<pid_t> players;
  std::vector<std::unique_ptr<PipeWireSession>> sessions;
  AudioDevice out;
  out.id = 1;
  out.output = true;
  for (int i = 0; i < 8; ++i) {
    pid_t p = stack->playLoop("Bench" + std::to_string(i));
    players.push_back(p);
    plane.pids[100 + i] = p;
    sessions.push_back(
        std::make_unique<PipeWireSession>(PipeWireSessionPorts{plane, graphs, *journal}));
    sessions.back()->setGain(0.1f, false);
    ASSERT_EQ(sessions.back()->start({static_cast<AudioObjectID>(100 + i)}, out), std::nullopt);
  }
  std::vector<std::uint32_t> before;
  for (auto& s : sessions)
    before.push_back(s->shortfalls());
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  std::uint32_t xruns = 0, cycles = 0;
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    xruns += sessions[i]->shortfalls() - before[i];
    cycles += sessions[i]->diagnostics().callbacks;
    EXPECT_FALSE(sessions[i]->shouldStopForBufferHealth(0));
  }
  for (auto& s : sessions)
    s->stop();
  for (pid_t p : players)
    stack->stop(p);
  std::printf(
      "8 apps tapped for %.0f s: %u cycles, %u short or missing buffers on Tavuno's streams\n",
      seconds, cycles, xruns);
}

// What another client that republishes its volume every millisecond costs Tavuno's process
// while it holds two sessions: its sessions follow only their own streams.
TEST_F(SessionBench, DISABLED_OtherClientsVolumeChurn) {
  const long hz = ::sysconf(_SC_CLK_TCK);
  const double seconds = 10;
  auto percent = [&] {
    const std::uint64_t before = cpuTicks(::getpid());
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return double(cpuTicks(::getpid()) - before) * 100.0 / double(hz) / seconds;
  };
  AudioDevice out;
  out.id = 1;
  out.output = true;
  std::vector<std::unique_ptr<PipeWireSession>> sessions;
  std::vector<pid_t> players;
  for (int i = 0; i < 2; ++i) {
    players.push_back(stack->playLoop("Churn" + std::to_string(i)));
    plane.pids[100 + i] = players.back();
    sessions.push_back(
        std::make_unique<PipeWireSession>(PipeWireSessionPorts{plane, graphs, *journal}));
    ASSERT_EQ(sessions.back()->start({static_cast<AudioObjectID>(100 + i)}, out), std::nullopt);
  }
  const double quiet = percent();
  char self[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  pid_t churn = stack->spawn({self}, {{"TAVUNO_VOLUME_CHURN", "1"}});
  ASSERT_TRUE(
      graph->waitUntil([](const auto& v) { return v.nodeNamed("bench.churn") != nullptr; }, 5));
  const double churned = percent();
  stack->stop(churn);
  for (auto& s : sessions)
    s->stop();
  for (pid_t p : players)
    stack->stop(p);
  std::printf(
      "Tavuno's process with two sessions: %.2f %% of a core; beside a client republishing its "
      "volume every 1 ms: %.2f %% (%.2f %% more)\n",
      quiet, churned, churned - quiet);
}

}  // namespace
}  // namespace tavuno
