// Runs the benchmarks, then prints each one's throughput as a ratio to memcpy of the same
// bytes in the same run: medians when repeated (nine repetitions unless told otherwise).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/Benchmarks.h"

namespace {

// Keeps each benchmark's median (or single) byte rate while the console shows everything.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions == 1;
      if (run.error_occurred || !(median || single)) continue;
      const std::string name = run.run_name.str();
      rates_[name].bytes = counter(run, "bytes_per_second");
      rates_[name].items = counter(run, "items_per_second");
      if (order_.empty() || order_.back() != name) order_.push_back(name);
    }
    ConsoleReporter::ReportRuns(reports);
  }

  void printRatios() const {
    const auto reference = rates_.find(tavuno::bench::kReference);
    if (reference == rates_.end() || reference->second.bytes <= 0) return;
    std::printf("\nTime relative to %s of the same bytes (1.0 = as fast as memcpy):\n",
                tavuno::bench::kReference);
    for (const std::string& name : order_) {
      const Rate& rate = rates_.at(name);
      if (name == reference->first || rate.bytes <= 0) continue;
      std::printf("  %-48s %6.2fx", name.c_str(), reference->second.bytes / rate.bytes);
      if (rate.items > 0) std::printf("   %.1f M frames/s", rate.items / 1e6);
      std::printf("\n");
    }
  }

 private:
  struct Rate {
    double bytes = 0;
    double items = 0;
  };

  static double counter(const Run& run, const char* key) {
    const auto it = run.counters.find(key);
    return it == run.counters.end() ? 0.0 : double(it->second);
  }

  std::map<std::string, Rate> rates_;
  std::vector<std::string> order_;
};

}  // namespace

int main(int argc, char** argv) {
  // Defaults first: flags given on the command line come later and win.
  std::vector<char*> args{argv[0]};
  std::string repetitions = "--benchmark_repetitions=9";
  std::string aggregates = "--benchmark_report_aggregates_only=true";
  args.push_back(repetitions.data());
  args.push_back(aggregates.data());
  args.insert(args.end(), argv + 1, argv + argc);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  tavuno::bench::registerTdspBenchmarks();
  tavuno::bench::registerAudioRingBenchmarks();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
