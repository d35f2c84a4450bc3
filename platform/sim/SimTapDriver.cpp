#include "platform/sim/SimTapDriver.h"

#include <algorithm>
#include <limits>

namespace tavuno {

SimTapDriver::SimTapDriver(SimTapPlatform& platform, std::uint32_t framesPerCycle)
    : platform_(platform), framesPerCycle_(framesPerCycle) {}

const SimTapDriver::Playback& SimTapDriver::played(AudioObjectID device) const {
  static const Playback none;
  auto it = played_.find(device);
  return it == played_.end() ? none : it->second;
}

void SimTapDriver::refreshSources() {
  for (auto& [key, source] : sources_)
    source.seen = false;
  auto keep = [this](Key key) {
    auto [it, added] = sources_.try_emplace(key);
    it->second.seen = true;
    if (added) it->second.nextDue = now_ + periodOf(key);
  };
  for (const auto& [id, unit] : platform_.units())
    if (unit.alive && unit.started && unit.render.proc != nullptr)
      keep({Kind::unit, static_cast<std::uint64_t>(id)});
  for (const auto& [id, proc] : platform_.ioProcs())
    if (proc.registered && proc.running) keep({Kind::proc, static_cast<std::uint64_t>(id)});
  std::erase_if(sources_, [](const auto& entry) { return !entry.second.seen; });
}

double SimTapDriver::periodOf(const Key& key) const {
  double rate = 0;
  if (key.first == Kind::unit) {
    const auto unit = static_cast<AudioUnitRef>(key.second);
    if (auto format = platform_.unitStreamFormat(unit)) rate = format->mSampleRate;
  } else {
    const auto& proc = platform_.ioProcs().at(static_cast<IOProcID>(key.second));
    auto aggregate = platform_.aggregates().find(proc.device);
    if (aggregate != platform_.aggregates().end()) rate = aggregate->second.nominalRate;
  }
  return rate > 0 ? framesPerCycle_ / rate : std::numeric_limits<double>::infinity();
}

void SimTapDriver::advance(double seconds) {
  const double end = now_ + seconds;
  for (;;) {
    refreshSources();
    // Earliest due; units sort before procs, so they win ties.
    auto next = std::min_element(
        sources_.begin(), sources_.end(),
        [](const auto& a, const auto& b) { return a.second.nextDue < b.second.nextDue; });
    if (next == sources_.end() || next->second.nextDue > end) break;
    now_ = next->second.nextDue;
    const Key key = next->first;
    next->second.nextDue += periodOf(key);
    if (key.first == Kind::unit) {
      runUnit(static_cast<AudioUnitRef>(key.second));
    } else {
      runProc(static_cast<IOProcID>(key.second), next->second);
    }
  }
  now_ = end;
}

AudioBufferList& SimTapDriver::list(std::vector<std::uint64_t>& storage, std::uint32_t buffers) {
  storage.assign((audioBufferListSize(std::max(buffers, 1u)) + 7) / 8, 0);
  auto& result = *reinterpret_cast<AudioBufferList*>(storage.data());
  result.mNumberBuffers = buffers;
  return result;
}

void SimTapDriver::runProc(IOProcID id, Source& source) {
  const auto& proc = platform_.ioProcs().at(id);
  auto aggregateIt = platform_.aggregates().find(proc.device);
  if (aggregateIt == platform_.aggregates().end()) return;
  const auto& aggregate = aggregateIt->second;
  const auto& streams = platform_.streams();
  const auto inputs = static_cast<std::uint32_t>(aggregate.inputStreams.size());
  const auto outputs = static_cast<std::uint32_t>(aggregate.outputStreams.size());

  AudioBufferList& in = list(inputList_, inputs);
  inputData_.resize(inputs);
  for (std::uint32_t k = 0; k < inputs; ++k) {
    const auto& stream = streams.at(aggregate.inputStreams[k]);
    const std::uint32_t channels = stream.format.mChannelsPerFrame;
    auto& data = inputData_[k];
    data.assign(std::size_t{framesPerCycle_} * channels, 0.0f);
    if (stream.fromTap && signal_) {
      for (std::uint32_t i = 0; i < framesPerCycle_; ++i)
        for (std::uint32_t c = 0; c < channels; ++c)
          data[std::size_t{i} * channels + c] = signal_(source.frames + i, c);
    }
    bufferAt(in, k) = {channels, static_cast<std::uint32_t>(data.size() * sizeof(float)),
                       data.data()};
  }
  AudioBufferList& out = list(outputList_, outputs);
  outputData_.resize(outputs);
  for (std::uint32_t k = 0; k < outputs; ++k) {
    const std::uint32_t channels = streams.at(aggregate.outputStreams[k]).format.mChannelsPerFrame;
    auto& data = outputData_[k];
    data.assign(std::size_t{framesPerCycle_} * channels, unwritten);
    bufferAt(out, k) = {channels, static_cast<std::uint32_t>(data.size() * sizeof(float)),
                        data.data()};
  }
  platform_.runIOProc(id, &in, &out);
  source.frames += framesPerCycle_;
  for (std::uint32_t k = 0; k < outputs; ++k)
    record(streams.at(aggregate.outputStreams[k]).owner, bufferAt(out, k));
}

void SimTapDriver::runUnit(AudioUnitRef unit) {
  const auto format = platform_.unitStreamFormat(unit);
  const std::uint32_t channels = format ? format->mChannelsPerFrame : 2;
  AudioBufferList& io = list(outputList_, 1);
  outputData_.resize(1);
  auto& data = outputData_[0];
  data.assign(std::size_t{framesPerCycle_} * channels, unwritten);
  bufferAt(io, 0) = {channels, static_cast<std::uint32_t>(data.size() * sizeof(float)),
                     data.data()};
  platform_.render(unit, framesPerCycle_, &io);
  record(platform_.unitDevice(unit), bufferAt(io, 0));
}

void SimTapDriver::record(AudioObjectID device, const AudioBuffer& buffer) {
  auto& playback = played_[device];
  playback.channels = buffer.mNumberChannels;
  const auto* samples = static_cast<const float*>(buffer.mData);
  playback.samples.insert(playback.samples.end(), samples,
                          samples + buffer.mDataByteSize / sizeof(float));
}

}  // namespace tavuno
