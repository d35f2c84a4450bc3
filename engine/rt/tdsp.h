// Gain and level-meter kernel of a per-application audio session.
//
// One tdsp_state per session. Two sides share it:
//   - the real-time thread (the session's audio callback, one at a time) calls tdsp_process,
//     tdsp_stereo_to_mono and tdsp_format_mismatch, once per output buffer;
//   - control threads (the session's owner, its worker) call tdsp_set_gain and the readers.
// Both sides may run at the same time. tdsp_create and tdsp_destroy run while no callback can
// reach the state.
//
// Samples are 32-bit floats, nominally -1.0 ... 1.0; nothing is clipped, NaN and infinity pass
// through multiplied by the gain. Stereo data is interleaved (left, right, left, right ...).
//
// Apart from tdsp_create and tdsp_destroy, no function allocates, locks, logs or makes a system
// call; every one returns in time bounded by its buffer sizes. A null state is ignored (readers
// return 0).
#ifndef TAVUNO_ENGINE_RT_TDSP_H
#define TAVUNO_ENGINE_RT_TDSP_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tdsp_state tdsp_state;

// A state with gain 1.0, zero peaks and zero counters, or null when memory is exhausted.
// Any thread, before the session's callback exists. Allocates.
tdsp_state* tdsp_create(void);

// Releases the state; null is ignored. Any thread, once no callback can reach the state.
void tdsp_destroy(tdsp_state* state);

// Sets the gain used from the next buffer on, in full (no ramp). A NaN or infinite gain means
// 1.0; the gain is then clamped to 0.0 ... 1.0; muted means 0.0 whatever the gain.
// Control threads. Never allocates, locks or logs.
void tdsp_set_gain(tdsp_state* state, float gain, bool muted);

// Copies interleaved stereo input to output with the gain and meters the buffer. Counts are in
// samples (two per frame). Missing input frames, (output_samples - input_samples) / 2, are added
// to the underruns and output as silence; surplus input frames, (input_samples -
// output_samples) / 2, are added to the overruns and ignored. A null input reads as silence but
// is still counted by its size. The output's output_samples samples are always written; output
// may be the input buffer itself. The peaks become this buffer's maxima of |input| and
// |output|, and the callback count grows by one (also when output_samples is 0). A null output
// with a non-zero output_samples changes nothing.
// Real-time thread. Never allocates, locks or logs.
void tdsp_process(tdsp_state* state, const float* input, uint32_t input_samples, float* output,
                  uint32_t output_samples);

// Folds interleaved stereo input to mono, (left + right) * 0.5, then applies the gain. The
// input count is in frames, the output count in mono samples; the difference is counted as
// underruns or overruns without halving. The input peak is the peak of the folded signal.
// Otherwise as tdsp_process; output may be the input buffer itself.
// Real-time thread. Never allocates, locks or logs.
void tdsp_stereo_to_mono(tdsp_state* state, const float* input, uint32_t input_frames,
                         float* output, uint32_t output_samples);

// Records a buffer that could not be processed because its layout did not match the negotiated
// format: adds 1025 to the underruns, one more than the 1024 frames a session's buffer-health
// rule tolerates. Callback count and peaks are left alone, so a stream that only mismatches
// looks stalled. The caller silences its output buffer itself.
// Real-time thread. Never allocates, locks or logs.
void tdsp_format_mismatch(tdsp_state* state);

// The readers: buffers processed, and the peaks of the latest one (0.0 before the first).
// Underruns and overruns are cumulative frame counts. Counters wrap modulo 2^32 and are never
// reset. A reader may see one buffer's peaks with the next buffer's callback count.
// Any thread. Never allocate, lock or log.
uint32_t tdsp_callbacks(const tdsp_state* state);
float tdsp_input_peak(const tdsp_state* state);
float tdsp_output_peak(const tdsp_state* state);
uint32_t tdsp_underruns(const tdsp_state* state);
uint32_t tdsp_overruns(const tdsp_state* state);

#ifdef __cplusplus
}
#endif

#endif  // TAVUNO_ENGINE_RT_TDSP_H
