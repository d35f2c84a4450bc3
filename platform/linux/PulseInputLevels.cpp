#include "platform/linux/PulseInputLevels.h"

#include <pulse/stream.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace tavuno {

namespace {

using State = InputLevelStream::State;

// What the mirror's thread and the stream's owner share. `stream` and
// `closed` belong to the mirror's thread; the owner only reads the atomics.
struct PeakStream {
  std::atomic<float> peak{0};
  std::atomic<State> state{State::opening};
  pa_stream* stream = nullptr;
  bool closed = false;
  // Set while a stream closed during its creation waits to be ready: the
  // stream's callbacks still point here.
  std::shared_ptr<PeakStream> keep;
};

// Mirror thread: lets the server's stream go.
void release(PeakStream& shared) {
  pa_stream_set_read_callback(shared.stream, nullptr, nullptr);
  pa_stream_set_state_callback(shared.stream, nullptr, nullptr);
  pa_stream_disconnect(shared.stream);
  pa_stream_unref(shared.stream);
  shared.stream = nullptr;
  shared.keep.reset();  // last: may free `shared`
}

// A handful of fragments at most per wake-up: the server sends one peak a
// fragment, and a backlog only ever needs its latest.
constexpr int maxFragmentsPerRead = 16;

void onRead(pa_stream* stream, std::size_t, void* data) {
  auto* shared = static_cast<PeakStream*>(data);
  float peak = -1;
  for (int i = 0; i < maxFragmentsPerRead && pa_stream_readable_size(stream) > 0; ++i) {
    const void* bytes = nullptr;
    std::size_t size = 0;
    if (pa_stream_peek(stream, &bytes, &size) < 0 || size == 0) break;
    // A hole (bytes null) carries no peak; whatever the server sends is
    // bounded by the stream's buffer and only compared.
    if (bytes) {
      for (std::size_t at = 0; at + sizeof(float) <= size; at += sizeof(float)) {
        float value = 0;
        std::memcpy(&value, static_cast<const char*>(bytes) + at, sizeof value);
        if (std::isfinite(value)) peak = std::max(peak, std::fabs(value));
      }
    }
    pa_stream_drop(stream);
  }
  if (peak >= 0) shared->peak.store(std::min(peak, 1.0f), std::memory_order_relaxed);
}

void onState(pa_stream* stream, void* data) {
  auto* shared = static_cast<PeakStream*>(data);
  if (shared->closed && pa_stream_get_state(stream) != PA_STREAM_CREATING) {
    release(*shared);
    return;
  }
  switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
      shared->state.store(State::running);
      break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
      shared->state.store(State::failed);
      break;
    default:
      break;
  }
}

// Mirror thread, loop alive.
void connect(PeakStream& shared, pa_context* context, const std::string& source) {
  const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, PulseInputLevels::peaksPerSecond, 1};
  pa_stream* stream = pa_stream_new(context, "Tavuno input level", &spec, nullptr);
  if (!stream) {
    shared.state.store(State::failed);
    return;
  }
  pa_stream_set_read_callback(stream, onRead, &shared);
  pa_stream_set_state_callback(stream, onState, &shared);
  pa_buffer_attr attr;
  std::memset(&attr, 0xff, sizeof attr);  // the server's defaults, but for:
  attr.fragsize = sizeof(float);          // one peak a fragment
  // Not PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND: a suspended source would read
  // as silence while the user looks at its meter.
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_PEAK_DETECT |
                                                    PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream, source.c_str(), &attr, flags) < 0) {
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_unref(stream);
    shared.state.store(State::failed);
    return;
  }
  shared.stream = stream;
}

// Mirror thread. Once the loop is gone the stream cannot be touched: it is
// left to the process's end (only quitting gets there).
// A stream still being created cannot be disconnected (libpulse refuses
// until the server's answer came, and the stream would then record for good):
// it goes as soon as it is ready or has failed (onState).
void disconnect(const std::shared_ptr<PeakStream>& shared, bool loopAlive) {
  shared->closed = true;
  if (!shared->stream || !loopAlive) return;
  if (pa_stream_get_state(shared->stream) == PA_STREAM_CREATING) {
    shared->keep = shared;
    return;
  }
  release(*shared);
}

class PulseLevelStream : public InputLevelStream {
 public:
  PulseLevelStream(PulseMirror& mirror, std::shared_ptr<PeakStream> shared)
      : mirror_(mirror), shared_(std::move(shared)) {}
  ~PulseLevelStream() override {
    mirror_.onLoop([shared = shared_](bool alive, pa_context*) { disconnect(shared, alive); });
  }

  float peak() const override {
    return shared_->state.load() == State::running ? shared_->peak.load(std::memory_order_relaxed)
                                                   : 0.0f;
  }
  State state() const override { return shared_->state.load(); }

 private:
  PulseMirror& mirror_;
  std::shared_ptr<PeakStream> shared_;
};

}  // namespace

std::unique_ptr<InputLevelStream> PulseInputLevels::open(AudioObjectID device) {
  const DeviceFacts* facts = hal_.view().table.device(device);
  if (!facts || facts->output || facts->serverName.empty()) return nullptr;
  auto shared = std::make_shared<PeakStream>();
  mirror_.onLoop([shared, source = facts->serverName](bool alive, pa_context* context) {
    if (shared->closed) return;
    if (!alive || !context) {
      shared->state.store(State::failed);
      return;
    }
    connect(*shared, context, source);
  });
  return std::make_unique<PulseLevelStream>(mirror_, std::move(shared));
}

}  // namespace tavuno
