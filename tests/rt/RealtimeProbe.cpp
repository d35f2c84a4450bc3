#include "tests/rt/RealtimeProbe.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVUNO_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVUNO_SANITIZED 1
#endif
#endif

namespace {

// Per thread, so that other threads of the test binary cannot disturb a count. Plain words
// with constant initialisation: they are touched from inside malloc.
thread_local bool probing = false;
thread_local int allocationCount = 0;
thread_local int lockCount = 0;

void noteAllocation() {
  if (probing) ++allocationCount;
}

}  // namespace

#ifdef TAVUNO_SANITIZED

// Part of every sanitizer runtime; older compilers ship no declaration of it.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             std::size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {
void onAllocation(const volatile void*, std::size_t) {
  noteAllocation();
}
void onFree(const volatile void*) {}  // the runtime refuses a null hook
[[maybe_unused]] const int kHookInstalled =
    __sanitizer_install_malloc_and_free_hooks(onAllocation, onFree);
}  // namespace

#else

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);  // what aligned operator new ends in
void __libc_free(void*);

void* malloc(std::size_t size) noexcept {
  noteAllocation();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
  noteAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) noexcept {
  noteAllocation();
  return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  noteAllocation();
  return __libc_memalign(alignment, size);
}
void free(void* p) noexcept {
  __libc_free(p);
}

int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
  using Lock = int (*)(pthread_mutex_t*);
  // Looked up on first use; dlsym takes the loader's internal lock, not this function.
  static std::atomic<Lock> real{nullptr};
  Lock lock = real.load(std::memory_order_relaxed);
  if (lock == nullptr) {
    lock = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    real.store(lock, std::memory_order_relaxed);
  }
  if (probing) ++lockCount;
  return lock(mutex);
}
}  // extern "C"

#endif

namespace tavuno {

RealtimeProbe::RealtimeProbe() {
  allocationCount = 0;
  lockCount = 0;
  probing = true;
}

RealtimeProbe::~RealtimeProbe() {
  probing = false;
}

int RealtimeProbe::allocations() const {
  return allocationCount;
}

int RealtimeProbe::locks() const {
  return lockCount;
}

bool RealtimeProbe::countsLocks() {
#ifdef TAVUNO_SANITIZED
  return false;
#else
  return true;
#endif
}

}  // namespace tavuno
