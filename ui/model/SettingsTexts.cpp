#include "ui/model/SettingsTexts.h"

#include <algorithm>
#include <cctype>

#include "base/text/TavunoLanguage.h"

namespace tavuno {

std::string shortcutKeyLabel(ShortcutKey key) {
  std::string letter(rawValue(key));
  for (auto& c : letter)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return "Ctrl+Alt+Super+" + letter;
}

Picker shortcutKeyPicker(ShortcutKey current) {
  Picker picker;
  for (ShortcutKey key : allShortcutKeys) {
    if (key == current) picker.selected = static_cast<int>(picker.entries.size());
    picker.entries.push_back({shortcutKeyLabel(key), std::string(rawValue(key))});
  }
  return picker;
}

ShortcutTexts shortcutTexts(ShortcutId id) {
  if (id == ShortcutId::muteInput)
    return {textKey("Atalho global para silenciar o microfone"),
            textKey("Em qualquer aplicativo, a combinação silencia ou reativa o microfone."),
            textKey("Combinação global do microfone")};
  return {textKey("Atalho global para silenciar a saída"),
          textKey("Com o Tavuno ativo, ⇧⌘M silencia ou reativa a saída."),
          textKey("Combinação global")};
}

Picker languagePicker(const std::string& preference) {
  Picker picker;
  picker.entries = {{tr("Idioma do sistema"), std::string("system")},
                    {tr("Português"), std::string("pt")},
                    {tr("English"), std::string("en")}};
  picker.selected = preference == "pt" ? 1 : preference == "en" ? 2 : 0;
  return picker;
}

const char* automaticControlCaption(bool automatic) {
  if (automatic)
    return textKey(
        "O Tavuno controla automaticamente todos os aplicativos com áudio. O macOS pode solicitar acesso ao áudio do sistema.");
  return textKey(
      "Ative o controle de cada aplicativo no Mixer. O macOS pode solicitar acesso ao áudio do sistema.");
}

const char* onboardingTitle(int step) {
  static constexpr const char* titles[onboardingStepCount] = {
      textKey("Bem-vindo ao Tavuno"), textKey("Permissões"),       textKey("Dispositivos padrão"),
      textKey("Headset preferido"),   textKey("Troca automática"), textKey("Tudo pronto"),
  };
  return titles[std::clamp(step, 0, onboardingStepCount - 1)];
}

std::string onboardingCounter(int step) {
  const int shown = std::clamp(step, 0, onboardingStepCount - 1) + 1;
  return "TAVUNO  /  " + std::to_string(shown) + " " + tr("DE 6");
}

const char* onboardingClosingText(bool trayAvailable) {
  return trayAvailable ? textKey("Use o ícone na barra de menus para acessar o mixer rapidamente.")
                       : textKey("Abra o Tavuno pelo menu de aplicativos para acessar o mixer.");
}

}  // namespace tavuno
