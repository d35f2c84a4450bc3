#include "system/GlobalShortcutController.h"

#include "base/SettingsKeys.h"
#include "base/text/TavunoLanguage.h"

namespace tavuno {

GlobalShortcutController::GlobalShortcutController(DefaultsStore& defaults,
                                                   GlobalShortcutRegistering& backend,
                                                   std::function<void()> action)
    : defaults_(defaults), backend_(backend), action_(std::move(action)) {
  if (auto raw = defaults_.string(key::shortcutKey))
    key_ = shortcutKeyFromRaw(*raw).value_or(ShortcutKey::m);
  backend_.setRevokedHandler([this](SystemError error) { revoked(error); });
  if (defaults_.boolean(key::globalShortcutEnabled).value_or(false)) setEnabled(true);
}

GlobalShortcutController::~GlobalShortcutController() {
  backend_.setRevokedHandler({});
}

void GlobalShortcutController::revoked(const SystemError& error) {
  if (!enabled_) return;
  publish(ShortcutField::message, message_, std::optional(error.description));
  setEnabledState(false);
}

template <class T>
void GlobalShortcutController::publish(ShortcutField field, T& member, T value) {
  if (member == value) return;
  member = std::move(value);
  observers_.notify(field);
}

void GlobalShortcutController::setEnabledState(bool on) {
  publish(ShortcutField::enabled, enabled_, on);
  defaults_.set(key::globalShortcutEnabled, on);
}

void GlobalShortcutController::setEnabled(bool on) {
  if (!on) {
    backend_.unregister();
    publish(ShortcutField::message, message_, {});
    setEnabledState(false);
    return;
  }
  SystemResult result = backend_.registerKey(key_, action_);
  if (result) {
    publish(ShortcutField::message, message_, {});
  } else {
    publish(ShortcutField::message, message_, std::optional(result.error()->description));
  }
  setEnabledState(result.ok());
}

void GlobalShortcutController::setKey(ShortcutKey newKey) {
  if (newKey == key_) return;
  if (enabled_) {
    backend_.unregister();
    SystemResult result = backend_.registerKey(newKey, action_);
    if (!result) {
      if (!backend_.registerKey(key_, action_)) setEnabledState(false);
      publish(ShortcutField::message, message_,
              std::optional(trf("Não foi possível registrar o novo atalho. %@",
                                result.error()->description)));
      return;
    }
  }
  publish(ShortcutField::key, key_, newKey);
  defaults_.set(key::shortcutKey, std::string(rawValue(newKey)));
  publish(ShortcutField::message, message_, {});
}

}  // namespace tavuno
