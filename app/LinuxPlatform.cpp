#include "app/LinuxPlatform.h"

#include <cstdio>
#include <memory>

#include "app/ServerAbsenceNotice.h"
#include "base/text/TavunoLanguage.h"
#include "platform/linux/DesktopIndex.h"
#include "platform/linux/LinuxHal.h"
#include "platform/linux/LinuxIdentity.h"
#include "platform/linux/ProcessProperties.h"
#include "platform/linux/PulseMirror.h"
#include "platform/std/ThreadSerialQueue.h"

namespace tavuno {

namespace {

constexpr double firstSyncTimeout = 2.0;

// Everything behind the service's ports, in the order it is built; members
// go in reverse, so the mirror (whose hub and thread the others use) goes
// last.
struct LinuxStack {
  LinuxStack(const LinuxPlatformOptions& options, MainQueue& main)
      : mirror(PulseMirror::Options{.server = options.server, .gracePeriod = options.gracePeriod}),
        desktop(DesktopIndex::dataDirsFromEnvironment()),
        identity(desktop, {.serverProperties = processPropertiesSource(mirror.hub()),
                           .language = [] { return TavunoLanguage::current(); }}),
        notice(main, mirror.hub()) {
    mirror.start();
    if (!mirror.waitForSync(firstSyncTimeout))
      std::fprintf(stderr, "tavuno: no audio server answered; waiting for one\n");
    hal.emplace(main, mirror.hub(), mirror);
  }

  PulseMirror mirror;
  DesktopIndex desktop;
  LinuxIdentity identity;
  ServerAbsenceNotice notice;
  std::optional<LinuxHal> hal;
  ThreadSerialQueueFactory workers;
};

}  // namespace

PlatformBuilder linuxPlatform(LinuxPlatformOptions options) {
  return [options = std::move(options)](DefaultsStore& defaults, MainQueue& main) {
    auto stack = std::make_shared<LinuxStack>(options, main);
    Platform platform;
    // Per-application control needs a server to capture from and the
    // sessions to do it with.
    // TODO(sessions): the PipeWire per-application sessions plug in here:
    // `platform.options.makeSession` from the session factory (after its
    // start-up sweep), and `sessions` below true once it exists.
    const bool sessions = false;
    Availability perAppAudio = [hub = &stack->mirror.hub(), sessions] {
      return sessions && hub->snapshot()->connected;
    };
    platform.ports.emplace(ServicePorts{.defaults = defaults,
                                        .main = main,
                                        .hal = *stack->hal,
                                        .workers = stack->workers,
                                        .perAppAudioSupported = std::move(perAppAudio),
                                        .identity = &stack->identity});
    platform.appIcon = [identity = &stack->identity](const std::string& appId) {
      return identity->iconName(appId);
    };
    platform.started = [stack = stack.get()](AudioService& service) {
      stack->notice.attach(service.shared_from_this());
    };
    platform.owner = std::move(stack);
    return platform;
  };
}

}  // namespace tavuno
