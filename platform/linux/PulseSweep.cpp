#include "platform/linux/PulseSweep.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/ProcessStart.h"

namespace tavuno {

int sweepPulseTaps(PulseConnection& connection, SteerJournal& journal) {
  pa_context* context = connection.context();
  // Null sinks of Tavunos that are gone: unloading one moves its streams to the default.
  struct Module {
    std::uint32_t index;
    std::string argument;
  };
  std::vector<Module> modules;
  connection.run([&] {
    return pa_context_get_module_info_list(
        context,
        [](pa_context*, const pa_module_info* info, int eol, void* data) {
          if (eol || !info || !info->name || std::strcmp(info->name, "module-null-sink") != 0)
            return;
          static_cast<std::vector<Module>*>(data)->push_back(
              {info->index, info->argument ? info->argument : ""});
        },
        &modules);
  });
  auto field = [](const std::string& text, const std::string& key) -> std::uint64_t {
    auto at = text.find(key + "=");
    if (at == std::string::npos) return 0;
    return std::strtoull(text.c_str() + at + key.size() + 1, nullptr, 10);
  };
  for (const Module& m : modules) {
    const auto pid = static_cast<std::int32_t>(field(m.argument, "tavuno.owner.pid"));
    if (pid == 0) continue;
    auto start = processStartTime(pid);
    if (start && *start == field(m.argument, "tavuno.owner.start")) continue;
    connection.run([&] { return pa_context_unload_module(context, m.index, nullptr, nullptr); });
  }
  std::vector<std::uint32_t> inputs;
  connection.run([&] {
    return pa_context_get_sink_input_info_list(
        context,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
          if (!eol && info) static_cast<std::vector<std::uint32_t>*>(data)->push_back(info->index);
        },
        &inputs);
  });
  int moved = 0;
  journal.update([&](std::vector<SteerRecord>& records) {
    SweepFacts facts{[](std::int32_t pid, std::uint64_t start) {
                       auto now = processStartTime(pid);
                       return now && *now == start;
                     },
                     [&](std::uint32_t node, std::uint64_t) {
                       return std::find(inputs.begin(), inputs.end(), node) != inputs.end();
                     }};
    SweepPlan plan = planSweep(records, facts);
    for (const SweepAction& action : plan.actions) {
      connection.run([&] {
        return pa_context_move_sink_input_by_name(context, action.node, action.value.c_str(),
                                                  nullptr, nullptr);
      });
      ++moved;
    }
    records = std::move(plan.keep);
  });
  return moved;
}

}  // namespace tavuno
