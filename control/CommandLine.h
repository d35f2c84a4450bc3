#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "control/ControlResult.h"

namespace tavuno::control {

// The commands of `tavuno` as a client of the running app:
//   status [--json]
//   mute [on|off|toggle], input-mute [on|off|toggle]
//   volume [PERCENT|+N|-N], input-volume [PERCENT|+N|-N]
//   output DEVICE, input DEVICE
//   app volume APP PERCENT, app mute APP [on|off|toggle], app output APP DEVICE|default
//   auto-switch [on|off|toggle], prefer DEVICE
//   profile list [--json], profile apply NAME, profile save NAME,
//   profile delete NAME, profile rename OLD NEW
//   quit
enum class Command {
  status,
  mute,
  volume,
  setVolume,
  adjustVolume,
  output,
  input,
  appVolume,
  appMute,
  appOutput,
  autoSwitch,
  prefer,
  profileList,
  profileApply,
  profileSave,
  profileDelete,
  profileRename,
  quit,
};

struct ControlRequest {
  Command command = Command::status;
  bool json = false;                     // status and profile list only
  MuteChange mute = MuteChange::toggle;  // mute, app mute, auto-switch
  bool input = false;  // volume, setVolume, adjustVolume and mute: of the default input
  int number = 0;      // setVolume and appVolume: 0-100; adjustVolume: -100-100
  std::string target;  // DEVICE (output, input, prefer), APP or profile NAME
  std::string device;  // app output: a device, empty for "default"
  std::string name;    // profile rename: the new name

  friend bool operator==(const ControlRequest&, const ControlRequest&) = default;
};

struct ParsedCommand {
  std::optional<ControlRequest> request;
  std::string error;  // the usage error, in the current language, when no request
};

// The arguments without Qt's own options (-platform xcb, -display :1,
// -style=fusion, -reverse, ...) and the values they take, which are Qt's to
// read, with one dash or two.
std::vector<std::string> withoutQtOptions(const std::vector<std::string>& arguments);

// Whether the arguments (without the program's name) ask for a command: any
// of them that is not an option, nor the value of one of Qt's, makes
// `tavuno` the client.
bool namesCommand(const std::vector<std::string>& arguments);

// The arguments without the program's name (Qt's options are passed over).
// Anything the grammar above does not take is a usage error: an unknown word, a missing or extra
// argument, a number that is not a whole 0 to 100, --json where it does not apply.
ParsedCommand parseCommand(const std::vector<std::string>& arguments);

// The commands and exit statuses, in the current language, for --help.
std::string commandsHelp();

// What a command that succeeded prints on standard output, given its answer
// (the report objects of StatusReport.h, a volume, a mute state): the
// reports as text or, with --json, as one line of JSON; the volume read as
// its number; nothing for the commands that change something.
std::string commandOutput(const ControlRequest& request, const nlohmann::json& answer);

}  // namespace tavuno::control
