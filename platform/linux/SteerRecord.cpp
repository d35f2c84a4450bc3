#include "platform/linux/SteerRecord.h"

#include <limits>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "platform/linux/ServerKeys.h"

namespace tavuno {

namespace {

using nlohmann::json;

json toJson(const SteerRecord& r) {
  json j = {{"node", r.node},
            {"serial", r.serial},
            {"appPid", r.appPid},
            {"appStart", r.appStart},
            {"targetKey", r.targetKey},
            {"sink", r.sink},
            {"sinkWasDefault", r.sinkWasDefault},
            {"tap", r.tap},
            {"ownerPid", r.ownerPid},
            {"ownerStart", r.ownerStart},
            {"server", r.server}};
  if (r.savedTarget) j["savedTarget"] = *r.savedTarget;
  return j;
}

template <typename T>
bool read(const json& j, const char* key, T& out) {
  auto it = j.find(key);
  if (it == j.end()) return false;
  if constexpr (std::is_same_v<T, bool>) {
    if (!it->is_boolean()) return false;
  } else if constexpr (std::is_same_v<T, std::string>) {
    if (!it->is_string()) return false;
  } else if constexpr (std::is_signed_v<T>) {
    if (!it->is_number_integer()) return false;
    // A number above int64's range is stored unsigned; read as int64 it would wrap negative.
    if (it->is_number_unsigned() &&
        it->get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
      return false;
    auto v = it->get<std::int64_t>();
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) return false;
  } else {
    if (!it->is_number_unsigned()) return false;
    auto v = it->get<std::uint64_t>();
    if (v > std::numeric_limits<T>::max()) return false;
  }
  out = it->get<T>();
  return true;
}

std::optional<SteerRecord> fromJson(const json& j) {
  if (!j.is_object()) return std::nullopt;
  SteerRecord r;
  if (!read(j, "node", r.node) || !read(j, "serial", r.serial) || !read(j, "appPid", r.appPid) ||
      !read(j, "appStart", r.appStart) || !read(j, "targetKey", r.targetKey) ||
      !read(j, "sink", r.sink) || !read(j, "sinkWasDefault", r.sinkWasDefault) ||
      !read(j, "tap", r.tap) || !read(j, "ownerPid", r.ownerPid) ||
      !read(j, "ownerStart", r.ownerStart))
    return std::nullopt;
  // Missing in an older Tavuno's records: such a record loads, and is never acted on.
  if (j.contains("server") && !read(j, "server", r.server)) return std::nullopt;
  if (j.contains("savedTarget")) {
    std::string saved;
    if (!read(j, "savedTarget", saved)) return std::nullopt;
    r.savedTarget = std::move(saved);
  }
  return r;
}

}  // namespace

std::string encodeSteerRecords(const std::vector<SteerRecord>& records) {
  json list = json::array();
  for (const auto& r : records)
    list.push_back(toJson(r));
  // Replacing invalid UTF-8 keeps the dump from throwing on a stray byte in a server name.
  return json{{"records", list}}.dump(1, ' ', false, json::error_handler_t::replace);
}

DecodedSteerRecords decodeSteerRecords(const std::string& text) {
  DecodedSteerRecords out;
  json j = json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object() || !j.contains("records") || !j["records"].is_array()) {
    out.ok = false;
    return out;
  }
  for (const auto& item : j["records"])
    if (auto r = fromJson(item)) out.records.push_back(std::move(*r));
  return out;
}

bool isSteerTargetKey(const std::string& key) {
  return key == serverkey::targetObject || key == serverkey::targetNode;
}

namespace {

// Whether the stream the record names is still the one it steered, in this server run.
bool provablyItsStream(const SteerRecord& r, const SweepFacts& facts) {
  if (r.ownerPid <= 0 || r.ownerStart == 0) return false;  // no Tavuno wrote it as it does
  if (r.server == 0 || r.server != facts.server) return false;
  if (!isSteerTargetKey(r.targetKey)) return false;
  if (r.appPid <= 0 || r.appStart == 0) return false;
  const std::optional<std::int32_t> player = facts.streamProcess(r.node, r.serial);
  return player && *player == r.appPid && facts.processAlive(r.appPid, r.appStart);
}

}  // namespace

SweepPlan planSweep(const std::vector<SteerRecord>& records, const SweepFacts& facts) {
  SweepPlan plan;
  for (const auto& r : records) {
    if (r.ownerPid > 0 && facts.processAlive(r.ownerPid, r.ownerStart)) {
      plan.keep.push_back(r);
      continue;
    }
    if (!provablyItsStream(r, facts)) continue;
    if (r.savedTarget) {
      plan.actions.push_back({r.node, r.targetKey, *r.savedTarget});
    } else if (!r.sinkWasDefault && !r.sink.empty()) {
      plan.actions.push_back({r.node, serverkey::targetObject, r.sink});
    }
  }
  return plan;
}

}  // namespace tavuno
