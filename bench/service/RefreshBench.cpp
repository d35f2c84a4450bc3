// The cost of one refresh of the service on simulated hardware with 32
// devices of 8 channels each (listeners installed), next to copying the
// device list, measured in the same run. Prints the ratio at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "platform/sim/ManualSerialQueue.h"
#include "platform/sim/SimHal.h"
#include "platform/sim/SimMainQueue.h"
#include "service/AudioService.h"

namespace {

using namespace tavuno;

struct Rig {
  SimMainQueue main;
  SimHal hal{main};
  InMemoryDefaultsStore defaults;
  ManualSerialQueueFactory workers;
  std::shared_ptr<AudioService> service;

  explicit Rig(int devices) {
    for (int i = 0; i < devices; ++i) {
      SimDeviceSpec spec{.uid = "device-" + std::to_string(i),
                         .name = "Device " + std::to_string(i),
                         .inputStreams = 1,
                         .outputStreams = 1,
                         .outputChannels = {8},
                         .mute = SimControl{0}};
      spec.channelVolumes.assign(8, SimControl{0.5f});
      AudioObjectID id = hal.addDevice(spec);
      if (i == 0) hal.setDefaultOutput(id);
    }
    service = AudioService::create({defaults, main, hal, workers}, {.startTimer = false});
  }
};

void refresh(benchmark::State& state) {
  Rig rig(static_cast<int>(state.range(0)));
  for (auto _ : state)
    rig.service->refresh();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(refresh)->Arg(32)->Arg(64);

void copyDeviceList(benchmark::State& state) {
  Rig rig(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::vector<AudioDevice> copy = rig.service->state().devices;
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(copyDeviceList)->Arg(32)->Arg(64);

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
  void printRatios() const {
    std::printf("\nOne refresh relative to copying the device list:\n");
    for (const char* devices : {"32", "64"}) {
      auto refresh = times_.find(std::string("refresh/") + devices);
      auto copy = times_.find(std::string("copyDeviceList/") + devices);
      if (refresh == times_.end() || copy == times_.end() || copy->second <= 0) continue;
      std::printf("  %s devices: %8.1fx  (%.1f us per refresh)\n", devices,
                  refresh->second / copy->second, refresh->second / 1000.0);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
