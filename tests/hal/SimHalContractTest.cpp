#include "platform/sim/SimHal.h"
#include "platform/sim/SimMainQueue.h"
#include "tests/hal/HalContract.h"

namespace tavuno::test {
namespace {

// The simulated hardware shaped as the private audio server's desktop devices: two channels per
// output, each with its own volume, a mute, the speakers and the microphone as the defaults.
struct SimHalRig {
  SimMainQueue main;
  SimHal sim{main};
  SimHalRig() {
    for (const ContractDevice& device : desktopDevices()) {
      SimDeviceSpec simulated{
          .uid = device.uid, .name = device.name, .transport = device.transport};
      if (device.output) {
        simulated.outputStreams = 1;
        simulated.channelVolumes = {SimControl{}, SimControl{}};
        simulated.mute = SimControl{0.0f};
      } else {
        simulated.inputStreams = 1;
      }
      const AudioObjectID id = sim.addDevice(simulated);
      if (device.uid == "builtin_speakers") sim.setDefaultOutput(id);
      if (!device.output) sim.setDefaultInput(id);
    }
  }
  void prepare() {}
  void finish() {}
  Hal& hal() { return sim; }
  void settle() { main.runPending(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Sim, HalContract, SimHalRig);

}  // namespace
}  // namespace tavuno::test
