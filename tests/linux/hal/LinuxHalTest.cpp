#include "platform/linux/LinuxHal.h"

#include <gtest/gtest.h>

#include <cmath>

#include "hal/HalReaders.h"
#include "linux/hal/ServerStateBuilders.h"
#include "platform/sim/SimMainQueue.h"

namespace tavuno {
namespace {

using test::add;
using test::sink;
using test::source;

PropertyAddress volumeAt(std::uint32_t element) {
  return {selector::volumeScalar, scope::output, element};
}
const PropertyAddress muteAddress{selector::mute, scope::output, 0};
const PropertyAddress defaultOutput = globalAddress(selector::defaultOutputDevice);

std::uint32_t serverStep(float value) {
  return static_cast<std::uint32_t>(std::lround(value * kVolumeNorm));
}

// Records every request; the test answers them.
struct RecordingWriter : ServerWriter {
  struct Request {
    std::string what;
    std::string target;
    std::vector<std::uint32_t> volume;
    Done done;
  };
  std::vector<Request> requests;

  void setSinkVolume(const std::string& sink, std::vector<std::uint32_t> volume,
                     Done done) override {
    requests.push_back({"volume", sink, std::move(volume), std::move(done)});
  }
  void setSinkMute(const std::string& sink, bool mute, Done done) override {
    requests.push_back({mute ? "mute" : "unmute", sink, {}, std::move(done)});
  }
  void setSourceVolume(const std::string& source, std::vector<std::uint32_t> volume,
                       Done done) override {
    requests.push_back({"source-volume", source, std::move(volume), std::move(done)});
  }
  void setSourceMute(const std::string& source, bool mute, Done done) override {
    requests.push_back({mute ? "source-mute" : "source-unmute", source, {}, std::move(done)});
  }
  void setDefaultSink(const std::string& sink, Done done) override {
    requests.push_back({"default-sink", sink, {}, std::move(done)});
  }
  void setDefaultSource(const std::string& source, Done done) override {
    requests.push_back({"default-source", source, {}, std::move(done)});
  }
};

class LinuxHalTest : public ::testing::Test {
 protected:
  SimMainQueue main;
  SnapshotHub hub;
  RecordingWriter writer;
  ObjectIds ids;
  ServerState state;
  std::unique_ptr<LinuxHal> hal;

  void SetUp() override {
    add(state, sink(1, "speakers", {{"device.bus", "pci"}}, {kVolumeNorm, kVolumeNorm / 2}));
    add(state, sink(2, "usb_dac", {{"device.bus", "usb"}}));
    add(state, source(3, "mic"));
    state.info.defaultSinkName = "speakers";
    publish();
    hal = std::make_unique<LinuxHal>(main, hub, writer);
  }

  // The mirror's part: a new snapshot of `state`.
  void publish(bool connected = true) {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->state = state;
    snapshot->table = PropertyTable::build(state, ids, {});
    snapshot->connected = connected;
    hub.publish(std::move(snapshot));
  }
  AudioObjectID device(const std::string& uid) {
    for (const auto& [id, facts] : hal->view().table.devices())
      if (facts.uid == uid) return id;
    return 0;
  }
};

TEST_F(LinuxHalTest, StatusesFollowTheSimulatedHal) {
  const AudioObjectID speakers = device("speakers");
  const AudioObjectID mic = device("mic");
  std::uint32_t size = 0;
  float value = 0.3f;
  EXPECT_EQ(hal->getPropertyDataSize(4242, volumeAt(1), size), status::badObject);
  EXPECT_EQ(hal->getPropertyDataSize(speakers, volumeAt(0), size), status::unknownProperty);
  EXPECT_FALSE(hal->hasProperty(speakers, volumeAt(0)));
  EXPECT_EQ(hal->setPropertyData(speakers, globalAddress(selector::name), 4, "abcd"),
            status::illegalOperation);
  EXPECT_EQ(hal->setPropertyData(speakers, volumeAt(1), 2, &value), status::badPropertySize);
  EXPECT_EQ(writeUInt32(*hal, 1, defaultOutput, mic), status::illegalOperation)
      << "an input cannot be the default output";
  EXPECT_EQ(writeUInt32(*hal, 1, defaultOutput, 4242), status::illegalOperation);

  ListenerToken token = 0;
  EXPECT_EQ(hal->addPropertyListener(
                4242, volumeAt(0), [](auto, auto) {}, token),
            status::badObject);
  EXPECT_EQ(hal->addPropertyListener(
                speakers, volumeAt(0), [](auto, auto) {}, token),
            status::noError)
      << "listening on an unserved address of a live object succeeds";

  state = {};  // the server is gone for good
  publish(false);
  hal->takeLatestSnapshot();
  EXPECT_EQ(writeUInt32(*hal, 1, defaultOutput, speakers), status::unspecified);
  EXPECT_TRUE(readObjectIDs(*hal, 1, globalAddress(selector::devices)).empty());
}

TEST_F(LinuxHalTest, ListenersRunAfterTheTakeOverWithOnlyWhatChanged) {
  const AudioObjectID speakers = device("speakers");
  std::vector<std::pair<std::uint32_t, float>> heard;  // element, value read in the listener
  for (std::uint32_t element : {0u, 1u, 2u}) {
    ListenerToken token = 0;
    ASSERT_EQ(hal->addPropertyListener(
                  speakers, volumeAt(element),
                  [&, element](std::uint32_t count, const PropertyAddress* addresses) {
                    ASSERT_EQ(count, 1u);
                    heard.emplace_back(addresses[0].element,
                                       *readFloat32(*hal, speakers, volumeAt(element)));
                  },
                  token),
              status::noError);
  }
  state.sinks[1].volume[1] = kVolumeNorm / 4;
  publish();
  EXPECT_EQ(readFloat32(*hal, speakers, volumeAt(2)), 0.5f) << "not taken over before its turn";
  main.runPending();
  EXPECT_EQ(heard, (std::vector<std::pair<std::uint32_t, float>>{{2, 0.25f}}));
}

TEST_F(LinuxHalTest, WritesReadBackAtOnceAndGoOutOncePerTurn) {
  const AudioObjectID speakers = device("speakers");
  const AudioObjectID usb = device("usb_dac");
  EXPECT_EQ(writeFloat32(*hal, speakers, volumeAt(1), 0.2f), status::noError);
  EXPECT_EQ(writeFloat32(*hal, speakers, volumeAt(2), 1.7f), status::noError);
  EXPECT_EQ(writeUInt32(*hal, 1, defaultOutput, usb), status::noError);
  EXPECT_EQ(writeUInt32(*hal, speakers, muteAddress, 5), status::noError);
  EXPECT_EQ(readFloat32(*hal, speakers, volumeAt(1)), serverStep(0.2f) / float(kVolumeNorm))
      << "on the server's scale";
  EXPECT_EQ(readFloat32(*hal, speakers, volumeAt(2)), 1.0f) << "clamped";
  EXPECT_EQ(readUInt32(*hal, 1, defaultOutput), usb);
  EXPECT_EQ(readUInt32(*hal, speakers, muteAddress), 1u);
  EXPECT_TRUE(writer.requests.empty()) << "sent at the end of the turn";

  main.runPending();
  ASSERT_EQ(writer.requests.size(), 3u);
  EXPECT_EQ(writer.requests[0].what, "volume");
  EXPECT_EQ(writer.requests[0].volume, (std::vector<std::uint32_t>{serverStep(0.2f), kVolumeNorm}));
  EXPECT_EQ(writer.requests[1].what, "default-sink");
  EXPECT_EQ(writer.requests[1].target, "usb_dac");
  EXPECT_EQ(writer.requests[2].what, "mute");

  // The server takes them; the snapshot that carries them empties the overlay.
  for (auto& request : writer.requests)
    request.done(true);
  main.runPending();
  EXPECT_EQ(hal->pendingWrites(), 4u);
  state.sinks[1].volume = {serverStep(0.2f), kVolumeNorm};
  state.sinks[1].mute = true;
  state.info.defaultSinkName = "usb_dac";
  publish();
  main.runPending();
  EXPECT_EQ(hal->pendingWrites(), 0u);
  main.advance(5);
  EXPECT_EQ(writer.requests.size(), 3u) << "nothing resent";
}

// A microphone's level and mute go to its source, every channel in one request.
TEST_F(LinuxHalTest, InputWritesGoToTheSource) {
  const AudioObjectID mic = device("mic");
  const PropertyAddress micVolume{selector::volumeScalar, scope::input, 2};
  EXPECT_EQ(writeFloat32(*hal, mic, micVolume, 0.5f), status::noError);
  EXPECT_EQ(writeUInt32(*hal, mic, {selector::mute, scope::input, 0}, 1), status::noError);
  EXPECT_EQ(writeFloat32(*hal, mic, volumeAt(1), 0.5f), status::unknownProperty)
      << "a source has no output side";
  main.runPending();
  ASSERT_EQ(writer.requests.size(), 2u);
  EXPECT_EQ(writer.requests[0].what, "source-volume");
  EXPECT_EQ(writer.requests[0].target, "mic");
  EXPECT_EQ(writer.requests[0].volume, (std::vector<std::uint32_t>{kVolumeNorm, serverStep(0.5f)}));
  EXPECT_EQ(writer.requests[1].what, "source-mute");
  EXPECT_EQ(writer.requests[1].target, "mic");
}

TEST_F(LinuxHalTest, ALostWriteIsResentTwiceThenRevertedAndReported) {
  const AudioObjectID speakers = device("speakers");
  std::vector<std::pair<AudioObjectID, OSStatus>> failures;
  hal->setDeferredWriteFailureHandler(
      [&](AudioObjectID object, const PropertyAddress& address, OSStatus status) {
        EXPECT_EQ(address, volumeAt(1));
        failures.emplace_back(object, status);
      });
  int heard = 0;
  ListenerToken token = 0;
  hal->addPropertyListener(
      speakers, volumeAt(1), [&](auto, auto) { ++heard; }, token);

  writeFloat32(*hal, speakers, volumeAt(1), 0.2f);
  main.runPending();
  ASSERT_EQ(writer.requests.size(), 1u);
  writer.requests[0].done(false);  // refused: resent at once
  main.runPending();
  ASSERT_EQ(writer.requests.size(), 2u);
  writer.requests[1].done(true);  // accepted, but never shows up
  main.advance(LinuxHal::writeTimeout);
  ASSERT_EQ(writer.requests.size(), 3u);
  EXPECT_EQ(readFloat32(*hal, speakers, volumeAt(1)), serverStep(0.2f) / float(kVolumeNorm));
  EXPECT_TRUE(failures.empty());

  main.advance(LinuxHal::writeTimeout);
  EXPECT_EQ(writer.requests.size(), 3u);
  EXPECT_EQ(readFloat32(*hal, speakers, volumeAt(1)), 1.0f) << "the server's value again";
  EXPECT_EQ(failures,
            (std::vector<std::pair<AudioObjectID, OSStatus>>{{speakers, status::unspecified}}));
  EXPECT_EQ(heard, 1);
  // A late answer to a request given up on changes nothing.
  writer.requests[2].done(false);
  main.advance(5);
  EXPECT_EQ(writer.requests.size(), 3u);
}

}  // namespace
}  // namespace tavuno
