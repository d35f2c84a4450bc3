#include "system/LoginItemController.h"

#include "base/text/TavunoLanguage.h"

namespace tavuno {

LoginItemController::LoginItemController(LoginItemManaging& service) : service_(service) {
  refresh();
}

std::optional<std::string> LoginItemController::shownMessage() const {
  if (message_ && messageIsKey_) return tr(*message_);
  return message_;
}

void LoginItemController::publishMessage(std::optional<std::string> message, bool isKey) {
  messageIsKey_ = isKey;
  if (message_ == message) return;
  message_ = std::move(message);
  observers_.notify(LoginItemField::message);
}

void LoginItemController::refresh() {
  // Any value outside the four known ones counts as not found.
  const int status = static_cast<int>(service_.status());
  const bool on = status == static_cast<int>(LoginItemStatus::enabled) ||
                  status == static_cast<int>(LoginItemStatus::requiresApproval);
  std::optional<std::string> message;
  if (status == static_cast<int>(LoginItemStatus::requiresApproval)) {
    message = textKey("Ative o Tavuno em Ajustes do Sistema > Geral > Itens de Início.");
  } else if (!on && status != static_cast<int>(LoginItemStatus::notRegistered)) {
    message = textKey(
        "O macOS ainda não identificou o item de início. Ative a opção para tentar registrá-lo.");
  }
  if (enabled_ != on) {
    enabled_ = on;
    observers_.notify(LoginItemField::enabled);
  }
  publishMessage(std::move(message), true);
}

void LoginItemController::setEnabled(bool on) {
  SystemResult result = on ? service_.registerItem() : service_.unregister();
  refresh();
  if (!result)
    publishMessage(trf("Não foi possível alterar a inicialização: %@", result.error()->description),
                   false);
}

}  // namespace tavuno
