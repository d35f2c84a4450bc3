// What a change of the settings costs the caller's thread, and how many file
// replacements a burst of changes makes. The changes are those of a per-app
// slider drag: the whole "appMix" map and the "profiles" list (whose active
// profile snapshots the mix) stored again at every step, as the service does.
// The file store's set() is compared with the in-memory store's set() in the
// same run; the file lives in the system's temporary folder, on a real disk.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/SettingsKeys.h"
#include "engine/AppMixStore.h"
#include "platform/std/FileDefaultsStore.h"
#include "profiles/ProfileStore.h"

namespace {

using namespace tavuno;
namespace fs = std::filesystem;

constexpr int variants = 64;        // slider positions cycled through
constexpr int burstChanges = 1000;  // set() calls in one burst

// The settings of a well-used install: a dozen applications in the mixer,
// five profiles each with its own mix.
struct Settings {
  std::vector<DefaultsValue> appMix;    // one per slider position
  std::vector<DefaultsValue> profiles;  // one per slider position

  Settings() {
    const std::vector<std::string> apps{"org.mozilla.firefox",
                                        "com.spotify.Client",
                                        "org.videolan.VLC",
                                        "com.discordapp.Discord",
                                        "org.chromium.Chromium",
                                        "org.gnome.Rhythmbox3",
                                        "us.zoom.Zoom",
                                        "com.slack.Slack",
                                        "org.telegram.desktop",
                                        "com.valvesoftware.Steam",
                                        "pid:48213",
                                        "pid:51877"};
    const std::vector<std::string> outputs{
        "alsa_output.pci-0000_00_1f.3.analog-stereo",
        "alsa_output.usb-Focusrite_Scarlett_2i2_USB-00.analog-stereo",
        "bluez_output.AC_80_0A_2B_1F_3C.1"};
    AppMixMap mixes;
    for (std::size_t i = 0; i < apps.size(); ++i)
      mixes[apps[i]] =
          AppMix(0.3 + 0.05 * double(i), i % 5 == 0,
                 i % 3 == 0 ? std::optional(outputs[i % outputs.size()]) : std::nullopt);
    std::vector<AudioProfile> list;
    for (const char* name : {"Perfil padrão", "Reunião", "Música", "Jogos", "Noite"}) {
      AudioProfile profile{Uuid::random(),
                           name,
                           "alsa_input.pci-0000_00_1f.3.analog-stereo",
                           outputs[list.size() % outputs.size()],
                           0.65f,
                           mixes,
                           false};
      list.push_back(profile);
    }
    for (int v = 0; v < variants; ++v) {
      mixes["org.mozilla.firefox"] = mixes["org.mozilla.firefox"].adjusted(float(v) / variants, {});
      list[0].appMix = mixes;
      appMix.emplace_back(*AppMixStore::encode(mixes));
      profiles.emplace_back(*ProfileStore::encode(list));
    }
  }

  // The i-th call of a drag: the mix, then the profiles, at slider position i / 2.
  void apply(DefaultsStore& store, int i) const {
    const auto position = static_cast<std::size_t>(i / 2 % variants);
    if (i % 2 == 0)
      store.set(key::appMix, appMix[position]);
    else
      store.set(key::profiles, profiles[position]);
  }
};

const Settings& settings() {
  static const Settings instance;
  return instance;
}

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tavuno-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  fs::path file() const { return path_ / "settings.json"; }

 private:
  fs::path path_;
};

// Waits for the writer thread to catch up; false after five seconds.
bool settled(const FileDefaultsStore& store) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (store.pending()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void memorySet(benchmark::State& state) {
  InMemoryDefaultsStore store;
  int i = 0;
  for (auto _ : state)
    settings().apply(store, i++);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(memorySet);

// The writer thread replaces the file behind the calls, as it would in use.
void fileSet(benchmark::State& state) {
  TempFolder folder;
  FileDefaultsStore store(folder.file());
  int i = 0;
  for (auto _ : state)
    settings().apply(store, i++);
  state.SetItemsProcessed(state.iterations());
  state.counters["writes"] = double(store.replacements());
}
BENCHMARK(fileSet);

// A burst of 1000 calls, then the wait for the file (not timed). Counts the
// file replacements the burst made.
void fileBurst(benchmark::State& state) {
  TempFolder folder;
  FileDefaultsStore store(folder.file());
  std::uint64_t worst = 0;
  std::uint64_t before = store.replacements();
  for (auto _ : state) {
    for (int i = 0; i < burstChanges; ++i)
      settings().apply(store, i);
    state.PauseTiming();
    if (!settled(store)) state.SkipWithError("the file did not follow within 5 s");
    worst = std::max(worst, store.replacements() - before);
    before = store.replacements();
    state.ResumeTiming();
  }
  state.counters["replacements"] = double(worst);
  state.SetItemsProcessed(state.iterations() * burstChanges);
}
BENCHMARK(fileBurst)->Iterations(10);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      if (run.error_occurred) continue;
      const bool aggregate = run.run_type == Run::RT_Aggregate;
      const bool median = aggregate && run.aggregate_name == "median";
      const bool single = !aggregate && run.repetitions == 1;
      if (median || single)
        times_[run.run_name.str()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      // The worst burst of every repetition (spread aggregates are no count).
      const bool count = !aggregate || run.aggregate_name == "mean" || median;
      if (auto it = run.counters.find("replacements"); count && it != run.counters.end())
        worstBurst_ = std::max(worstBurst_, double(it->second));
    }
    ConsoleReporter::ReportRuns(reports);
  }

  void printSummary() const {
    auto memory = times_.find("memorySet");
    auto file = times_.find("fileSet");
    if (memory != times_.end() && file != times_.end() && memory->second.real > 0 &&
        memory->second.cpu > 0) {
      const Time& m = memory->second;
      const Time& f = file->second;
      std::printf(
          "\nOne set() (\"appMix\" %zu bytes or \"profiles\" %zu bytes) of the file store\n"
          "relative to the in-memory store's:\n",
          std::get<Bytes>(settings().appMix[0]).size(),
          std::get<Bytes>(settings().profiles[0]).size());
      std::printf("  wall time %5.2fx  (%.0f ns vs %.0f ns)\n", f.real / m.real, f.real, m.real);
      std::printf("  CPU time  %5.2fx  (%.0f ns vs %.0f ns)\n", f.cpu / m.cpu, f.cpu, m.cpu);
    }
    if (worstBurst_ >= 0)
      std::printf("File replacements for a burst of %d set() calls: %.0f at most\n", burstChanges,
                  worstBurst_);
  }

 private:
  struct Time {
    double real = 0;
    double cpu = 0;
  };
  std::map<std::string, Time> times_;
  double worstBurst_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  settings();  // encoded before any timing
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printSummary();
  benchmark::Shutdown();
  return 0;
}
