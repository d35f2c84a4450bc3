#include "system/MuteTarget.h"

#include "base/text/TavunoLanguage.h"

namespace tavuno {

void toggleMute(MuteTarget& target, MuteSide side) {
  if (target.muteAvailable(side)) {
    target.setMute(side, !target.muted(side));
  } else if (side == MuteSide::input) {
    target.setError(tr("O microfone atual não oferece controle de silêncio."));
  } else {
    target.setError(tr("A saída atual não oferece controle de silêncio."));
  }
}

std::function<void()> muteShortcutAction(std::weak_ptr<MuteTarget> target, MuteSide side) {
  return [target = std::move(target), side] {
    if (auto strong = target.lock()) toggleMute(*strong, side);
  };
}

}  // namespace tavuno
