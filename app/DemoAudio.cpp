#include "app/DemoAudio.h"

#include <algorithm>

namespace tavuno {

namespace {

constexpr std::uint32_t framesPerCycle =
    static_cast<std::uint32_t>(DemoAudio::sampleRate) * DemoAudio::periodMs / 1000;

AudioBufferList& makeList(std::vector<std::uint64_t>& storage, std::uint32_t buffers) {
  storage.assign((audioBufferListSize(std::max(buffers, 1u)) + 7) / 8, 0);
  auto& list = *reinterpret_cast<AudioBufferList*>(storage.data());
  list.mNumberBuffers = buffers;
  return list;
}

}  // namespace

DemoAudio::DemoAudio(SimTapPlatform& platform, QObject* parent)
    : QObject(parent), platform_(platform) {
  timer_.setInterval(periodMs);
  timer_.setTimerType(Qt::PreciseTimer);
  clock_.start();
  connect(&timer_, &QTimer::timeout, this,
          [this] { cycle(static_cast<double>(clock_.elapsed()) / 1000.0); });
}

const DemoAudio::Signal* DemoAudio::signalOf(AudioObjectID tap) const {
  auto found = platform_.taps().find(tap);
  if (found == platform_.taps().end()) return nullptr;
  for (AudioObjectID process : found->second.description.processes) {
    auto signal = signals_.find(process);
    if (signal != signals_.end()) return &signal->second;
  }
  return nullptr;
}

void DemoAudio::cycle(double seconds) {
  // Copied: a callback may not change the platform, but be safe anyway.
  std::vector<IOProcID> running;
  for (const auto& [id, proc] : platform_.ioProcs())
    if (proc.registered && proc.running) running.push_back(id);
  const auto& streams = platform_.streams();
  for (IOProcID id : running) {
    const auto& proc = platform_.ioProcs().at(id);
    auto aggregate = platform_.aggregates().find(proc.device);
    if (aggregate == platform_.aggregates().end()) continue;
    const auto& inputIDs = aggregate->second.inputStreams;
    const auto& outputIDs = aggregate->second.outputStreams;
    AudioBufferList& in = makeList(inputList_, static_cast<std::uint32_t>(inputIDs.size()));
    inputs_.resize(inputIDs.size());
    for (std::size_t k = 0; k < inputIDs.size(); ++k) {
      const auto& stream = streams.at(inputIDs[k]);
      const std::uint32_t channels = stream.format.mChannelsPerFrame;
      auto& data = inputs_[k];
      data.assign(std::size_t{framesPerCycle} * channels, 0.0f);
      if (const Signal* signal = stream.fromTap ? signalOf(stream.owner) : nullptr) {
        for (std::uint32_t i = 0; i < framesPerCycle; ++i)
          for (std::uint32_t c = 0; c < channels; ++c)
            data[std::size_t{i} * channels + c] = (*signal)(seconds + i / sampleRate, c);
      }
      bufferAt(in, static_cast<std::uint32_t>(k)) = {
          channels, static_cast<std::uint32_t>(data.size() * sizeof(float)), data.data()};
    }
    AudioBufferList& out = makeList(outputList_, static_cast<std::uint32_t>(outputIDs.size()));
    outputs_.resize(outputIDs.size());
    for (std::size_t k = 0; k < outputIDs.size(); ++k) {
      const std::uint32_t channels = streams.at(outputIDs[k]).format.mChannelsPerFrame;
      auto& data = outputs_[k];
      data.assign(std::size_t{framesPerCycle} * channels, 0.0f);
      bufferAt(out, static_cast<std::uint32_t>(k)) = {
          channels, static_cast<std::uint32_t>(data.size() * sizeof(float)), data.data()};
    }
    platform_.runIOProc(id, &in, &out);
  }
}

}  // namespace tavuno
