#include <gtest/gtest.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "platform/linux/StreamProps.h"

namespace tavuno {
namespace {

// A Props object built as a stream's owner would send it. Each pod is copied into memory of
// exactly its declared size, so a read past it is a read past the allocation.
class PropsPod {
 public:
  PropsPod() { spa_pod_builder_push_object(&builder_, &frame_, SPA_TYPE_OBJECT_Props, 2); }

  // channelVolumes as an array of `count` elements of `childSize` bytes and `childType`,
  // the first bytes of each element holding the float of `values` (zeros past the list).
  PropsPod& volumes(const std::vector<float>& values, std::uint32_t childSize = sizeof(float),
                    std::uint32_t childType = SPA_TYPE_Float, std::uint32_t count = 0) {
    if (count == 0) count = static_cast<std::uint32_t>(values.size());
    std::vector<unsigned char> elements(std::size_t{childSize} * count);
    for (std::size_t i = 0; i < values.size() && i < count; ++i)
      std::memcpy(&elements[i * childSize], &values[i], std::min<std::size_t>(4, childSize));
    spa_pod_builder_prop(&builder_, SPA_PROP_channelVolumes, 0);
    spa_pod_builder_array(&builder_, childSize, childType, count, elements.data());
    return *this;
  }
  PropsPod& mute(bool muted) {
    spa_pod_builder_prop(&builder_, SPA_PROP_mute, 0);
    spa_pod_builder_bool(&builder_, muted);
    return *this;
  }
  PropsPod& muteAsInt(std::int32_t muted) {
    spa_pod_builder_prop(&builder_, SPA_PROP_mute, 0);
    spa_pod_builder_int(&builder_, muted);
    return *this;
  }

  // The finished pod; `cut` bytes fewer declared (and copied) than were built.
  StreamProps parse(std::uint32_t cut = 0) {
    auto* pod = static_cast<spa_pod*>(spa_pod_builder_pop(&builder_, &frame_));
    EXPECT_NE(pod, nullptr) << "the test's buffer is too small";
    if (!pod) return {};
    pod->size -= cut;
    const std::size_t size = SPA_POD_SIZE(pod);
    std::unique_ptr<std::uint64_t[]> exact(new std::uint64_t[(size + 7) / 8]);
    std::memcpy(exact.get(), pod, size);
    return parseStreamProps(reinterpret_cast<const spa_pod*>(exact.get()));
  }

 private:
  std::vector<unsigned char> buffer_ = std::vector<unsigned char>(1 << 20);
  spa_pod_builder builder_ = SPA_POD_BUILDER_INIT(buffer_.data(), std::uint32_t(1 << 20));
  spa_pod_frame frame_{};
};

TEST(StreamProps, ReadsTheVolumesAndMuteAStreamReports) {
  StreamProps props = PropsPod().volumes({0.5f, 0.25f}).mute(true).parse();
  EXPECT_EQ(props.volumes, (std::vector<float>{0.5f, 0.25f}));
  EXPECT_EQ(props.muted, true);

  props = PropsPod().mute(false).parse();
  EXPECT_TRUE(props.volumes.empty());
  EXPECT_EQ(props.muted, false);

  // The bounds themselves are volumes a stream may have.
  props = PropsPod().volumes({0.0f, loudestStreamVolume}).parse();
  EXPECT_EQ(props.volumes, (std::vector<float>{0.0f, loudestStreamVolume}));
  EXPECT_EQ(props.muted, std::nullopt);
  EXPECT_EQ(PropsPod().volumes(std::vector<float>(maxStreamChannels, 1.0f)).parse().volumes.size(),
            maxStreamChannels);
}

// Any client can give its streams such Props: none of them may be read as channel volumes,
// and the mute beside them still counts.
TEST(StreamProps, AnArrayThatIsNotOfPlainFloatsIsIgnored) {
  // Float elements that claim 1024 bytes each: read as they declare, they overrun any
  // buffer sized by the element count.
  StreamProps props = PropsPod().volumes({0.5f, 0.5f, 0.5f, 0.5f}, 1024).mute(true).parse();
  EXPECT_TRUE(props.volumes.empty());
  EXPECT_EQ(props.muted, true);

  EXPECT_TRUE(PropsPod().volumes({0.5f, 0.5f}, 2).parse().volumes.empty());
  EXPECT_TRUE(PropsPod().volumes({0.5f, 0.5f}, 4, SPA_TYPE_Int).parse().volumes.empty());
  EXPECT_TRUE(PropsPod().volumes({0.5f, 0.5f}, 8, SPA_TYPE_Double).parse().volumes.empty());
  EXPECT_TRUE(PropsPod()
                  .volumes({0.5f}, sizeof(float), SPA_TYPE_Float, maxStreamChannels + 1)
                  .parse()
                  .volumes.empty());
  EXPECT_TRUE(PropsPod().volumes({}).parse().volumes.empty());
}

TEST(StreamProps, AbsurdVolumesLeaveTheVolumesUnknown) {
  // An infinite volume would divide the application's gain to silence, a NaN one undo it.
  for (float bad : {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN(), -0.01f,
                    std::nextafter(loudestStreamVolume, 100.0f), 1e30f}) {
    StreamProps props = PropsPod().volumes({0.5f, bad}).mute(false).parse();
    EXPECT_TRUE(props.volumes.empty()) << bad;
    EXPECT_EQ(props.muted, false) << bad;
  }
}

TEST(StreamProps, PodsOfTheWrongShapeSayNothing) {
  EXPECT_EQ(PropsPod().muteAsInt(1).parse().muted, std::nullopt);
  EXPECT_EQ(parseStreamProps(nullptr).muted, std::nullopt);

  // Not a Props object: a bare Bool, and an object of another type.
  alignas(8) std::uint8_t buffer[256];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  spa_pod_builder_bool(&b, true);
  EXPECT_EQ(parseStreamProps(reinterpret_cast<const spa_pod*>(buffer)).muted, std::nullopt);
  b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  spa_pod_frame frame{};
  spa_pod_builder_push_object(&b, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_Props);
  spa_pod_builder_prop(&b, SPA_PROP_mute, 0);
  spa_pod_builder_bool(&b, true);
  EXPECT_EQ(parseStreamProps(static_cast<spa_pod*>(spa_pod_builder_pop(&b, &frame))).muted,
            std::nullopt);

  // An object whose declared size ends inside its last property: that property is not there.
  StreamProps cut = PropsPod().mute(true).volumes({0.5f, 0.5f}).parse(4);
  EXPECT_TRUE(cut.volumes.empty());
  EXPECT_EQ(cut.muted, true);
  EXPECT_EQ(PropsPod().volumes({0.5f, 0.5f}).mute(true).parse(8).muted, std::nullopt);
}

}  // namespace
}  // namespace tavuno
