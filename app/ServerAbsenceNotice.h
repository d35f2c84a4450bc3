#pragma once

#include <memory>

#include "base/ports/MainQueue.h"
#include "platform/linux/SnapshotHub.h"
#include "service/AudioService.h"

namespace tavuno {

// Tells the user, on the service's error line, while no audio server is
// reachable: the devices are then empty and the screens would not say why.
// The message goes as soon as the mirror is connected again, unless another
// message has replaced it meanwhile (that one stays), and a message the user
// dismissed comes back only when the server is lost again.
//
// Main thread; the hub's publications (on the mirror's thread) are handed
// over through the main queue. The hub must outlive it.
class ServerAbsenceNotice {
 public:
  ServerAbsenceNotice(MainQueue& main, SnapshotHub& hub);
  ~ServerAbsenceNotice();
  ServerAbsenceNotice(const ServerAbsenceNotice&) = delete;
  ServerAbsenceNotice& operator=(const ServerAbsenceNotice&) = delete;

  // Starts telling `service` (held weakly), from the hub's state now.
  void attach(const std::shared_ptr<AudioService>& service);

 private:
  struct State;
  void update();

  MainQueue& main_;
  SnapshotHub& hub_;
  SnapshotHub::Token token_ = 0;
  std::shared_ptr<State> state_;
};

}  // namespace tavuno
