#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/rt/tdsp.h"
#include "engine/sessions/SessionFailure.h"
#include "platform/linux/PipeWireGraph.h"
#include "platform/linux/TapGlue.h"

struct pw_stream;

namespace tavuno {

// Called at the start and end of every process cycle, on the real-time thread: lets a test
// count what the cycle allocates or locks. Plain function pointers, so an absent observer
// costs one comparison.
struct CycleObserver {
  void (*begin)(void* context) = nullptr;
  void (*end)(void* context) = nullptr;
  void* context = nullptr;
};

// The two streams of one per-application path: the tap, a virtual sink node the application's
// streams are steered into, and the playback to the chosen output, triggered from the tap's
// process callback so it runs in the same graph cycle. Both belong to Tavuno's connection, so
// the server destroys them when Tavuno dies and relinks the application by itself.
//
// Threads: build() and destroy() on the owner's thread (the application's worker); the process
// callback on the graph's data thread, touching only the kernel, the scratch and the counters.
class PipeWireTap {
 public:
  struct Options {
    std::string tapName;     // node.name of the tap, unique per run
    std::string playName;    // node.name of the playback
    std::string group;       // node.group and node.link-group of both
    std::string outputNode;  // node.name of the output
    std::uint32_t rate = 48000;
    std::uint32_t channels = 2;  // of the playback: 1 or 2
    // The longest cycle the server allows (View::maxQuantum); sizes the scratch. 0: unknown.
    std::uint32_t maxQuantum = 0;
    std::int32_t ownerPid = 0;
    std::uint64_t ownerStart = 0;
    const CycleObserver* observer = nullptr;
  };

  PipeWireTap(std::shared_ptr<PipeWireGraph> graph, tdsp_state* dsp);
  ~PipeWireTap();
  PipeWireTap(const PipeWireTap&) = delete;
  PipeWireTap& operator=(const PipeWireTap&) = delete;

  // Creates both streams, waits (≤ 2 s each) until the server has them, and activates them. A
  // failure names its step ("Criar captura", "Preparar reprodução", "Iniciar reprodução") and a
  // status; what was built stays for destroy().
  std::optional<SessionFailure> build(const Options& options);
  // Deactivates and destroys both streams; when it returns no callback runs any more. Safe to
  // call again.
  void destroy();

  std::uint32_t tapNode() const { return tapNode_; }
  std::uint32_t playNode() const { return playNode_; }
  // Whether either stream has failed or lost the server since build().
  bool broken() const { return broken_.load(std::memory_order_relaxed); }
  const TapGlueCounters& counters() const { return glue_.counters; }

  struct Rt;  // what the process callback sees

 private:
  std::shared_ptr<PipeWireGraph> graph_;
  tdsp_state* dsp_;
  std::vector<float> scratch_;
  TapGlueState glue_;
  std::unique_ptr<Rt> rt_;
  std::uint32_t tapNode_ = 0;
  std::uint32_t playNode_ = 0;
  std::atomic<bool> broken_{false};
};

}  // namespace tavuno
