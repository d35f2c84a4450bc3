// Registration of the benchmarks. Done from main, after the kernel has chosen its loops.
#ifndef TAVUNO_BENCH_BENCHMARKS_H
#define TAVUNO_BENCH_BENCHMARKS_H

namespace tavuno::bench {

// The reference every ratio is taken against.
inline constexpr const char* kReference = "memcpy/512_frames";

// memcpy of one 512-frame stereo buffer, and the kernel on the same buffer once per loop
// variant this processor supports.
void registerTdspBenchmarks();

// Frames streamed between two threads through the ring in 256-frame chunks.
void registerAudioRingBenchmarks();

}  // namespace tavuno::bench

#endif  // TAVUNO_BENCH_BENCHMARKS_H
