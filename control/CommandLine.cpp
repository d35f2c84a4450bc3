#include "control/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

#include "base/text/Integer.h"
#include "base/text/TavunoLanguage.h"
#include "control/ReportText.h"

namespace tavuno::control {

namespace {

bool isOption(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '-';
}

// A whole number of 0 to 100 written as plain digits ("75", "75%" too), at most three of them
// ("0075" is refused). Unsigned, so that no sign gets in.
std::optional<int> percentArgument(std::string_view text) {
  if (text.ends_with('%')) text.remove_suffix(1);
  if (text.size() > 3) return std::nullopt;
  const auto value = parseInteger<unsigned>(text);
  if (!value || *value > 100) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<MuteChange> muteArgument(const std::string& text) {
  if (text == "on") return MuteChange::on;
  if (text == "off") return MuteChange::off;
  if (text == "toggle") return MuteChange::toggle;
  return std::nullopt;
}

// Qt's options that take the next argument as their value: those of
// QGuiApplication and QApplication, and those the X11 platform reads.
constexpr std::string_view qtValueOptions[] = {"platform",
                                               "platformpluginpath",
                                               "platformtheme",
                                               "plugin",
                                               "qwindowgeometry",
                                               "geometry",
                                               "qwindowtitle",
                                               "title",
                                               "qwindowicon",
                                               "icon",
                                               "session",
                                               "style",
                                               "stylesheet",
                                               "display",
                                               "name",
                                               "visual"};

// Qt's options that stand alone.
constexpr std::string_view qtFlagOptions[] = {"reverse", "widgetcount", "sync", "nograb", "dograb"};

// The option's name without its dashes (one or two) and any "=value".
std::string_view optionName(std::string_view argument) {
  argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
  return argument.substr(0, argument.find('='));
}

template <std::size_t N>
bool listed(std::string_view name, const std::string_view (&names)[N]) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

ParsedCommand usage(std::string message) {
  return {std::nullopt, std::move(message)};
}

ParsedCommand invalidPercent(const std::string& text) {
  return usage(trf("Número inválido: %@ (use 0 a 100).", text));
}

}  // namespace

std::vector<std::string> withoutQtOptions(const std::vector<std::string>& arguments) {
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!isOption(argument) || argument == "--") {
      kept.push_back(argument);
      continue;
    }
    const std::string_view name = optionName(argument);
    const bool withValue = argument.find('=') != std::string::npos;
    if (listed(name, qtValueOptions)) {
      if (!withValue) ++i;  // its value
    } else if (!(listed(name, qtFlagOptions) && !withValue) &&
               !(name == "qmljsdebugger" && withValue)) {
      kept.push_back(argument);
    }
  }
  return kept;
}

bool namesCommand(const std::vector<std::string>& arguments) {
  for (const auto& argument : withoutQtOptions(arguments))
    if (!isOption(argument)) return true;
  return false;
}

ParsedCommand parseCommand(const std::vector<std::string>& arguments) {
  ControlRequest request;
  std::vector<std::string> words;
  for (const auto& argument : withoutQtOptions(arguments)) {
    if (argument == "--json")
      request.json = true;
    else if (isOption(argument) &&
             !(argument.size() > 1 && std::isdigit(static_cast<unsigned char>(argument[1]))))
      return usage(trf("Opção desconhecida: %@", argument));
    else
      words.push_back(argument);
  }
  if (words.empty()) return usage(tr("Falta o comando."));
  const std::string& name = words[0];
  // The words after the command (and its sub-command).
  auto arity = [&](std::size_t first, std::size_t least, std::size_t most) {
    const std::size_t count = words.size() - first;
    return count >= least && count <= most;
  };
  auto wrongArguments = [&](const std::string& command) {
    return usage(trf("Argumentos inválidos para %@.", command));
  };

  // The optional on|off|toggle at `at` into request.mute (toggle when missing).
  auto switchAt = [&](std::size_t at) -> std::optional<ParsedCommand> {
    if (words.size() <= at) return std::nullopt;
    auto change = muteArgument(words[at]);
    if (!change) return usage(trf("Use on, off ou toggle, não %@.", words[at]));
    request.mute = *change;
    return std::nullopt;
  };

  if (name == "status") {
    if (!arity(1, 0, 0)) return wrongArguments(name);
    request.command = Command::status;
  } else if (name == "mute" || name == "input-mute" || name == "auto-switch") {
    if (!arity(1, 0, 1)) return wrongArguments(name);
    request.command = name == "auto-switch" ? Command::autoSwitch : Command::mute;
    request.input = name == "input-mute";
    if (auto bad = switchAt(1)) return *bad;
  } else if (name == "volume" || name == "input-volume") {
    if (!arity(1, 0, 1)) return wrongArguments(name);
    request.command = Command::volume;
    request.input = name == "input-volume";
    if (words.size() == 2) {
      const std::string& value = words[1];
      const bool relative = !value.empty() && (value[0] == '+' || value[0] == '-');
      auto number = percentArgument(relative ? value.substr(1) : value);
      if (!number) return usage(trf("Volume inválido: %@ (use 0 a 100, +N ou -N).", value));
      request.command = relative ? Command::adjustVolume : Command::setVolume;
      request.number = value[0] == '-' ? -*number : *number;
    }
  } else if (name == "output" || name == "input") {
    if (!arity(1, 1, 1)) return wrongArguments(name);
    request.command = name == "output" ? Command::output : Command::input;
    request.target = words[1];
  } else if (name == "prefer") {
    if (!arity(1, 1, 1)) return wrongArguments(name);
    request.command = Command::prefer;
    request.target = words[1];
  } else if (name == "app") {
    if (words.size() < 2) return wrongArguments(name);
    const std::string& sub = words[1];
    const std::string command = name + " " + sub;
    if (sub == "volume") {
      if (!arity(2, 2, 2)) return wrongArguments(command);
      auto number = percentArgument(words[3]);
      if (!number) return invalidPercent(words[3]);
      request.command = Command::appVolume;
      request.number = *number;
    } else if (sub == "mute") {
      if (!arity(2, 1, 2)) return wrongArguments(command);
      request.command = Command::appMute;
      if (auto bad = switchAt(3)) return *bad;
    } else if (sub == "output") {
      if (!arity(2, 2, 2)) return wrongArguments(command);
      request.command = Command::appOutput;
      request.device = words[3] == "default" ? std::string() : words[3];
    } else {
      return usage(trf("Comando desconhecido: %@", command));
    }
    request.target = words[2];
  } else if (name == "profile") {
    if (words.size() < 2) return wrongArguments(name);
    const std::string& sub = words[1];
    const std::string command = name + " " + sub;
    if (sub == "list") {
      if (!arity(2, 0, 0)) return wrongArguments(command);
      request.command = Command::profileList;
    } else if (sub == "apply" || sub == "save" || sub == "delete") {
      if (!arity(2, 1, 1)) return wrongArguments(command);
      request.command = sub == "apply"  ? Command::profileApply
                        : sub == "save" ? Command::profileSave
                                        : Command::profileDelete;
      request.target = words[2];
    } else if (sub == "rename") {
      if (!arity(2, 2, 2)) return wrongArguments(command);
      request.command = Command::profileRename;
      request.target = words[2];
      request.name = words[3];
    } else {
      return usage(trf("Comando desconhecido: %@", command));
    }
  } else if (name == "quit") {
    if (!arity(1, 0, 0)) return wrongArguments(name);
    request.command = Command::quit;
  } else {
    return usage(trf("Comando desconhecido: %@", name));
  }
  if (request.json && request.command != Command::status && request.command != Command::profileList)
    return usage(tr("--json vale só para status e profile list."));
  return {request, {}};
}

std::string commandsHelp() {
  struct Line {
    const char* syntax;
    const char* description;
  };
  static constexpr Line lines[] = {
      {"status [--json]",
       textKey("Padrões, volume, silêncio, dispositivos, aplicativos e perfil ativo.")},
      {"mute [on|off|toggle]", textKey("Silencia ou reativa a saída padrão (alterna sem valor).")},
      {"volume [PERCENT|+N|-N]", textKey("Mostra ou define o volume da saída padrão, 0 a 100.")},
      {"input-mute [on|off|toggle]",
       textKey("Silencia ou reativa o microfone (a entrada padrão).")},
      {"input-volume [PERCENT|+N|-N]", textKey("Mostra ou define o volume do microfone, 0 a 100.")},
      {"output|input DEVICE",
       textKey("Define o dispositivo padrão; DEVICE é um UID ou o nome exato.")},
      {"app volume APP PERCENT", textKey("APP é o id ou o nome exato de um aplicativo.")},
      {"app mute APP [on|off|toggle]", textKey("Silencia ou reativa um aplicativo.")},
      {"app output APP DEVICE|default",
       textKey("Escolhe a saída de um aplicativo (default: a do sistema).")},
      {"auto-switch [on|off|toggle]",
       textKey("Liga ou desliga a troca automática para os dispositivos preferidos.")},
      {"prefer DEVICE",
       textKey("Define a saída preferida (e a entrada do mesmo headset, se houver).")},
      {"profile list [--json] | apply NAME | save NAME", textKey("Lista, aplica ou salva perfis.")},
      {"profile delete NAME | rename OLD NEW", textKey("Exclui ou renomeia um perfil.")},
      {"quit", textKey("Encerra o Tavuno em execução.")},
  };
  std::string text = tr("Comandos (com o Tavuno em execução):") + "\n";
  for (const auto& line : lines)
    text += "  " + std::string(line.syntax) + "\n      " + tr(line.description) + "\n";
  text += tr("Saída: 0 feito, 1 falhou, 2 uso incorreto, 3 o Tavuno não está em execução.") + "\n";
  return text;
}

std::string commandOutput(const ControlRequest& request, const nlohmann::json& answer) {
  switch (request.command) {
    case Command::status:
    case Command::profileList:
      if (request.json)
        return answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
      return request.command == Command::status ? statusText(answer) : profilesText(answer);
    case Command::volume:
      return answer.is_number() ? answer.dump() + "\n" : std::string();
    default:
      return {};
  }
}

}  // namespace tavuno::control
