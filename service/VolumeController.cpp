#include "service/VolumeController.h"

#include <algorithm>

#include "base/text/TavunoLanguage.h"
#include "devices/VolumePolicy.h"
#include "hal/HalReaders.h"
#include "service/AudioService.h"

namespace tavuno {

const VolumeSide VolumeSide::output{
    scope::output,
    &ServiceState::defaultOutput,
    ServiceField::volume,
    ServiceField::volumeAvailable,
    ServiceField::muted,
    ServiceField::muteAvailable,
    &ServiceState::volume,
    &ServiceState::volumeAvailable,
    &ServiceState::muted,
    &ServiceState::muteAvailable,
    textKey("Não foi possível alterar todos os canais (erro %d)."),
    textKey("Não foi possível alterar o silêncio (erro %d)."),
};

const VolumeSide VolumeSide::input{
    scope::input,
    &ServiceState::defaultInput,
    ServiceField::inputVolume,
    ServiceField::inputVolumeAvailable,
    ServiceField::inputMuted,
    ServiceField::inputMuteAvailable,
    &ServiceState::inputVolume,
    &ServiceState::inputVolumeAvailable,
    &ServiceState::inputMuted,
    &ServiceState::inputMuteAvailable,
    textKey("Não foi possível alterar todos os canais do microfone (erro %d)."),
    textKey("Não foi possível silenciar ou ativar o microfone (erro %d)."),
};

VolumeController::VolumeController(VolumeHost& host, const ServicePorts& ports,
                                   const VolumeSide& side)
    : host_(host), ports_(ports), side_(side), listeners_(ports.hal) {}

namespace {

PropertyAddress volumeAddress(const VolumeSide& side, std::uint32_t element) {
  return {selector::volumeScalar, side.scope, element};
}

PropertyAddress muteAddress(const VolumeSide& side) {
  return {selector::mute, side.scope, kElementMain};
}

}  // namespace

void VolumeController::refresh() {
  refreshVolume();
  updateListeners();
  refreshMute();
}

void VolumeController::refreshVolume() {
  Hal& hal = ports_.hal;
  const AudioObjectID output = device();

  std::vector<std::uint32_t> controls = volumeControls(hal, output, side_.scope);

  if (volumeDevice_ != output || controls != volumeElements_) {
    lastAudibleRatios_.clear();
    volumeDevice_ = output;
  }
  volumeElements_ = std::move(controls);

  channelVolumes_.clear();
  for (std::uint32_t element : volumeElements_)
    if (auto value = readFloat32(hal, output, volumeAddress(side_, element)))
      channelVolumes_.push_back(*value);

  const bool available =
      !volumeElements_.empty() && channelVolumes_.size() == volumeElements_.size();
  host_.publish(side_.volumeAvailableField, side_.volumeAvailable, available);
  if (available) {
    const float loudest = *std::max_element(channelVolumes_.begin(), channelVolumes_.end());
    host_.publish(side_.volumeField, side_.volume, loudest);
    if (loudest > 0) {
      lastAudibleRatios_.clear();
      for (float value : channelVolumes_)
        lastAudibleRatios_.push_back(value / loudest);
    }
  }
}

void VolumeController::updateListeners() {
  const AudioObjectID output = device();
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
    listeners_.add(output, volumeAddress(side_, element), changed);
  listeners_.add(output, muteAddress(side_), changed);
}

void VolumeController::refreshMute() {
  Hal& hal = ports_.hal;
  const AudioObjectID output = device();
  host_.publish(side_.muteAvailableField, side_.muteAvailable,
                isSettableControl(hal, output, muteAddress(side_)));
  host_.publish(side_.mutedField, side_.muted,
                readUInt32(hal, output, muteAddress(side_)).value_or(0) != 0);
}

bool VolumeController::setVolume(float value) {
  if (!(host_.state().*side_.volumeAvailable) || volumeElements_.size() != channelVolumes_.size())
    return false;
  const auto values = VolumePolicy::scaled(channelVolumes_, value, lastAudibleRatios_);
  const AudioObjectID output = device();
  OSStatus lastFailure = status::noError;
  for (std::size_t i = 0; i < volumeElements_.size() && i < values.size(); ++i) {
    OSStatus result =
        writeFloat32(ports_.hal, output, volumeAddress(side_, volumeElements_[i]), values[i]);
    if (result != status::noError) lastFailure = result;
  }
  if (lastFailure == status::noError) {
    host_.refresh();
    host_.keepActiveProfileInStep();
    return true;
  }
  host_.profileError(side_.channelsError, lastFailure);
  host_.refresh();
  return false;
}

bool VolumeController::setMute(bool muted) {
  OSStatus result = writeUInt32(ports_.hal, device(), muteAddress(side_), muted ? 1 : 0);
  if (result != status::noError) host_.profileError(side_.muteError, result);
  host_.refresh();
  return result == status::noError;
}

}  // namespace tavuno
