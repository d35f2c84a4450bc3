#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/sessions/ManagedAudioSession.h"
#include "platform/sim/ManualSerialQueue.h"
#include "platform/sim/SimTapDriver.h"
#include "platform/sim/SimTapPlatform.h"

namespace tavuno::test {

using Call = SimTapPlatform::Call;

// A simulated tap platform with a virtual clock, and outputs to start sessions on.
class SessionFixture : public ::testing::Test {
 protected:
  SimTapPlatform sim;
  SimTapDriver driver{sim};
  ManualSerialQueueFactory queues;
  SessionPorts ports{sim, queues, [this] { return driver.now(); }};
  std::vector<AudioObjectID> processes{501, 502};

  // An output device known to the platform, with one output stream per entry of `channels`.
  AudioDevice addOutput(const std::string& uid, std::vector<std::uint32_t> channels = {2},
                        double rate = 48000) {
    SimTapPlatform::Device device{.uid = uid, .nominalRate = rate};
    for (std::uint32_t c : channels)
      device.outputStreams.push_back(floatFormat(rate, c));
    const AudioObjectID id = sim.addDevice(device);
    return AudioDevice{.id = id, .uid = uid, .name = uid, .output = true};
  }

  // A virtual output with a loopback input, the duplex session's kind of device.
  AudioDevice addLoopback(const std::string& uid, double rate = 48000) {
    SimTapPlatform::Device device{.uid = uid,
                                  .nominalRate = rate,
                                  .outputStreams = {floatFormat(rate, 2)},
                                  .inputStreams = {floatFormat(rate, 2)}};
    return AudioDevice{.id = sim.addDevice(device),
                       .uid = uid,
                       .name = uid,
                       .input = true,
                       .output = true,
                       .transport = transport::virtualDevice};
  }

  std::vector<Call> callSequence() const {
    std::vector<Call> sequence;
    for (const auto& record : sim.calls())
      sequence.push_back(record.call);
    return sequence;
  }

  // The one aggregate made so far.
  const SimTapPlatform::Aggregate& onlyAggregate() const {
    EXPECT_EQ(sim.aggregates().size(), 1u);
    return sim.aggregates().begin()->second;
  }

  IOProcID lastProc() const {
    return sim.ioProcs().empty() ? IOProcID::none : sim.ioProcs().rbegin()->first;
  }

  AudioUnitRef lastUnit() const {
    return sim.units().empty() ? AudioUnitRef::none : sim.units().rbegin()->first;
  }
};

// A buffer list of any shape, with its own sample storage.
class BufferList {
 public:
  // One buffer per entry: its channel count and frame count.
  BufferList(std::vector<std::pair<std::uint32_t, std::uint32_t>> buffers, float fill = 0.0f) {
    storage_.assign((audioBufferListSize(std::max<std::size_t>(buffers.size(), 1)) + 7) / 8, 0);
    list().mNumberBuffers = static_cast<std::uint32_t>(buffers.size());
    data_.resize(buffers.size());
    for (std::size_t k = 0; k < buffers.size(); ++k) {
      const auto [channels, frames] = buffers[k];
      data_[k].assign(std::size_t{channels} * frames, fill);
      bufferAt(list(), static_cast<std::uint32_t>(k)) = {
          channels, static_cast<std::uint32_t>(data_[k].size() * sizeof(float)), data_[k].data()};
    }
  }
  BufferList(const BufferList&) = delete;
  BufferList& operator=(const BufferList&) = delete;

  AudioBufferList& list() { return *reinterpret_cast<AudioBufferList*>(storage_.data()); }
  AudioBufferList* get() { return &list(); }
  std::vector<float>& samples(std::size_t k = 0) { return data_[k]; }

 private:
  std::vector<std::uint64_t> storage_;
  std::vector<std::vector<float>> data_;
};

}  // namespace tavuno::test
