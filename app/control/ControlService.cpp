#include "app/control/ControlService.h"

#include <algorithm>

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

#include "control/StatusReport.h"
#include "ui/model/ViewTexts.h"

namespace tavuno {

namespace {

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

std::string std8(const QString& text) {
  return text.toStdString();
}

QString jsonText(const nlohmann::json& value) {
  // Names from drivers and applications may hold bytes that are not UTF-8.
  return qs(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

uint asUInt(const nlohmann::json& value) {
  return value.is_number_integer()
             ? static_cast<uint>(std::max<long long>(0, value.get<long long>()))
             : 0;
}

bool asBool(const nlohmann::json& value) {
  return value.is_boolean() && value.get<bool>();
}

// A percent as the commands take it; anything past 100 is refused there.
int asPercent(uint percent) {
  return static_cast<int>(std::min<uint>(percent, 1000));
}

}  // namespace

ControlService::ControlService(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
  changeTimer_.setSingleShot(true);
  changeTimer_.setInterval(changeInterval);
  connect(&changeTimer_, &QTimer::timeout, this, &ControlService::flushChanges);
}

ControlService::~ControlService() {
  subscription_.reset();
  if (named_) bus_.unregisterService(QStringLiteral(TAVUNO_BUS_NAME));
  if (exported_) bus_.unregisterObject(QStringLiteral(TAVUNO_OBJECT_PATH));
}

ControlService::Claim ControlService::publish() {
  if (!bus_.isConnected()) return Claim::noBus;
  exported_ = bus_.registerObject(
      QStringLiteral(TAVUNO_OBJECT_PATH), QStringLiteral(TAVUNO_CONTROL_INTERFACE), this,
      QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals |
          QDBusConnection::ExportScriptableProperties);
  if (!exported_) return Claim::noBus;
  const auto answer = bus_.interface()->registerService(
      QStringLiteral(TAVUNO_BUS_NAME), QDBusConnectionInterface::DontQueueService,
      QDBusConnectionInterface::DontAllowReplacement);
  named_ = answer.isValid() && answer.value() == QDBusConnectionInterface::ServiceRegistered;
  if (named_) return Claim::claimed;
  bus_.unregisterObject(QStringLiteral(TAVUNO_OBJECT_PATH));
  exported_ = false;
  return answer.isValid() ? Claim::taken : Claim::noBus;
}

void ControlService::attach(std::weak_ptr<AudioService> service, std::function<void()> showWindow,
                            std::function<void()> quit) {
  commands_ = control::ControlCommands(service);
  showWindow_ = std::move(showWindow);
  quit_ = std::move(quit);
  subscription_.reset();
  announced_ = properties();
  if (auto strong = service.lock()) {
    // Runs inside the service's operations: only note the field.
    subscription_ = strong->observe([this](ServiceField field) {
      changed_ |= fieldBit(field);
      if (!changeTimer_.isActive()) changeTimer_.start();
    });
  }
}

void ControlService::flushChanges() {
  const quint64 fields = changed_;
  changed_ = 0;
  const auto parts = control::changedParts(fields);
  if (!parts.empty()) {
    QStringList names;
    for (const auto& part : parts)
      names << qs(part);
    emit Changed(names);
  }
  announceProperties();
}

control::StatusProperties ControlService::properties() const {
  const auto status = commands_.status();
  return status.ok() ? control::statusProperties(status.value) : control::StatusProperties{};
}

int ControlService::volumeProperty() const {
  return properties().volume;
}

bool ControlService::mutedProperty() const {
  return properties().muted;
}

int ControlService::inputVolumeProperty() const {
  return properties().inputVolume;
}

bool ControlService::inputMutedProperty() const {
  return properties().inputMuted;
}

QString ControlService::defaultOutputProperty() const {
  return qs(properties().defaultOutput);
}

QString ControlService::defaultInputProperty() const {
  return qs(properties().defaultInput);
}

QString ControlService::activeProfileProperty() const {
  return qs(properties().activeProfile);
}

void ControlService::announceProperties() {
  const control::StatusProperties now = properties();
  // Compared as followers see them (a whole percent), so a drag within one
  // percent, or a change of fields no property shows, sends nothing.
  QVariantMap changed;
  if (now.volume != announced_.volume) changed.insert(QStringLiteral("Volume"), now.volume);
  if (now.muted != announced_.muted) changed.insert(QStringLiteral("Muted"), now.muted);
  if (now.inputVolume != announced_.inputVolume)
    changed.insert(QStringLiteral("InputVolume"), now.inputVolume);
  if (now.inputMuted != announced_.inputMuted)
    changed.insert(QStringLiteral("InputMuted"), now.inputMuted);
  if (now.defaultOutput != announced_.defaultOutput)
    changed.insert(QStringLiteral("DefaultOutput"), qs(now.defaultOutput));
  if (now.defaultInput != announced_.defaultInput)
    changed.insert(QStringLiteral("DefaultInput"), qs(now.defaultInput));
  if (now.activeProfile != announced_.activeProfile)
    changed.insert(QStringLiteral("ActiveProfile"), qs(now.activeProfile));
  announced_ = now;
  if (changed.isEmpty() || !exported_) return;
  // QtDBus answers Get and GetAll but never sends this signal itself.
  auto signal = QDBusMessage::createSignal(QStringLiteral(TAVUNO_OBJECT_PATH),
                                           QStringLiteral("org.freedesktop.DBus.Properties"),
                                           QStringLiteral("PropertiesChanged"));
  signal << QStringLiteral(TAVUNO_CONTROL_INTERFACE) << changed << QStringList();
  bus_.send(signal);
}

nlohmann::json ControlService::reply(const control::ControlResult& result) {
  if (result.ok() || !calledFromDBus()) return result.value;
  sendErrorReply(result.status == control::ControlStatus::badArgument
                     ? QDBusError::errorString(QDBusError::InvalidArgs)
                     : QStringLiteral(TAVUNO_FAILED_ERROR),
                 qs(result.message));
  return nullptr;
}

QString ControlService::Status() {
  return jsonText(reply(commands_.status()));
}

QString ControlService::ListProfiles() {
  return jsonText(reply(commands_.profiles()));
}

uint ControlService::GetVolume() {
  return asUInt(reply(commands_.volume()));
}

uint ControlService::SetVolume(uint percent) {
  return asUInt(reply(commands_.setVolume(asPercent(percent))));
}

uint ControlService::AdjustVolume(int delta) {
  return asUInt(reply(commands_.adjustVolume(delta)));
}

bool ControlService::SetMute(bool muted) {
  return asBool(
      reply(commands_.setMute(muted ? control::MuteChange::on : control::MuteChange::off)));
}

bool ControlService::ToggleMute() {
  return asBool(reply(commands_.setMute(control::MuteChange::toggle)));
}

namespace {
constexpr auto inputSide = control::ControlCommands::Side::input;
}  // namespace

uint ControlService::GetInputVolume() {
  return asUInt(reply(commands_.volume(inputSide)));
}

uint ControlService::SetInputVolume(uint percent) {
  return asUInt(reply(commands_.setVolume(asPercent(percent), inputSide)));
}

uint ControlService::AdjustInputVolume(int delta) {
  return asUInt(reply(commands_.adjustVolume(delta, inputSide)));
}

bool ControlService::SetInputMute(bool muted) {
  return asBool(reply(
      commands_.setMute(muted ? control::MuteChange::on : control::MuteChange::off, inputSide)));
}

bool ControlService::ToggleInputMute() {
  return asBool(reply(commands_.setMute(control::MuteChange::toggle, inputSide)));
}

void ControlService::SetDefaultOutput(const QString& device) {
  reply(commands_.setDefaultDevice(std8(device), false));
}

void ControlService::SetDefaultInput(const QString& device) {
  reply(commands_.setDefaultDevice(std8(device), true));
}

uint ControlService::SetAppVolume(const QString& app, uint percent) {
  return asUInt(reply(commands_.setAppVolume(std8(app), asPercent(percent))));
}

bool ControlService::SetAppMute(const QString& app, bool muted) {
  return asBool(reply(
      commands_.setAppMute(std8(app), muted ? control::MuteChange::on : control::MuteChange::off)));
}

bool ControlService::ToggleAppMute(const QString& app) {
  return asBool(reply(commands_.setAppMute(std8(app), control::MuteChange::toggle)));
}

void ControlService::SetAppOutput(const QString& app, const QString& device) {
  reply(commands_.setAppOutput(std8(app), std8(device)));
}

bool ControlService::SetAutoSwitch(bool on) {
  return asBool(
      reply(commands_.setAutoSwitch(on ? control::MuteChange::on : control::MuteChange::off)));
}

bool ControlService::ToggleAutoSwitch() {
  return asBool(reply(commands_.setAutoSwitch(control::MuteChange::toggle)));
}

void ControlService::SetPreferredOutput(const QString& device) {
  reply(commands_.preferOutput(std8(device)));
}

void ControlService::ApplyProfile(const QString& profile) {
  reply(commands_.applyProfile(std8(profile)));
}

QString ControlService::SaveProfile(const QString& name) {
  const auto saved = reply(commands_.saveProfile(std8(name)));
  return saved.is_object() ? qs(saved.value("id", std::string())) : QString();
}

void ControlService::DeleteProfile(const QString& profile) {
  reply(commands_.deleteProfile(std8(profile)));
}

void ControlService::RenameProfile(const QString& profile, const QString& name) {
  reply(commands_.renameProfile(std8(profile), std8(name)));
}

void ControlService::ShowWindow() {
  if (showWindow_) showWindow_();
}

void ControlService::Quit() {
  // After the reply has gone: the caller learns the app got the request.
  if (quit_) QTimer::singleShot(0, this, [this] { quit_(); });
}

}  // namespace tavuno
