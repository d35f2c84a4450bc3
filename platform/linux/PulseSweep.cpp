#include "platform/linux/PulseSweep.h"

#include <pulse/pulseaudio.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/text/Integer.h"
#include "platform/linux/ModuleArguments.h"
#include "platform/linux/ProcFs.h"

namespace tavuno {

namespace {

// application.process.id as a sink input carries it; 0 when absent or not a pid.
std::int32_t pidOf(const char* text) {
  const auto pid = parseInteger<std::int32_t>(text);
  return pid && *pid > 0 ? *pid : 0;
}

}  // namespace

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
  for (const Module& m : modules) {
    const std::optional<TapOwner> owner = tapOwnerOf(m.argument);
    if (!owner) continue;  // not a Tavuno tap, whatever text its arguments hold
    auto start = processStartTime(owner->pid);
    if (start && *start == owner->start) continue;  // its Tavuno still runs
    connection.run([&] { return pa_context_unload_module(context, m.index, nullptr, nullptr); });
  }
  const std::uint32_t server = connection.serverCookie();
  std::map<std::uint32_t, std::int32_t> inputs;  // sink-input index → its application's pid
  connection.run([&] {
    return pa_context_get_sink_input_info_list(
        context,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
          if (eol || !info) return;
          (*static_cast<std::map<std::uint32_t, std::int32_t>*>(data))[info->index] =
              pidOf(pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID));
        },
        &inputs);
  });
  int moved = 0;
  journal.update([&](std::vector<SteerRecord>& records) {
    SweepFacts facts{server,
                     [](std::int32_t pid, std::uint64_t start) {
                       auto now = processStartTime(pid);
                       return now && *now == start;
                     },
                     [&](std::uint32_t node, std::uint64_t) -> std::optional<std::int32_t> {
                       auto it = inputs.find(node);
                       if (it == inputs.end() || it->second <= 0) return std::nullopt;
                       return it->second;
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
