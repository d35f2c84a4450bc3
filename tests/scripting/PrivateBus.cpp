#include "scripting/PrivateBus.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QFile>
#include <QProcessEnvironment>

#include "ui/QtWait.h"

namespace tavuno::test {

PrivateBus::PrivateBus() {
  if (!dir_.isValid()) return;
  const QString config = dir_.filePath(QStringLiteral("bus.conf"));
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly)) return;
  file.write(QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
                 .arg(dir_.filePath(QStringLiteral("socket")))
                 .toUtf8());
  file.close();
  // Ends with the test process, whatever way it ends.
  daemon_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
  daemon_.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                 QStringLiteral("--config-file=") + config});
  if (!daemon_.waitForStarted(10000)) return;
  QByteArray line;
  const bool printed = waitUntil(
      [&] {
        line += daemon_.readAllStandardOutput();
        return line.contains('\n') || daemon_.state() == QProcess::NotRunning;
      },
      10);
  if (printed && line.contains('\n')) address_ = QString::fromUtf8(line.left(line.indexOf('\n')));
}

PrivateBus::~PrivateBus() {
  for (const auto& name : connections_)
    QDBusConnection::disconnectFromBus(name);
  if (daemon_.state() != QProcess::NotRunning) {
    daemon_.terminate();
    if (!daemon_.waitForFinished(5000)) {
      daemon_.kill();
      daemon_.waitForFinished(5000);
    }
  }
}

QDBusConnection PrivateBus::connect(const QString& name) {
  connections_.append(name);
  return QDBusConnection::connectToBus(address_, name);
}

Run runTavuno(const PrivateBus& bus, const QStringList& arguments, double seconds) {
  QProcess process;
  auto environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
  environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), bus.folder());
  process.setProcessEnvironment(environment);
  process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
  process.start(QStringLiteral(TAVUNO_EXECUTABLE), arguments);
  Run run;
  if (!process.waitForStarted(10000)) return run;
  const bool finished = waitUntil([&] { return process.state() == QProcess::NotRunning; }, seconds);
  if (!finished) {
    process.kill();
    process.waitForFinished(5000);
    return run;
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

}  // namespace tavuno::test
