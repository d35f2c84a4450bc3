#include "system/ShortcutId.h"

#include "base/SettingsKeys.h"
#include "base/text/TavunoLanguage.h"

namespace tavuno {

namespace {

constexpr ShortcutTraits muteOutputTraits{
    .name = "mute-output",
    .hotKeyID = 1,
    .enabledSetting = key::globalShortcutEnabled,
    .keySetting = key::shortcutKey,
    .defaultKey = ShortcutKey::m,
    .description = textKey("Silenciar ou reativar a saída"),
    .heldMessage = textKey("Essa combinação já é usada pelo atalho para silenciar a saída."),
};

// V for "voz".
constexpr ShortcutTraits muteInputTraits{
    .name = "mute-input",
    .hotKeyID = 2,
    .enabledSetting = key::inputMuteShortcutEnabled,
    .keySetting = key::inputMuteShortcutKey,
    .defaultKey = ShortcutKey::v,
    .description = textKey("Silenciar ou reativar o microfone"),
    .heldMessage = textKey("Essa combinação já é usada pelo atalho para silenciar o microfone."),
};

}  // namespace

const ShortcutTraits& traitsOf(ShortcutId id) {
  return id == ShortcutId::muteInput ? muteInputTraits : muteOutputTraits;
}

}  // namespace tavuno
