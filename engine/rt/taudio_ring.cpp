#include "engine/rt/taudio_ring.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>

// Ownership: the writer alone stores write_index and adds to overruns; the reader alone stores
// read_index and adds to underruns. Each side publishes its index with a release store and
// reads the other side's with an acquire load; no lock and no compare-and-swap.
// Invariant: read_index <= write_index <= read_index + capacity. Frame k (counting from the
// first frame ever written) lives in slot k % capacity; the indices run free and are never
// wrapped (64 bits do not overflow in practice).
// Each side's fields share a cache line of their own, so that the two real-time threads do not
// invalidate each other's line on every counter update.
struct taudio_ring {
  float* frames = nullptr;  // 2 * capacity samples; slot s holds left at 2s, right at 2s + 1
  uint32_t capacity = 0;
  alignas(64) std::atomic<uint64_t> write_index{0};
  std::atomic<uint64_t> overruns{0};
  alignas(64) std::atomic<uint64_t> read_index{0};
  std::atomic<uint64_t> underruns{0};
};

// A fallback to a lock inside the atomics would break the real-time promise.
static_assert(std::atomic<uint64_t>::is_always_lock_free);

namespace {

constexpr std::size_t kFrameBytes = 2 * sizeof(float);

// Copies `count` frames starting at free-running index `first` out of the storage, in at most
// two pieces around the end.
void copyOut(const taudio_ring* ring, uint64_t first, float* dest, uint32_t count) {
  const auto slot = static_cast<uint32_t>(first % ring->capacity);
  const uint32_t head = std::min(count, ring->capacity - slot);
  std::memcpy(dest, ring->frames + 2 * std::size_t{slot}, head * kFrameBytes);
  std::memcpy(dest + 2 * std::size_t{head}, ring->frames, (count - head) * kFrameBytes);
}

void copyIn(taudio_ring* ring, uint64_t first, const float* src, uint32_t count) {
  const auto slot = static_cast<uint32_t>(first % ring->capacity);
  const uint32_t head = std::min(count, ring->capacity - slot);
  std::memcpy(ring->frames + 2 * std::size_t{slot}, src, head * kFrameBytes);
  std::memcpy(ring->frames, src + 2 * std::size_t{head}, (count - head) * kFrameBytes);
}

}  // namespace

extern "C" {

taudio_ring* taudio_ring_create(uint32_t capacity_frames) {
  if (capacity_frames == 0) return nullptr;
  auto* ring = new (std::nothrow) taudio_ring;
  if (ring == nullptr) return nullptr;
  ring->frames = new (std::nothrow) float[2 * std::size_t{capacity_frames}]();
  if (ring->frames == nullptr) {
    delete ring;
    return nullptr;
  }
  ring->capacity = capacity_frames;
  return ring;
}

void taudio_ring_destroy(taudio_ring* ring) {
  if (ring == nullptr) return;
  delete[] ring->frames;
  delete ring;
}

uint32_t taudio_ring_write(taudio_ring* ring, const float* frames, uint32_t frame_count) {
  if (ring == nullptr || frames == nullptr) return 0;
  // Only this thread stores write_index.
  const uint64_t w = ring->write_index.load(std::memory_order_relaxed);
  // Acquire pairs with the reader's release store: its copies out of the slots below r are
  // complete before we may overwrite them.
  const uint64_t r = ring->read_index.load(std::memory_order_acquire);
  const uint32_t free_frames = ring->capacity - static_cast<uint32_t>(w - r);
  const uint32_t stored = std::min(frame_count, free_frames);
  copyIn(ring, w, frames, stored);
  // The frames that do not fit are the last of the call; unread frames are never overwritten.
  if (stored < frame_count) ring->overruns.fetch_add(frame_count - stored);
  // Release publishes the copied samples: a reader that acquires the new index sees them.
  if (stored > 0) ring->write_index.store(w + stored, std::memory_order_release);
  return stored;
}

uint32_t taudio_ring_read(taudio_ring* ring, float* frames, uint32_t frame_count) {
  if (ring == nullptr || frames == nullptr) return 0;
  // Only this thread stores read_index.
  const uint64_t r = ring->read_index.load(std::memory_order_relaxed);
  // Acquire pairs with the writer's release store: the samples of every frame below w are
  // visible.
  const uint64_t w = ring->write_index.load(std::memory_order_acquire);
  const auto available = static_cast<uint32_t>(w - r);
  const uint32_t delivered = std::min(frame_count, available);
  copyOut(ring, r, frames, delivered);
  std::fill(frames + 2 * std::size_t{delivered}, frames + 2 * std::size_t{frame_count}, 0.0f);
  if (delivered < frame_count) ring->underruns.fetch_add(frame_count - delivered);
  // Release hands the slots back: our copies out of them happen before the writer, acquiring
  // this index, overwrites them.
  if (delivered > 0) ring->read_index.store(r + delivered, std::memory_order_release);
  return delivered;
}

uint64_t taudio_ring_available(const taudio_ring* ring) {
  if (ring == nullptr) return 0;
  // read_index first: the reader published it after acquiring a write_index at least as
  // large, so the write_index loaded next is never below it. Frames read between the two loads
  // can make the difference exceed what the ring holds; the cap bounds it.
  const uint64_t r = ring->read_index.load(std::memory_order_acquire);
  const uint64_t w = ring->write_index.load(std::memory_order_acquire);
  return std::min<uint64_t>(w - r, ring->capacity);
}

uint64_t taudio_ring_underruns(const taudio_ring* ring) {
  return ring == nullptr ? 0 : ring->underruns.load(std::memory_order_relaxed);
}

uint64_t taudio_ring_overruns(const taudio_ring* ring) {
  return ring == nullptr ? 0 : ring->overruns.load(std::memory_order_relaxed);
}

}  // extern "C"
