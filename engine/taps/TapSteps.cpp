#include "engine/taps/TapSteps.h"

#include "base/ports/Uuid.h"
#include "base/text/TavunoLanguage.h"

namespace tavuno::tapSteps {

std::optional<SessionFailure> makeTap(TapPlatform& platform,
                                      const std::vector<AudioObjectID>& processes,
                                      AudioObjectID& tap, std::string& uid) {
  const TapDescription description{.processes = processes,
                                   .stereoMixdown = true,
                                   .name = "Tavuno Process Tap",
                                   .isPrivate = true,
                                   .muteBehavior = tapMute::mutedWhenTapped};
  AudioObjectID created = kAudioObjectUnknown;
  if (OSStatus s = platform.createProcessTap(description, created); s != status::noError)
    return tapFailure(textKey("Criar captura"), s);
  tap = created;

  std::optional<std::string> read;
  const PropertyAddress uidAddress{tapSelector::tapUID, scope::global, kElementMain};
  if (OSStatus s = platform.getStringProperty(tap, uidAddress, read); s != status::noError)
    return tapFailure(textKey("Ler propriedade de áudio"), s);
  if (!read)
    return SessionFailure::unsupported(tr("O sistema não forneceu o identificador da captura."));
  uid = std::move(*read);
  return std::nullopt;
}

std::string aggregateUID(bool duplex) {
  return std::string(duplex ? "com.tavuno.aggregate.duplex." : "com.tavuno.aggregate.") +
         Uuid::random().text();
}

}  // namespace tavuno::tapSteps
