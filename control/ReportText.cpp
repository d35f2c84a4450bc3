#include "control/ReportText.h"

#include "base/text/TavunoLanguage.h"

namespace tavuno::control {

namespace {

using nlohmann::json;

std::string text(const json& object, const char* key) {
  if (!object.is_object()) return {};
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

const json& member(const json& object, const char* key) {
  static const json none;
  if (!object.is_object()) return none;
  auto it = object.find(key);
  return it != object.end() ? *it : none;
}

std::string deviceName(const json& device) {
  return device.is_object() ? text(device, "name") : tr("nenhum");
}

std::string percent(const json& value) {
  return value.is_number() ? std::to_string(value.get<long long>()) + "%" : tr("sem controle");
}

const char* stateText(const std::string& state) {
  if (state == "controlled") return textKey("controlado");
  if (state == "starting") return textKey("iniciando");
  if (state == "stalled") return textKey("aguardando o servidor de áudio");
  if (state == "waiting") return textKey("aguardando áudio ou saída");
  if (state == "passthrough") return textKey("áudio direto (chamada)");
  if (state == "inCall") return textKey("em chamada");
  if (state == "quarantined") return textKey("reinicie o Tavuno para retomar o controle");
  return textKey("não controlado");
}

}  // namespace

std::string statusText(const json& status) {
  std::string out;
  out += trf("Saída padrão: %@", deviceName(member(status, "defaultOutput"))) + "\n";
  out += trf("Entrada padrão: %@", deviceName(member(status, "defaultInput"))) + "\n";
  // yes, no or no control, for a mute field
  auto mutedText = [](const json& muted) {
    return muted.is_boolean() ? tr(muted.get<bool>() ? textKey("sim") : textKey("não"))
                              : tr("sem controle");
  };
  out += trf("Volume: %@", percent(member(status, "volume"))) + "\n";
  out += trf("Silenciada: %@", mutedText(member(status, "muted"))) + "\n";
  out += trf("Volume do microfone: %@", percent(member(status, "inputVolume"))) + "\n";
  out += trf("Microfone silenciado: %@", mutedText(member(status, "inputMuted"))) + "\n";
  const json& profile = member(status, "activeProfile");
  out += trf("Perfil ativo: %@", profile.is_object() ? text(profile, "name") : tr("nenhum")) + "\n";

  const json& devices = member(status, "devices");
  out += "\n" + tr("Dispositivos:") + "\n";
  if (devices.is_array()) {
    for (const auto& device : devices) {
      const bool in = member(device, "input") == true, outp = member(device, "output") == true;
      const char* sides = in && outp ? textKey("entrada e saída")
                          : in       ? textKey("entrada")
                                     : textKey("saída");
      out += "  " + text(device, "name") + " (" + tr(sides) + ")  " + text(device, "uid") + "\n";
    }
  }
  const json& apps = member(status, "apps");
  out += "\n" + tr("Aplicativos tocando:") + "\n";
  if (!apps.is_array() || apps.empty()) out += "  " + tr("nenhum") + "\n";
  if (apps.is_array()) {
    for (const auto& app : apps) {
      std::string output = tr("Padrão do sistema");
      if (const json& uid = member(app, "output"); uid.is_string()) {
        output = uid.get<std::string>();
        if (devices.is_array())
          for (const auto& device : devices)
            if (text(device, "uid") == output) output = text(device, "name");
      }
      out += "  " + text(app, "name") + " (" + text(app, "id") +
             "): " + percent(member(app, "volume"));
      if (member(app, "muted") == true) out += ", " + tr("silenciado");
      out += ", " + trf("saída: %@", output) + ", " + tr(stateText(text(app, "state"))) + "\n";
    }
  }
  return out;
}

std::string profilesText(const json& profiles) {
  std::string out;
  const json& list = member(profiles, "profiles");
  if (!list.is_array()) return out;
  for (const auto& profile : list)
    out += std::string(member(profile, "active") == true ? "* " : "  ") + text(profile, "name") +
           "  " + text(profile, "id") + "\n";
  return out;
}

}  // namespace tavuno::control
