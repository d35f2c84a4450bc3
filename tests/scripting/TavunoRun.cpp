#include "scripting/TavunoRun.h"

#include <QCoreApplication>

#include "support/ChildProcess.h"

namespace tavuno::test {

Run runTavuno(const QString& busAddress, const QString& home, const QStringList& arguments,
              double seconds) {
  std::vector<std::string> command{TAVUNO_EXECUTABLE};
  for (const QString& argument : arguments)
    command.push_back(argument.toStdString());
  // The event loop turns while it runs, so the app in this process can answer it.
  const Completion done =
      runToCompletion(command, seconds,
                      {{"DBUS_SESSION_BUS_ADDRESS", busAddress.toStdString()},
                       {"LANGUAGE", "en"},
                       {"QT_QPA_PLATFORM", "offscreen"},
                       {"XDG_CONFIG_HOME", home.toStdString()}},
                      [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
  Run run;
  if (!done.finished) return run;
  run.exitCode = done.exitCode;
  run.out = QString::fromStdString(done.out);
  run.err = QString::fromStdString(done.err);
  return run;
}

Run runTavuno(const PrivateBus& bus, const QStringList& arguments, double seconds) {
  return runTavuno(bus.address(), QString::fromStdString(bus.folder()), arguments, seconds);
}

}  // namespace tavuno::test
