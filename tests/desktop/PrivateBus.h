#pragma once

#include <memory>
#include <string>

#include <QDBusConnection>
#include <QString>

#include "support/ChildProcess.h"

namespace tavuno::test {

// A session bus of the test's own: a bus daemon in a temporary folder that
// starts no services on demand, so a name is owned only when a test owns it.
class PrivateBus {
 public:
  // Nothing, with the reason in `why`, when the daemon is missing or does
  // not start. Only a missing daemon is a reason to skip (installed()).
  static std::unique_ptr<PrivateBus> start(std::string& why);
  ~PrivateBus();
  static bool installed() { return ChildProcess::find("dbus-daemon").has_value(); }

  // A new connection to the bus, named uniquely in this process.
  QDBusConnection connect();
  const QString& address() const { return address_; }
  // The bus's temporary folder, removed with it.
  const std::string& folder() const { return folder_; }

 private:
  PrivateBus() = default;

  std::string folder_;
  std::unique_ptr<ChildProcess> daemon_;
  QString address_;
  QStringList connections_;
};

}  // namespace tavuno::test
