#include "platform/linux/LinuxSessionFactory.h"

#include "platform/linux/PipeWireSession.h"
#include "platform/linux/PulseSession.h"
#include "platform/linux/PulseSweep.h"

namespace tavuno {

LinuxSessionFactory::LinuxSessionFactory(const SessionControlPlane& plane, std::string journalDir)
    : plane_(plane), journal_(std::move(journalDir)) {}

int LinuxSessionFactory::sweep() {
  std::string error;
  if (auto graph = graphs_.current(error)) return PipeWireSession::sweep(*graph, journal_);
  if (plane_.serverIsPipeWire()) return 0;
  auto connection = PulseConnection::connect(error);
  return connection ? sweepPulseTaps(*connection, journal_) : 0;
}

std::function<std::shared_ptr<ManagedAudioSession>(bool)> LinuxSessionFactory::factory() {
  return [this](bool) -> std::shared_ptr<ManagedAudioSession> {
    std::string error;
    // A PipeWire server that answers gets the PipeWire path; only a server that is not
    // PipeWire gets the fallback (a PipeWire that does not answer fails its start instead).
    if (graphs_.current(error) || plane_.serverIsPipeWire())
      return std::make_shared<PipeWireSession>(PipeWireSessionPorts{plane_, graphs_, journal_});
    return std::make_shared<PulseSession>(PulseSessionPorts{plane_, journal_});
  };
}

}  // namespace tavuno
