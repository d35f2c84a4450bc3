// The cost of listing the running desktop applications on this machine's
// real /proc: the first call of an identity (every process read) next to a
// later one (only each process's stat read, the rest cached), in the same
// run. Prints the ratio at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "platform/linux/LinuxIdentity.h"
#include "platform/linux/ProcFs.h"

namespace {

using namespace tavuno;

LinuxIdentity::Options options() {
  return {.language = [] { return std::string("pt"); }};
}

void firstCall(benchmark::State& state) {
  DesktopIndex desktop(DesktopIndex::dataDirsFromEnvironment());
  for (auto _ : state) {
    LinuxIdentity identity(desktop, options());
    benchmark::DoNotOptimize(identity.runningApplications());
  }
  state.counters["processes"] = static_cast<double>(procfs::listPids("/proc").size());
}
BENCHMARK(firstCall);

void cachedCall(benchmark::State& state) {
  DesktopIndex desktop(DesktopIndex::dataDirsFromEnvironment());
  LinuxIdentity identity(desktop, options());
  identity.runningApplications();
  for (auto _ : state)
    benchmark::DoNotOptimize(identity.runningApplications());
  state.counters["processes"] = static_cast<double>(procfs::listPids("/proc").size());
}
BENCHMARK(cachedCall);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions == 1;
      if (!run.error_occurred && (median || single))
        times_[run.run_name.str()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(reports);
  }
  void printRatio() const {
    auto first = times_.find("firstCall"), cached = times_.find("cachedCall");
    if (first == times_.end() || cached == times_.end()) return;
    const auto [firstReal, firstCpu] = first->second;
    const auto [cachedReal, cachedCpu] = cached->second;
    if (cachedReal <= 0 || cachedCpu <= 0) return;
    std::printf(
        "\nrunningApplications(), first call relative to a cached one:\n"
        "  wall time %.1fx  (%.0f us first, %.0f us cached)\n"
        "  CPU time  %.1fx  (%.0f us first, %.0f us cached)\n",
        firstReal / cachedReal, firstReal / 1000.0, cachedReal / 1000.0, firstCpu / cachedCpu,
        firstCpu / 1000.0, cachedCpu / 1000.0);
  }

 private:
  std::map<std::string, std::pair<double, double>> times_;  // wall, CPU
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio();
  benchmark::Shutdown();
  return 0;
}
