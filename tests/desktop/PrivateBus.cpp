#include "desktop/PrivateBus.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace tavuno::test {

std::unique_ptr<PrivateBus> PrivateBus::start(std::string& why) {
  auto program = ChildProcess::find("dbus-daemon");
  if (!program) {
    why = "dbus-daemon is not installed (scripts/bootstrap installs it)";
    return nullptr;
  }
  std::unique_ptr<PrivateBus> bus(new PrivateBus);
  std::string pattern = (std::filesystem::temp_directory_path() / "tavuno-bus-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    why = "no temporary folder for the bus";
    return nullptr;
  }
  bus->folder_ = pattern;
  const std::string config = bus->folder_ + "/bus.conf";
  std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                           "Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig>\n"
                           "  <type>session</type>\n"
                           "  <listen>unix:path="
                        << bus->folder_
                        << "/bus</listen>\n"
                           "  <auth>EXTERNAL</auth>\n"
                           "  <policy context=\"default\">\n"
                           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                           "    <allow eavesdrop=\"true\"/>\n"
                           "    <allow own=\"*\"/>\n"
                           "  </policy>\n"
                           "</busconfig>\n";
  bus->daemon_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{*program, "--config-file=" + config, "--nofork", "--nopidfile",
                               "--print-address={fd}"},
      ChildProcess::Options{.deathSignal = SIGTERM});
  auto address = bus->daemon_->readLine(10.0);
  if (!address) {
    why = "dbus-daemon did not start";
    return nullptr;
  }
  bus->address_ = QString::fromStdString(*address);
  return bus;
}

PrivateBus::~PrivateBus() {
  for (const QString& name : connections_)
    QDBusConnection::disconnectFromBus(name);
  daemon_.reset();
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

QDBusConnection PrivateBus::connect() {
  const QString name = QStringLiteral("tavuno-test-%1").arg(connections_.size() + 1) +
                       QStringLiteral("-") + address_;
  connections_.append(name);
  return QDBusConnection::connectToBus(address_, name);
}

}  // namespace tavuno::test
