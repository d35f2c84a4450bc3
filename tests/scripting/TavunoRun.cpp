#include "scripting/TavunoRun.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "ui/QtWait.h"

namespace tavuno::test {

Run runTavuno(const QString& busAddress, const QString& home, const QStringList& arguments,
              double seconds) {
  QProcess process;
  auto environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
  environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
  process.setProcessEnvironment(environment);
  process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
  process.start(QStringLiteral(TAVUNO_EXECUTABLE), arguments);
  Run run;
  if (!process.waitForStarted(10000)) return run;
  const bool finished =
      processEventsUntil([&] { return process.state() == QProcess::NotRunning; }, seconds);
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

Run runTavuno(const PrivateBus& bus, const QStringList& arguments, double seconds) {
  return runTavuno(bus.address(), QString::fromStdString(bus.folder()), arguments, seconds);
}

}  // namespace tavuno::test
