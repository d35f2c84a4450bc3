#pragma once

#include <memory>

#include "base/text/TavunoLanguage.h"
#include "platform/sim/ManualSerialQueue.h"
#include "platform/sim/SimHal.h"
#include "platform/sim/SimInputLevels.h"
#include "platform/sim/SimMainQueue.h"
#include "service/AudioService.h"

namespace tavuno::test {

// Everything a service needs, simulated: virtual time, in-memory hardware and
// settings, manual worker queues.
struct SimPlatform {
  SimMainQueue main;
  SimHal hal{main};
  InMemoryDefaultsStore defaults;
  ManualSerialQueueFactory workers;
  SimInputLevels inputLevels{main, &hal};

  ServicePorts ports() {
    ServicePorts ports{defaults, main, hal, workers};
    ports.inputLevels = &inputLevels;
    return ports;
  }
  std::shared_ptr<AudioService> makeService(ServiceOptions options = {}) {
    return AudioService::create(ports(), std::move(options));
  }
};

// Installs a language environment for the life of a test and restores the
// previous one afterwards.
class ScopedLanguage {
 public:
  explicit ScopedLanguage(std::shared_ptr<const LanguageEnvironment> environment);
  ~ScopedLanguage();

 private:
  std::shared_ptr<const LanguageEnvironment> previous_;
};

// English from the shipped catalogue, whatever the machine's locale.
std::shared_ptr<const LanguageEnvironment> englishCatalog();
// Portuguese, as the app is by default: its texts and the 24-hour clock.
std::shared_ptr<const LanguageEnvironment> portugueseCatalog();

}  // namespace tavuno::test
