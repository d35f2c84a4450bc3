#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace tavuno::test {

// A session bus of the test's own: a dbus-daemon on a socket in a temporary
// folder, with no service files (nothing is started on demand). Stopped when
// the object goes, and by the kernel if the test process dies first.
class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  bool running() const { return !address_.isEmpty(); }
  const QString& address() const { return address_; }
  QString folder() const { return dir_.path(); }
  // A connection of its own under `name`, closed with the bus.
  QDBusConnection connect(const QString& name);

 private:
  QTemporaryDir dir_;
  QProcess daemon_;
  QString address_;
  QStringList connections_;
};

// Records the Changed signals of the control interface.
class ChangedRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QStringList> signals_;

 public slots:
  void changed(const QStringList& parts) { signals_.append(parts); }
};

// The result of one run of the tavuno executable.
struct Run {
  int exitCode = -1;
  QString out;
  QString err;
};

// Runs the tavuno executable against `bus` (English, offscreen, settings in
// the bus's folder), turning the event loop while it runs so the app in this
// process can answer it. A run that outlives `seconds` is killed and gives
// exit code -1.
Run runTavuno(const PrivateBus& bus, const QStringList& arguments, double seconds = 60);

}  // namespace tavuno::test
