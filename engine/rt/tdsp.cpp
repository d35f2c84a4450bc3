#include "engine/rt/tdsp.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <new>

#include "engine/rt/tdsp_loops.h"

// Shared between the real-time thread and control threads. gain and the peaks are single
// 32-bit words with exactly one writer each: relaxed loads and stores compile to plain moves,
// and a reader sees either the old or the new value. The counters change only by atomic
// read-modify-write (sequentially consistent), so concurrent readers never see a torn or lost
// count.
struct tdsp_state {
  std::atomic<float> gain{1.0f};
  std::atomic<float> input_peak{0.0f};
  std::atomic<float> output_peak{0.0f};
  std::atomic<uint32_t> callbacks{0};
  std::atomic<uint32_t> underruns{0};
  std::atomic<uint32_t> overruns{0};
};

// A fallback to a lock inside the atomics would break the real-time promise.
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);

namespace {

using tavuno::rt::GainLoops;
using tavuno::rt::Peaks;

// Added to the underruns for every mismatched buffer: one more than the 1024 frames the
// sessions' buffer-health rule tolerates, so a single mismatch is already unhealthy.
constexpr uint32_t kFormatMismatchFrames = 1025;

// The vector loops need their buffers identical or disjoint; any other overlap takes the
// portable loops, which read each sample just before writing its output.
const GainLoops& loopsFor(const float* in, uint32_t in_floats, const float* out,
                          uint32_t out_floats) {
  const auto a = reinterpret_cast<std::uintptr_t>(in);
  const auto b = reinterpret_cast<std::uintptr_t>(out);
  const bool overlap = a < b + out_floats * sizeof(float) && b < a + in_floats * sizeof(float);
  return overlap && a != b ? tavuno::rt::kPortableLoops : tavuno::rt::activeGainLoops();
}

// Counts the whole frames that the input lacked or had in excess of the output; both counts
// are in units of `per_frame` samples, and a partial frame of difference is not counted.
void countMismatch(tdsp_state* state, uint32_t supplied, uint32_t needed, uint32_t per_frame) {
  if (supplied < needed) {
    const uint32_t frames = (needed - supplied) / per_frame;
    if (frames > 0) state->underruns.fetch_add(frames);
  } else if (supplied > needed) {
    const uint32_t frames = (supplied - needed) / per_frame;
    if (frames > 0) state->overruns.fetch_add(frames);
  }
}

void finishBuffer(tdsp_state* state, Peaks peaks) {
  state->input_peak.store(peaks.input, std::memory_order_relaxed);
  state->output_peak.store(peaks.output, std::memory_order_relaxed);
  state->callbacks.fetch_add(1);
}

}  // namespace

extern "C" {

tdsp_state* tdsp_create(void) {
  return new (std::nothrow) tdsp_state;
}

void tdsp_destroy(tdsp_state* state) {
  delete state;
}

void tdsp_set_gain(tdsp_state* state, float gain, bool muted) {
  if (state == nullptr) return;
  float g = std::isfinite(gain) ? gain : 1.0f;
  if (!(g > 0.0f)) g = 0.0f;  // also turns -0.0 into +0.0, so silence is never negative zero
  if (g > 1.0f) g = 1.0f;
  if (muted) g = 0.0f;
  state->gain.store(g, std::memory_order_relaxed);
}

void tdsp_process(tdsp_state* state, const float* input, uint32_t input_samples, float* output,
                  uint32_t output_samples) {
  if (state == nullptr || (output == nullptr && output_samples > 0)) return;
  countMismatch(state, input_samples, output_samples, 2);
  const float gain = state->gain.load(std::memory_order_relaxed);
  const uint32_t copied = input == nullptr ? 0 : std::min(input_samples, output_samples);
  Peaks peaks;
  if (copied > 0) {
    peaks = loopsFor(input, copied, output, copied).scale(input, output, copied, gain);
  }
  std::fill(output + copied, output + output_samples, 0.0f);  // gain is never negative
  finishBuffer(state, peaks);
}

void tdsp_stereo_to_mono(tdsp_state* state, const float* input, uint32_t input_frames,
                         float* output, uint32_t output_samples) {
  if (state == nullptr || (output == nullptr && output_samples > 0)) return;
  countMismatch(state, input_frames, output_samples, 1);
  const float gain = state->gain.load(std::memory_order_relaxed);
  const uint32_t copied = input == nullptr ? 0 : std::min(input_frames, output_samples);
  Peaks peaks;
  if (copied > 0) {
    peaks = loopsFor(input, 2 * copied, output, copied).fold(input, output, copied, gain);
  }
  std::fill(output + copied, output + output_samples, 0.0f);
  finishBuffer(state, peaks);
}

void tdsp_format_mismatch(tdsp_state* state) {
  if (state != nullptr) state->underruns.fetch_add(kFormatMismatchFrames);
}

uint32_t tdsp_callbacks(const tdsp_state* state) {
  return state == nullptr ? 0 : state->callbacks.load(std::memory_order_relaxed);
}

float tdsp_input_peak(const tdsp_state* state) {
  return state == nullptr ? 0.0f : state->input_peak.load(std::memory_order_relaxed);
}

float tdsp_output_peak(const tdsp_state* state) {
  return state == nullptr ? 0.0f : state->output_peak.load(std::memory_order_relaxed);
}

uint32_t tdsp_underruns(const tdsp_state* state) {
  return state == nullptr ? 0 : state->underruns.load(std::memory_order_relaxed);
}

uint32_t tdsp_overruns(const tdsp_state* state) {
  return state == nullptr ? 0 : state->overruns.load(std::memory_order_relaxed);
}

}  // extern "C"
