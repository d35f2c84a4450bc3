// Lock-free single-producer, single-consumer ring of interleaved stereo float frames.
//
// It carries captured audio from one real-time callback (the writer) to another (the reader),
// which run on independent threads and clocks. The ring never blocks, never grows and never
// overwrites unread frames: a write that does not fit drops its last frames and counts them as
// overruns; a read that finds too few frames is completed with silence (0.0, 0.0) and counts
// the missing frames as underruns.
//
// Threads: exactly one writer thread calls taudio_ring_write and exactly one reader thread
// calls taudio_ring_read at a time; the two may run fully in parallel. The counters and
// taudio_ring_available may be read from any thread. taudio_ring_create and
// taudio_ring_destroy run while neither callback can reach the ring.
//
// Apart from create and destroy, no function allocates, locks, logs or makes a system call.
// Any capacity from 1 up is allowed; it need not be a power of two.
#ifndef TAVUNO_ENGINE_RT_TAUDIO_RING_H
#define TAVUNO_ENGINE_RT_TAUDIO_RING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct taudio_ring taudio_ring;

// An empty ring of capacity_frames zero-filled stereo frames, or null when the capacity is 0 or
// memory is exhausted. Any thread, before either callback exists. Allocates.
taudio_ring* taudio_ring_create(uint32_t capacity_frames);

// Releases the ring and its storage; null is ignored. Any thread, once neither callback can
// reach the ring.
void taudio_ring_destroy(taudio_ring* ring);

// Stores as many of frame_count frames (2 * frame_count floats) as there is room for, in order,
// and returns how many it stored; the frames that did not fit are added to the overruns. A null
// ring or null frames returns 0 and changes nothing.
// Writer thread only. Never allocates, locks or logs.
uint32_t taudio_ring_write(taudio_ring* ring, const float* frames, uint32_t frame_count);

// Fills exactly frame_count frames: the oldest unread frames first, then silence for the ones
// the ring did not hold, which are added to the underruns. Returns the number of frames that
// came from the ring. A null ring or null frames returns 0 and changes nothing.
// Reader thread only. Never allocates, locks or logs.
uint32_t taudio_ring_read(taudio_ring* ring, float* frames, uint32_t frame_count);

// Unread frames, at most the capacity; 0 for a null ring. Exact when called from the writer or
// the reader; from a third thread it may also count frames read while the call ran.
// Any thread. Never allocates, locks or logs.
uint64_t taudio_ring_available(const taudio_ring* ring);

// Cumulative frames that reads asked for and did not get, and that writes offered and could
// not store; 0 for a null ring. Any thread. Never allocate, lock or log.
uint64_t taudio_ring_underruns(const taudio_ring* ring);
uint64_t taudio_ring_overruns(const taudio_ring* ring);

#ifdef __cplusplus
}
#endif

#endif  // TAVUNO_ENGINE_RT_TAUDIO_RING_H
