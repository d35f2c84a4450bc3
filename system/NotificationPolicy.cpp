#include "system/NotificationPolicy.h"

#include <algorithm>

#include "base/text/TavunoLanguage.h"

namespace tavuno {

std::optional<std::string> NotificationPolicy::message(bool enabled,
                                                       const std::set<std::string>* previous,
                                                       const std::set<std::string>& current) {
  if (!enabled || !previous || *previous == current) return std::nullopt;
  const bool added =
      !std::includes(previous->begin(), previous->end(), current.begin(), current.end());
  const bool removed =
      !std::includes(current.begin(), current.end(), previous->begin(), previous->end());
  if (!added) return tr("Dispositivo de áudio desconectado.");
  if (removed) return tr("Dispositivos de áudio alterados.");
  return tr("Dispositivo de áudio conectado.");
}

std::string NotificationPolicy::refusedMessage() {
  return tr("As notificações não foram autorizadas no macOS.");
}

}  // namespace tavuno
