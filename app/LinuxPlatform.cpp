#include "app/LinuxPlatform.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "app/ServerAbsenceNotice.h"
#include "base/text/TavunoLanguage.h"
#include "platform/linux/DesktopIndex.h"
#include "platform/linux/LinuxHal.h"
#include "platform/linux/LinuxIdentity.h"
#include "platform/linux/LinuxSessionFactory.h"
#include "platform/linux/ProcessProperties.h"
#include "platform/linux/PulseMirror.h"
#include "platform/linux/SnapshotControlPlane.h"
#include "platform/std/ThreadSerialQueue.h"

namespace tavuno {

namespace {

constexpr double firstSyncTimeout = 2.0;
// A server that answers does so within milliseconds; one that has not
// answered by then (stopped, hung) is not waited for.
constexpr double silentServerTimeout = 0.25;

// What the sessions use from their workers: the mirror's hub (through the
// control plane) and the session factory with its PipeWire connection. A
// worker the service let go may still be finishing a start after the
// service is gone, so these are kept until the process ends; only the
// mirror's thread is stopped at quit.
struct SessionSupport {
  explicit SessionSupport(const LinuxPlatformOptions& options)
      : mirror(PulseMirror::Options{.server = options.server, .gracePeriod = options.gracePeriod}),
        plane(mirror.hub()),
        sessions(plane) {}

  PulseMirror mirror;
  SnapshotControlPlane plane;
  LinuxSessionFactory sessions;
};

// Hands out session supports that are never destroyed (reachable from here
// for the leak checker).
SessionSupport& keptUntilExit(const LinuxPlatformOptions& options) {
  static std::mutex mutex;
  static auto* kept = new std::vector<std::unique_ptr<SessionSupport>>;
  std::lock_guard lock(mutex);
  kept->push_back(std::make_unique<SessionSupport>(options));
  return *kept->back();
}

// Everything behind the service's ports. Members go in reverse order, and
// the mirror's thread stops last.
struct LinuxStack {
  LinuxStack(const LinuxPlatformOptions& options, MainQueue& main)
      : support(keptUntilExit(options)),
        desktop(DesktopIndex::dataDirsFromEnvironment()),
        identity(desktop, {.serverProperties = processPropertiesSource(support.mirror.hub()),
                           .language = [] { return TavunoLanguage::current(); }}),
        notice(main, support.mirror.hub()) {
    support.mirror.start();
    if (!support.mirror.waitForSync(firstSyncTimeout, silentServerTimeout))
      std::fprintf(stderr, "tavuno: no audio server answered; waiting for one\n");
    hal.emplace(main, support.mirror.hub(), support.mirror);
    // What a Tavuno that was killed left steered is put back before any
    // session starts (they wait for it), off this thread: a server that
    // does not answer would hold the window up for seconds.
    support.sessions.sweepInBackground([](int restored) {
      if (restored)
        std::fprintf(stderr, "tavuno: gave %d stream(s) back their own output\n", restored);
    });
    // Another Tavuno of this user has the applications; this one keeps the devices.
    if (!support.sessions.controlsApps())
      std::fprintf(stderr, "tavuno: another Tavuno controls the apps; showing the devices only\n");
  }
  ~LinuxStack() {
    hal.reset();
    support.mirror.stop();
  }

  SessionSupport& support;
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
    // Per-application control needs a server to capture from; asked again
    // at every refresh.
    Availability perAppAudio = [hub = &stack->support.mirror.hub()] {
      return hub->snapshot()->connected;
    };
    platform.ports.emplace(ServicePorts{.defaults = defaults,
                                        .main = main,
                                        .hal = *stack->hal,
                                        .workers = stack->workers,
                                        .perAppAudioSupported = std::move(perAppAudio),
                                        .identity = &stack->identity});
    platform.options.makeSession = stack->support.sessions.factory();
    platform.appIconName = [identity = &stack->identity](const std::string& appId) {
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
