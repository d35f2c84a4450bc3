// Output volume and mute of the default output, and the observation of
// changes made outside the program.
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

void AudioService::refreshVolume() {
  Hal& hal = ports_.hal;
  const AudioObjectID output = state_.defaultOutput;

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
  publish(ServiceField::volumeAvailable, &ServiceState::volumeAvailable, available);
  if (available) {
    const float loudest = *std::max_element(channelVolumes_.begin(), channelVolumes_.end());
    publish(ServiceField::volume, &ServiceState::volume, loudest);
    if (loudest > 0) {
      lastAudibleRatios_.clear();
      for (float value : channelVolumes_)
        lastAudibleRatios_.push_back(value / loudest);
    }
  }
}

void AudioService::refreshMute() {
  Hal& hal = ports_.hal;
  const AudioObjectID output = state_.defaultOutput;
  publish(ServiceField::muteAvailable, &ServiceState::muteAvailable,
          isSettableControl(hal, output, muteAddress));
  publish(ServiceField::muted, &ServiceState::muted,
          readUInt32(hal, output, muteAddress).value_or(0) != 0);
}

bool AudioService::setVolume(float value) {
  if (!state_.volumeAvailable || volumeElements_.size() != channelVolumes_.size()) return false;
  const auto values = VolumePolicy::scaled(channelVolumes_, value, lastAudibleRatios_);
  const AudioObjectID output = state_.defaultOutput;
  OSStatus lastFailure = status::noError;
  for (std::size_t i = 0; i < volumeElements_.size() && i < values.size(); ++i) {
    OSStatus result =
        writeFloat32(ports_.hal, output, volumeAddress(volumeElements_[i]), values[i]);
    if (result != status::noError) lastFailure = result;
  }
  if (lastFailure == status::noError) {
    refresh();
    saveActiveProfileSnapshot();
    return true;
  }
  profileError(textKey("Não foi possível alterar todos os canais (erro %d)."), lastFailure);
  refresh();
  return false;
}

bool AudioService::setMute(bool muted) {
  OSStatus result = writeUInt32(ports_.hal, state_.defaultOutput, muteAddress, muted ? 1 : 0);
  if (result != status::noError)
    profileError(textKey("Não foi possível alterar o silêncio (erro %d)."), result);
  refresh();
  return result == status::noError;
}

void AudioService::observeSystemAudio() {
  ObservedSystemAudio now{state_.defaultInput, state_.defaultOutput,
                          state_.volumeAvailable ? std::optional(state_.volume) : std::nullopt,
                          state_.muteAvailable ? std::optional(state_.muted) : std::nullopt};
  if (observedAudio_ && *observedAudio_ != now) saveActiveProfileSnapshot();
  observedAudio_ = now;
}

}  // namespace tavuno
