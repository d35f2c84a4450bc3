#include "system/GlobalShortcutController.h"

#include <algorithm>

#include "base/text/TavunoLanguage.h"

namespace tavuno {

GlobalShortcutController::GlobalShortcutController(DefaultsStore& defaults,
                                                   GlobalShortcutRegistering& backend,
                                                   Actions actions)
    : defaults_(defaults), backend_(backend) {
  for (ShortcutId id : allShortcutIds) {
    const ShortcutTraits& traits = traitsOf(id);
    Slot& entry = slot(id);
    if (auto found = actions.find(id); found != actions.end()) entry.action = found->second;
    std::optional<ShortcutKey> stored;
    if (auto raw = defaults_.string(traits.keySetting)) stored = shortcutKeyFromRaw(*raw);
    if (stored) {
      entry.key = *stored;
      continue;
    }
    // The shortcuts before this one already have their letters.
    const auto earlier = [&](ShortcutKey key) {
      return std::any_of(allShortcutIds.begin(), allShortcutIds.begin() + indexOf(id),
                         [&](ShortcutId other) { return slot(other).key == key; });
    };
    entry.key = traits.defaultKey;
    if (earlier(entry.key)) {
      auto free = std::find_if_not(allShortcutKeys.begin(), allShortcutKeys.end(), earlier);
      if (free != allShortcutKeys.end()) entry.key = *free;
    }
  }
  backend_.setRevokedHandler([this](ShortcutId id, SystemError error) { revoked(id, error); });
  for (ShortcutId id : allShortcutIds)
    if (defaults_.boolean(traitsOf(id).enabledSetting).value_or(false)) setEnabled(id, true);
}

GlobalShortcutController::~GlobalShortcutController() {
  backend_.setRevokedHandler({});
}

std::optional<ShortcutId> GlobalShortcutController::holderOf(ShortcutKey key,
                                                             ShortcutId except) const {
  for (ShortcutId other : allShortcutIds)
    if (other != except && slot(other).enabled && slot(other).key == key) return other;
  return std::nullopt;
}

void GlobalShortcutController::revoked(ShortcutId id, const SystemError& error) {
  if (!slot(id).enabled) return;
  setMessage(id, error.description);
  setEnabledState(id, false);
}

template <class T>
void GlobalShortcutController::publish(ShortcutId id, ShortcutField field, T& member, T value) {
  if (member == value) return;
  member = std::move(value);
  observers_.notify({id, field});
}

void GlobalShortcutController::setMessage(ShortcutId id, std::optional<std::string> message) {
  publish(id, ShortcutField::message, slot(id).message, std::move(message));
}

void GlobalShortcutController::setEnabledState(ShortcutId id, bool on) {
  publish(id, ShortcutField::enabled, slot(id).enabled, on);
  defaults_.set(traitsOf(id).enabledSetting, on);
}

void GlobalShortcutController::setEnabled(ShortcutId id, bool on) {
  Slot& entry = slot(id);
  if (!on) {
    backend_.unregister(id);
    setMessage(id, {});
    setEnabledState(id, false);
    return;
  }
  if (auto holder = holderOf(entry.key, id)) {
    setMessage(id, tr(traitsOf(*holder).heldMessage));
    setEnabledState(id, false);
    return;
  }
  SystemResult result = backend_.registerKey(id, entry.key, entry.action);
  if (result) {
    setMessage(id, {});
  } else {
    setMessage(id, result.error()->description);
  }
  setEnabledState(id, result.ok());
}

void GlobalShortcutController::setKey(ShortcutId id, ShortcutKey newKey) {
  Slot& entry = slot(id);
  if (newKey == entry.key) return;
  if (auto holder = holderOf(newKey, id)) {
    setMessage(id, tr(traitsOf(*holder).heldMessage));
    return;
  }
  if (entry.enabled) {
    backend_.unregister(id);
    SystemResult result = backend_.registerKey(id, newKey, entry.action);
    if (!result) {
      if (!backend_.registerKey(id, entry.key, entry.action)) setEnabledState(id, false);
      setMessage(id,
                 trf("Não foi possível registrar o novo atalho. %@", result.error()->description));
      return;
    }
  }
  publish(id, ShortcutField::key, entry.key, newKey);
  defaults_.set(traitsOf(id).keySetting, std::string(rawValue(newKey)));
  setMessage(id, {});
}

}  // namespace tavuno
