#pragma once

#include <string>

#include "app/TavunoApp.h"

namespace tavuno {

struct LinuxPlatformOptions {
  // The audio server as libpulse names it; empty: the session's own. (The
  // sessions reach PipeWire as its environment says.)
  std::string server;
  // How long a lost server's devices stay before they count as gone.
  double gracePeriod = 3.0;
};

// Tavuno on the desktop's audio server: one mirror of the server (PipeWire
// through pipewire-pulse, or PulseAudio) shared by the Hal, application
// identity (with one index of the installed desktop files, which also gives
// the screens their application icons) and the per-application sessions;
// worker threads for the sessions; and a notice on the error line while no
// server is reachable. Start-up waits up to 2 s for the mirror's first sync,
// so the first refresh sees the devices (a quarter of a second when the server
// has not answered at all by then; without a server it carries on with none
// and picks the server up when it appears). What a Tavuno that was killed
// left steered is given back on a thread of its own, before any session
// starts.
PlatformBuilder linuxPlatform(LinuxPlatformOptions options = {});

}  // namespace tavuno
