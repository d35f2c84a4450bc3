#include "platform/linux/PulseGuardianPlan.h"

#include <algorithm>
#include <limits>

#include "base/text/Integer.h"

namespace tavuno {

namespace {

// A whole decimal index, nothing around it. The largest value is the server's "no index", never
// a module's.
bool parseIndex(std::string_view text, std::uint32_t& out) {
  const auto index = parseInteger<std::uint32_t>(text);
  if (!index || *index == std::numeric_limits<std::uint32_t>::max()) return false;
  out = *index;
  return true;
}

}  // namespace

void GuardianLog::feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const auto end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!overlong_) {
      if (partial_.size() + piece.size() > longestLine) {
        overlong_ = true;
        partial_.clear();
      } else {
        partial_.append(piece);
      }
    }
    if (end == std::string_view::npos) return;
    if (!overlong_) line(partial_);
    partial_.clear();
    overlong_ = false;
    bytes.remove_prefix(end + 1);
  }
}

void GuardianLog::line(std::string_view text) {
  const auto space = text.find(' ');
  const std::string_view verb = text.substr(0, space);
  const std::string_view rest = space == std::string_view::npos ? "" : text.substr(space + 1);
  std::uint32_t module = 0;
  if (verb == "tap") {
    const auto gap = rest.find(' ');
    if (gap == std::string_view::npos || !parseIndex(rest.substr(0, gap), module)) return;
    const std::string_view sink = rest.substr(gap + 1);
    if (sink.empty() || sink.find(' ') != std::string_view::npos) return;
    taps_[module] = std::string(sink);
  } else if (verb == "untap" && parseIndex(rest, module)) {
    taps_.erase(module);
  }
}

std::string GuardianLog::tapLine(std::uint32_t module, const std::string& sink) {
  return "tap " + std::to_string(module) + " " + sink + "\n";
}

std::string GuardianLog::untapLine(std::uint32_t module) {
  return "untap " + std::to_string(module) + "\n";
}

GuardianPlan planGuardianCleanup(const GuardianOwner& owner,
                                 const std::map<std::uint32_t, std::string>& taps,
                                 const std::vector<SteerRecord>& records,
                                 const PulseServerView& server) {
  GuardianPlan plan;
  // Sink index → name of each tap proven the owner's.
  std::map<std::uint32_t, std::string> proven;
  for (const auto& [module, name] : taps) {
    const bool loaded = std::any_of(
        server.modules.begin(), server.modules.end(),
        [&](const auto& m) { return m.index == module && m.name == "module-null-sink"; });
    if (!loaded) continue;
    for (const auto& sink : server.sinks) {
      if (sink.ownerModule == module && sink.name == name && sink.ownerPid == owner.pid &&
          sink.ownerStart == owner.start) {
        proven[sink.index] = name;
        plan.unload.push_back(module);
        break;
      }
    }
  }
  auto named = [&](const std::string& name) {
    return std::any_of(server.sinks.begin(), server.sinks.end(),
                       [&](const auto& s) { return s.name == name; });
  };
  auto isTap = [&](const std::string& name) {
    return std::any_of(proven.begin(), proven.end(),
                       [&](const auto& p) { return p.second == name; });
  };
  for (const SteerRecord& r : records) {
    if (r.ownerPid != owner.pid || r.ownerStart != owner.start) continue;
    const bool logged =
        std::any_of(taps.begin(), taps.end(), [&](const auto& t) { return t.second == r.tap; });
    if (!logged) continue;
    const auto input = std::find_if(server.inputs.begin(), server.inputs.end(),
                                    [&](const auto& i) { return i.index == r.node; });
    const auto tap = input == server.inputs.end() ? proven.end() : proven.find(input->sink);
    if (tap == proven.end() || tap->second != r.tap) {
      plan.forget.push_back(r);
      continue;
    }
    std::string target = !r.sink.empty() && named(r.sink) ? r.sink : server.defaultSink;
    if (target.empty() || isTap(target)) {
      // Nowhere to send it: unloading the tap moves it to whatever the server falls back to.
      plan.forget.push_back(r);
      continue;
    }
    plan.moves.push_back({r.node, std::move(target), r});
  }
  return plan;
}

}  // namespace tavuno
