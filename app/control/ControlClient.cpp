#include "app/control/ControlClient.h"

#include <QDBusError>
#include <QDBusMessage>

#include "app/control/ControlBus.h"
#include "base/text/TavunoLanguage.h"
#include "control/CommandLine.h"

namespace tavuno {

namespace {

using control::Command;
using control::ControlRequest;
using control::MuteChange;

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

// The method of com.tavuno.Tavuno1 a request calls, with its arguments.
QDBusMessage callFor(const ControlRequest& request) {
  auto call = [](const char* method, QVariantList arguments = {}) {
    auto message = QDBusMessage::createMethodCall(
        QStringLiteral(TAVUNO_BUS_NAME), QStringLiteral(TAVUNO_OBJECT_PATH),
        QStringLiteral(TAVUNO_CONTROL_INTERFACE), QString::fromLatin1(method));
    message.setArguments(arguments);
    return message;
  };
  const QString target = qs(request.target);
  switch (request.command) {
    case Command::status:
      return call("Status");
    case Command::mute:
      if (request.mute == MuteChange::toggle)
        return call(request.input ? "ToggleInputMute" : "ToggleMute");
      return call(request.input ? "SetInputMute" : "SetMute", {request.mute == MuteChange::on});
    case Command::volume:
      return call(request.input ? "GetInputVolume" : "GetVolume");
    case Command::setVolume:
      return call(request.input ? "SetInputVolume" : "SetVolume",
                  {static_cast<uint>(request.number)});
    case Command::adjustVolume:
      return call(request.input ? "AdjustInputVolume" : "AdjustVolume", {request.number});
    case Command::output:
      return call("SetDefaultOutput", {target});
    case Command::input:
      return call("SetDefaultInput", {target});
    case Command::appVolume:
      return call("SetAppVolume", {target, static_cast<uint>(request.number)});
    case Command::appMute:
      return request.mute == MuteChange::toggle
                 ? call("ToggleAppMute", {target})
                 : call("SetAppMute", {target, request.mute == MuteChange::on});
    case Command::appOutput:
      return call("SetAppOutput", {target, qs(request.device)});
    case Command::autoSwitch:
      return request.mute == MuteChange::toggle
                 ? call("ToggleAutoSwitch")
                 : call("SetAutoSwitch", {request.mute == MuteChange::on});
    case Command::prefer:
      return call("SetPreferredOutput", {target});
    case Command::profileList:
      return call("ListProfiles");
    case Command::profileApply:
      return call("ApplyProfile", {target});
    case Command::profileSave:
      return call("SaveProfile", {target});
    case Command::profileDelete:
      return call("DeleteProfile", {target});
    case Command::profileRename:
      return call("RenameProfile", {target, qs(request.name)});
    case Command::quit:
      return call("Quit");
  }
  return call("Status");
}

// The first value of a reply as JSON: the reports come as JSON text.
nlohmann::json answerOf(const QDBusMessage& reply, const ControlRequest& request) {
  const QVariant value = reply.arguments().value(0);
  if (request.command == Command::status || request.command == Command::profileList)
    return nlohmann::json::parse(value.toString().toStdString(), nullptr, false);
  switch (value.typeId()) {
    case QMetaType::UInt:
      return value.toUInt();
    case QMetaType::Int:
      return value.toInt();
    case QMetaType::Bool:
      return value.toBool();
    case QMetaType::QString:
      return value.toString().toStdString();
    default:
      return nullptr;
  }
}

void print(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

bool notRunning(const QDBusError& error) {
  return error.type() == QDBusError::ServiceUnknown ||
         error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

}  // namespace

int ControlClient::run(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
  const auto parsed = control::parseCommand(arguments);
  if (!parsed.request) {
    print(err,
          "tavuno: " + parsed.error + "\n" + tr("Use tavuno --help para ver os comandos.") + "\n");
    return 2;
  }
  const ControlRequest& request = *parsed.request;
  if (!bus_.isConnected()) {
    print(err, tr("O Tavuno não está em execução.") + "\n");
    return 3;
  }
  const QDBusMessage reply = bus_.call(callFor(request), QDBus::Block, callTimeout);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    const QDBusError error(reply);
    if (notRunning(error)) {
      print(err, tr("O Tavuno não está em execução.") + "\n");
      return 3;
    }
    print(err, error.message().toStdString() + "\n");
    return error.type() == QDBusError::InvalidArgs ? 2 : 1;
  }
  print(out, control::commandOutput(request, answerOf(reply, request)));
  return 0;
}

bool ControlClient::showRunning() {
  if (!bus_.isConnected()) return false;
  const auto call = QDBusMessage::createMethodCall(
      QStringLiteral(TAVUNO_BUS_NAME), QStringLiteral(TAVUNO_OBJECT_PATH),
      QStringLiteral(TAVUNO_CONTROL_INTERFACE), QStringLiteral("ShowWindow"));
  return bus_.call(call, QDBus::Block, callTimeout).type() == QDBusMessage::ReplyMessage;
}

}  // namespace tavuno
