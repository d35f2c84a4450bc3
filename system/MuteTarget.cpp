#include "system/MuteTarget.h"

#include "base/text/TavunoLanguage.h"

namespace tavuno {

void toggleOutputMute(MuteTarget& target) {
  if (target.muteAvailable()) {
    target.setMute(!target.muted());
  } else {
    target.setError(tr("A saída atual não oferece controle de silêncio."));
  }
}

std::function<void()> muteShortcutAction(std::weak_ptr<MuteTarget> target) {
  return [target = std::move(target)] {
    if (auto strong = target.lock()) toggleOutputMute(*strong);
  };
}

}  // namespace tavuno
