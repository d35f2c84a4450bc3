#pragma once

#include <functional>
#include <memory>

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QTimer>

#include "app/control/ControlBus.h"
#include "control/ControlCommands.h"
#include "control/StatusReport.h"

namespace tavuno {

// The running app on the session bus: it holds the name com.tavuno.Tavuno
// (one instance at a time) and exports the control interface
// com.tavuno.Tavuno1 at /com/tavuno/Tavuno, whose methods are the commands
// of `tavuno` (the README lists them). Replies come from the same
// ControlCommands the command line uses; a command that fails replies with
// com.tavuno.Tavuno1.Error.Failed and the app's message, an argument out of
// range or over a limit (a profile name too long, one profile too many)
// with org.freedesktop.DBus.Error.InvalidArgs.
//
// Changed(as parts) tells followers which fields of the status report
// changed: a burst of changes (a refresh, a slider drag) is one signal at
// most every `changeInterval` seconds, naming every part it touched.
//
// The report's scalar fields are also read-only properties of the interface
// (org.freedesktop.DBus.Properties; see control::StatusProperties for their
// values): Volume (i), Muted (b), InputVolume (i), InputMuted (b),
// DefaultOutput (s), DefaultInput (s) and ActiveProfile (s). Get reads them live;
// PropertiesChanged, sent with Changed after a burst, carries those whose value differs from the
// last one sent, and is not sent when none does.
class ControlService : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", TAVUNO_CONTROL_INTERFACE)
  Q_PROPERTY(int Volume READ volumeProperty)
  Q_PROPERTY(bool Muted READ mutedProperty)
  Q_PROPERTY(int InputVolume READ inputVolumeProperty)
  Q_PROPERTY(bool InputMuted READ inputMutedProperty)
  Q_PROPERTY(QString DefaultOutput READ defaultOutputProperty)
  Q_PROPERTY(QString DefaultInput READ defaultInputProperty)
  Q_PROPERTY(QString ActiveProfile READ activeProfileProperty)

 public:
  static constexpr int changeInterval = 50;  // milliseconds

  enum class Claim { claimed, taken, noBus };

  explicit ControlService(QDBusConnection bus, QObject* parent = nullptr);
  ~ControlService() override;

  // Exports the object, then asks for the name (in that order: whoever sees
  // the name finds the object). `taken` when another instance holds the
  // name; nothing is left exported then.
  Claim publish();
  // The service the commands run on (held weakly) and how to show the main
  // window, and how to quit. Until then every command fails.
  void attach(std::weak_ptr<AudioService> service, std::function<void()> showWindow,
              std::function<void()> quit = {});

 public slots:
  Q_SCRIPTABLE QString Status();
  Q_SCRIPTABLE QString ListProfiles();
  Q_SCRIPTABLE uint GetVolume();
  Q_SCRIPTABLE uint SetVolume(uint percent);
  Q_SCRIPTABLE uint AdjustVolume(int delta);
  Q_SCRIPTABLE bool SetMute(bool muted);
  Q_SCRIPTABLE bool ToggleMute();
  // The same for the default input (the microphone).
  Q_SCRIPTABLE uint GetInputVolume();
  Q_SCRIPTABLE uint SetInputVolume(uint percent);
  Q_SCRIPTABLE uint AdjustInputVolume(int delta);
  Q_SCRIPTABLE bool SetInputMute(bool muted);
  Q_SCRIPTABLE bool ToggleInputMute();
  Q_SCRIPTABLE void SetDefaultOutput(const QString& device);
  Q_SCRIPTABLE void SetDefaultInput(const QString& device);
  Q_SCRIPTABLE uint SetAppVolume(const QString& app, uint percent);
  Q_SCRIPTABLE bool SetAppMute(const QString& app, bool muted);
  Q_SCRIPTABLE bool ToggleAppMute(const QString& app);
  Q_SCRIPTABLE void SetAppOutput(const QString& app, const QString& device);
  Q_SCRIPTABLE bool SetAutoSwitch(bool on);
  Q_SCRIPTABLE bool ToggleAutoSwitch();
  Q_SCRIPTABLE void SetPreferredOutput(const QString& device);
  Q_SCRIPTABLE void ApplyProfile(const QString& profile);
  Q_SCRIPTABLE QString SaveProfile(const QString& name);
  Q_SCRIPTABLE void DeleteProfile(const QString& profile);
  Q_SCRIPTABLE void RenameProfile(const QString& profile, const QString& name);
  Q_SCRIPTABLE void ShowWindow();
  // Replies first, then quits the app from the event loop.
  Q_SCRIPTABLE void Quit();

 signals:
  Q_SCRIPTABLE void Changed(const QStringList& parts);

 private:
  // The answer of a command that succeeded; an error reply otherwise.
  nlohmann::json reply(const control::ControlResult& result);
  void flushChanges();

  // The properties now, read from the status report; the missing values
  // while no service is attached.
  control::StatusProperties properties() const;
  int volumeProperty() const;
  bool mutedProperty() const;
  int inputVolumeProperty() const;
  bool inputMutedProperty() const;
  QString defaultOutputProperty() const;
  QString defaultInputProperty() const;
  QString activeProfileProperty() const;
  // Sends PropertiesChanged with what differs from `announced_`, if anything.
  void announceProperties();

  QDBusConnection bus_;
  bool exported_ = false;
  bool named_ = false;
  control::ControlCommands commands_{{}};
  std::function<void()> showWindow_;
  std::function<void()> quit_;
  Observers<ServiceField>::Subscription subscription_;
  quint64 changed_ = 0;
  QTimer changeTimer_;
  // The property values last announced: those at attach(), then those of
  // each PropertiesChanged sent.
  control::StatusProperties announced_;
};

}  // namespace tavuno
