// One refresh of the service on the real Linux platform (a private audio
// server with 32 devices) next to the same refresh on the simulated Hal with
// devices of the same shape, in the same run; then the same refresh while
// the server is stopped with SIGSTOP, to show the main thread never waits on
// it. Prints the ratio and the stopped-server timing at the end.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "hal/HalReaders.h"
#include "linux/stack/AudioStack.h"
#include "platform/linux/LinuxBackEnd.h"
#include "platform/sim/ManualSerialQueue.h"
#include "platform/sim/SimHal.h"
#include "platform/sim/SimMainQueue.h"
#include "platform/std/ThreadMainQueue.h"
#include "service/AudioService.h"

namespace {

using namespace tavuno;
using Clock = std::chrono::steady_clock;

constexpr int kDevices = 32;

struct LinuxRig {
  ThreadMainQueue main;
  InMemoryDefaultsStore defaults;
  ManualSerialQueueFactory workers;
  std::unique_ptr<LinuxBackEnd> backEnd;
  std::shared_ptr<AudioService> service;

  // Serves the main queue for a moment (takes over published snapshots).
  void pump(double seconds) {
    main.postAfter(seconds, [this] { main.stop(); });
    main.run();
  }
};

struct SimRig {
  SimMainQueue main;
  SimHal hal{main};
  InMemoryDefaultsStore defaults;
  ManualSerialQueueFactory workers;
  std::shared_ptr<AudioService> service;
};

LinuxRig* linuxRig = nullptr;
SimRig* simRig = nullptr;

void refreshLinux(benchmark::State& state) {
  for (auto _ : state)
    linuxRig->service->refresh();
}

void refreshSim(benchmark::State& state) {
  for (auto _ : state)
    simRig->service->refresh();
}

// A simulated device for each of the Linux Hal's, same direction, channels
// and controls.
void mirrorShape(LinuxRig& from, SimRig& to) {
  for (const auto& device : from.service->state().devices) {
    SimDeviceSpec spec{.uid = device.uid, .name = device.name, .transport = device.transport};
    if (device.output) {
      const std::uint32_t channels = readOutputChannelCount(from.backEnd->hal(), device.id);
      spec.outputStreams = 1;
      spec.outputChannels = {channels};
      spec.channelVolumes.assign(channels, SimControl{1.0f});
      spec.mute = SimControl{0};
    } else {
      spec.inputStreams = 1;
    }
    AudioObjectID id = to.hal.addDevice(spec);
    if (device.id == from.service->state().defaultOutput) to.hal.setDefaultOutput(id);
  }
  to.service =
      AudioService::create({to.defaults, to.main, to.hal, to.workers}, {.startTimer = false});
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions == 1;
      if (!run.error_occurred && (median || single))
        times_[run.run_name.str()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(reports);
  }
  double time(const std::string& name) const {
    auto it = times_.find(name);
    return it == times_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  test::AudioStack server;
  if (auto failure = server.start()) {
    std::fprintf(stderr, "no private audio server: %s\n", failure->c_str());
    return 1;
  }
  // 5 standard devices, and 8-channel sinks up to 32 devices.
  for (int i = 5; i < kDevices; ++i)
    server.pactl({"load-module", "module-null-sink", "sink_name=bench_" + std::to_string(i),
                  "channels=8", "sink_properties=device.bus=usb"});

  LinuxRig real;
  real.backEnd = std::make_unique<LinuxBackEnd>(
      real.main, LinuxBackEndOptions{.server = server.pulseServer(), .syncTimeout = 10});
  test::waitUntil(
      [&] { return real.backEnd->hub().snapshot()->table.devices().size() == kDevices; }, 10);
  real.service = AudioService::create({real.defaults, real.main, real.backEnd->hal(), real.workers},
                                      {.startTimer = false});
  real.pump(0.2);
  std::printf("devices on the server: %zu\n", real.service->state().devices.size());
  SimRig sim;
  mirrorShape(real, sim);
  linuxRig = &real;
  simRig = &sim;

  benchmark::RegisterBenchmark("refresh/linux", refreshLinux);
  benchmark::RegisterBenchmark("refresh/sim", refreshSim);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double linuxTime = reporter.time("refresh/linux");
  const double simTime = reporter.time("refresh/sim");
  if (simTime > 0)
    std::printf(
        "\nOne refresh with %d devices: %.1f us on the Linux platform, %.1f us on the "
        "simulated Hal: %.2fx\n",
        kDevices, linuxTime / 1000.0, simTime / 1000.0, linuxTime / simTime);

  // The server stopped: a refresh and a volume change (sent in the next turn
  // of the main queue) still return at once.
  kill(server.pipewirePulsePid(), SIGSTOP);
  const auto start = Clock::now();
  real.service->refresh();
  real.service->setVolume(0.5f);
  real.main.post([&] { real.main.stop(); });
  real.main.run();
  const double stopped = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  kill(server.pipewirePulsePid(), SIGCONT);
  std::printf(
      "With the server stopped (SIGSTOP): refresh + setVolume + one main-queue turn "
      "took %.1f us\n",
      stopped);
  real.service.reset();
  real.backEnd.reset();
  benchmark::Shutdown();
  return 0;
}
