#include "service/VolumeController.h"

#include <algorithm>

#include "base/text/TavunoLanguage.h"
#include "devices/VolumePolicy.h"
#include "hal/HalReaders.h"
#include "service/AudioService.h"

namespace tavuno {

namespace {

PropertyAddress volumeAddress(std::uint32_t element) {
  return {selector::volumeScalar, scope::output, element};
}

const PropertyAddress muteAddress{selector::mute, scope::output, kElementMain};

}  // namespace

VolumeController::VolumeController(VolumeHost& host, const ServicePorts& ports)
    : host_(host), ports_(ports), listeners_(ports.hal) {}

void VolumeController::refresh() {
  refreshVolume();
  updateListeners();
  refreshMute();
}

void VolumeController::refreshVolume() {
  Hal& hal = ports_.hal;
  const AudioObjectID output = host_.state().defaultOutput;

  std::vector<std::uint32_t> controls = outputVolumeControls(hal, output);

  if (volumeDevice_ != output || controls != volumeElements_) {
    lastAudibleRatios_.clear();
    volumeDevice_ = output;
  }
  volumeElements_ = std::move(controls);

  channelVolumes_.clear();
  for (std::uint32_t element : volumeElements_)
    if (auto value = readFloat32(hal, output, volumeAddress(element)))
      channelVolumes_.push_back(*value);

  const bool available =
      !volumeElements_.empty() && channelVolumes_.size() == volumeElements_.size();
  host_.publish(ServiceField::volumeAvailable, &ServiceState::volumeAvailable, available);
  if (available) {
    const float loudest = *std::max_element(channelVolumes_.begin(), channelVolumes_.end());
    host_.publish(ServiceField::volume, &ServiceState::volume, loudest);
    if (loudest > 0) {
      lastAudibleRatios_.clear();
      for (float value : channelVolumes_)
        lastAudibleRatios_.push_back(value / loudest);
    }
  }
}

void VolumeController::updateListeners() {
  const AudioObjectID output = host_.state().defaultOutput;
  if (listenerOutput_ == output && listenerElements_ == volumeElements_) return;
  listeners_.clear();
  listenerOutput_ = output;
  listenerElements_ = volumeElements_;
  if (output == 0) return;

  auto changed = [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->host_.scheduleAudioRefresh();
  };
  std::vector<std::uint32_t> elements{kElementMain};
  for (std::uint32_t element : volumeElements_)
    if (std::find(elements.begin(), elements.end(), element) == elements.end())
      elements.push_back(element);
  for (std::uint32_t element : elements)
    listeners_.add(output, {selector::volumeScalar, scope::output, element}, changed);
  listeners_.add(output, {selector::mute, scope::output, kElementMain}, changed);
}

void VolumeController::refreshMute() {
  Hal& hal = ports_.hal;
  const AudioObjectID output = host_.state().defaultOutput;
  host_.publish(ServiceField::muteAvailable, &ServiceState::muteAvailable,
                isSettableControl(hal, output, muteAddress));
  host_.publish(ServiceField::muted, &ServiceState::muted,
                readUInt32(hal, output, muteAddress).value_or(0) != 0);
}

bool VolumeController::setVolume(float value) {
  if (!host_.state().volumeAvailable || volumeElements_.size() != channelVolumes_.size())
    return false;
  const auto values = VolumePolicy::scaled(channelVolumes_, value, lastAudibleRatios_);
  const AudioObjectID output = host_.state().defaultOutput;
  OSStatus lastFailure = status::noError;
  for (std::size_t i = 0; i < volumeElements_.size() && i < values.size(); ++i) {
    OSStatus result =
        writeFloat32(ports_.hal, output, volumeAddress(volumeElements_[i]), values[i]);
    if (result != status::noError) lastFailure = result;
  }
  if (lastFailure == status::noError) {
    host_.refresh();
    host_.keepActiveProfileInStep();
    return true;
  }
  host_.profileError(textKey("Não foi possível alterar todos os canais (erro %d)."), lastFailure);
  host_.refresh();
  return false;
}

bool VolumeController::setMute(bool muted) {
  OSStatus result =
      writeUInt32(ports_.hal, host_.state().defaultOutput, muteAddress, muted ? 1 : 0);
  if (result != status::noError)
    host_.profileError(textKey("Não foi possível alterar o silêncio (erro %d)."), result);
  host_.refresh();
  return result == status::noError;
}

}  // namespace tavuno
