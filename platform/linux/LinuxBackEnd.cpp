#include "platform/linux/LinuxBackEnd.h"

#include <memory>
#include <mutex>

#include "platform/linux/ProcessProperties.h"

namespace tavuno {

namespace {

// Hands out what the workers may still use after the back end is gone; never
// destroyed (reachable from here for the leak checker).
LinuxBackEnd::Kept& keptUntilExit(const LinuxBackEndOptions& options) {
  static std::mutex mutex;
  static auto* kept = new std::vector<std::unique_ptr<LinuxBackEnd::Kept>>;
  std::lock_guard lock(mutex);
  kept->push_back(std::make_unique<LinuxBackEnd::Kept>(options));
  return *kept->back();
}

}  // namespace

LinuxBackEnd::Kept::Kept(const LinuxBackEndOptions& options)
    : mirror(PulseMirror::Options{.server = options.server, .gracePeriod = options.gracePeriod}),
      plane(mirror.hub()) {
  if (options.appSessions) sessions.emplace(plane);
}

LinuxBackEnd::LinuxBackEnd(MainQueue& main, LinuxBackEndOptions options)
    : kept_(keptUntilExit(options)),
      desktop_(options.desktopDirs ? *options.desktopDirs
                                   : DesktopIndex::dataDirsFromEnvironment()),
      identity_(desktop_, {.serverProperties = processPropertiesSource(kept_.mirror.hub()),
                           .language = options.language}) {
  kept_.mirror.start();
  synced_ = kept_.mirror.waitForSync(options.syncTimeout, options.silentServerTimeout);
  hal_.emplace(main, kept_.mirror.hub(), kept_.mirror);
  inputLevels_.emplace(*hal_, kept_.mirror);
  // Off this thread: a server that does not answer would hold the caller up
  // for seconds, and every session waits for the sweep anyway.
  if (kept_.sessions) kept_.sessions->sweepInBackground(options.swept);
}

LinuxBackEnd::~LinuxBackEnd() {
  inputLevels_.reset();
  hal_.reset();
  kept_.mirror.stop();
}

std::function<bool()> LinuxBackEnd::serverConnected() {
  return [hub = &kept_.mirror.hub()] { return hub->snapshot()->connected; };
}

}  // namespace tavuno
