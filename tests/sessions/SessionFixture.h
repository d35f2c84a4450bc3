#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/ports/Uuid.h"
#include "engine/sessions/ManagedAudioSession.h"
#include "platform/sim/ManualSerialQueue.h"
#include "platform/sim/SimTapDriver.h"
#include "platform/sim/SimTapPlatform.h"

namespace tavuno::test {

using Call = SimTapPlatform::Call;
using Fault = SimTapPlatform::Fault;

constexpr OSStatus kFailure = -50;

inline Fault fails(Call call, std::optional<std::uint32_t> selector = {},
                   std::optional<std::uint32_t> scope = {}) {
  return {.call = call, .selector = selector, .scope = scope, .status = kFailure};
}
inline Fault noResult(Call call) {
  return {.call = call, .status = status::noError, .noResult = true};
}

// A simulated tap platform with a virtual clock, and outputs to start sessions on.
class SessionFixture : public ::testing::Test {
 protected:
  SimTapPlatform sim;
  SimTapDriver driver{sim};
  ManualSerialQueueFactory queues;
  SessionPorts ports{sim, queues, [this] { return driver.now(); }};
  std::vector<AudioObjectID> processes{501, 502};

  // An output device with one output stream per entry of `channels`.
  AudioDevice addOutput(const std::string& uid, std::vector<std::uint32_t> channels = {2},
                        double rate = 48000) {
    SimTapPlatform::Device device{.uid = uid, .nominalRate = rate};
    for (std::uint32_t c : channels)
      device.outputStreams.push_back(floatFormat(rate, c));
    return AudioDevice{.id = sim.addDevice(device), .uid = uid, .output = true};
  }

  // A virtual output with a loopback input, the duplex session's kind of device.
  AudioDevice addLoopback(const std::string& uid, double rate = 48000) {
    SimTapPlatform::Device device{.uid = uid,
                                  .nominalRate = rate,
                                  .outputStreams = {floatFormat(rate, 2)},
                                  .inputStreams = {floatFormat(rate, 2)}};
    return AudioDevice{.id = sim.addDevice(device),
                       .uid = uid,
                       .input = true,
                       .output = true,
                       .transport = transport::virtualDevice};
  }

  TapDescription expectedTap() const {
    return {.processes = processes,
            .stereoMixdown = true,
            .name = "Tavuno Process Tap",
            .isPrivate = true,
            .muteBehavior = tapMute::mutedWhenTapped};
  }

  // The prefix followed by a UUID in canonical upper-case form.
  static bool isAggregateUID(const std::string& uid, const std::string& prefix) {
    if (uid.compare(0, prefix.size(), prefix) != 0) return false;
    auto uuid = Uuid::parse(uid.substr(prefix.size()));
    return uuid && uuid->text() == uid.substr(prefix.size());
  }

  static bool isQueue(const std::shared_ptr<SerialQueue>& queue, const std::string& label) {
    auto manual = std::dynamic_pointer_cast<ManualSerialQueue>(queue);
    return manual && manual->label() == label &&
           manual->priority() == QueuePriority::userInteractive;
  }

  std::vector<Call> callSequence() const {
    std::vector<Call> sequence;
    for (const auto& record : sim.calls())
      sequence.push_back(record.call);
    return sequence;
  }

  const SimTapPlatform::Aggregate& onlyAggregate() const {
    EXPECT_EQ(sim.aggregates().size(), 1u);
    return sim.aggregates().begin()->second;
  }
  IOProcID lastProc() const { return sim.ioProcs().rbegin()->first; }
  AudioUnitRef lastUnit() const { return sim.units().rbegin()->first; }
};

// A buffer list of any shape over its own samples: per buffer, channels and frames.
class BufferList {
 public:
  BufferList(std::vector<std::pair<std::uint32_t, std::uint32_t>> buffers, float fill = 0.0f)
      : storage_((audioBufferListSize(std::max<std::uint32_t>(buffers.size(), 1)) + 7) / 8),
        data_(buffers.size()) {
    get()->mNumberBuffers = static_cast<std::uint32_t>(buffers.size());
    for (std::uint32_t k = 0; k < buffers.size(); ++k) {
      data_[k].assign(std::size_t{buffers[k].first} * buffers[k].second, fill);
      bufferAt(*get(), k) = {buffers[k].first, static_cast<std::uint32_t>(4 * data_[k].size()),
                             data_[k].data()};
    }
  }
  BufferList(const BufferList&) = delete;
  BufferList& operator=(const BufferList&) = delete;

  AudioBufferList* get() { return reinterpret_cast<AudioBufferList*>(storage_.data()); }
  std::vector<float>& samples(std::size_t k = 0) { return data_[k]; }

 private:
  std::vector<std::uint64_t> storage_;
  std::vector<std::vector<float>> data_;
};

}  // namespace tavuno::test
