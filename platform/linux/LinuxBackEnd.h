#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/ports/MainQueue.h"
#include "platform/linux/DesktopIndex.h"
#include "platform/linux/LinuxHal.h"
#include "platform/linux/LinuxIdentity.h"
#include "platform/linux/LinuxSessionFactory.h"
#include "platform/linux/PulseInputLevels.h"
#include "platform/linux/PulseMirror.h"
#include "platform/linux/SnapshotControlPlane.h"
#include "platform/std/ThreadSerialQueue.h"

namespace tavuno {

struct LinuxBackEndOptions {
  // The audio server as libpulse names it; empty: the session's own. (The
  // sessions reach PipeWire as its environment says.)
  std::string server;
  // How long a lost server's devices stay before they count as gone.
  double gracePeriod = 3.0;
  // Start-up waits this long for the mirror's first sync, and only
  // `silentServerTimeout` when the server has not answered at all by then.
  double syncTimeout = 2.0;
  double silentServerTimeout = 0.25;
  // Where installed applications are described; nothing: as the
  // environment says.
  std::optional<std::vector<std::string>> desktopDirs;
  // Tavuno's language ("pt" or "en"), for applications' display names.
  std::function<std::string()> language;
  // The per-application sessions of this desktop (LinuxSessionFactory):
  // they hold this user's control lock, and what a Tavuno that was killed
  // left steered is given back on a thread of their own before any of them
  // starts. Without them the service controls the devices only.
  bool appSessions = false;
  // Told, on the sweep's thread, how many streams the sweep gave back.
  std::function<void(int restored)> swept;
};

// Tavuno's back end on the desktop's audio server, everything the service's
// ports need: one mirror of the server (PipeWire through pipewire-pulse, or
// PulseAudio) shared by the Hal, the application identity (with its index of
// the installed desktop files) and the sessions; worker threads for the
// sessions. Main thread only.
//
// A worker the service let go may still be finishing a start after the
// service and this back end are gone, so the mirror, its control plane and
// the session factory are kept until the process ends; only the mirror's
// thread is stopped when the back end goes.
class LinuxBackEnd {
 public:
  LinuxBackEnd(MainQueue& main, LinuxBackEndOptions options = {});
  ~LinuxBackEnd();
  LinuxBackEnd(const LinuxBackEnd&) = delete;
  LinuxBackEnd& operator=(const LinuxBackEnd&) = delete;

  // Whether the first sync came in time; without it the back end carries
  // on with no devices and picks the server up when it answers.
  bool synced() const { return synced_; }
  PulseMirror& mirror() { return kept_.mirror; }
  SnapshotHub& hub() { return kept_.mirror.hub(); }
  const SessionControlPlane& plane() const { return kept_.plane; }
  LinuxHal& hal() { return *hal_; }
  // The default input's meter, on the mirror's connection.
  InputLevelPort& inputLevels() { return *inputLevels_; }
  DesktopIndex& desktop() { return desktop_; }
  LinuxIdentity& identity() { return identity_; }
  SerialQueueFactory& workers() { return workers_; }
  // Whether a server answers now (per-application control needs one); any
  // time, cheap.
  std::function<bool()> serverConnected();
  // Null without `appSessions`.
  LinuxSessionFactory* sessions() { return kept_.sessions ? &*kept_.sessions : nullptr; }

  struct Kept {
    Kept(const LinuxBackEndOptions& options);
    PulseMirror mirror;
    SnapshotControlPlane plane;
    std::optional<LinuxSessionFactory> sessions;
  };

 private:
  Kept& kept_;
  DesktopIndex desktop_;
  LinuxIdentity identity_;
  std::optional<LinuxHal> hal_;
  std::optional<PulseInputLevels> inputLevels_;
  ThreadSerialQueueFactory workers_;
  bool synced_ = false;
};

}  // namespace tavuno
