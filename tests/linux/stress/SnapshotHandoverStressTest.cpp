// The mirror's thread publishing while the main thread reads, listens and
// writes through LinuxHal, and a Hal going away while publications go on.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "hal/HalReaders.h"
#include "platform/linux/LinuxHal.h"
#include "platform/std/ThreadMainQueue.h"

namespace tavuno {
namespace {

constexpr int kPublications = 2000;

SnapshotRef snapshotWithVolume(ObjectIds& ids, std::uint32_t volume) {
  auto snapshot = std::make_shared<Snapshot>();
  ServerSink sink;
  sink.index = 1;
  sink.name = "speakers";
  sink.volume = {volume, volume};
  snapshot->state.sinks[1] = sink;
  snapshot->state.info.defaultSinkName = "speakers";
  snapshot->table = PropertyTable::build(snapshot->state, ids, {});
  snapshot->connected = true;
  return snapshot;
}

// Answers every write at once from its own thread, as the mirror does.
struct ThreadedWriter : ServerWriter {
  std::atomic<int> requests{0};
  std::vector<std::thread> answers;  // joined before the main queue goes
  ~ThreadedWriter() override {
    for (auto& thread : answers)
      thread.join();
  }
  void answer(Done done) {
    ++requests;
    answers.emplace_back([done = std::move(done)] { done(true); });
  }
  void setSinkVolume(const std::string&, std::vector<std::uint32_t>, Done done) override {
    answer(std::move(done));
  }
  void setSinkMute(const std::string&, bool, Done done) override { answer(std::move(done)); }
  void setSourceVolume(const std::string&, std::vector<std::uint32_t>, Done done) override {
    answer(std::move(done));
  }
  void setSourceMute(const std::string&, bool, Done done) override { answer(std::move(done)); }
  void setDefaultSink(const std::string&, Done done) override { answer(std::move(done)); }
  void setDefaultSource(const std::string&, Done done) override { answer(std::move(done)); }
};

TEST(SnapshotHandover, ListenersSeeEverySnapshotInOrderWhileTheMirrorPublishes) {
  ThreadMainQueue main;
  SnapshotHub hub;
  ThreadedWriter writer;
  ObjectIds ids;  // only the publisher builds tables
  hub.publish(snapshotWithVolume(ids, 0));
  auto hal = std::make_unique<LinuxHal>(main, hub, writer);
  const AudioObjectID speakers = hal->view().table.devices().begin()->first;
  const PropertyAddress element{selector::volumeScalar, scope::output, 1};

  float lastSeen = -1;
  bool ordered = true;
  ListenerToken token = 0;
  hal->addPropertyListener(
      speakers, element,
      [&](std::uint32_t, const PropertyAddress*) {
        const float value = readFloat32(*hal, speakers, element).value_or(-1);
        ordered &= value >= lastSeen;
        lastSeen = value;
        // The main thread writes meanwhile; the answers come from other threads.
        writeUInt32(*hal, speakers, {selector::mute, scope::output, 0}, value > 0.5f);
      },
      token);

  std::thread publisher([&] {
    for (int i = 1; i <= kPublications; ++i)
      hub.publish(snapshotWithVolume(ids, static_cast<std::uint32_t>(i)));
  });
  const float last = static_cast<float>(kPublications) / kVolumeNorm;
  // Done when the last snapshot was seen and every write was answered and
  // settled (or, failing that, after 10 s).
  const double deadline = main.uptime() + 10;
  std::function<void()> check = [&] {
    if ((lastSeen >= last && writer.requests > 0 && hal->pendingWrites() == 0) ||
        main.uptime() > deadline) {
      main.stop();
      return;
    }
    main.postAfter(0.001, check);
  };
  main.post(check);
  main.run();
  publisher.join();
  EXPECT_TRUE(ordered);
  EXPECT_FLOAT_EQ(lastSeen, last);
  EXPECT_GT(writer.requests.load(), 0);
  EXPECT_EQ(hal->pendingWrites(), 0u);

  // Gone while the mirror keeps publishing: nothing reaches it afterwards.
  std::atomic<bool> stop{false};
  std::thread more([&] {
    for (std::uint32_t i = 0; !stop; ++i)
      hub.publish(snapshotWithVolume(ids, i % kVolumeNorm));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  hal.reset();
  main.postAfter(0.02, [&] { main.stop(); });
  main.run();
  stop = true;
  more.join();
}

}  // namespace
}  // namespace tavuno
