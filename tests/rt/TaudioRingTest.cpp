#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "engine/rt/taudio_ring.h"

namespace tavuno {
namespace {

using Ring = std::unique_ptr<taudio_ring, decltype(&taudio_ring_destroy)>;
Ring makeRing(uint32_t capacity) {
  return Ring(taudio_ring_create(capacity), &taudio_ring_destroy);
}

// Frames numbered from `first`: left = n, right = -n, so order and pairing both show.
std::vector<float> numbered(uint32_t first, uint32_t count) {
  std::vector<float> v;
  for (uint32_t n = first; n < first + count; ++n) {
    v.push_back(float(n));
    v.push_back(-float(n));
  }
  return v;
}

TEST(TaudioRing, ZeroCapacityIsRefused) {
  EXPECT_EQ(taudio_ring_create(0), nullptr);
  taudio_ring_destroy(nullptr);
}

TEST(TaudioRing, FullRingKeepsItsFramesAndAShortReadEndsInSilence) {
  Ring ring = makeRing(8);
  EXPECT_EQ(taudio_ring_write(ring.get(), numbered(1, 10).data(), 10), 8u);
  EXPECT_EQ(taudio_ring_write(ring.get(), numbered(100, 5).data(), 5), 0u);
  EXPECT_EQ(taudio_ring_overruns(ring.get()), 7u);

  std::vector<float> out(20, 7.0f);
  EXPECT_EQ(taudio_ring_read(ring.get(), out.data(), 10), 8u);
  std::vector<float> want = numbered(1, 8);  // the earliest frames, never overwritten
  want.insert(want.end(), 4, 0.0f);
  EXPECT_EQ(out, want);
  EXPECT_EQ(taudio_ring_underruns(ring.get()), 2u);
}

// Random writes and reads of up to two capacities against a plain queue: every return value,
// delivered frame, counter and fill level must match, across many trips around storage whose
// size is not a power of two.
TEST(TaudioRing, MatchesAQueueModelAcrossManyWraps) {
  for (uint32_t capacity : {1u, 3u, 7u, 8u}) {
    SCOPED_TRACE(capacity);
    Ring ring = makeRing(capacity);
    std::deque<float> model;  // samples
    uint64_t overruns = 0, underruns = 0, offered = 0;
    std::mt19937 rng(capacity);
    std::uniform_int_distribution<uint32_t> size(0, 2 * capacity);
    for (int step = 0; step < 2000; ++step) {
      const uint32_t n = size(rng);
      if (step % 2 == 0) {
        const std::vector<float> in = numbered(uint32_t(offered), n);
        offered += n;
        const uint32_t fits = std::min<uint32_t>(n, capacity - uint32_t(model.size() / 2));
        ASSERT_EQ(taudio_ring_write(ring.get(), in.data(), n), fits);
        model.insert(model.end(), in.begin(), in.begin() + 2 * fits);
        overruns += n - fits;
      } else {
        std::vector<float> out(2 * n, 7.0f), want(2 * n, 0.0f);
        const uint32_t has = std::min<uint32_t>(n, uint32_t(model.size() / 2));
        std::copy_n(model.begin(), 2 * has, want.begin());
        model.erase(model.begin(), model.begin() + 2 * has);
        ASSERT_EQ(taudio_ring_read(ring.get(), out.data(), n), has);
        ASSERT_EQ(out, want);
        underruns += n - has;
      }
      ASSERT_EQ(taudio_ring_available(ring.get()), model.size() / 2);
      ASSERT_EQ(taudio_ring_overruns(ring.get()), overruns);
      ASSERT_EQ(taudio_ring_underruns(ring.get()), underruns);
    }
    EXPECT_GT(offered - overruns, 100u * capacity);  // it really went round many times
  }
}

TEST(TaudioRing, NullArgumentsChangeNothing) {
  Ring ring = makeRing(4);
  float frames[8] = {};
  EXPECT_EQ(taudio_ring_write(nullptr, frames, 4), 0u);
  EXPECT_EQ(taudio_ring_write(ring.get(), nullptr, 4), 0u);
  EXPECT_EQ(taudio_ring_read(nullptr, frames, 4), 0u);
  EXPECT_EQ(taudio_ring_read(ring.get(), nullptr, 4), 0u);
  EXPECT_EQ(taudio_ring_overruns(ring.get()), 0u);
  EXPECT_EQ(taudio_ring_underruns(ring.get()), 0u);
  EXPECT_EQ(taudio_ring_available(ring.get()), 0u);
  EXPECT_EQ(taudio_ring_available(nullptr), 0u);
  EXPECT_EQ(taudio_ring_overruns(nullptr), 0u);
  EXPECT_EQ(taudio_ring_underruns(nullptr), 0u);
}

}  // namespace
}  // namespace tavuno
