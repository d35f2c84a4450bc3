#include "platform/sim/SimInputLevels.h"

#include <algorithm>

namespace tavuno {

namespace {

class SimStream;

}  // namespace

struct SimInputLevels::Shared {
  Shared(MainQueue& main, const SimHal* hal) : main(main), hal(hal) {}
  MainQueue& main;
  const SimHal* hal;
  std::map<AudioObjectID, Signal> signals;
  std::map<AudioObjectID, int> openFaults;
  std::vector<SimStream*> streams;
  bool hold = false;
  int opens = 0;
};

namespace {

class SimStream : public InputLevelStream {
 public:
  SimStream(std::shared_ptr<SimInputLevels::Shared> shared, AudioObjectID device)
      : shared_(std::move(shared)),
        device_(device),
        state_(shared_->hold ? State::opening : State::running) {
    shared_->streams.push_back(this);
  }
  ~SimStream() override { std::erase(shared_->streams, this); }

  float peak() const override {
    if (state_ != State::running) return 0;
    if (shared_->hal && shared_->hal->muted(device_, scope::input).value_or(false)) return 0;
    auto it = shared_->signals.find(device_);
    return it == shared_->signals.end() ? 0.0f : it->second(shared_->main.uptime());
  }
  State state() const override { return state_; }

  AudioObjectID device() const { return device_; }
  void set(State state) {
    if (state_ != State::failed) state_ = state;
  }

 private:
  std::shared_ptr<SimInputLevels::Shared> shared_;
  AudioObjectID device_;
  State state_;
};

}  // namespace

SimInputLevels::SimInputLevels(MainQueue& main, const SimHal* hal)
    : shared_(std::make_shared<Shared>(main, hal)) {}

SimInputLevels::~SimInputLevels() = default;

std::unique_ptr<InputLevelStream> SimInputLevels::open(AudioObjectID device) {
  ++shared_->opens;
  if (device == 0) return nullptr;
  if (auto fault = shared_->openFaults.find(device); fault != shared_->openFaults.end()) {
    if (fault->second > 0 && --fault->second == 0) shared_->openFaults.erase(fault);
    return nullptr;
  }
  return std::make_unique<SimStream>(shared_, device);
}

void SimInputLevels::setSignal(AudioObjectID device, Signal signal) {
  shared_->signals[device] = std::move(signal);
}

void SimInputLevels::failOpens(AudioObjectID device, int count) {
  if (count == 0)
    shared_->openFaults.erase(device);
  else
    shared_->openFaults[device] = count;
}

void SimInputLevels::failStreams(AudioObjectID device) {
  for (auto* stream : shared_->streams)
    if (stream->device() == device) stream->set(InputLevelStream::State::failed);
}

void SimInputLevels::holdOpening(bool hold) {
  shared_->hold = hold;
  if (!hold)
    for (auto* stream : shared_->streams)
      stream->set(InputLevelStream::State::running);
}

std::vector<AudioObjectID> SimInputLevels::openDevices() const {
  std::vector<AudioObjectID> devices;
  for (const auto* stream : shared_->streams)
    devices.push_back(stream->device());
  return devices;
}

int SimInputLevels::opens() const {
  return shared_->opens;
}

}  // namespace tavuno
