// Counts the allocations and mutex locks made by the calling thread while a probe is open.
//
// Plain builds replace malloc and its family and pthread_mutex_lock for the whole test
// binary, forwarding to the C library; every operator new, std::mutex and lock-based atomic
// fallback goes through them. Sanitizer builds, whose runtime owns those symbols, count
// allocations through the sanitizer's allocation hook and cannot count locks.
#ifndef TAVUNO_TESTS_RT_REALTIMEPROBE_H
#define TAVUNO_TESTS_RT_REALTIMEPROBE_H

namespace tavuno {

class RealtimeProbe {
 public:
  RealtimeProbe();
  ~RealtimeProbe();
  RealtimeProbe(const RealtimeProbe&) = delete;
  RealtimeProbe& operator=(const RealtimeProbe&) = delete;

  int allocations() const;
  int locks() const;
  static bool countsLocks();
};

}  // namespace tavuno

#endif  // TAVUNO_TESTS_RT_REALTIMEPROBE_H
