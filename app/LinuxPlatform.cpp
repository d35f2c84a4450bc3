#include "app/LinuxPlatform.h"

#include <cstdio>
#include <memory>

#include "app/ServerAbsenceNotice.h"
#include "platform/linux/LinuxBackEnd.h"

namespace tavuno {

namespace {

// Everything behind the service's ports, and the notice on the error line
// while no server is reachable.
struct LinuxStack {
  LinuxStack(const LinuxPlatformOptions& options, MainQueue& main)
      : backEnd(main, {.server = options.server,
                       .gracePeriod = options.gracePeriod,
                       .appSessions = true,
                       .swept =
                           [](int restored) {
                             if (restored)
                               std::fprintf(stderr,
                                            "tavuno: gave %d stream(s) back their own output\n",
                                            restored);
                           }}),
        notice(main, backEnd.hub()) {
    if (!backEnd.synced())
      std::fprintf(stderr, "tavuno: no audio server answered; waiting for one\n");
    // Another Tavuno of this user has the applications; this one keeps the devices.
    if (!backEnd.sessions()->controlsApps())
      std::fprintf(stderr, "tavuno: another Tavuno controls the apps; showing the devices only\n");
  }

  LinuxBackEnd backEnd;
  ServerAbsenceNotice notice;
};

}  // namespace

PlatformBuilder linuxPlatform(LinuxPlatformOptions options) {
  return [options = std::move(options)](DefaultsStore& defaults, MainQueue& main) {
    auto stack = std::make_shared<LinuxStack>(options, main);
    LinuxBackEnd& backEnd = stack->backEnd;
    Platform platform;
    // Per-application control needs a server to capture from; asked again
    // at every refresh.
    platform.ports.emplace(ServicePorts{.defaults = defaults,
                                        .main = main,
                                        .hal = backEnd.hal(),
                                        .workers = backEnd.workers(),
                                        .perAppAudioSupported = backEnd.serverConnected(),
                                        .identity = &backEnd.identity(),
                                        .inputLevels = &backEnd.inputLevels()});
    platform.options.makeSession = backEnd.sessions()->factory();
    platform.appIconName = [identity = &backEnd.identity()](const std::string& appId) {
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
